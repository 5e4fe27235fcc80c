// OAuth2 sign-in end to end: the built program against a fake authorization
// server and the test SMTP server, which takes only the tokens the former
// issued. Signing in (device, browser with a pasted address, client
// credentials), sending with a kept, expiring, refused or rotated token,
// and what a failure says, with no token in the log or on standard error.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include "ProgramRun.h"
#include "ReceivedMail.h"
#include "SmtpTestServer.h"
#include "TestKeyring.h"

namespace {

constexpr const char* kUser = "alice@example.com";

// The fake authorization server, scripted per test.
class OAuthServer {
 public:
  explicit OAuthServer(const std::string& script)
      : script_(folder_.Write("script.json", script)),
        process_("oauth_server.py", {"--out", folder_.File("requests.jsonl"), "--script", script_,
                                     "--valid-tokens", ValidTokens(), "--lifetime", "300"}) {}

  std::string Url(const std::string& endpoint) const {
    return "http://127.0.0.1:" + std::to_string(process_.Port()) + "/" + endpoint;
  }
  std::string ValidTokens() const { return folder_.File("valid"); }
  // Each request as the server recorded it.
  std::vector<QJsonObject> Requests() const {
    std::vector<QJsonObject> requests;
    std::istringstream lines(TempFolder::Read(folder_.File("requests.jsonl")));
    for (std::string line; std::getline(lines, line);)
      requests.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
    return requests;
  }
  int Count(const std::string& grant) const {
    int n = 0;
    for (const auto& r : Requests()) n += r["grant"].toString().toStdString() == grant ? 1 : 0;
    return n;
  }
  // Tokens issued so far, newest last.
  std::vector<std::string> Issued(const char* which) const {
    std::vector<std::string> tokens;
    for (const auto& r : Requests()) {
      const std::string token = r["issued"].toObject()[which].toString().toStdString();
      if (!token.empty()) tokens.push_back(token);
    }
    return tokens;
  }

 private:
  TempFolder folder_;
  std::string script_;
  FixtureProcess process_;
};

class OAuthTest : public testing::Test {
 protected:
  // Settings that sign in at `oauth` and send to `smtp`; `changes` are
  // "Key=value" lines that replace a key's value or add one.
  void Configure(const OAuthServer& oauth, const SmtpTestServer& smtp,
                 const std::vector<std::string>& changes = {}) {
    std::vector<std::pair<std::string, std::string>> keys = {
        {"SMTPUserName", kUser},
        {"SMTPAuth", "xoauth2"},
        {"OAuthClientId", "cid"},
        {"OAuthScope", "mail"},
        {"OAuthTokenUrl", oauth.Url("token")},
        {"OAuthDeviceUrl", oauth.Url("devicecode")},
        {"OAuthAuthorizeUrl", oauth.Url("authorize")}};
    for (const auto& change : changes) {
      const std::string key = change.substr(0, change.find('='));
      const std::string value = change.substr(change.find('=') + 1);
      auto found = std::find_if(keys.begin(), keys.end(), [&](auto& k) { return k.first == key; });
      if (found != keys.end()) {
        found->second = value;
      } else {
        keys.emplace_back(key, value);
      }
    }
    std::string lines;
    for (const auto& [key, value] : keys) lines += key + "=" + value + "\r\n";
    program_.Write("Tarnwick.ini", Ini(smtp, lines));
  }
  // Tokens kept as a sign-in would have kept them.
  void Keep(const std::string& access, const std::string& refresh, long long secondsLeft) {
    const std::string path = program_.Write(
        "Tarnwick.tokens",
        R"({"accounts": {"cid )" + std::string(kUser) + R"(": {"access_token": ")" + access +
            R"(", "refresh_token": ")" + refresh + R"(", "expires_at": )" +
            std::to_string(std::time(nullptr) + secondsLeft) + R"(, "scope": "mail"}}})");
    ::chmod(path.c_str(), 0600);
  }
  std::string KeptRefreshToken() const {
    const std::string text = program_.Read("Tarnwick.tokens");
    const auto json = QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
    return json["accounts"]
        .toObject()[QString("cid ") + kUser]
        .toObject()["refresh_token"]
        .toString()
        .toStdString();
  }
  RunResult Send() const {
    return program_.Run({"-t", "bob@example.com", "-s", "s", "-m", "b", "-log"});
  }
  RunResult Login(const RunOptions& options = {}) const {
    return program_.Run({"-login"}, options);
  }
  // No token the server issued, nor a kept one, in what the run wrote.
  void ExpectNoToken(const OAuthServer& oauth, const RunResult& run,
                     const std::vector<std::string>& more = {}) const {
    std::vector<std::string> tokens = oauth.Issued("access_token");
    for (const auto& t : oauth.Issued("refresh_token")) tokens.push_back(t);
    tokens.insert(tokens.end(), more.begin(), more.end());
    const std::string log = program_.Read("Tarnwick.log");
    for (const auto& token : tokens) {
      EXPECT_EQ(run.err.find(token), std::string::npos) << "a token on standard error";
      EXPECT_EQ(run.out.find(token), std::string::npos) << "a token on standard output";
      EXPECT_EQ(log.find(token), std::string::npos) << "a token in the log";
    }
  }

  ProgramCopy program_{TARNWICK_BINARY};
};

std::vector<std::string> SmtpFlags(const OAuthServer& oauth) {
  return {"--oauth-tokens", oauth.ValidTokens(), "--oauth-user", kUser, "--auth-over-plain"};
}

TEST_F(OAuthTest, DeviceSignInThenSendWithTheKeptToken) {
  struct Case {
    const char* name;
    const char* replies;
    int status;
    std::string said;
  };
  const Case cases[] = {
      {"pending twice", R"(["authorization_pending", "authorization_pending", "ok"])", 0, ""},
      {"slow down", R"(["slow_down", "ok"])", 0, ""},
      {"declined", R"(["authorization_pending", "access_denied"])", 1, "declined"},
      {"expired", R"(["expired_token"])", 1, "expired before the sign-in"},
  };
  for (const auto& c : cases) {
    OAuthServer oauth(std::string(R"({"interval": 1, "replies": {"device_code": )") + c.replies +
                      "}}");
    SmtpTestServer smtp(SmtpFlags(oauth));
    Configure(oauth, smtp);
    std::filesystem::remove(program_.Folder().File("Tarnwick.tokens"));
    const RunResult login = Login();
    EXPECT_EQ(login.status, c.status) << c.name << ": " << login.err;
    EXPECT_NE(login.err.find("enter the code WDJB-MJHT"), std::string::npos) << login.err;
    for (const auto& r : oauth.Requests())
      EXPECT_FALSE(r["early"].toBool()) << c.name << ": polled sooner than the interval allows";
    if (c.status != 0) {
      EXPECT_NE(login.err.find(c.said), std::string::npos) << c.name << ": " << login.err;
      continue;
    }
    EXPECT_NE(login.out.find("Signed in as alice@example.com"), std::string::npos) << login.out;
    EXPECT_NE(login.out.find("Scopes: mail"), std::string::npos) << login.out;
    struct stat info {};
    ASSERT_EQ(::stat(program_.Folder().File("Tarnwick.tokens").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U);
    const int requests = static_cast<int>(oauth.Requests().size());
    const RunResult sent = Send();
    EXPECT_EQ(sent.status, 0) << c.name << ": " << sent.err;
    EXPECT_EQ(smtp.MessageCount(), 1) << c.name;
    EXPECT_EQ(static_cast<int>(oauth.Requests().size()), requests)
        << "a kept token with time left asks the token endpoint nothing";
    ExpectNoToken(oauth, login);
    ExpectNoToken(oauth, sent);
  }
}

TEST_F(OAuthTest, BrowserSignInWithThePastedAddress) {
  OAuthServer oauth(R"({"paste_back": true})");
  SmtpTestServer smtp(SmtpFlags(oauth));
  Configure(oauth, smtp, {"OAuthGrant=code"});
  RunOptions paste;
  paste.wrapper = {"/usr/bin/python3", std::string(TARNWICK_FIXTURES_DIR) + "/paste_back.py"};
  const RunResult login = Login(paste);
  ASSERT_EQ(login.status, 0) << login.err;
  // The server checked the verifier against the challenge of /authorize.
  bool exchanged = false;
  for (const auto& r : oauth.Requests()) {
    if (r["grant"].toString() != "authorization_code") continue;
    exchanged = true;
    EXPECT_EQ(r["status"].toInt(), 200);
    EXPECT_GE(r["form"].toObject()["code_verifier"].toString().size(), 43);
  }
  EXPECT_TRUE(exchanged);
  EXPECT_EQ(Send().status, 0);
  EXPECT_EQ(smtp.MessageCount(), 1);
}

TEST_F(OAuthTest, ClientCredentialsNeedNoPerson) {
  OAuthServer oauth(R"({"client_secret": "s3cret"})");
  SmtpTestServer smtp(SmtpFlags(oauth));
  Configure(oauth, smtp,
            {"OAuthGrant=client_credentials", "OAuthClientSecretFrom=env TARNWICK_TEST_SECRET"});
  RunOptions withSecret;
  withSecret.env = {"TARNWICK_TEST_SECRET=s3cret"};
  const RunResult login = Login(withSecret);
  ASSERT_EQ(login.status, 0) << login.err;
  EXPECT_EQ(oauth.Count("client_credentials"), 1);
  EXPECT_EQ(program_.Run({"-t", "bob@example.com", "-m", "b"}, withSecret).status, 0);
  EXPECT_EQ(smtp.MessageCount(), 1);
  withSecret.env = {"TARNWICK_TEST_SECRET=wrong"};
  Keep("old", "", -10);
  const RunResult refused = program_.Run({"-t", "bob@example.com", "-m", "b"}, withSecret);
  EXPECT_EQ(refused.status, 1) << refused.err;
  EXPECT_EQ(refused.err.find("wrong"), std::string::npos) << "the secret is not repeated";
}

TEST_F(OAuthTest, TokenLifecycleOnSend) {
  struct Case {
    const char* name;
    std::string script;
    std::string kept;  // the kept access token
    long long left;    // its seconds left
    bool serverDown;   // the token URL answers nothing
    int status;
    std::string said;       // on standard error
    std::string logged;     // in the log
    std::string authEvent;  // in the SMTP server's events
  };
  const Case cases[] = {
      {"expiring: refreshed before the send, the refresh token rotated",
       R"({"refresh_tokens": ["rt-1"]})", "old-at", 120, false, 0, "", "", "ok initial"},
      {"a 2 KB token goes after the 334", R"({"refresh_tokens": ["rt-1"], "token_length": 2048})",
       "old-at", -5, false, 0, "", "", "ok continued"},
      {"refused by the server: one refresh, then sent", R"({"refresh_tokens": ["rt-1"]})",
       "not-a-valid-token", 3600, false, 0, "", "status 401", "ok initial"},
      {"revoked refresh token", R"({"revoked_refresh_tokens": ["rt-1"]})", "old-at", -5, false, 1,
       "sign in again: tarnwick -login", "AADSTS700082", ""},
      {"authorization server down", R"({"refresh_tokens": ["rt-1"]})", "old-at", -5, true, 75,
       "does not answer", "", ""},
      {"authorization server busy",
       R"({"refresh_tokens": ["rt-1"], "replies": {"refresh_token": [503]}})", "old-at", -5, false,
       75, "HTTP 503", "", ""},
      {"not JSON", R"({"refresh_tokens": ["rt-1"], "replies": {"refresh_token": ["not-json"]}})",
       "old-at", -5, false, 1, "no JSON object", "", ""},
  };
  for (const auto& c : cases) {
    OAuthServer oauth(c.script);
    SmtpTestServer smtp(SmtpFlags(oauth));
    Configure(oauth, smtp,
              c.serverDown ? std::vector<std::string>{"OAuthTokenUrl=http://127.0.0.1:1/token"}
                           : std::vector<std::string>{});
    Keep(c.kept, "rt-1", c.left);
    std::filesystem::remove(program_.Folder().File("Tarnwick.log"));
    const RunResult sent = Send();
    EXPECT_EQ(sent.status, c.status) << c.name << ": " << sent.err;
    EXPECT_NE(sent.err.find(c.said), std::string::npos) << c.name << ": " << sent.err;
    EXPECT_NE(program_.Read("Tarnwick.log").find(c.logged), std::string::npos) << c.name;
    EXPECT_EQ(smtp.MessageCount(), c.status == 0 ? 1 : 0) << c.name;
    if (!c.authEvent.empty()) {
      EXPECT_NE(smtp.Events().find(c.authEvent), std::string::npos) << c.name << smtp.Events();
    }
    if (c.status == 0 && !oauth.Issued("refresh_token").empty()) {
      EXPECT_EQ(KeptRefreshToken(), oauth.Issued("refresh_token").back())
          << c.name << ": the rotated refresh token is kept";
    }
    ExpectNoToken(oauth, sent, {"rt-1", c.kept});
  }
}

TEST_F(OAuthTest, TwoSendsRacingARefreshShareIt) {
  OAuthServer oauth(
      R"({"refresh_tokens": ["rt-1"], "replies": {"refresh_token": [{"delay": 1}]}})");
  SmtpTestServer smtp(SmtpFlags(oauth));
  Configure(oauth, smtp);
  Keep("old-at", "rt-1", -5);
  RunResult first;
  RunResult second;
  std::thread a([&] { first = Send(); });
  std::thread b([&] { second = Send(); });
  a.join();
  b.join();
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(smtp.MessageCount(), 2);
  EXPECT_EQ(oauth.Count("refresh_token"), 1) << "the second waited for the first's refresh";
  ASSERT_EQ(oauth.Issued("refresh_token").size(), 1U);
  EXPECT_EQ(KeptRefreshToken(), oauth.Issued("refresh_token").back());
}

TEST_F(OAuthTest, TokenCommandAndUnsafeFiles) {
  OAuthServer oauth(R"({"access_tokens": ["cmd-token-1"]})");
  SmtpTestServer smtp(SmtpFlags(oauth));
  const std::string command = program_.Write(
      "token.sh", "#!/bin/sh\necho \"$0 $*\" > \"$(dirname \"$0\")/argv\"\necho cmd-token-1\n");
  ::chmod(command.c_str(), 0700);
  Configure(oauth, smtp, {"OAuthTokenCommand=" + command + " --for alice"});
  const RunResult sent = Send();
  EXPECT_EQ(sent.status, 0) << sent.err;
  EXPECT_EQ(smtp.MessageCount(), 1);
  EXPECT_EQ(oauth.Requests().size(), 0U) << "the command does it all";
  EXPECT_EQ(program_.Read("argv"), command + " --for alice\n");
  ExpectNoToken(oauth, sent, {"cmd-token-1"});

  Configure(oauth, smtp);
  Keep("cmd-token-1", "rt-1", 3600);
  ::chmod(program_.Folder().File("Tarnwick.tokens").c_str(), 0644);
  const RunResult unsafe = Send();
  EXPECT_EQ(unsafe.status, 2) << unsafe.err;
  EXPECT_NE(unsafe.err.find("may be read by others"), std::string::npos) << unsafe.err;
  EXPECT_EQ(smtp.MessageCount(), 1) << "nothing more was sent";
  const std::string before = program_.Read("Tarnwick.tokens");
  Configure(oauth, smtp, {"OAuthGrant=client_credentials"});
  const RunResult login = Login();
  EXPECT_EQ(login.status, 2) << login.err;
  EXPECT_EQ(program_.Read("Tarnwick.tokens"), before) << "a sign-in does not rewrite it either";
}

TEST_F(OAuthTest, NoTokenNowKeepsTheMessageInTheOutbox) {
  OAuthServer oauth(R"({"refresh_tokens": ["rt-1"], "replies": {"refresh_token": [503]}})");
  SmtpTestServer smtp(SmtpFlags(oauth));
  Configure(oauth, smtp, {"Outbox=1"});
  Keep("old-at", "rt-1", -5);
  const RunResult sent = Send();
  EXPECT_EQ(sent.status, 0) << "kept for later: " << sent.err;
  EXPECT_NE(sent.err.find("HTTP 503"), std::string::npos) << sent.err;
  EXPECT_NE(sent.err.find("queued as "), std::string::npos) << sent.err;
  EXPECT_EQ(smtp.MessageCount(), 0);
  RunOptions later;
  later.wrapper = {"faketime", "-f", "+5m"};  // past the wait after a failed try
  const RunResult flush = program_.Run({"-flush"}, later);
  EXPECT_EQ(flush.status, 0) << flush.err;
  EXPECT_EQ(smtp.MessageCount(), 1) << "the flush fetched a token and sent it";
}

TEST_F(OAuthTest, SettingsThatCannotWork) {
  OAuthServer oauth("{}");
  SmtpTestServer smtp(SmtpFlags(oauth));
  struct Case {
    const char* name;
    std::vector<std::string> changes;
    std::vector<std::string> args;
    std::string said;
  };
  const Case cases[] = {
      {"http off loopback",
       {"OAuthTokenUrl=http://auth.example.com/token"},
       {},
       "must travel over https"},
      {"loopback in name only",
       {"OAuthTokenUrl=http://127.0.0.1:1@auth.example.com/token"},
       {},
       "names a user before its host"},
      {"an unknown mechanism", {"SMTPAuth=cram"}, {}, "none of xoauth2"},
      {"no client id", {"OAuthClientId="}, {}, "needs OAuthClientId"},
      {"no user", {"SMTPUserName="}, {}, "needs SMTPUserName"},
      {"a password besides", {}, {"-xp", "secret"}, "-xp has nothing to do"},
      {"never signed in", {}, {}, "has not signed in yet"},
  };
  for (const auto& c : cases) {
    Configure(oauth, smtp, c.changes);
    std::filesystem::remove(program_.Folder().File("Tarnwick.tokens"));
    std::vector<std::string> args = {"-t", "bob@example.com", "-m", "b"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult run = program_.Run(args);
    EXPECT_EQ(run.status, 2) << c.name << ": " << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << c.name << ": " << run.err;
  }
  EXPECT_EQ(smtp.MessageCount(), 0);
}

TEST_F(OAuthTest, TokensLiveInTheKeyringWhenThePasswordWould) {
  TestKeyring keyring;
  OAuthServer oauth(R"({"interval": 1})");
  SmtpTestServer smtp(SmtpFlags(oauth));
  Configure(oauth, smtp, {"SMTPPasswordFrom=keyring"});
  RunOptions withBus;
  withBus.env = {keyring.BusEnv()};
  const RunResult login = Login(withBus);
  ASSERT_EQ(login.status, 0) << login.err;
  EXPECT_FALSE(std::filesystem::exists(program_.Folder().File("Tarnwick.tokens")))
      << "no token file beside a keyring";
  const std::string kept = keyring.Lookup("127.0.0.1", std::string("'cid ") + kUser + "'");
  ASSERT_FALSE(oauth.Issued("refresh_token").empty());
  EXPECT_NE(kept.find(oauth.Issued("refresh_token").back()), std::string::npos);
  const RunResult sent = program_.Run({"-t", "bob@example.com", "-m", "b"}, withBus);
  EXPECT_EQ(sent.status, 0) << sent.err;
  EXPECT_EQ(smtp.MessageCount(), 1);
}

}  // namespace
