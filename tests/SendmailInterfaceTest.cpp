// The sendmail interface's two pure parts: the command line as cron, PHP
// and mail(1) pass it, and the message read from standard input (line ends,
// the lone ".", Bcc taken out, Date, Message-ID and From added when missing,
// memory flat for a large message).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <sstream>

#include "SendmailArgs.h"
#include "SubmittedMessage.h"
#include "TempFolder.h"

namespace {

using Mode = SendmailArgs::Mode;

TEST(SendmailArgs, ReadsWhatCallersPass) {
  struct Case {
    const char* program;
    std::vector<std::string> args;
    Mode mode;
    bool fromHeaders, dotEnds;
    std::string from, name;
    std::vector<std::string> to;
    std::size_t warnings;
  };
  const Case cases[] = {
      // cron
      {"/usr/sbin/sendmail",
       {"-FCronDaemon", "-i", "-B8BITMIME", "-oem", "root"},
       Mode::Deliver,
       false,
       false,
       "",
       "CronDaemon",
       {"root"},
       0},
      // PHP's mail() with sendmail_path "sendmail -t -i" and its fifth argument
      {"sendmail",
       {"-t", "-i", "-f", "www@example.com"},
       Mode::Deliver,
       true,
       false,
       "www@example.com",
       "",
       {},
       0},
      {"sendmail",
       {"-oi", "-r", "a@x", "--", "-b@x", "c@x, d@x"},
       Mode::Deliver,
       false,
       false,
       "a@x",
       "",
       {"-b@x", "c@x", "d@x"},
       0},
      {"sendmail", {"-bp"}, Mode::ListQueue, false, true, "", "", {}, 0},
      {"/usr/bin/mailq", {}, Mode::ListQueue, false, true, "", "", {}, 0},
      {"sendmail", {"-q"}, Mode::FlushQueue, false, true, "", "", {}, 0},
      {"sendmail", {"-q15m"}, Mode::FlushQueue, false, true, "", "", {}, 0},
      {"newaliases", {}, Mode::NewAliases, false, true, "", "", {}, 0},
      {"sendmail",
       {"-odi", "-odb", "-oee", "-v", "-B", "7BIT", "x@y"},
       Mode::Deliver,
       false,
       true,
       "",
       "",
       {"x@y"},
       0},
      {"sendmail", {"-Z", "-5", "x@y"}, Mode::Deliver, false, true, "", "", {"x@y"}, 2},
      // mutt's DSN requests and the like carry values that are no recipients
      {"sendmail",
       {"-N", "failure,delay", "-R", "hdrs", "-Vid1", "-X", "/tmp/log", "-f", "<a@x>", "x@y"},
       Mode::Deliver,
       false,
       true,
       "a@x",
       "",
       {"x@y"},
       0},
  };
  for (const auto& c : cases) {
    const auto parsed = SendmailArgs::Parse(c.program, c.args);
    const std::string name = std::string(c.program) + " " + (c.args.empty() ? "" : c.args[0]);
    EXPECT_EQ(parsed.problem, "") << name;
    EXPECT_EQ(parsed.mode, c.mode) << name;
    EXPECT_EQ(parsed.recipientsFromHeaders, c.fromHeaders) << name;
    EXPECT_EQ(parsed.dotEnds, c.dotEnds) << name;
    EXPECT_EQ(parsed.envelopeFrom, c.from) << name;
    EXPECT_EQ(parsed.fullName, c.name) << name;
    EXPECT_EQ(parsed.recipients, c.to) << name;
    EXPECT_EQ(parsed.warnings.size(), c.warnings) << name;
  }
}

TEST(SendmailArgs, RefusesASenderThatCarriesMore) {
  const std::vector<std::vector<std::string>> refused = {
      {"-f", "a@x\r\nBcc: victim@y"},
      {"-f", "a@x -X/var/www/shell.php"},  // the classic mail() injection
      {"-fa@x\tb"},
      {"-F", "Name\nSubject: forged"},
      {"-f"},
      {"to@x\r\n"},
      {"-bs"},  // SMTP on standard input would be taken for a message
      {"-bv", "root"},
  };
  for (const auto& args : refused) {
    const auto parsed = SendmailArgs::Parse("sendmail", args);
    EXPECT_NE(parsed.problem, "") << args[0];
  }
}

TEST(SendmailArgs, KnowsItsNames) {
  for (const char* name :
       {"sendmail", "/usr/sbin/sendmail", "/usr/lib/sendmail", "mailq", "/usr/sbin/newaliases"}) {
    EXPECT_TRUE(IsSendmailName(name)) << name;
  }
  for (const char* name : {"tarnwick", "/usr/bin/tarnwick", "sendmail.real", "xsendmail"})
    EXPECT_FALSE(IsSendmailName(name)) << name;
}

struct Spooled {
  SubmittedMessage::Result result;
  std::string text;
};

Spooled Spool(const std::string& input, const SubmittedMessage::Options& options) {
  TempFolder folder;
  const std::string path = folder.File("spool");
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  std::istringstream in(input);
  Spooled spooled{SubmittedMessage::Read(in, fd, options), ""};
  ::close(fd);
  spooled.text = TempFolder::Read(path);
  return spooled;
}

TEST(SubmittedMessage, MakesTheMessageFitToSend) {
  SubmittedMessage::Options options;
  options.from = "cron@host.example";
  options.fullName = "CronDaemon";
  options.messageIdDomain = "host.example";
  struct Case {
    const char* name;
    std::string input;
    bool dotEnds;
    std::vector<std::string> mustHave, mustNotHave;
    std::vector<std::string> recipients;
  };
  const Case cases[] = {
      {"bare LF becomes CR LF; Date, Message-ID and From added",
       "To: root\nSubject: Cron <root@host> run-parts\n\nline one\nline two\n",
       true,
       {"\r\nTo: root\r\nSubject: Cron <root@host> run-parts\r\n\r\nline one\r\nline two\r\n",
        "Date: ", "Message-ID: <", "From: \"CronDaemon\" <cron@host.example>\r\n"},
       {"\n\n", "line one\nline"},
       {"root"}},
      {"present ones are kept, not doubled",
       "Date: Mon, 07 Dec 2026 10:00:00 +0000\r\nMessage-ID: <kept@x>\r\nFrom: a@x\r\n\r\nbody\r\n",
       true,
       {"Date: Mon, 07 Dec 2026 10:00:00 +0000\r\n", "Message-ID: <kept@x>\r\n", "From: a@x\r\n"},
       {"Message-ID: <kept@x>\r\nMessage-ID", "From: CronDaemon"},
       {}},
      {"Bcc goes, folded lines and all; its addresses are kept",
       "To: \"Doe, Jane\" <jane@x>, bob@x\nCc: Team: c1@x, C Two <c2@x>;\nBcc: hidden@x,\n "
       "second@x\n"
       "Subject: s\n\nb\n",
       true,
       {"To: \"Doe, Jane\" <jane@x>, bob@x\r\n", "Cc: Team: c1@x, C Two <c2@x>;\r\n"},
       {"Bcc", "hidden@x", "second@x"},
       {"jane@x", "bob@x", "c1@x", "c2@x", "hidden@x", "second@x"}},
      {"only Bcc",
       "Bcc: only@x\nSubject: s\n\nb\n",
       true,
       {"Subject: s\r\n"},
       {"only@x"},
       {"only@x"}},
      {"a lone dot ends the input",
       "Subject: s\n\nkept\n.\nlost\n",
       true,
       {"kept\r\n"},
       {"lost"},
       {}},
      {"with -i it does not",
       "Subject: s\n\nkept\n.\nalso kept\n",
       false,
       {"kept\r\n.\r\nalso kept\r\n"},
       {},
       {}},
      {"no header at all: the text is the body",
       "just text\nmore\n",
       true,
       {"\r\n\r\njust text\r\nmore\r\n"},
       {},
       {}},
      {"a last line without its end gets one",
       "Subject: s\n\nno end",
       true,
       {"\r\n\r\nno end\r\n"},
       {},
       {}},
  };
  for (const auto& c : cases) {
    SubmittedMessage::Options o = options;
    o.dotEnds = c.dotEnds;
    const Spooled spooled = Spool(c.input, o);
    EXPECT_EQ(spooled.result.problem, "") << c.name;
    EXPECT_EQ(spooled.result.size, spooled.text.size()) << c.name;
    for (const auto& part : c.mustHave)
      EXPECT_NE(spooled.text.find(part), std::string::npos) << c.name << ": " << part << "\n"
                                                            << spooled.text;
    for (const auto& part : c.mustNotHave)
      EXPECT_EQ(spooled.text.find(part), std::string::npos) << c.name << ": " << part << "\n"
                                                            << spooled.text;
    EXPECT_EQ(spooled.result.toCcBcc, c.recipients) << c.name;
  }
}

TEST(SubmittedMessage, LargeMessageStreamsInFlatMemory) {
  // 64 MB in lines, with one 3 MB line without a break: never held whole.
  std::string block;
  for (int i = 0; i < 1000; ++i)
    block += "0123456789 the quick brown fox jumps over the lazy dog.\n";
  rusage before{};
  ::getrusage(RUSAGE_SELF, &before);
  std::stringstream input;
  input << "Subject: big\n\n" << std::string(3 << 20, 'x') << "\n";
  std::uint64_t lines = 0;
  while (static_cast<std::uint64_t>(input.tellp()) < (std::uint64_t{64} << 20U)) {
    input << block;
    lines += 1000;
  }
  TempFolder folder;
  const int fd = ::open(folder.File("spool").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ::getrusage(RUSAGE_SELF, &before);
  const auto result = SubmittedMessage::Read(input, fd, {});
  ::close(fd);
  rusage after{};
  ::getrusage(RUSAGE_SELF, &after);
  EXPECT_EQ(result.problem, "");
  const auto expected = static_cast<std::uint64_t>(input.tellp()) + lines + 1 + 2 +
                        result.messageId.size() + std::string("Message-ID: \r\n").size();
  EXPECT_GT(result.size, expected) << "every LF became CR LF, a Date and Message-ID were added";
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 16 * 1024) << "kilobytes more at the peak";
}

TEST(SubmittedMessage, AHeaderBeyondOneMegabyteIsTheMessagesFault) {
  std::stringstream input;
  input << "Subject: s\n";
  for (int i = 0; i < 20'000; ++i) input << "X-Filler: " << std::string(60, 'f') << "\n";
  input << "\nbody\n";
  TempFolder folder;
  const int fd = ::open(folder.File("spool").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  const auto result = SubmittedMessage::Read(input, fd, {});
  ::close(fd);
  EXPECT_NE(result.problem.find("larger than 1 MB"), std::string::npos) << result.problem;
  EXPECT_TRUE(result.badInput) << "a message that can never go is no temporary failure";
}

}  // namespace
