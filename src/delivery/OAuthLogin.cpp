#include "OAuthLogin.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <iostream>
#include <thread>

#include "AccessToken.h"
#include "AuthorizationCode.h"
#include "MailJobAssembly.h"
#include "OAuthConfig.h"
#include "RunLog.h"
#include "RunOutcome.h"
#include "SecretSource.h"
#include "SettingsFile.h"
#include "SettingsKeys.h"
#include "SwitchParser.h"
#include "TokenEndpoint.h"
#include "WindowSystem.h"

extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace OAuthLogin {
namespace {

using Reply = TokenEndpoint::Reply;

constexpr int kBrowserWaitSeconds = 300;

void Say(const std::string& text) {
  std::cerr << RunLog::OneLine("Tarnwick: " + text) << "\n" << std::flush;
}

int Fail(const std::string& text, int status) {
  Say(text);
  return status;
}

// A token request that did not give tokens, as the run's end.
int Refused(const Reply& reply) {
  if (reply.kind == Reply::Kind::Temporary)
    return Fail(reply.problem + ".", RunOutcome::kExitTemporary);
  if (!reply.error.empty() && !reply.description.empty())
    Say(reply.error + ": " + reply.description);
  return Fail("the sign-in did not succeed: " + reply.problem + ".", RunOutcome::kExitPermanent);
}

struct Login {
  Watcher watcher;
  OAuthConfig config;
  AccessToken::Account account;
  std::string clientSecret;  // empty for a public client
};

TokenEndpoint::Form WithClient(const Login& login, TokenEndpoint::Form form) {
  form.emplace_back("client_id", login.config.clientId);
  if (!login.clientSecret.empty()) form.emplace_back("client_secret", login.clientSecret);
  return form;
}

int Keep(const Login& login, const Reply& reply) {
  const AccessToken::Result kept =
      AccessToken::Keep(login.config, login.account, reply.accessToken, reply.refreshToken,
                        reply.expiresIn, reply.scope.empty() ? login.config.scope : reply.scope);
  if (kept.status != SecretSource::Status::Found)
    return Fail(kept.problem, RunOutcome::ForSecret(kept.status));
  char until[64] = {};
  const std::time_t end = std::time(nullptr) + reply.expiresIn;
  std::tm local{};
  if (std::strftime(until, sizeof until, "%Y-%m-%d %H:%M %Z", ::localtime_r(&end, &local)) == 0)
    until[0] = 0;
  std::cout << "Signed in as " << login.account.user << "; the access token is good until " << until
            << ".\nScopes: " << (reply.scope.empty() ? login.config.scope : reply.scope) << "\n"
            << (reply.refreshToken.empty() && login.config.grant != "client_credentials"
                    ? "The provider gave no refresh token: sign in again when it runs out.\n"
                    : "")
            << std::flush;
  return RunOutcome::kExitSent;
}

// RFC 8628: a code to type on another device while we poll.
int DeviceGrant(const Login& login) {
  if (login.config.deviceUrl.empty())
    return Fail("the device sign-in needs OAuthDeviceUrl.", RunOutcome::kExitBadInput);
  const Reply start =
      TokenEndpoint::Post(login.config.deviceUrl,
                          WithClient(login, {{"scope", login.config.scope}}), login.account.caFile);
  if (start.kind != Reply::Kind::Other) return Refused(start);
  const std::string deviceCode = start.Field("device_code");
  const std::string userCode = start.Field("user_code");
  std::string uri = start.Field("verification_uri");
  if (uri.empty()) uri = start.Field("verification_url");  // Google's spelling
  if (deviceCode.empty() || userCode.empty() || uri.empty())
    return Fail("the device endpoint's answer lacks a code or an address.",
                RunOutcome::kExitPermanent);
  Say("to sign in, open " + uri + " and enter the code " + userCode);
  const std::string complete = start.Field("verification_uri_complete");
  if (!complete.empty()) Say("or open " + complete);
  if (login.watcher.showCode) login.watcher.showCode({uri, userCode, complete});
  int interval = std::max(1, std::atoi(start.Field("interval").c_str()));
  if (start.Field("interval").empty()) interval = 5;
  const long long expires = std::atoll(start.Field("expires_in").c_str());
  const auto end =
      std::chrono::steady_clock::now() + std::chrono::seconds(expires > 0 ? expires : 900);
  auto cancelled = [&login] {
    return login.watcher.cancelled != nullptr && *login.watcher.cancelled;
  };
  while (std::chrono::steady_clock::now() < end && !cancelled()) {
    // In small steps, so a closed window ends the wait at once.
    const auto due = std::chrono::steady_clock::now() + std::chrono::seconds(interval);
    while (std::chrono::steady_clock::now() < due && !cancelled())
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (cancelled()) break;
    const Reply poll = TokenEndpoint::Post(
        login.config.tokenUrl,
        WithClient(login, {{"grant_type", "urn:ietf:params:oauth:grant-type:device_code"},
                           {"device_code", deviceCode}}),
        login.account.caFile);
    if (poll.kind == Reply::Kind::Tokens) return Keep(login, poll);
    if (poll.error == "authorization_pending") continue;
    if (poll.error == "slow_down") {
      interval += 5;
      continue;
    }
    if (poll.error == "expired_token") break;
    if (poll.error == "access_denied")
      return Fail("the sign-in was declined.", RunOutcome::kExitPermanent);
    return Refused(poll);
  }
  if (cancelled()) return Fail("the sign-in was cancelled.", RunOutcome::kExitPermanent);
  return Fail("the code expired before the sign-in was done; run tarnwick -login again.",
              RunOutcome::kExitPermanent);
}

// The browser, left running on its own: xdg-open may wait for it to close,
// and it is not ours to end.
void OpenBrowser(const std::string& url) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (const int fd : {0, 1, 2})
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  std::string program = "xdg-open";
  std::string address = url;
  char* argv[] = {program.data(), address.data(), nullptr};
  pid_t pid = 0;
  if (::posix_spawnp(&pid, argv[0], &actions, &attributes, argv, environ) != 0)
    Say("no browser could be opened; open the address above by hand.");
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
}

// RFC 7636 and 8252: the browser, answering to a port on 127.0.0.1, or the
// address it ends on pasted here.
int CodeGrant(const Login& login) {
  if (login.config.authorizeUrl.empty())
    return Fail("the browser sign-in needs OAuthAuthorizeUrl.", RunOutcome::kExitBadInput);
  AuthorizationCode::Listener listener;
  std::string problem;
  const int port = listener.Open(problem);
  if (port == 0) return Fail(problem + ".", RunOutcome::kExitTemporary);
  const std::string redirect = "http://127.0.0.1:" + std::to_string(port) + "/";
  const AuthorizationCode::Pkce pkce = AuthorizationCode::MakePkce();
  const std::string url = AuthorizationCode::AuthorizeUrl(login.config, redirect, pkce);
  Say("to sign in, open this address in a browser:");
  std::cerr << url << "\n";
  Say("then paste here the address the browser ends on (it may say it cannot connect).");
  if (WindowSystem::Usable()) OpenBrowser(url);
  const auto answer = listener.Wait(STDIN_FILENO, pkce.state, kBrowserWaitSeconds,
                                    login.watcher.cancelled, problem);
  if (!answer) return Fail(problem + ".", RunOutcome::kExitPermanent);
  if (!answer->error.empty()) {
    return Fail("the sign-in was declined (" + answer->error + ").", RunOutcome::kExitPermanent);
  }
  if (answer->state != pkce.state)
    return Fail("the answer is not to this sign-in (its state differs); nothing was kept.",
                RunOutcome::kExitPermanent);
  const Reply reply = TokenEndpoint::Post(login.config.tokenUrl,
                                          WithClient(login, {{"grant_type", "authorization_code"},
                                                             {"code", answer->code},
                                                             {"redirect_uri", redirect},
                                                             {"code_verifier", pkce.verifier}}),
                                          login.account.caFile);
  if (reply.kind != Reply::Kind::Tokens) return Refused(reply);
  return Keep(login, reply);
}

// Nothing to sign in: check that a token can be had, and keep it.
int ClientCredentials(const Login& login) {
  const Reply reply = TokenEndpoint::Post(
      login.config.tokenUrl,
      WithClient(login, {{"grant_type", "client_credentials"}, {"scope", login.config.scope}}),
      login.account.caFile);
  if (reply.kind != Reply::Kind::Tokens) return Refused(reply);
  return Keep(login, reply);
}

}  // namespace

int Run(const Watcher& watcher) {
  const std::string ini = SettingsFile::ForReading();
  if (const std::string problem = SettingsFile::ReadProblem(ini); !problem.empty())
    return Fail(problem, RunOutcome::kExitBadInput);
  const SettingsKeys::Values settings = SettingsKeys::ReadAll(ini);
  Login login;
  login.watcher = watcher;
  login.config = OAuthConfig::FromSettings(settings);
  if (!login.config.Enabled()) {
    return Fail(
        "there is nothing to sign in to: set SMTPAuth (xoauth2 or oauthbearer) or "
        "OAuthProvider in " +
            ini + ".",
        RunOutcome::kExitBadInput);
  }
  if (!login.config.problem.empty()) return Fail(login.config.problem, RunOutcome::kExitBadInput);
  if (!login.config.tokenCommand.empty()) {
    return Fail("OAuthTokenCommand gives the tokens; there is nothing for tarnwick -login to do.",
                RunOutcome::kExitBadInput);
  }
  login.account.user =
      SwitchParser::TrimSpaces(SettingsKeys::ValueOrDefault(settings, "SMTPUserName"));
  if (login.account.user.empty())
    return Fail("set SMTPUserName (the mailbox that signs in) in " + ini + ".",
                RunOutcome::kExitBadInput);
  login.account = TokenAccount(ini, settings, SettingsServer(settings), login.account.user);
  const AccessToken::Result secret = AccessToken::ClientSecret(login.config, login.account.user);
  if (secret.status != SecretSource::Status::Found)
    return Fail(secret.problem, RunOutcome::ForSecret(secret.status));
  login.clientSecret = secret.token;
  if (login.config.grant == "client_credentials") return ClientCredentials(login);
  if (login.config.grant == "code") return CodeGrant(login);
  return DeviceGrant(login);
}

}  // namespace OAuthLogin
