#include "AccessToken.h"

#include <cstring>
#include <ctime>

#include "TokenEndpoint.h"
#include "TokenStore.h"

namespace AccessToken {
namespace {

using Status = SecretSource::Status;

// A token with less than this left may expire on its way to the server.
constexpr std::int64_t kMargin = 300;

constexpr const char* kSignInAgain = "sign in again: tarnwick -login";

Result Failure(Status status, std::string problem, std::string detail = {}) {
  Result result;
  result.status = status;
  result.problem = std::move(problem);
  result.detail = std::move(detail);
  return result;
}

// A failed token request as the run's failure.
Result FromReply(const TokenEndpoint::Reply& reply) {
  std::string detail = reply.error.empty() ? std::string() : reply.error + ": " + reply.description;
  if (reply.kind == TokenEndpoint::Reply::Kind::Temporary)
    return Failure(Status::Unavailable, "OAuth2: " + reply.problem + ".", detail);
  if (TokenEndpoint::NeedsSignIn(reply)) {
    return Failure(Status::Failed,
                   "OAuth2: the sign-in is no longer valid (" + reply.error + "); " + kSignInAgain,
                   detail);
  }
  return Failure(Status::Failed, "OAuth2: " + reply.problem + ".", detail);
}

}  // namespace

Result ClientSecret(const OAuthConfig& config, const std::string& user) {
  Result result;
  if (config.clientSecretFrom.empty()) return result;
  const SecretSource::Source source = SecretSource::Parse(config.clientSecretFrom);
  if (!source.problem.empty() || source.form == SecretSource::Form::Settings)
    return Failure(Status::BadSetting, "OAuthClientSecretFrom names no source of a secret.");
  const SecretSource::Result found =
      SecretSource::Fetch(source, "oauth2-client " + config.clientId, user);
  if (found.status != Status::Found)
    return Failure(found.status, "OAuth2 client secret: " + found.problem);
  result.token = found.secret;
  return result;
}

std::string StoreName(const OAuthConfig& config, const std::string& user) {
  return config.clientId + " " + user;
}

Result Keep(const OAuthConfig& config, const Account& account, const std::string& accessToken,
            const std::string& refreshToken, long long expiresIn, const std::string& scope) {
  TokenStore store(StoreName(config, account.user), account.keyringHost);
  std::string problem;
  bool unsafe = false;
  if (!store.Lock(problem)) return Failure(Status::Unavailable, problem);
  TokenSet tokens = store.Load(problem, unsafe).value_or(TokenSet{});
  // Others may have read it: say so rather than rewrite it, and the other
  // accounts' tokens with it, behind the person's back.
  if (unsafe) return Failure(Status::Unreadable, problem);
  tokens.accessToken = accessToken;
  if (!refreshToken.empty()) tokens.refreshToken = refreshToken;
  tokens.expiresAt = std::time(nullptr) + expiresIn;
  tokens.scope = scope;
  problem.clear();
  if (!store.Save(tokens, problem)) return Failure(Status::Unreadable, problem);
  Result kept;
  kept.token = accessToken;
  return kept;
}

Result Get(const OAuthConfig& config, const Account& account, bool refused) {
  if (!config.tokenCommand.empty()) {
    const SecretSource::Result found = SecretSource::Fetch(
        SecretSource::Parse("command " + config.tokenCommand), "oauth2", account.user);
    if (found.status != Status::Found)
      return Failure(found.status, "OAuthTokenCommand: " + found.problem);
    Result result;
    result.token = found.secret;
    return result;
  }
  TokenStore store(StoreName(config, account.user), account.keyringHost);
  std::string problem;
  bool unsafe = false;
  if (!store.Lock(problem)) return Failure(Status::Unavailable, problem);
  const std::optional<TokenSet> kept = store.Load(problem, unsafe);
  if (!problem.empty()) return Failure(unsafe ? Status::Unreadable : Status::Unavailable, problem);
  const std::int64_t now = std::time(nullptr);
  if (kept && !refused && !kept->accessToken.empty() && kept->expiresAt - now > kMargin) {
    Result result;
    result.token = kept->accessToken;
    return result;
  }
  TokenEndpoint::Form form;
  if (config.grant == "client_credentials") {
    form = {{"grant_type", "client_credentials"},
            {"client_id", config.clientId},
            {"scope", config.scope}};
  } else {
    if (!kept || kept->refreshToken.empty()) {
      return Failure(Status::NotFound, "OAuth2: " + account.user +
                                           " has not signed in yet; sign in with tarnwick -login");
    }
    form = {{"grant_type", "refresh_token"},
            {"client_id", config.clientId},
            {"refresh_token", kept->refreshToken}};
  }
  Result secret = ClientSecret(config, account.user);
  if (secret.status != Status::Found) return secret;
  if (!secret.token.empty()) form.emplace_back("client_secret", secret.token);
  const TokenEndpoint::Reply reply = TokenEndpoint::Post(config.tokenUrl, form, account.caFile);
  for (auto& [name, value] : form) ::explicit_bzero(value.data(), value.size());
  if (reply.kind != TokenEndpoint::Reply::Kind::Tokens) return FromReply(reply);
  TokenSet fresh;
  fresh.accessToken = reply.accessToken;
  // A provider that rotates sends a new refresh token, and the old one dies.
  fresh.refreshToken = !reply.refreshToken.empty() ? reply.refreshToken
                       : kept                      ? kept->refreshToken
                                                   : std::string();
  fresh.expiresAt = now + reply.expiresIn;
  fresh.scope = !reply.scope.empty() ? reply.scope : (kept ? kept->scope : config.scope);
  // The old refresh token may be dead already: say so rather than send.
  if (!store.Save(fresh, problem))
    return Failure(Status::Unreadable,
                   problem + " The new tokens could not be kept; " + kSignInAgain);
  Result result;
  result.token = fresh.accessToken;
  result.fetched = true;
  return result;
}

}  // namespace AccessToken
