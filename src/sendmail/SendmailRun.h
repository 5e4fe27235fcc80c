#pragma once
// The program started as sendmail, mailq or newaliases. A message on
// standard input goes out the way a command-line run sends one (the same
// settings, attempts, time-out, log, outbox and exit statuses); mailq lists
// the outbox, -q flushes it, and newaliases has nothing to build.
namespace SendmailRun {

int Main(int argc, char** argv);

}  // namespace SendmailRun
