// The built program against the real test server: its own folder, settings
// and files, the message that arrives, the run log line by line, exit status.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <regex>

#include "ProgramRun.h"
#include "ReceivedMail.h"
#include "SmtpTestServer.h"
#include "StoredPassword.h"

#ifndef TARNWICK_BINARY
#error "TARNWICK_BINARY must name the built program"
#endif

namespace {

// Log lines without their stamps: "" for the separator, else the text after
// the stamp, which begins with a space. Every line must end with CR LF.
std::vector<std::string> LogLines(const std::string& log) {
  std::vector<std::string> lines;
  static const std::regex stamped(R"(^\S.* ((\*\*\* |switches: |status: |error: ).*)$)");
  std::size_t start = 0;
  for (auto end = log.find("\r\n"); end != std::string::npos; end = log.find("\r\n", start)) {
    const std::string line = log.substr(start, end - start);
    std::smatch m;
    if (line.empty()) {
      lines.emplace_back();
    } else if (std::regex_match(line, m, stamped)) {
      lines.push_back(m[1]);
    } else {
      lines.push_back("<unstamped> " + line);
    }
    start = end + 2;
  }
  EXPECT_EQ(start, log.size()) << "the log's last line has no CR LF";
  return lines;
}

std::vector<std::string> Matching(const std::vector<std::string>& lines,
                                  const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& l : lines) {
    if (l.rfind(prefix, 0) == 0) out.push_back(l);
  }
  return out;
}

TEST(DeliveryEndToEnd, MainJobFromFilesAndSettings) {
  SmtpTestServer server;
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", Ini(server, "Subject=from settings\r\n"));
  program.Write("list.txt", "bob@example.com\n  carol@example.com  \n# all staff\nab\n\n");
  program.Write("body.txt", "Hello team,\n.dot line\r\nsee attached\n");
  const std::string bytes = std::string("\x00\x01\xFF binary\r\n", 12) + std::string(5000, 'q');
  program.Write("report.bin", bytes);

  const auto run = program.Run({"-t", "list.txt", "-s", "Weekly report", "-m", "body.txt", "-a",
                                "report.bin", "-xp", "hunter2", "-log"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "") << "a success on a pipe says nothing";
  ASSERT_EQ(server.MessageCount(), 1);
  const auto env = Envelope(server, 1);
  EXPECT_EQ(env["mail_from"].toString(), "alice@example.com");
  EXPECT_EQ(env["rcpt_tos"].toArray(), QJsonArray({"bob@example.com", "carol@example.com"}));
  EXPECT_EQ(env["subject"].toString(), "Weekly report");
  EXPECT_EQ(PartData(env, 0), "Hello team,\r\n.dot line\r\nsee attached\r\n");
  EXPECT_EQ(env["parts"].toArray()[1].toObject()["filename"].toString(), "report.bin");
  EXPECT_TRUE(PartData(env, 1) == bytes);

  const std::string log = program.Read("Tarnwick.log");
  EXPECT_EQ(log.find("hunter2"), std::string::npos) << "the password reached the log";
  const auto lines = LogLines(log);
  ASSERT_GE(lines.size(), 4U);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], "*** Tarnwick started");
  EXPECT_EQ(
      lines[2],
      R"(switches: -t list.txt -s "Weekly report" -m body.txt -a report.bin -xp ******** -log)");
  EXPECT_EQ(lines[3], "status: Connecting to " + server.HostPort());
  EXPECT_EQ(Matching(lines, "<unstamped>").size(), 0U);
  EXPECT_EQ(Matching(lines, "error: ").size(), 0U);
  // A multi-line reply is one status text, written as one line per piece.
  const auto ehlo = std::find(lines.begin(), lines.end(), "status: 250-tarnwick-test");
  ASSERT_NE(ehlo, lines.end());
  EXPECT_EQ(*(ehlo + 1), "status: 250-8BITMIME");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "status: 250 2.0.0 OK queued as T1"),
            lines.end());
}

TEST(DeliveryEndToEnd, BlankSwitchTakesSettingsAndLogsSeparateRuns) {
  SmtpTestServer server({"--auth", "mailer:s3cret pass", "--auth-over-plain"});
  ProgramCopy program(TARNWICK_BINARY);
  program.Write(
      "Tarnwick.ini",
      Ini(server, "Subject=from settings\r\nSMTPUserName=mailer\r\nSMTPPassword=" +
                      StoredPassword::Encipher("s3cret pass", "plomvaderskiturne") + "\r\n"));
  for (int i = 0; i < 2; ++i) {
    const auto run = program.Run({"-t", "bob@example.com", "-s", "-m", "two words", "-log"});
    ASSERT_EQ(run.status, 0) << run.err;
  }
  ASSERT_EQ(server.MessageCount(), 2);
  EXPECT_EQ(Envelope(server, 1)["subject"].toString(), "from settings");
  EXPECT_EQ(PartData(Envelope(server, 1), 0), "two words");
  EXPECT_EQ(Count(server.Events(), "AUTH PLAIN mailer ok"), 2) << "stored password not deciphered";
  const auto lines = LogLines(program.Read("Tarnwick.log"));
  const auto starts = Matching(lines, "*** Tarnwick started");
  ASSERT_EQ(starts.size(), 2U);
  const auto second = std::find(lines.begin() + 2, lines.end(), "*** Tarnwick started");
  ASSERT_NE(second, lines.end());
  EXPECT_EQ(*(second - 1), "") << "one empty line between runs";
  EXPECT_NE(*(second - 2), "");
}

TEST(DeliveryEndToEnd, RefusedRecipientThenSuccess) {
  SmtpTestServer server({"--refuse-rcpt", "nobody@example.com"});
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", Ini(server));
  const auto run = program.Run({"-t", "nobody@example.com", "bob@example.com", "-s", "hi", "-log"});
  EXPECT_EQ(run.status, 3) << "sent, but not to everyone: " << run.err;
  EXPECT_EQ(run.err.rfind("Tarnwick: warning: SMTP Error 12250: Recipient nobody@example.com", 0),
            0U)
      << run.err;
  EXPECT_EQ(Count(run.err, "\n"), 1) << run.err;
  const auto errors = Matching(LogLines(program.Read("Tarnwick.log")), "error: ");
  ASSERT_EQ(errors.size(), 1U);
  EXPECT_EQ(
      errors[0].rfind("error: SMTP Error 12250: Recipient nobody@example.com refused: 550", 0), 0U)
      << errors[0];
  EXPECT_EQ(Envelope(server, 1)["rcpt_tos"].toArray(), QJsonArray({"bob@example.com"}));
}

TEST(DeliveryEndToEnd, TimeOutThenSuccessOnSecondAttempt) {
  SmtpTestServer server({"--fault", "slow-first", "--delay", "10"});
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", Ini(server, "TimeOutSecs=1\r\nRetryWaitSecs=1\r\n"));
  const auto run = program.Run({"-t", "bob@example.com", "-s", "retry", "-log"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(server.MessageCount(), 1);
  EXPECT_EQ(Count(server.Events(), "CONNECT"), 2);
  const auto lines = LogLines(program.Read("Tarnwick.log"));
  const auto errors = Matching(lines, "error: ");
  ASSERT_EQ(errors.size(), 1U);
  EXPECT_EQ(errors[0].rfind("error: SMTP Error 10060: ", 0), 0U) << errors[0];
  EXPECT_EQ(Matching(lines, "status: attempting to send mail again").size(), 1U);
}

TEST(DeliveryEndToEnd, TimeOutOnEveryAttempt) {
  SmtpTestServer server({"--fault", "slow-mail", "--delay", "30"});
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini",
                Ini(server, "TimeOutSecs=1\r\nTotalAttempts=3\r\nRetryWaitSecs=1\r\n"));
  const auto run = program.Run({"-t", "bob@example.com", "-log"});
  EXPECT_EQ(run.status, 75) << "a time-out is temporary: " << run.err;
  EXPECT_EQ(Count(server.Events(), "MAIL alice@example.com"), 3) << "three sends";
  EXPECT_EQ(Count(run.err, "Tarnwick: SMTP Error 10060: No answer from"), 3) << run.err;
  EXPECT_EQ(Count(run.err, "trying again in 1 s"), 2) << run.err;
  const auto lines = LogLines(program.Read("Tarnwick.log"));
  EXPECT_EQ(Matching(lines, "error: SMTP Error 10060").size(), 3U);
  EXPECT_EQ(Matching(lines, "status: attempting to send mail again").size(), 2U);
  EXPECT_EQ(server.MessageCount(), 0);
}

TEST(DeliveryEndToEnd, FinalRefusalIsNotRetried) {
  SmtpTestServer server({"--auth", "u:right", "--auth-over-plain"});
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", Ini(server, "TimeOutSecs=5\r\nRetryWaitSecs=1\r\n"));
  const auto run = program.Run({"-t", "bob@example.com", "-xu", "u", "-xp", "wrong", "-log"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(Count(server.Events(), "CONNECT"), 1);
  EXPECT_EQ(run.err.rfind("Tarnwick: SMTP Error 535: ", 0), 0U) << run.err;
  EXPECT_EQ(Count(run.err, "\n"), 1) << run.err;
  EXPECT_EQ(Matching(LogLines(program.Read("Tarnwick.log")), "status: attempting").size(), 0U);
  EXPECT_LT(run.seconds, 1.5) << "without a display nothing waits after the outcome";
}

// The server stays busy but never finishes its reply: bytes keep coming, so
// the run's own time-out (silent seconds) does not fire; the component's
// reply time-out does, each attempt, and that is retried as a time-out.
TEST(DeliveryEndToEnd, EndlessReplyIsATimeOutOfEachAttempt) {
  SmtpTestServer server({"--fault", "trickle"});
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini",
                Ini(server, "TimeOutSecs=1\r\nTotalAttempts=2\r\nRetryWaitSecs=1\r\n"));
  const auto run = program.Run({"-t", "bob@example.com", "-log"});
  EXPECT_EQ(run.status, 75) << run.err;
  EXPECT_EQ(Count(server.Events(), "CONNECT"), 2);
  const auto errors = Matching(LogLines(program.Read("Tarnwick.log")), "error: ");
  ASSERT_EQ(errors.size(), 2U);
  EXPECT_EQ(errors[1].rfind("error: SMTP Error 10060", 0), 0U) << errors[1];
  EXPECT_LT(run.seconds, 2 * 4.0 + 1 + 1.5) << "each attempt ends at libcurl's reply limit";
}

TEST(DeliveryEndToEnd, BadInputStopsWithStatus2AndSendsNothing) {
  struct Case {
    const char* name;
    std::string ini;
    std::vector<std::string> args;
    const char* says;
  };
  SmtpTestServer server;
  const Case cases[] = {
      {"body file is a folder", "", {"-t", "bob@example.com", "-m", "folder"}, "folder"},
      {"list file unreadable pattern", "", {"-t", "*.lst"}, "*.lst"},
      {"port not a number", "Port=abc\r\n", {"-t", "bob@example.com"}, "\"abc\""},
      {"stored password not hex",
       "SMTPUserName=u\r\nSMTPPassword=hunter2\r\n",
       {"-t", "bob@example.com"},
       "SMTPPassword"},
      {"CA file missing", "CAFile=relay-ca.pem\r\n", {"-t", "bob@example.com"}, "relay-ca.pem"},
  };
  for (const auto& c : cases) {
    ProgramCopy program(TARNWICK_BINARY);
    program.Write("Tarnwick.ini", Ini(server, c.ini));
    std::filesystem::create_directory(program.Folder().path() / "folder");
    program.Write("a.lst", "x@y\n");
    program.Write("b.lst", "z@y\n");
    std::filesystem::permissions(program.Folder().path() / "a.lst", std::filesystem::perms::none);
    const auto run = program.Run(c.args);
    EXPECT_EQ(run.status, 2) << c.name << ": " << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.name << ": " << run.err;
    EXPECT_EQ(run.err.find("hunter2"), std::string::npos) << c.name;
  }
  EXPECT_EQ(server.Events(), "") << "something reached the server";
}

TEST(DeliveryEndToEnd, UnwritableLogIsReportedOnceAndDeliveryGoesOn) {
  SmtpTestServer server;
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", Ini(server));
  std::filesystem::create_directory(program.Folder().path() / "Tarnwick.log");
  const auto run = program.Run({"-t", "bob@example.com", "-log"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Count(run.err, "cannot write the run log"), 1) << run.err;
  EXPECT_EQ(server.MessageCount(), 1);
}

TEST(DeliveryEndToEnd, NoLogSwitchTouchesNoLog) {
  SmtpTestServer server;
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", Ini(server));
  const auto run = program.Run({"-t", "bob@example.com", "-s", "quiet"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(std::filesystem::exists(program.Folder().path() / "Tarnwick.log"));
}

// Without a display: help is printed, the configuration window says it
// needs one.
TEST(ModesWithoutDisplay, HelpPrintsConfigRefuses) {
  ProgramCopy program(TARNWICK_BINARY);
  const auto help = program.Run({"/?"});
  EXPECT_EQ(help.status, 0) << help.err;
  EXPECT_NE(help.out.find("Usage:  TARNWICK [options]"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("-xp PASSWORD"), std::string::npos) << help.out;
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"-config"}, {"-gui"}}) {
    const auto config = program.Run(args);
    EXPECT_EQ(config.status, 2);
    EXPECT_NE(config.err.find("needs a display"), std::string::npos) << config.err;
  }
  EXPECT_FALSE(std::filesystem::exists(program.Folder().path() / "Tarnwick.ini"));
}

}  // namespace

namespace {

// A private relay's certificate is trusted through the CAFile setting, and
// only through it.
TEST(DeliveryEndToEnd, CaFileSettingTrustsAPrivateRelay) {
  TestCertificate cert;
  SmtpTestServer server(cert.ServerFlags());
  for (const bool withCaFile : {true, false}) {
    ProgramCopy program(TARNWICK_BINARY);
    program.Write("relay-ca.pem", TempFolder::Read(cert.Ca()));
    program.Write("Tarnwick.ini", "[Options]\r\nFrom=alice@example.com\r\nSMTPServer=localhost:" +
                                      std::to_string(server.Port()) + "\r\nTimeOutSecs=5\r\n" +
                                      (withCaFile ? "CAFile=relay-ca.pem\r\n" : ""));
    const auto run = program.Run({"-t", "bob@example.com", "-s", "relay"});
    if (withCaFile) {
      EXPECT_EQ(run.status, 0) << run.err;
      ASSERT_EQ(server.MessageCount(), 1);
      EXPECT_TRUE(Envelope(server, 1)["tls"].toBool());
    } else {
      EXPECT_NE(run.status, 0);
      EXPECT_NE(run.err.find("not trusted"), std::string::npos) << run.err;
      EXPECT_EQ(server.MessageCount(), 1) << "sent without a trusted certificate";
    }
  }
}

}  // namespace
