// The SMTP session on its own (no toolkit, no worker thread) against the
// aiosmtpd fixture: what goes on the wire, TLS and SASL, the server's
// limits, time-outs and several messages on one connection.
#include "SmtpSession.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "SmtpErrors.h"
#include "SmtpTestServer.h"

namespace {

using Clock = std::chrono::steady_clock;
using Kind = SmtpOutcome::Kind;

struct Result {
  SmtpOutcome outcome;
  std::vector<std::string> statuses;
  long elapsedMs = 0;
};

MailSettings Basic(const SmtpTestServer& server) {
  MailSettings s;
  s.serverHost = server.HostPort();
  s.sender = "alice@example.com";
  s.recipients = "bob@example.com, carol@example.com";
  s.subject = "Weekly report";
  s.body = "Hello,\r\n.a line with a dot\r\nBye\r\n";
  s.timeoutMs = 5000;
  return s;
}

Result Send(const MailSettings& settings) {
  auto built = BuildOutgoingMail(settings);
  if (std::holds_alternative<MailError>(built)) {
    ADD_FAILURE() << std::get<MailError>(built).description;
    return {};
  }
  auto& mail = std::get<OutgoingMail>(built);
  Result result;
  TransferControl control;
  SmtpSession session(mail.session, control,
                      [&](const std::string& s) { result.statuses.push_back(s); });
  const auto start = Clock::now();
  result.outcome = session.Send(mail);
  result.elapsedMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  session.Quit();
  return result;
}

std::string Describe(const Result& r) {
  return std::to_string(r.outcome.number) + " " + r.outcome.text;
}

// The dialogue, byte for byte, with and without PIPELINING: MAIL and all
// RCPTs in one go when offered, one command per reply otherwise.
TEST(SmtpSession, DialogueIsByteExactWithAndWithoutPipelining) {
  struct Case {
    bool pipelining;
    bool size;  // SIZE= goes only to a server that offers SIZE
  };
  for (const Case& c : {Case{false, false}, Case{true, true}, Case{true, false}}) {
    std::vector<std::string> flags = {"--transcript"};
    if (c.pipelining) flags.emplace_back("--pipelining");
    if (c.size) flags.insert(flags.end(), {"--size", "1000000"});
    SmtpTestServer server(flags);
    const auto r = Send(Basic(server));
    ASSERT_EQ(r.outcome.kind, Kind::Sent) << Describe(r);
    const std::string wire = TempFolder::Read(server.Folder() / "client-1.bin");
    const std::string message = server.Message(1);
    const auto ehloEnd = wire.find("\r\n") + 2;
    ASSERT_EQ(wire.rfind("EHLO ", 0), 0U) << wire.substr(0, 200);
    std::string mailFrom = "MAIL FROM:<alice@example.com>";
    if (c.size) mailFrom += " SIZE=" + std::to_string(message.size());
    const std::string expectedHead = mailFrom +
                                     "\r\nRCPT TO:<bob@example.com>\r\n"
                                     "RCPT TO:<carol@example.com>\r\nDATA\r\n";
    EXPECT_EQ(wire.substr(ehloEnd, expectedHead.size()), expectedHead) << c.pipelining;
    // What the server stored, with the leading dot doubled on the wire.
    std::string stuffed = message;
    const auto dotLine = stuffed.find("\r\n.a line");
    ASSERT_NE(dotLine, std::string::npos);
    stuffed.insert(dotLine + 2, ".");
    EXPECT_EQ(wire.substr(ehloEnd + expectedHead.size()), stuffed + ".\r\nQUIT\r\n")
        << c.pipelining;
    const std::string events = server.Events();
    EXPECT_EQ(Occurrences(events, "CONNECT"), 1);
  }
}

TEST(SmtpSession, SizeLimitRefusesBeforeMail) {
  SmtpTestServer server({"--size", "2000"});
  auto settings = Basic(server);
  settings.body = std::string(3000, 'x');
  const auto r = Send(settings);
  EXPECT_EQ(r.outcome.kind, Kind::NotSupported) << Describe(r);
  EXPECT_EQ(r.outcome.number, SmtpErrors::kMessageTooLarge);
  EXPECT_NE(r.outcome.text.find("SIZE 2000"), std::string::npos) << r.outcome.text;
  EXPECT_EQ(server.Events().find("MAIL"), std::string::npos) << server.Events();
}

TEST(SmtpSession, DsnParametersOnlyWhenOffered) {
  for (const bool offered : {true, false}) {
    SmtpTestServer server(offered ? std::vector<std::string>{"--dsn", "--transcript"}
                                  : std::vector<std::string>{"--transcript"});
    auto settings = Basic(server);
    settings.recipients = "bob@example.com";
    settings.dsnNotify = "failure,delay";
    settings.dsnReturn = "HDRS";
    const auto r = Send(settings);
    ASSERT_EQ(r.outcome.kind, Kind::Sent) << Describe(r);
    const std::string envelope = server.Envelope(1);
    const std::string wire = TempFolder::Read(server.Folder() / "client-1.bin");
    if (offered) {
      EXPECT_NE(envelope.find("\"RET=HDRS\""), std::string::npos) << envelope;
      EXPECT_NE(envelope.find("\"ENVID=<"), std::string::npos) << "the Message-ID: " << envelope;
      EXPECT_NE(wire.find("RCPT TO:<bob@example.com> NOTIFY=FAILURE,DELAY "
                          "ORCPT=rfc822;bob@example.com\r\n"),
                std::string::npos)
          << wire.substr(0, 400);
    } else {
      for (const char* absent : {"NOTIFY=", "RET=", "ENVID=", "ORCPT="}) {
        EXPECT_EQ(wire.substr(0, wire.find("DATA\r\n")).find(absent), std::string::npos) << absent;
      }
    }
  }
}

// A forged reply sent in the clear right after "220 Ready" must not be
// taken as the answer to the EHLO that follows the handshake.
TEST(SmtpSession, StartTlsInjectionIsThrownAway) {
  TestCertificate cert;
  auto flags = cert.ServerFlags();
  flags.insert(flags.end(), {"--fault", "starttls-inject"});
  SmtpTestServer server(flags);
  auto settings = Basic(server);
  settings.serverHost = "localhost:" + std::to_string(server.Port());
  settings.caFile = cert.Ca();
  const auto r = Send(settings);
  ASSERT_EQ(r.outcome.kind, Kind::Sent) << Describe(r);
  EXPECT_NE(server.Events().find("STARTTLS injected"), std::string::npos);
  for (const auto& s : r.statuses) EXPECT_EQ(s.find("injected"), std::string::npos) << s;
  EXPECT_NE(r.outcome.info.find("(STARTTLS)"), std::string::npos) << r.outcome.info;
}

TEST(SmtpSession, TlsRefusals) {
  struct Case {
    const char* name;
    const char* certificate;
    std::vector<std::string> extra;
    int number;
    const char* says;
  };
  const Case cases[] = {
      {"another name", "othername", {}, SmtpErrors::kCertificateRejected, "not trusted"},
      {"expired", "expired", {}, SmtpErrors::kCertificateRejected, "expired"},
      {"TLS 1.0 only", "good", {"--tls-max", "1.0"}, SmtpErrors::kTlsFailed, "TLS with"},
  };
  for (const auto& c : cases) {
    for (const bool implicit : {false, true}) {
      TestCertificate cert(c.certificate);
      auto flags = cert.ServerFlags();
      flags.insert(flags.end(), c.extra.begin(), c.extra.end());
      flags.insert(flags.end(), {"--auth", "u:p"});
      if (implicit) flags.emplace_back("--implicit-tls");
      SmtpTestServer server(flags);
      auto settings = Basic(server);
      settings.serverHost =
          (implicit ? "smtps://localhost:" : "localhost:") + std::to_string(server.Port());
      settings.caFile = cert.Ca();
      settings.authMode = 2;
      settings.user = "u";
      settings.password = "p";
      const auto r = Send(settings);
      EXPECT_EQ(r.outcome.kind, Kind::TlsFailure) << c.name << ": " << Describe(r);
      EXPECT_EQ(r.outcome.number, c.number) << c.name << ": " << Describe(r);
      EXPECT_NE(r.outcome.text.find(c.says), std::string::npos) << c.name << ": " << r.outcome.text;
      EXPECT_EQ(server.Events().find("AUTH"), std::string::npos) << c.name;
      EXPECT_EQ(server.MessageCount(), 0) << c.name;
    }
  }
}

// The strongest mechanism offered is taken, and the password never shows.
TEST(SmtpSession, SaslMechanisms) {
  struct Case {
    const char* offered;
    const char* used;
    const char* password;
    int number;  // 0: logged in and sent
  };
  const Case cases[] = {
      {"SCRAM-SHA-256", "SCRAM-SHA-256", "s3cret", 0},
      {"CRAM-MD5", "CRAM-MD5", "s3cret", 0},
      {"PLAIN,CRAM-MD5,SCRAM-SHA-1", "SCRAM-SHA-1", "s3cret", 0},
      {"LOGIN,PLAIN", "PLAIN", "s3cret", 0},
      {"LOGIN", "LOGIN", "s3cret", 0},
      {"SCRAM-SHA-256", "SCRAM-SHA-256", "wrong", 535},
      {"DIGEST-MD5", "", "s3cret", SmtpErrors::kNoMechanism},
  };
  for (const auto& c : cases) {
    SmtpTestServer server(
        {"--auth", "mailer:s3cret", "--auth-over-plain", "--mechanisms", c.offered});
    auto settings = Basic(server);
    settings.authMode = 2;
    settings.user = "mailer";
    settings.password = c.password;
    const auto r = Send(settings);
    if (c.number == 0) {
      ASSERT_EQ(r.outcome.kind, Kind::Sent) << c.offered << ": " << Describe(r);
      EXPECT_NE(server.Events().find(std::string("AUTH ") + c.used + " mailer ok"),
                std::string::npos)
          << c.offered << ": " << server.Events();
      EXPECT_NE(r.outcome.info.find(std::string("Authentication: ") + c.used + " as mailer"),
                std::string::npos)
          << r.outcome.info;
    } else {
      EXPECT_EQ(r.outcome.kind, Kind::LoginFailure) << c.offered << ": " << Describe(r);
      EXPECT_EQ(r.outcome.number, c.number) << c.offered << ": " << Describe(r);
      EXPECT_EQ(server.MessageCount(), 0);
    }
    for (const auto& s : r.statuses) EXPECT_EQ(s.find("s3cret"), std::string::npos) << s;
  }
}

// A reply that trickles in never extends its time: busy is not done.
TEST(SmtpSession, TricklingReplyTimesOutOnTime) {
  SmtpTestServer server({"--fault", "trickle"});
  auto settings = Basic(server);
  settings.timeoutMs = 2000;
  const auto r = Send(settings);
  EXPECT_EQ(r.outcome.kind, Kind::TimedOut) << Describe(r);
  EXPECT_EQ(r.outcome.number, SmtpErrors::kTimedOut);
  EXPECT_NE(r.outcome.text.find("EHLO"), std::string::npos) << r.outcome.text;
  EXPECT_GE(r.elapsedMs, 1900);
  EXPECT_LE(r.elapsedMs, 2500);
}

TEST(SmtpSession, EndlessReplyEndsTheSession) {
  SmtpTestServer server({"--fault", "endless-ehlo"});
  auto settings = Basic(server);
  settings.timeoutMs = 3000;
  const auto r = Send(settings);
  EXPECT_EQ(r.outcome.kind, Kind::ProtocolError) << Describe(r);
  EXPECT_EQ(r.outcome.number, SmtpErrors::kProtocolError);
  EXPECT_LT(r.elapsedMs, 3000);
}

TEST(SmtpSession, DropAfter354IsLostBeforeTheEnd) {
  SmtpTestServer server({"--fault", "drop-after-354"});
  const auto r = Send(Basic(server));
  EXPECT_EQ(r.outcome.kind, Kind::LostBeforeEnd) << Describe(r);
  EXPECT_EQ(r.outcome.number, SmtpErrors::kConnectionLost);
}

// However the socket takes a large message, the end of data is the last
// thing that goes: nothing of the message follows it.
TEST(SmtpSession, NothingFollowsTheEndOfData) {
  TempFolder files;
  SmtpTestServer server(
      {"--fault", "throttle", "--rate", "12", "--rcvbuf", "65536", "--transcript"});
  int connection = 0;
  for (std::size_t size = 1 << 20; size < std::size_t{3} << 20; size += 400009) {
    auto settings = Basic(server);
    settings.attachments = {files.Write("odd.bin", std::string(size, 'q'))};
    const auto r = Send(settings);
    ASSERT_EQ(r.outcome.kind, Kind::Sent) << size << ": " << Describe(r);
    const std::string wire =
        TempFolder::Read(server.Folder() / ("client-" + std::to_string(++connection) + ".bin"));
    const auto end = wire.find("\r\n.\r\n", wire.find("DATA\r\n"));
    ASSERT_NE(end, std::string::npos) << size;
    const std::string after = wire.substr(end + 5);
    EXPECT_TRUE(after.empty() || after == "QUIT\r\n") << size << ": " << after.substr(0, 40);
  }
}

// The outbox's case: many messages, one connection, RSET between them; a
// refused message in the middle does not end the session.
TEST(SmtpSession, HundredMessagesOnOneConnection) {
  SmtpTestServer server(
      {"--pipelining", "--size", "100000", "--refuse-rcpt", "nobody@example.com"});
  TransferControl control;
  auto first = BuildOutgoingMail(Basic(server));
  ASSERT_TRUE(std::holds_alternative<OutgoingMail>(first));
  SmtpSession session(std::get<OutgoingMail>(first).session, control, [](const std::string&) {});
  int sent = 0;
  for (int i = 0; i < 100; ++i) {
    auto settings = Basic(server);
    settings.subject = "Message " + std::to_string(i);
    settings.recipients = i == 50 ? "nobody@example.com" : "bob@example.com";
    if (i == 60) settings.body = std::string(200000, 'x');
    auto built = BuildOutgoingMail(settings);
    auto& mail = std::get<OutgoingMail>(built);
    const auto outcome = session.Send(mail);
    if (i == 50) {
      EXPECT_EQ(outcome.kind, Kind::Refused) << outcome.text;
      EXPECT_EQ(outcome.replyCode, 550);
      EXPECT_EQ(outcome.enhancedStatus, "5.1.1");
    } else if (i == 60) {
      EXPECT_EQ(outcome.kind, Kind::NotSupported) << outcome.text;
      EXPECT_EQ(outcome.number, SmtpErrors::kMessageTooLarge);
    } else {
      ASSERT_EQ(outcome.kind, Kind::Sent) << i << ": " << outcome.text;
      ++sent;
    }
  }
  session.Quit();
  EXPECT_EQ(sent, 98);
  EXPECT_EQ(server.MessageCount(), 98);
  EXPECT_EQ(Occurrences(server.Events(), "CONNECT"), 1) << "one connection for all";
  EXPECT_NE(server.Envelope(98).find("Message 99"), std::string::npos);
}

}  // namespace
