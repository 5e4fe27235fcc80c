// The built program as scripts, cron and CI run it: no display, exit
// statuses, warnings, the console path, input from a pipe, several and
// absolute attachments, large transfers, and what the log may hold.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>

#include "ProgramRun.h"
#include "ReceivedMail.h"
#include "SmtpTestServer.h"

#ifndef TARNWICK_BINARY
#error "TARNWICK_BINARY must name the built program"
#endif

namespace {

TEST(UnattendedRun, ExitStatusTable) {
  struct Case {
    const char* name;
    std::vector<std::string> serverFlags;
    std::string ini;
    std::vector<std::string> args;
    int status;
    int messages;
    const char* says;  // on standard error; "" for nothing at all
  };
  const Case cases[] = {
      {"sent", {}, "", {"-t", "bob@example.com"}, 0, 1, ""},
      {"attachment missing",
       {},
       "",
       {"-t", "bob@example.com", "-a", "gone.pdf"},
       3,
       1,
       "Tarnwick: warning: the attachment "},
      {"recipient refused",
       {"--refuse-rcpt", "eve@example.com"},
       "",
       {"-t", "eve@example.com", "bob@example.com"},
       3,
       1,
       "Tarnwick: warning: SMTP Error 12250: "},
      {"login refused",
       {"--auth", "u:right", "--auth-over-plain"},
       "",
       {"-t", "bob@example.com", "-xu", "u", "-xp", "wrong"},
       1,
       0,
       "Tarnwick: SMTP Error 535: "},
      {"no reply after the message",
       {"--fault", "drop-after-eod"},
       "TimeOutSecs=2\r\n",
       {"-t", "bob@example.com"},
       1,
       0,
       "Tarnwick: SMTP Error 12140: "},
      {"server busy",
       {"--fault", "greet-421"},
       "TotalAttempts=1\r\n",
       {"-t", "bob@example.com"},
       75,
       0,
       "Tarnwick: SMTP Error 421: "},
      {"bad port", {}, "Port=25x\r\n", {"-t", "bob@example.com"}, 2, 0, "\"25x\""},
  };
  for (const auto& c : cases) {
    SmtpTestServer server(c.serverFlags);
    ProgramCopy program(TARNWICK_BINARY);
    program.Write("Tarnwick.ini", Ini(server, c.ini));
    const auto run = program.Run(c.args);
    EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
    EXPECT_EQ(server.MessageCount(), c.messages) << c.name;
    if (*c.says == '\0') {
      EXPECT_EQ(run.err, "") << c.name;
    } else {
      EXPECT_NE(run.err.find(c.says), std::string::npos) << c.name << ": " << run.err;
    }
    EXPECT_EQ(run.err.find("SMTP Error SMTP Error"), std::string::npos) << c.name;
    EXPECT_LT(run.seconds, 2.5) << c.name << ": nothing waits after the outcome";
  }
}

TEST(UnattendedRun, WarningsReachStandardErrorAndLog) {
  SmtpTestServer server;
  ProgramCopy program(TARNWICK_BINARY);
  TempFolder elsewhere;
  const std::string outside = elsewhere.Write("report.txt", "not read\n");
  program.Write("Tarnwick.ini", Ini(server));
  const auto run =
      program.Run({"-t", "bob@example.com", "-q", "-m", outside, "-a", "gone.pdf", "-log"});
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_EQ(Count(run.err, "Tarnwick: warning: "), 3) << run.err;
  EXPECT_NE(run.err.find("-q is unknown"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(outside + " is a file outside the program's folder"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("gone.pdf is not there"), std::string::npos) << run.err;
  EXPECT_EQ(Count(program.Read("Tarnwick.log"), " warning: "), 3);
  ASSERT_EQ(server.MessageCount(), 1);
  EXPECT_EQ(PartData(Envelope(server, 1), 0), outside) << "the text itself is the body";
}

TEST(UnattendedRun, DisplayDecidesWindowAndPause) {
  struct Case {
    const char* name;
    std::vector<std::string> env;
    double atLeast, below;
  };
  const Case cases[] = {
      {"no display", {}, 0.0, 1.0},
      {"stale DISPLAY", {"DISPLAY=:251"}, 0.0, 1.5},
      {"stale Wayland", {"WAYLAND_DISPLAY=tarnwick-none", "XDG_RUNTIME_DIR=/tmp"}, 0.0, 1.5},
      // The platform itself cannot start: the program starts again without it.
      {"platform missing", {"QT_QPA_PLATFORM=tarnwick-none"}, 0.0, 2.0},
      // A platform named (offscreen here) is a display: the window and its
      // three-second outcome stay.
      {"window", {"QT_QPA_PLATFORM=offscreen"}, 3.0, 5.0},
  };
  ASSERT_FALSE(std::filesystem::exists("/tmp/.X11-unix/X251"));
  for (const auto& c : cases) {
    SmtpTestServer server;
    ProgramCopy program(TARNWICK_BINARY);
    program.Write("Tarnwick.ini", Ini(server));
    const auto run = program.Run({"-t", "bob@example.com"}, {c.env});
    EXPECT_EQ(run.status, 0) << c.name << ": " << run.err;
    EXPECT_EQ(server.MessageCount(), 1) << c.name;
    EXPECT_GE(run.seconds, c.atLeast) << c.name;
    EXPECT_LT(run.seconds, c.below) << c.name;
  }
}

TEST(UnattendedRun, HelpOrVersionSendsNothing) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* out;  // on standard output
    const char* err;  // on standard error
  };
  const Case cases[] = {
      {{"-t", "it-helpdesk@example.com"}, 2, "Usage:", "the value of -t holds \"-help\""},
      {{"-m", "see https://ci.example.com/job/?id=5"}, 2, "Usage:", "the value of -m holds \"/?\""},
      {{"-s:self-help"}, 2, "Usage:", "the value of -s holds \"-help\""},
      {{"-s", "re-configure"}, 2, "", "the configuration window needs a display"},
      {{"-t", "bob@example.com", "--help"}, 0, "Usage:", ""},
      {{"-h"}, 0, "-V, --version", ""},
      {{"-V"}, 0, "Tarnwick Version ", ""},
      {{"--version", "-t", "bob@example.com"}, 0, "Tarnwick Version ", ""},
  };
  SmtpTestServer server;
  for (const auto& c : cases) {
    ProgramCopy program(TARNWICK_BINARY);
    // The settings alone would make a whole mail: none may go out.
    program.Write("Tarnwick.ini", Ini(server, "To=carol@example.com\r\n"));
    const auto run = program.Run(c.args);
    EXPECT_EQ(run.status, c.status) << c.args[0] << ": " << run.err;
    EXPECT_NE(run.out.find(c.out), std::string::npos) << c.args[0] << ": " << run.out;
    if (*c.err == '\0') {
      EXPECT_EQ(run.err, "") << c.args[0];
    } else {
      EXPECT_NE(run.err.find(c.err), std::string::npos) << c.args[0] << ": " << run.err;
    }
  }
  EXPECT_EQ(server.Events(), "") << "something reached the server";
}

TEST(UnattendedRun, BodyFromPipeAndAttachmentsAnywhere) {
  SmtpTestServer server;
  ProgramCopy program(TARNWICK_BINARY);
  TempFolder elsewhere;
  program.Write("Tarnwick.ini", Ini(server));
  program.Write("a1.txt", "first file\r\n");
  program.Write("a2.csv", "x,y\r\n1,2\r\n");
  const std::string outside = elsewhere.Write("outside.bin", std::string("\x00\xFF\x10", 3));
  std::string body;
  for (int i = 0; body.size() < (1U << 20); ++i)
    body += "line " + std::to_string(i) + " of the report\r\n";
  const auto run = program.Run({"-t", "bob@example.com", "-m:-", "-a", "a1.txt", "a2.csv", outside},
                               {{}, &body});
  EXPECT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(server.MessageCount(), 1);
  const auto env = Envelope(server, 1);
  EXPECT_TRUE(PartData(env, 0) == body) << "the piped body arrives exactly";
  ASSERT_EQ(env["parts"].toArray().size(), 4);
  EXPECT_EQ(PartData(env, 1), "first file\r\n");
  EXPECT_EQ(PartData(env, 2), "x,y\r\n1,2\r\n");
  EXPECT_EQ(PartData(env, 3), std::string("\x00\xFF\x10", 3));
  EXPECT_EQ(env["parts"].toArray()[3].toObject()["filename"].toString(), "outside.bin");
}

// Our own time-out counts silent seconds: a transfer that flows for longer
// than TimeOutSecs + 1 seconds is never cut.
TEST(UnattendedRun, LargeAttachmentOverSlowLinkArrives) {
  SmtpTestServer server({"--fault", "throttle", "--rate", "50"});
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", Ini(server, "TimeOutSecs=2\r\n"));
  const std::string big = program.Write("big.bin", "");
  ASSERT_EQ(::truncate(big.c_str(), 200LL << 20), 0);
  const auto run = program.Run({"-t", "bob@example.com", "-a", "big.bin", "-log"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_GT(run.seconds, 4.0) << "the link was not slow enough to prove anything";
  EXPECT_NE(server.Events().find("EOD 2"), std::string::npos) << server.Events();
  EXPECT_EQ(program.Read("Tarnwick.log").find("timed out"), std::string::npos);
}

TEST(UnattendedRun, LogHoldsNoPasswordAndNoForgedLine) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> secrets;
  };
  const Case cases[] = {
      {{"-xp", "Secret1", "more"}, {"Secret1", "more"}},
      {{"-xp:Secret2"}, {"ecret2"}},
      {{"-xp=Secret3"}, {"ecret3"}},
      {{"-xp Secret4"}, {"Secret4"}},
      {{"-xp=pa:ss5"}, {"pa:", "ss5"}},
      {{"/XP", "Secret6", "-xp", "Secret7"}, {"Secret6", "Secret7"}},
  };
  SmtpTestServer server;
  for (const auto& c : cases) {
    ProgramCopy program(TARNWICK_BINARY);
    program.Write("Tarnwick.ini", Ini(server));
    std::vector<std::string> args = {"-t", "bob@example.com", "-log"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto run = program.Run(args);
    const std::string log = program.Read("Tarnwick.log");
    EXPECT_NE(log.find("switches: -t bob@example.com -log"), std::string::npos) << log;
    for (const auto& secret : c.secrets) {
      EXPECT_EQ(log.find(secret), std::string::npos) << secret << " in the log:\n" << log;
      EXPECT_EQ(run.err.find(secret), std::string::npos) << secret << " on stderr: " << run.err;
    }
  }
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", Ini(server));
  const auto run = program.Run(
      {"-t", "bob@example.com", "-log", "-m", "a\r\n12/7/2026 1:00:00 PM error: forged\nb"});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string log = program.Read("Tarnwick.log");
  EXPECT_EQ(log.find("\r\n12/7/2026 1:00:00 PM error: forged"), std::string::npos) << log;
  EXPECT_NE(log.find(R"(a\r\n12/7/2026 1:00:00 PM error: forged\nb)"), std::string::npos) << log;
}

TEST(UnattendedRun, OddFilesDoNotStopTheRun) {
  SmtpTestServer server;
  {
    // A FIFO as the log: opening it for writing would wait for a reader.
    ProgramCopy program(TARNWICK_BINARY);
    program.Write("Tarnwick.ini", Ini(server));
    ASSERT_EQ(::mkfifo(program.Folder().File("Tarnwick.log").c_str(), 0600), 0);
    const auto run = program.Run({"-t", "bob@example.com", "-log"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Count(run.err, "it is not a regular file"), 1) << run.err;
    EXPECT_LT(run.seconds, 2.0);
  }
  {
    // Settings saved by an editor that writes a byte-order mark.
    ProgramCopy program(TARNWICK_BINARY);
    program.Write("Tarnwick.ini", "\xEF\xBB\xBF" + Ini(server, "To=carol@example.com\r\n"));
    const auto run = program.Run({"-s", "from a BOM file"});
    EXPECT_EQ(run.status, 0) << run.err;
  }
  ASSERT_EQ(server.MessageCount(), 2);
  EXPECT_EQ(Envelope(server, 2)["rcpt_tos"].toArray(), QJsonArray({"carol@example.com"}));
}

}  // namespace

namespace {

// A stop from outside (timeout(1), a CI job cancelled) mid-send: the send
// is cancelled, and the outcome still reaches standard error and the log.
TEST(UnattendedRun, StopSignalCancelsAndReports) {
  SmtpTestServer server({"--fault", "no-greeting"});
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", Ini(server, "TimeOutSecs=20\r\n"));
  RunOptions options;
  options.stopAfter = 0.5;
  const auto run = program.Run({"-t", "bob@example.com", "-log"}, options);
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("Tarnwick cancelled."), std::string::npos) << run.err;
  EXPECT_NE(program.Read("Tarnwick.log").find(" error: Tarnwick cancelled."), std::string::npos);
  EXPECT_LT(run.seconds, 2.0);
}

}  // namespace
