// The built program started as sendmail, mailq and newaliases, the way cron,
// PHP and daemons start it, against the test server: who gets the message,
// what arrives, what is refused before anything is sent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ProgramRun.h"
#include "ReceivedMail.h"
#include "SmtpTestServer.h"

namespace {

// The message cron builds for a job's output, with a line holding only "."
// that -i must not take for the end.
const std::string kCronMessage =
    "From: root (Cron Daemon)\n"
    "To: root\n"
    "Subject: Cron <root@host> /usr/local/bin/backup\n"
    "MIME-Version: 1.0\n"
    "Content-Type: text/plain; charset=UTF-8\n"
    "Content-Transfer-Encoding: 8bit\n"
    "X-Cron-Env: <SHELL=/bin/sh>\n"
    "X-Cron-Env: <HOME=/root>\n"
    "\n"
    "backup: 3 files\n"
    ".\n"
    "done\n";

struct Sent {
  RunResult run;
  int count = 0;  // messages the server took
  std::string envelope, message;
};

class SendmailRunTest : public testing::Test {
 protected:
  void Configure(const SmtpTestServer& server, const std::string& more = "",
                 const std::string& aliases = "root: admin@example.com\n") {
    program_.Write("Tarnwick.ini", Ini(server, more));
    program_.Write("aliases", aliases);
  }

  Sent Send(const SmtpTestServer& server, const std::vector<std::string>& args,
            const std::string& input, const std::string& as = "sendmail") {
    Sent sent;
    RunOptions options;
    options.program = as;
    options.input = &input;
    sent.run = program_.Run(args, options);
    sent.count = server.MessageCount();
    if (sent.count > 0) {
      sent.envelope = server.Envelope(sent.count);
      sent.message = server.Message(sent.count);
    }
    return sent;
  }

  ProgramCopy program_{TARNWICK_BINARY};
};

TEST_F(SendmailRunTest, CallersMessagesReachTheirRecipients) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    std::vector<std::string> rcpt;  // as the envelope lists them, in order
    std::vector<std::string> inMessage, notInMessage;
  };
  const Case cases[] = {
      {"cron",
       {"-FCronDaemon", "-i", "-B8BITMIME", "-oem", "root"},
       kCronMessage,
       {"admin@example.com"},
       {"Subject: Cron <root@host>", "\r\n.\r\ndone", "Date: ", "Message-ID: <",
        "From: \"CronDaemon\" <alice@example.com>"},
       {"From: root"}},
      {"-t with To, Cc and Bcc",
       {"-t", "-i"},
       "To: a@example.com\nCc: B <b@example.com>\nBcc: carol@example.com,\n dave@example.com\n"
       "Subject: t\n\nbody\n",
       {"a@example.com", "b@example.com", "carol@example.com", "dave@example.com"},
       {"To: a@example.com", "Cc: B <b@example.com>"},
       {"Bcc", "carol@", "dave@"}},
      {"-t with only Bcc",
       {"-t"},
       "Bcc: hidden@example.com\nSubject: b\n\nbody\n",
       {"hidden@example.com"},
       {"Subject: b"},
       {"Bcc", "hidden@"}},
      {"arguments and -t together, each once",
       {"-t", "a@example.com"},
       "To: A@example.com, e@example.com\n\nx\n",
       {"a@example.com", "e@example.com"},
       {},
       {}},
      {"Date and Message-ID kept",
       {"bob@example.com"},
       "Date: Tue, 1 Dec 2026 10:00:00 +0000\nMessage-ID: <kept@example.com>\nFrom: "
       "a@example.com\n\nx\n",
       {"bob@example.com"},
       {"Date: Tue, 1 Dec 2026 10:00:00 +0000", "Message-ID: <kept@example.com>",
        "From: a@example.com"},
       {}},
      {"-F names the From it adds",
       {"-F", "Backup Job", "bob@example.com"},
       "Subject: s\n\nx\n",
       {"bob@example.com"},
       {"From: \"Backup Job\" <alice@example.com>"},
       {}},
      {"without -i a lone dot ends the message",
       {"bob@example.com"},
       "Subject: s\n\nfirst\n.\nnever sent\n",
       {"bob@example.com"},
       {"first"},
       {"never sent"}},
      {"an unknown option is only warned about",
       {"-Z", "bob@example.com"},
       "Subject: s\n\nx\n",
       {"bob@example.com"},
       {},
       {}},
  };
  for (const auto& c : cases) {
    SmtpTestServer server;
    Configure(server);
    const Sent sent = Send(server, c.args, c.input);
    ASSERT_EQ(sent.run.status, 0) << c.name << ": " << sent.run.err;
    ASSERT_EQ(sent.count, 1) << c.name;
    const QJsonObject envelope = Envelope(server, 1);
    std::vector<std::string> rcpt;
    for (const auto& to : envelope["rcpt_tos"].toArray())
      rcpt.push_back(to.toString().toStdString());
    EXPECT_EQ(rcpt, c.rcpt) << c.name;
    EXPECT_EQ(envelope["mail_from"].toString().toStdString(), "alice@example.com") << c.name;
    for (const auto& text : c.inMessage)
      EXPECT_NE(sent.message.find(text), std::string::npos) << c.name << ": " << text;
    for (const auto& text : c.notInMessage)
      EXPECT_EQ(sent.message.find(text), std::string::npos) << c.name << ": " << text;
    EXPECT_EQ(Count(sent.message, "Date: "), 1) << c.name;
    EXPECT_EQ(Count(sent.message, "Message-ID: "), 1) << c.name;
  }
}

TEST_F(SendmailRunTest, LocalNamesAndRefusals) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string ini, aliases;
    int status;
    std::vector<std::string> rcpt;
    std::string said;  // on standard error
  };
  const Case cases[] = {
      {"alias to a list, one of them an alias",
       {"root"},
       "",
       "# admins\nroot: ops, b@example.com\nops:\n  o@example.com\n",
       0,
       {"o@example.com", "b@example.com"},
       ""},
      {"display names give way to the address",
       {"root", "Jane Doe <jane@example.com>"},
       "",
       "root: Admin <admin@example.com>\n",
       0,
       {"admin@example.com", "jane@example.com"},
       ""},
      {"default for the rest",
       {"www-data"},
       "",
       "root: a@example.com\ndefault: catch@example.com\n",
       0,
       {"catch@example.com"},
       ""},
      {"LocalDomain",
       {"www-data"},
       "LocalDomain=example.org\r\n",
       "",
       0,
       {"www-data@example.org"},
       ""},
      {"a loop of aliases", {"a"}, "LocalDomain=example.org\r\n", "a: b\nb: a\n", 2, {}, "loop at"},
      {"no alias, no LocalDomain",
       {"nobody"},
       "",
       "root: a@example.com\n",
       2,
       {},
       "the local name \"nobody\" has no address"},
      {"-f with a line break",
       {"-f", "a@example.com\r\nBcc: x@example.com", "bob@example.com"},
       "",
       "",
       2,
       {},
       "holds a blank or a control character"},
      {"-f carrying a second option",
       {"-f", "a@example.com -X/tmp/log", "bob@example.com"},
       "",
       "",
       2,
       {},
       "holds a blank or a control character"},
      {"no recipient", {}, "", "", 2, {}, "no recipient given"},
      {"-t and no recipient header", {"-t"}, "", "", 2, {}, "names no recipient"},
  };
  for (const auto& c : cases) {
    SmtpTestServer server;
    Configure(server, c.ini, c.aliases);
    const Sent sent = Send(server, c.args, "Subject: s\n\nx\n");
    EXPECT_EQ(sent.run.status, c.status) << c.name << ": " << sent.run.err;
    if (c.status != 0) {
      EXPECT_EQ(sent.count, 0) << c.name << ": nothing may be sent";
      EXPECT_NE(sent.run.err.find(c.said), std::string::npos) << c.name << ": " << sent.run.err;
      continue;
    }
    ASSERT_EQ(sent.count, 1) << c.name;
    std::vector<std::string> rcpt;
    for (const auto& to : Envelope(server, 1)["rcpt_tos"].toArray())
      rcpt.push_back(to.toString().toStdString());
    EXPECT_EQ(rcpt, c.rcpt) << c.name;
  }
}

TEST_F(SendmailRunTest, EightBitTextGoesAsItCanTo) {
  const std::string body =
      "Gr\xc3\xbc\xc3\x9f"
      "e = 100%\n";
  for (const bool offered : {true, false}) {
    SmtpTestServer server(offered ? std::vector<std::string>{}
                                  : std::vector<std::string>{"--no-8bitmime"});
    Configure(server);
    const Sent sent = Send(server, {"bob@example.com"}, "Subject: s\n\n" + body);
    ASSERT_EQ(sent.run.status, 0) << sent.run.err;
    ASSERT_EQ(sent.count, 1);
    const QJsonObject envelope = Envelope(server, 1);
    EXPECT_EQ(envelope["mail_options"].toArray().contains("BODY=8BITMIME"), offered);
    EXPECT_EQ(sent.message.find("\xc3\xbc") != std::string::npos, offered)
        << "8-bit bytes only where the server takes them";
    EXPECT_EQ(PartData(envelope, 0),
              "Gr\xc3\xbc\xc3\x9f"
              "e = 100%\r\n")
        << "offered " << offered;
  }
}

TEST_F(SendmailRunTest, EightBitPartsOfAMultipartAreEncodedForASevenBitServer) {
  SmtpTestServer server({"--no-8bitmime"});
  Configure(server);
  const std::string input =
      "Subject: s\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b1\"\n\n"
      "--b1\nContent-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: 8bit\n\n"
      "caf\xc3\xa9\n--b1\nContent-Type: message/rfc822\n\nSubject: inner\n\nna\xc3\xafve\n"
      "--b1\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n\n"
      "AAEC\n--b1--\n";
  const Sent sent = Send(server, {"bob@example.com"}, input);
  ASSERT_EQ(sent.run.status, 0) << sent.run.err;
  ASSERT_EQ(sent.count, 1);
  for (const char c : sent.message)
    ASSERT_LT(static_cast<unsigned char>(c), 128) << "a 7-bit server gets 7 bits";
  EXPECT_NE(sent.message.find("caf=C3=A9"), std::string::npos) << sent.message;
  EXPECT_NE(sent.message.find("na=C3=AFve"), std::string::npos) << "the attached message too";
  EXPECT_NE(sent.message.find("AAEC"), std::string::npos);
  EXPECT_EQ(PartData(Envelope(server, 1), 0), "caf\xc3\xa9");
}

TEST_F(SendmailRunTest, LargeMessageOnStandardInputStreams) {
  SmtpTestServer server({"--discard"});
  Configure(server);
  // 100 MB of text lines, as a backup report piped to sendmail would be.
  const std::string path = program_.Folder().File("big.txt");
  {
    std::ofstream out(path, std::ios::binary);
    out << "To: bob@example.com\nSubject: big\n\n";
    const std::string line(99, 'x');
    for (int i = 0; i < 1'000'000; ++i) out << line << "\n";
  }
  RunOptions options;
  options.program = "sendmail";
  options.inputFile = path;
  const RunResult run = program_.Run({"-t", "-i"}, options);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string events = server.Events();
  const auto at = events.find("DATA discarded ");
  ASSERT_NE(at, std::string::npos) << events;
  EXPECT_GT(std::stoll(events.substr(at + 15)), 100'000'000) << "all of it, CR LF ends added";
  EXPECT_LT(run.peakRssKb, 40 * 1024) << "the message must never sit whole in memory";
}

TEST_F(SendmailRunTest, MailqListsAndDashQFlushesTheOutbox) {
  SmtpTestServer server({"--data-reply", "451:1"});
  Configure(server, "Outbox=1\r\nTotalAttempts=1\r\n");
  const Sent first = Send(server, {"-i", "bob@example.com"}, "Subject: later\n\nx\n");
  EXPECT_EQ(first.run.status, 0) << "kept for later is accepted: " << first.run.err;
  EXPECT_NE(first.run.err.find("queued as "), std::string::npos) << first.run.err;
  EXPECT_EQ(first.count, 0);

  for (const char* as : {"mailq", "sendmail"}) {
    RunOptions options;
    options.program = as;
    const RunResult list = program_.Run(
        std::string(as) == "mailq" ? std::vector<std::string>{} : std::vector<std::string>{"-bp"},
        options);
    EXPECT_EQ(list.status, 0) << as << ": " << list.err;
    EXPECT_NE(list.out.find("bob@example.com"), std::string::npos) << as << ": " << list.out;
  }
  RunOptions later;
  later.program = "sendmail";
  later.wrapper = {"faketime", "-f", "+5m"};  // past the wait after a failed try
  const RunResult flush = program_.Run({"-q"}, later);
  EXPECT_EQ(flush.status, 0) << flush.err;
  ASSERT_EQ(server.MessageCount(), 1);
  EXPECT_NE(server.Message(1).find("Subject: later"), std::string::npos);

  RunOptions asNewaliases;
  asNewaliases.program = "newaliases";
  EXPECT_EQ(program_.Run({}, asNewaliases).status, 0);
}

TEST_F(SendmailRunTest, PhpMailGoesThroughIt) {
  if (std::system("command -v php >/dev/null 2>&1") != 0) GTEST_SKIP() << "php-cli is missing";
  SmtpTestServer server;
  Configure(server);
  program_.Write("mail.php",
                 "<?php exit(mail('bob@example.com', 'From PHP', \"line one\\nline two\", "
                 "'From: web@example.com') ? 0 : 1);\n");
  const std::string sendmail = program_.Folder().File("sendmail");
  std::filesystem::create_symlink("tarnwick", sendmail);
  const std::string command = "php -n -d sendmail_path='" + sendmail + " -t -i' " +
                              program_.Folder().File("mail.php") + " </dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ASSERT_EQ(server.MessageCount(), 1);
  const QJsonObject envelope = Envelope(server, 1);
  EXPECT_EQ(envelope["subject"].toString(), "From PHP");
  EXPECT_EQ(envelope["rcpt_tos"].toArray()[0].toString(), "bob@example.com");
  EXPECT_NE(server.Message(1).find("From: web@example.com"), std::string::npos);
  EXPECT_NE(server.Message(1).find("Message-ID: <"), std::string::npos) << "PHP adds none";
}

}  // namespace
