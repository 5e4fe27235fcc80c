#include "OutgoingMail.h"

#include <gtest/gtest.h>

#include <variant>

#include "SmtpErrors.h"
#include "TempFolder.h"

namespace {

MailSettings Basic() {
  MailSettings s;
  s.serverHost = "mail.example.com";
  s.sender = "a@example.com";
  s.recipients = "b@example.com";
  s.subject = "Hi";
  s.body = "Hello\r\n";
  return s;
}

std::string Text(OutgoingMail& job) {
  std::string out(job.message.Size(), '\0');
  EXPECT_EQ(job.message.Read(out.data(), out.size()), out.size());
  return out;
}

std::size_t LongestLine(const std::string& text) {
  std::size_t longest = 0;
  std::size_t start = 0;
  for (auto end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
    longest = std::max(longest, end - start);
    start = end + 2;
  }
  return std::max(longest, text.size() - start);
}

// Which port and TLS mode a send uses, and when a password forces TLS.
TEST(OutgoingMail, PortsAndTls) {
  struct Case {
    const char* server;
    int port;
    int authMode;
    const char* host;
    int usedPort;
    bool implicitTls;
    bool requireTls;
  };
  const Case cases[] = {
      {"mail.example.com", 0, 0, "mail.example.com", 25, false, false},
      {"mail.example.com", 587, 2, "mail.example.com", 587, false, true},
      {"mail.example.com:2525", 587, 2, "mail.example.com", 2525, false, true},
      {"mail.example.com", 465, 2, "mail.example.com", 465, true, false},
      {"SMTPS://mail.example.com:4650", 0, 2, "mail.example.com", 4650, true, false},
      {"127.0.0.1:2525", 0, 2, "127.0.0.1", 2525, false, false},
      {"[::1]", 0, 0, "::1", 25, false, false},
  };
  for (const auto& c : cases) {
    MailSettings s;
    s.serverHost = c.server;
    s.serverPort = c.port;
    s.authMode = c.authMode;
    s.user = "u";
    s.recipients = "b@x";
    s.sender = "a@x";
    const auto built = BuildOutgoingMail(s);
    ASSERT_TRUE(std::holds_alternative<OutgoingMail>(built)) << c.server;
    const auto& job = std::get<OutgoingMail>(built);
    EXPECT_EQ(job.session.host, c.host) << c.server;
    EXPECT_EQ(job.session.port, c.usedPort) << c.server;
    EXPECT_EQ(job.session.implicitTls, c.implicitTls) << c.server;
    EXPECT_EQ(job.session.requireTls, c.requireTls) << c.server;
  }
  MailSettings noUser;
  noUser.serverHost = "mail.example.com";
  noUser.authMode = 2;
  noUser.recipients = "b@x";
  noUser.sender = "a@x";
  EXPECT_TRUE(std::get<OutgoingMail>(BuildOutgoingMail(noUser)).session.user.empty())
      << "mode 2 without a user sends no AUTH";
  noUser.serverHost = "bad host";
  EXPECT_EQ(std::get<MailError>(BuildOutgoingMail(noUser)).number, SmtpErrors::kInvalidServer);
}

// Nothing that would break the command line or a header reaches a server.
TEST(OutgoingMail, RefusedBeforeConnecting) {
  struct Case {
    const char* name;
    void (*change)(MailSettings&);
    int number;
    const char* says;
  };
  const Case cases[] = {
      {"no sender", [](MailSettings& s) { s.sender.clear(); }, SmtpErrors::kInvalidMessage,
       "No sender"},
      {"sender with parameters", [](MailSettings& s) { s.sender = "<a@x.test> RET=FULL"; },
       SmtpErrors::kInvalidMessage, "Sender: "},
      {"recipient with ESC", [](MailSettings& s) { s.recipients = "b\x1B@x.test"; },
       SmtpErrors::kInvalidMessage, "Recipient: "},
      {"only blank recipients", [](MailSettings& s) { s.recipients = " , "; },
       SmtpErrors::kInvalidMessage, "No recipient"},
      {"subject with LF", [](MailSettings& s) { s.subject = "a\nBcc: x@y"; },
       SmtpErrors::kInvalidMessage, "line break"},
      {"missing attachment", [](MailSettings& s) { s.attachments = {"/nonexistent/x"}; },
       SmtpErrors::kAttachmentUnreadable, "/nonexistent/x"},
      {"unknown DSN notify", [](MailSettings& s) { s.dsnNotify = "FAILURE,SOMETIMES"; },
       SmtpErrors::kInvalidMessage, "DsnNotify \"FAILURE,SOMETIMES\""},
      {"DSN notify with a space", [](MailSettings& s) { s.dsnNotify = "FAILURE DELAY"; },
       SmtpErrors::kInvalidMessage, "DsnNotify"},
      {"empty DSN notify word", [](MailSettings& s) { s.dsnNotify = "FAILURE,"; },
       SmtpErrors::kInvalidMessage, "DsnNotify"},
      {"unknown DSN return", [](MailSettings& s) { s.dsnReturn = "BODY"; },
       SmtpErrors::kInvalidMessage, "DsnReturn \"BODY\""},
  };
  for (const auto& c : cases) {
    MailSettings s = Basic();
    c.change(s);
    const auto built = BuildOutgoingMail(s);
    ASSERT_TRUE(std::holds_alternative<MailError>(built)) << c.name;
    EXPECT_EQ(std::get<MailError>(built).number, c.number) << c.name;
    EXPECT_NE(std::get<MailError>(built).description.find(c.says), std::string::npos)
        << c.name << ": " << std::get<MailError>(built).description;
  }
}

TEST(OutgoingMail, NoLineOverTheLimit) {
  struct Case {
    const char* name;
    std::string subject;
    std::string body;
    const char* encoding;
  };
  const Case cases[] = {
      {"long subject word", std::string(3000, 's'), "ok\r\n", "7bit"},
      {"long display", "x", "line\r\n", "7bit"},
      {"NUL in body", "x", std::string("a\0b\r\n", 5), "quoted-printable"},
      {"long body line", "x", std::string(5000, 'b'), "quoted-printable"},
  };
  for (const auto& c : cases) {
    MailSettings s = Basic();
    s.subject = c.subject;
    s.body = c.body;
    if (std::string(c.name) == "long display") s.sender = std::string(1500, 'N') + " <a@x.test>";
    auto built = BuildOutgoingMail(s);
    ASSERT_TRUE(std::holds_alternative<OutgoingMail>(built)) << c.name;
    const std::string text = Text(std::get<OutgoingMail>(built));
    EXPECT_LE(LongestLine(text), 78U) << c.name;
    EXPECT_EQ(text.find('\0'), std::string::npos) << c.name;
    EXPECT_NE(text.find(std::string("Content-Transfer-Encoding: ") + c.encoding), std::string::npos)
        << c.name;
  }
}

TEST(OutgoingMail, EnvelopeFormsAndSmtpUtf8) {
  MailSettings s = Basic();
  s.sender =
      "Ana <ana@b\xC3\xBC"
      "cher.example>";
  s.recipients = "b@x.test, \xC3\xA9lise@x.test";
  auto built = BuildOutgoingMail(s);
  ASSERT_TRUE(std::holds_alternative<OutgoingMail>(built));
  auto& job = std::get<OutgoingMail>(built);
  EXPECT_EQ(job.mailFrom, "ana@xn--bcher-kva.example");
  EXPECT_EQ(job.recipients, (std::vector<std::string>{"b@x.test", "\xC3\xA9lise@x.test"}));
  EXPECT_TRUE(job.needsSmtpUtf8);
  const std::string text = Text(job);
  EXPECT_NE(text.find("\r\nFrom: \"Ana\" <ana@xn--bcher-kva.example>\r\n"), std::string::npos)
      << text;
  s.recipients = "b@x.test";
  EXPECT_FALSE(std::get<OutgoingMail>(BuildOutgoingMail(s)).needsSmtpUtf8);
}

}  // namespace

namespace {

// The sendmail interface's spool goes byte for byte, under its own
// Message-ID, with the envelope still checked.
TEST(OutgoingMail, RawMessageGoesAsWritten) {
  TempFolder folder;
  const std::string message = "Date: x\r\nMessage-ID: <own@x>\r\nSubject: s\r\n\r\n.dot\r\nend\r\n";
  MailSettings s = Basic();
  s.rawMessagePath = folder.Write("spool", message);
  s.rawMessageId = "<own@x>";
  auto built = BuildOutgoingMail(s);
  ASSERT_TRUE(std::holds_alternative<OutgoingMail>(built));
  auto& job = std::get<OutgoingMail>(built);
  EXPECT_EQ(Text(job), message);
  EXPECT_EQ(job.messageId, "<own@x>");
  EXPECT_EQ(job.recipients, std::vector<std::string>{"b@example.com"});

  MailSettings gone = Basic();
  gone.rawMessagePath = folder.File("missing");
  EXPECT_EQ(std::get<MailError>(BuildOutgoingMail(gone)).number, SmtpErrors::kInvalidMessage);
  MailSettings badRecipient = s;
  badRecipient.recipients = "b@example.com\r\nRCPT TO:<x@y>";
  EXPECT_TRUE(std::holds_alternative<MailError>(BuildOutgoingMail(badRecipient)));
}

}  // namespace
