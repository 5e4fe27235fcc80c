// SmtpClient against the real aiosmtpd server, in its normal and fault modes.
#include "SmtpClient.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <random>

#include "SmtpErrors.h"
#include "SmtpTestServer.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Outcome {
  bool sent = false;
  std::vector<std::pair<int, std::string>> errors;
  std::vector<std::string> statuses;
  long elapsedMs = 0;
  bool eventDuringSend = false;
};

class SmtpClientTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QCoreApplication::instance() == nullptr) {
      static int argc = 1;
      static char name[] = "SmtpClientTest";
      static char* argv[] = {name, nullptr};
      static QCoreApplication app(argc, argv);
    }
  }

  // Sends and serves the queue until the final event, or gives up.
  static Outcome SendAndWait(SmtpClient& client, int giveUpMs = 20000) {
    Outcome out;
    QEventLoop loop;
    bool inSend = true;
    QObject context;
    QObject::connect(&client, &SmtpClient::StatusChanged, &context, [&](const std::string& s) {
      out.eventDuringSend |= inSend;
      out.statuses.push_back(s);
    });
    QObject::connect(&client, &SmtpClient::SendSMTP, &context, [&] {
      out.eventDuringSend |= inSend;
      out.sent = true;
      loop.quit();
    });
    QObject::connect(&client, &SmtpClient::ErrorSMTP, &context,
                     [&](std::int16_t n, const std::string& d) {
                       out.eventDuringSend |= inSend;
                       out.errors.emplace_back(n, d);
                       if (n != SmtpErrors::kRecipientRefused) loop.quit();
                     });
    QTimer::singleShot(giveUpMs, &loop, &QEventLoop::quit);
    const auto start = Clock::now();
    EXPECT_TRUE(client.Send());
    inSend = false;
    loop.exec();
    out.elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    return out;
  }

  static void Setup(SmtpClient& c, const std::string& server,
                    const std::string& to = "bob@example.com") {
    c.ServerName(server);
    c.TimeoutMs(10000);
    c.ServerHost(server);
    c.AuthMode(0);
    c.SenderAddress("alice@example.com");
    c.SubjectText("Weekly report");
    c.BodyText("Hello Bob,\r\n.a line with a dot\r\nBye\r\n");
    c.RecipientList(to);
  }

  static QJsonObject Envelope(const SmtpTestServer& server, int n) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(server.Envelope(n))).object();
  }

  static std::string PartData(const QJsonObject& envelope, int index) {
    const auto part = envelope["parts"].toArray()[index].toObject();
    return QByteArray::fromBase64(part["data"].toString().toLatin1()).toStdString();
  }
};

TEST_F(SmtpClientTest, PlainSendArrivesWithHeadersAndBody) {
  SmtpTestServer server;
  SmtpClient client;
  Setup(client, server.HostPort(), "Bob Smith <bob@example.com>, , carol@example.com");
  const auto out = SendAndWait(client);
  ASSERT_TRUE(out.sent) << (out.errors.empty() ? "" : out.errors.front().second);
  EXPECT_FALSE(out.eventDuringSend);
  ASSERT_EQ(server.MessageCount(), 1);
  const auto env = Envelope(server, 1);
  EXPECT_EQ(env["mail_from"].toString(), "alice@example.com");
  EXPECT_EQ(env["rcpt_tos"].toArray(), QJsonArray({"bob@example.com", "carol@example.com"}));
  EXPECT_EQ(env["subject"].toString(), "Weekly report");
  EXPECT_EQ(env["to"].toString(), "Bob Smith <bob@example.com>, carol@example.com");
  EXPECT_EQ(env["defects"].toInt(), 0);
  const std::string raw = server.Message(1);
  EXPECT_EQ(raw.rfind("Date: ", 0), 0U) << raw;
  for (const char* header : {"\r\nMessage-ID: <", "\r\nFrom: alice@example.com\r\n",
                             "\r\nSubject: Weekly report\r\n", "\r\nMIME-Version: 1.0\r\n"}) {
    EXPECT_NE(raw.find(header), std::string::npos) << header << " missing in\n" << raw;
  }
  EXPECT_EQ(raw.find("Mime-Version"), std::string::npos) << "MIME-Version twice";
  EXPECT_EQ(PartData(env, 0), "Hello Bob,\r\n.a line with a dot\r\nBye\r\n");
  EXPECT_EQ(env["parts"].toArray()[0].toObject()["charset"].toString(), "us-ascii");

  ASSERT_FALSE(out.statuses.empty());
  EXPECT_EQ(out.statuses.front(), "Connecting to " + server.HostPort());
  EXPECT_NE(std::find_if(out.statuses.begin(), out.statuses.end(),
                         [](const std::string& s) { return s.rfind("220 ", 0) == 0; }),
            out.statuses.end());
  EXPECT_EQ(client.StatusText(), out.statuses.back());
  const std::string info = client.InfoText();
  EXPECT_NE(info.find("Recipients accepted: 2 of 2"), std::string::npos) << info;
  EXPECT_NE(info.find("Server reply: 250 2.0.0 OK queued as T1"), std::string::npos) << info;
  EXPECT_NE(info.find("Message-ID: <"), std::string::npos) << info;
  EXPECT_NE(raw.find(info.substr(info.find("Message-ID: <") + 12, 20)), std::string::npos);
}

TEST_F(SmtpClientTest, BodyCharsetsAndLineEnds) {
  struct Case {
    std::string body;
    const char* charset;
    std::string arrives;
  };
  const std::string longLine(2500, 'x');
  const Case cases[] = {
      {"Gr\xC3\xBC\xC3\x9F"
       "e, \xE2\x82\xAC 5\r\n",
       "utf-8",
       "Gr\xC3\xBC\xC3\x9F"
       "e, \xE2\x82\xAC 5\r\n"},
      {"Caf\xE9 \x80 10\r\n", "windows-1252", "Caf\xE9 \x80 10\r\n"},
      {"bare\nlf\rcr\r\n", "us-ascii", "bare\r\nlf\r\ncr\r\n"},
      {longLine + "\r\n.\r\n..\r\n", "us-ascii", longLine + "\r\n.\r\n..\r\n"},
  };
  SmtpTestServer server;
  int n = 0;
  for (const auto& c : cases) {
    SmtpClient client;
    Setup(client, server.HostPort());
    client.BodyText(c.body);
    ASSERT_TRUE(SendAndWait(client).sent) << c.charset;
    const auto env = Envelope(server, ++n);
    EXPECT_EQ(env["parts"].toArray()[0].toObject()["charset"].toString().toStdString(), c.charset);
    EXPECT_EQ(PartData(env, 0), c.arrives) << c.charset;
    const std::string raw = server.Message(n);
    std::size_t start = 0;
    for (auto end = raw.find("\r\n"); end != std::string::npos;
         end = raw.find("\r\n", start = end + 2)) {
      ASSERT_LE(end - start, 998U) << "a line over the SMTP limit went out";
    }
  }
}

TEST_F(SmtpClientTest, EncodedSubjectAndAttachments) {
  TempFolder files;
  std::string binary(300 * 1024, '\0');
  std::mt19937 random(42);
  for (char& b : binary) b = static_cast<char>(random());
  const auto bin = files.Write("data.bin", binary);
  const auto named = files.Write("r\xC3\xA9sum\xC3\xA9 2026.txt", "text\n");
  SmtpTestServer server;
  SmtpClient client;
  Setup(client, server.HostPort());
  const std::string subject =
      "Bericht \xC3\xBC"
      "ber die Woche \xE2\x80\x94 mit sehr langem Betreff, der gefaltet werden muss, "
      "\xF0\x9F\x93\x88 und Emoji";
  client.SubjectText(subject);
  client.AttachmentList().Add(bin);
  client.AttachmentList().Add(named);
  ASSERT_TRUE(SendAndWait(client).sent);
  const auto env = Envelope(server, 1);
  EXPECT_EQ(env["subject"].toString().toStdString(), subject);
  const auto parts = env["parts"].toArray();
  ASSERT_EQ(parts.size(), 3);
  EXPECT_EQ(parts[1].toObject()["filename"].toString(), "data.bin");
  EXPECT_EQ(parts[1].toObject()["encoding"].toString(), "base64");
  EXPECT_TRUE(PartData(env, 1) == binary) << "attachment bytes differ";
  EXPECT_EQ(parts[2].toObject()["filename"].toString().toStdString(),
            "r\xC3\xA9sum\xC3\xA9 2026.txt");
  EXPECT_EQ(PartData(env, 2), "text\n");
}

TEST_F(SmtpClientTest, ProgressAtMostEveryTenPercent) {
  TempFolder files;
  const auto big = files.Write("big.bin", std::string(3 * 1024 * 1024, 'z'));
  SmtpTestServer server;
  SmtpClient client;
  Setup(client, server.HostPort());
  client.AttachmentList().Add(big);
  const auto out = SendAndWait(client);
  ASSERT_TRUE(out.sent);
  std::vector<int> percents;
  for (const auto& s : out.statuses) {
    int p = 0;
    if (std::sscanf(s.c_str(), "Sending message: %d%% of", &p) == 1) percents.push_back(p);
  }
  ASSERT_GE(percents.size(), 2U);
  EXPECT_LE(percents.size(), 11U);
  EXPECT_EQ(percents.back(), 100);
  for (std::size_t i = 1; i < percents.size(); ++i) EXPECT_GE(percents[i] - percents[i - 1], 10);
}

TEST_F(SmtpClientTest, StartTlsWithAuthToRemoteServer) {
  TestCertificate cert;
  auto flags = cert.ServerFlags();
  flags.insert(flags.end(), {"--auth", "mailer:s3cret"});
  SmtpTestServer server(flags);
  SmtpClient client;
  Setup(client, "localhost:" + std::to_string(server.Port()));
  client.TrustedCaFile(cert.Ca());
  client.TreatServerAsRemoteForTesting(true);
  client.AuthMode(2);
  client.AuthUserName("mailer");
  client.AuthPassword("s3cret");
  const auto out = SendAndWait(client);
  ASSERT_TRUE(out.sent) << (out.errors.empty() ? "" : out.errors.front().second);
  EXPECT_TRUE(Envelope(server, 1)["tls"].toBool());
  EXPECT_EQ(Envelope(server, 1)["login"].toString(), "mailer");
  EXPECT_NE(server.Events().find("AUTH PLAIN mailer ok"), std::string::npos) << server.Events();
  const std::string info = client.InfoText();
  EXPECT_NE(info.find("TLS: TLSv1."), std::string::npos) << info;
  EXPECT_NE(info.find("(STARTTLS)"), std::string::npos) << info;
  EXPECT_NE(info.find("Authentication: PLAIN as mailer"), std::string::npos) << info;
  for (const auto& s : out.statuses) {
    EXPECT_EQ(s.find("s3cret"), std::string::npos);
    EXPECT_EQ(s.find("AG1haWxlcgBzM2NyZXQ"), std::string::npos) << "credentials in a status: " << s;
  }
  EXPECT_NE(std::find(out.statuses.begin(), out.statuses.end(), "Starting TLS"),
            out.statuses.end());
  for (const auto& s : out.statuses) {
    EXPECT_NE(s.rfind("334", 0), 0U) << "AUTH PLAIN took a second round trip";
  }
}

TEST_F(SmtpClientTest, ImplicitTls) {
  TestCertificate cert;
  auto flags = cert.ServerFlags();
  flags.emplace_back("--implicit-tls");
  SmtpTestServer server(flags);
  SmtpClient client;
  Setup(client, "smtps://localhost:" + std::to_string(server.Port()));
  client.TrustedCaFile(cert.Ca());
  ASSERT_TRUE(SendAndWait(client).sent);
  EXPECT_TRUE(Envelope(server, 1)["tls"].toBool());
  EXPECT_NE(client.InfoText().find("(implicit)"), std::string::npos) << client.InfoText();
}

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

// Failures that end the send: the number, a word of the description, and
// that nothing was delivered.
TEST_F(SmtpClientTest, FinalErrors) {
  TestCertificate cert;
  struct Case {
    const char* name;
    std::vector<std::string> flags;
    std::function<void(SmtpClient&, const SmtpTestServer&)> setup;
    int number;
    const char* says;
  };
  const auto withAuth = [](const char* user, const char* password) {
    return [=](SmtpClient& c, const SmtpTestServer&) {
      c.AuthMode(2);
      c.AuthUserName(user);
      c.AuthPassword(password);
    };
  };
  const Case cases[] = {
      {"greets with 421", {"--fault", "greet-421"}, nullptr, 421, "Service not available"},
      {"AUTH refused",
       {"--auth", "u:right", "--auth-over-plain"},
       withAuth("u", "wrong"),
       535,
       "credentials"},
      {"all recipients refused", {"--refuse-rcpt", "bob@example.com"}, nullptr, 550, "rejected"},
      {"drops during DATA",
       {"--fault", "drop-during-data"},
       [](SmtpClient& c, const SmtpTestServer&) { c.BodyText(std::string(256 * 1024, 'b')); },
       SmtpErrors::kConnectionLost,
       "lost"},
      {"no AUTH offered",
       {"--no-auth-offer"},
       withAuth("u", "p"),
       SmtpErrors::kAuthNotOffered,
       "offers no AUTH"},
      {"password to a remote server without TLS",
       {"--auth", "u:p", "--auth-over-plain"},
       [&](SmtpClient& c, const SmtpTestServer& s) {
         withAuth("u", "p")(c, s);
         c.TreatServerAsRemoteForTesting(true);
       },
       SmtpErrors::kTlsRequired,
       "STARTTLS"},
      {"untrusted certificate", cert.ServerFlags(),
       [&](SmtpClient& c, const SmtpTestServer& s) {
         c.ServerHost("localhost:" + std::to_string(s.Port()));
         withAuth("u", "p")(c, s);
         c.TreatServerAsRemoteForTesting(true);
       },
       SmtpErrors::kCertificateRejected, "not trusted"},
      {"connection refused",
       {},
       [](SmtpClient& c, const SmtpTestServer&) {
         c.ServerHost("127.0.0.1:" + std::to_string(FreePort()));
       },
       SmtpErrors::kConnectionRefused,
       "connect"},
      {"host not found",
       {},
       [](SmtpClient& c, const SmtpTestServer&) { c.ServerHost("no-such-host.invalid"); },
       SmtpErrors::kHostNotFound,
       "no-such-host.invalid"},
  };
  for (const auto& c : cases) {
    SmtpTestServer server(c.flags);
    SmtpClient client;
    Setup(client, server.HostPort());
    if (c.setup) c.setup(client, server);
    const auto out = SendAndWait(client);
    EXPECT_FALSE(out.sent) << c.name;
    ASSERT_EQ(out.errors.size(), 1U) << c.name;
    EXPECT_EQ(out.errors[0].first, c.number) << c.name << ": " << out.errors[0].second;
    EXPECT_NE(out.errors[0].second.find(c.says), std::string::npos)
        << c.name << ": " << out.errors[0].second;
    EXPECT_EQ(server.MessageCount(), 0) << c.name;
    if (c.number == SmtpErrors::kTlsRequired || c.number == SmtpErrors::kCertificateRejected) {
      EXPECT_EQ(server.Events().find("AUTH"), std::string::npos) << c.name << " sent the password";
    }
    EXPECT_NE(client.InfoText().find("Error: "), std::string::npos) << c.name;
  }
}

TEST_F(SmtpClientTest, OneRecipientRefusedGoesOn) {
  SmtpTestServer server({"--refuse-rcpt", "nobody@example.com"});
  SmtpClient client;
  Setup(client, server.HostPort(), "nobody@example.com,bob@example.com");
  const auto out = SendAndWait(client);
  EXPECT_TRUE(out.sent);
  ASSERT_EQ(out.errors.size(), 1U);
  EXPECT_EQ(out.errors[0].first, SmtpErrors::kRecipientRefused);
  EXPECT_NE(out.errors[0].second.find("nobody@example.com"), std::string::npos);
  EXPECT_NE(out.errors[0].second.find("550"), std::string::npos);
  ASSERT_EQ(server.MessageCount(), 1);
  EXPECT_EQ(Envelope(server, 1)["rcpt_tos"].toArray(), QJsonArray({"bob@example.com"}));
  EXPECT_NE(client.InfoText().find("Recipients accepted: 1 of 2"), std::string::npos);
}

TEST_F(SmtpClientTest, NoAnswerTimesOutWithinTimeout) {
  for (const char* fault : {"no-greeting", "slow-mail", "stall-data"}) {
    SmtpTestServer server({"--fault", fault, "--delay", "30"});
    SmtpClient client;
    Setup(client, server.HostPort());
    if (std::string(fault) == "stall-data") {
      client.BodyText(std::string(8 * 1024 * 1024, 'b'));  // more than the socket buffers hold
    }
    client.TimeoutMs(1500);
    const auto out = SendAndWait(client);
    ASSERT_EQ(out.errors.size(), 1U) << fault;
    EXPECT_EQ(out.errors[0].first, SmtpErrors::kTimedOut) << fault << ": " << out.errors[0].second;
    EXPECT_NE(out.errors[0].second.find("1500 ms"), std::string::npos);
    EXPECT_GE(out.elapsedMs, 1400) << fault;
    EXPECT_LE(out.elapsedMs, 2500) << fault;
  }
}

TEST_F(SmtpClientTest, InjectionRefusedBeforeConnecting) {
  struct Case {
    const char* name;
    std::function<void(SmtpClient&)> spoil;
  };
  TempFolder files;
  const auto evil = files.Write("a\nb.txt", "x");
  const Case cases[] = {
      {"subject", [](SmtpClient& c) { c.SubjectText("Hi\r\nBcc: victim@example.com"); }},
      {"sender",
       [](SmtpClient& c) { c.SenderAddress("alice@example.com>\r\nRCPT TO:<victim@example.com"); }},
      {"recipient", [](SmtpClient& c) { c.RecipientList("bob@example.com\rDATA"); }},
      {"attachment name", [&](SmtpClient& c) { c.AttachmentList().Add(evil); }},
      {"no recipient", [](SmtpClient& c) { c.RecipientList(" , "); }},
      {"no sender", [](SmtpClient& c) { c.SenderAddress(""); }},
      {"ESMTP parameter after >", [](SmtpClient& c) { c.SenderAddress("a@x.test> RET=FULL"); }},
      {"text after the bracket", [](SmtpClient& c) { c.RecipientList("<b@x.test> NOTIFY=NEVER"); }},
      {"escape byte", [](SmtpClient& c) { c.RecipientList("b\x1B[2J@x.test"); }},
      {"DEL", [](SmtpClient& c) { c.SenderAddress("a\x7F@x.test"); }},
      {"tab", [](SmtpClient& c) { c.SenderAddress("a\t@x.test"); }},
      {"NUL", [](SmtpClient& c) { c.RecipientList(std::string("b\0c@x.test", 10)); }},
      {"unbalanced quote", [](SmtpClient& c) { c.SenderAddress("\"Al <a@x.test>"); }},
      {"local part over 64",
       [](SmtpClient& c) { c.RecipientList(std::string(1200, 'l') + "@x.test"); }},
      {"domain over 255", [](SmtpClient& c) { c.RecipientList("b@" + std::string(300, 'd')); }},
  };
  SmtpTestServer server;
  for (const auto& c : cases) {
    SmtpClient client;
    Setup(client, server.HostPort());
    c.spoil(client);
    const auto out = SendAndWait(client, 3000);
    ASSERT_EQ(out.errors.size(), 1U) << c.name;
    EXPECT_EQ(out.errors[0].first, SmtpErrors::kInvalidMessage) << c.name;
    EXPECT_FALSE(out.eventDuringSend) << c.name;
  }
  EXPECT_EQ(server.Events(), "") << "the server saw a connection";
}

TEST_F(SmtpClientTest, UnreadableAttachmentRefused) {
  SmtpTestServer server;
  SmtpClient client;
  Setup(client, server.HostPort());
  client.AttachmentList().Add("/no/such/file.pdf");
  const auto out = SendAndWait(client, 3000);
  ASSERT_EQ(out.errors.size(), 1U);
  EXPECT_EQ(out.errors[0].first, SmtpErrors::kAttachmentUnreadable);
  EXPECT_NE(out.errors[0].second.find("/no/such/file.pdf"), std::string::npos);
  EXPECT_EQ(server.Events(), "");
}

TEST_F(SmtpClientTest, SendAgainDeliversAgain) {
  SmtpTestServer server;
  SmtpClient client;
  Setup(client, server.HostPort());
  ASSERT_TRUE(SendAndWait(client).sent);
  ASSERT_TRUE(SendAndWait(client).sent);
  ASSERT_EQ(server.MessageCount(), 2);
  EXPECT_EQ(PartData(Envelope(server, 1), 0), PartData(Envelope(server, 2), 0));
  EXPECT_EQ(server.Events().find("CONNECT"), 0U);
  EXPECT_NE(server.Events().rfind("CONNECT"), 0U) << "a fresh connection each time";
}

TEST_F(SmtpClientTest, CancelAbortsPromptlyAndStaysQuiet) {
  SmtpTestServer server({"--fault", "no-greeting"});
  SmtpClient client;
  Setup(client, server.HostPort());
  int events = 0;
  QObject::connect(&client, &SmtpClient::ErrorSMTP, [&] { ++events; });
  QObject::connect(&client, &SmtpClient::SendSMTP, [&] { ++events; });
  ASSERT_TRUE(client.Send());
  EXPECT_FALSE(client.Send()) << "a second Send while running";
  QEventLoop loop;
  QTimer::singleShot(300, &loop, &QEventLoop::quit);
  loop.exec();
  const auto start = Clock::now();
  client.Cancel();
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_FALSE(client.Busy());
  QTimer::singleShot(500, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_EQ(events, 0);
}

}  // namespace

// Every phase ends within the time-out plus a second of silence, and a
// cancel in it is honoured within half a second. No reply to the end of the
// message is never a time-out: the server may have it.
TEST_F(SmtpClientTest, EveryPhaseEndsOnSilenceAndOnCancel) {
  struct Case {
    const char* fault;
    int number;
    const char* waitingFor;
  };
  const Case cases[] = {
      {"no-greeting", SmtpErrors::kTimedOut, "greeting"},
      {"slow-mail", SmtpErrors::kTimedOut, "MAIL FROM"},
      {"stall-data", SmtpErrors::kTimedOut, "take the message"},
      {"no-eod-reply", SmtpErrors::kNoFinalReply, "may already have it"},
  };
  TempFolder files;
  const auto big = files.Write("big.bin", std::string(24 * 1024 * 1024, 'q'));
  for (const auto& c : cases) {
    const bool stall = std::string(c.fault) == "stall-data";
    {
      SmtpTestServer server({"--fault", c.fault, "--delay", "30"});
      SmtpClient client;
      Setup(client, server.HostPort());
      if (stall) client.AttachmentList().Add(big);  // more than the socket buffers hold
      client.TimeoutMs(1500);
      const auto out = SendAndWait(client);
      ASSERT_EQ(out.errors.size(), 1U) << c.fault;
      EXPECT_EQ(out.errors[0].first, c.number) << c.fault << ": " << out.errors[0].second;
      EXPECT_NE(out.errors[0].second.find(c.waitingFor), std::string::npos) << out.errors[0].second;
      EXPECT_GE(out.elapsedMs, 1400) << c.fault;
      EXPECT_LE(out.elapsedMs, 1500 + 1000) << c.fault;
      if (c.number == SmtpErrors::kNoFinalReply) {
        EXPECT_EQ(out.errors[0].second.find("10060"), std::string::npos);
        EXPECT_EQ(out.errors[0].second.find("12012"), std::string::npos);
      }
    }
    {
      SmtpTestServer server({"--fault", c.fault, "--delay", "30"});
      auto client = std::make_unique<SmtpClient>();
      Setup(*client, server.HostPort());
      if (stall) client->AttachmentList().Add(big);
      client->TimeoutMs(20000);
      int events = 0;
      QObject::connect(client.get(), &SmtpClient::ErrorSMTP, [&] { ++events; });
      QObject::connect(client.get(), &SmtpClient::SendSMTP, [&] { ++events; });
      ASSERT_TRUE(client->Send());
      QEventLoop loop;
      QTimer::singleShot(700, &loop, &QEventLoop::quit);  // well into the phase
      loop.exec();
      // Cancel returns at once; the destructor returns once the worker has ended.
      const auto start = Clock::now();
      client->Cancel();
      client.reset();
      EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500)) << c.fault;
      QCoreApplication::processEvents();
      EXPECT_EQ(events, 0) << c.fault;
      EXPECT_EQ(server.MessageCount(), 0);
    }
  }
}

TEST_F(SmtpClientTest, OutcomeIsTheReplyToTheEndOfTheMessage) {
  {
    // Taken, then QUIT goes unanswered: sent, and at once.
    SmtpTestServer server({"--fault", "quit-silent"});
    SmtpClient client;
    Setup(client, server.HostPort());
    client.TimeoutMs(10000);
    const auto out = SendAndWait(client);
    EXPECT_TRUE(out.sent);
    EXPECT_TRUE(out.errors.empty());
    EXPECT_LT(out.elapsedMs, 1000);
    EXPECT_EQ(server.MessageCount(), 1);
  }
  {
    // The whole message went out and the server hung up: not a time-out,
    // so nobody resends it.
    SmtpTestServer server({"--fault", "drop-after-eod"});
    SmtpClient client;
    Setup(client, server.HostPort());
    const auto out = SendAndWait(client);
    EXPECT_FALSE(out.sent);
    ASSERT_EQ(out.errors.size(), 1U);
    EXPECT_EQ(out.errors[0].first, SmtpErrors::kNoFinalReply) << out.errors[0].second;
    EXPECT_NE(out.errors[0].second.find("may already have it"), std::string::npos);
    EXPECT_EQ(out.errors[0].second.find("10060"), std::string::npos);
    EXPECT_NE(server.Events().find("EOD"), std::string::npos);
  }
}

// A file that shrinks while it is sent never gives a message that looks
// whole to the server.
TEST_F(SmtpClientTest, AttachmentTruncatedWhileSendingIsNotSent) {
  TempFolder files;
  const auto path = files.Write("big.bin", std::string(32 * 1024 * 1024, 'a'));
  SmtpTestServer server({"--fault", "slow-data"});
  SmtpClient client;
  Setup(client, server.HostPort());
  client.AttachmentList().Add(path);
  QObject::connect(&client, &SmtpClient::StatusChanged, [&](const std::string& s) {
    if (s.rfind("Sending message: 10%", 0) == 0) std::filesystem::resize_file(path, 64 * 1024);
  });
  const auto out = SendAndWait(client, 60000);
  EXPECT_FALSE(out.sent);
  ASSERT_EQ(out.errors.size(), 1U);
  EXPECT_EQ(out.errors[0].first, SmtpErrors::kAttachmentUnreadable) << out.errors[0].second;
  EXPECT_NE(out.errors[0].second.find("shrank"), std::string::npos) << out.errors[0].second;
  EXPECT_EQ(server.Events().find("EOD"), std::string::npos) << "the message was ended";
}

bool HasControlByte(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    const bool lineEnd =
        text.compare(i, 2, "\r\n") == 0 || (i > 0 && text.compare(i - 1, 2, "\r\n") == 0);
    if ((b < 0x20 && !lineEnd) || b == 0x7F || (b >= 0x80 && b < 0xA0)) return true;
  }
  return false;
}

TEST_F(SmtpClientTest, ServerControlBytesNeverReachTheCaller) {
  SmtpTestServer server({"--fault", "escape-reply", "--refuse-rcpt", "nobody@example.com"});
  SmtpClient client;
  Setup(client, server.HostPort(), "nobody@example.com, bob@example.com");
  const auto out = SendAndWait(client);
  ASSERT_TRUE(out.sent);
  for (const auto& s : out.statuses) EXPECT_FALSE(HasControlByte(s)) << s;
  ASSERT_EQ(out.errors.size(), 1U);
  EXPECT_FALSE(HasControlByte(out.errors[0].second)) << out.errors[0].second;
  EXPECT_NE(out.errors[0].second.find("no such user"), std::string::npos);
  EXPECT_FALSE(HasControlByte(client.InfoText())) << client.InfoText();
  EXPECT_NE(client.InfoText().find("OK queued"), std::string::npos) << client.InfoText();
}

TEST_F(SmtpClientTest, LongSubjectNulBodyAndLongNonAsciiFileName) {
  TempFolder files;
  std::string longName;
  for (int i = 0; i < 60; ++i) longName += "\xC3\xA9";
  longName += ".txt";
  const auto named = files.Write(longName, "x");
  SmtpTestServer server;
  SmtpClient client;
  Setup(client, server.HostPort());
  const std::string subject(3000, 'S');
  const std::string body("nul\0here\r\n", 10);
  client.SubjectText(subject);
  client.BodyText(body);
  client.AttachmentList().Add(named);
  ASSERT_TRUE(SendAndWait(client).sent);
  const auto env = Envelope(server, 1);
  EXPECT_EQ(env["subject"].toString().toStdString(), subject);
  EXPECT_EQ(PartData(env, 0), body);
  EXPECT_EQ(env["parts"].toArray()[1].toObject()["filename"].toString().toStdString(), longName);
  EXPECT_EQ(env["defects"].toInt(), 0);
  const std::string raw = server.Message(1);
  std::size_t start = 0;
  for (auto end = raw.find("\r\n"); end != std::string::npos;
       end = raw.find("\r\n", start = end + 2)) {
    ASSERT_LE(end - start, 998U);
  }
  EXPECT_EQ(raw.find('\0'), std::string::npos) << "a raw NUL went out";
}

TEST_F(SmtpClientTest, Utf8LocalPartNeedsSmtpUtf8) {
  const std::string utf8 = "\xC3\xA9lise@example.com";
  {
    SmtpTestServer server;
    SmtpClient client;
    Setup(client, server.HostPort(),
          "bob@b\xC3\xBC"
          "cher.example, " +
              utf8);
    ASSERT_TRUE(SendAndWait(client).sent);
    const auto env = Envelope(server, 1);
    EXPECT_EQ(env["rcpt_tos"].toArray(),
              QJsonArray({"bob@xn--bcher-kva.example", QString::fromStdString(utf8)}));
    EXPECT_TRUE(env["mail_options"].toArray().contains("SMTPUTF8"));
  }
  {
    SmtpTestServer server({"--no-smtputf8"});
    SmtpClient client;
    Setup(client, server.HostPort(), utf8);
    const auto out = SendAndWait(client);
    ASSERT_EQ(out.errors.size(), 1U);
    EXPECT_EQ(out.errors[0].first, SmtpErrors::kSmtpUtf8NotOffered) << out.errors[0].second;
    EXPECT_EQ(server.Events().find("RCPT"), std::string::npos) << server.Events();
    EXPECT_EQ(server.MessageCount(), 0);
  }
}
