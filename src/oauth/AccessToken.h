#pragma once
// A current access token for a send: the one kept while more than five
// minutes of it remain, else a fresh one from the token endpoint (the
// rotated refresh token stored before it is used), else the output of
// OAuthTokenCommand. Refreshing happens under the store's lock, so runs at
// once share one refresh. The status says what a failure means for the
// run, as a password source's does.
#include <string>

#include "OAuthConfig.h"
#include "SecretSource.h"

namespace AccessToken {

struct Result {
  SecretSource::Status status = SecretSource::Status::Found;
  std::string token;
  std::string problem;   // one line for standard error and the log; never a token
  std::string detail;    // the provider's error code and words, for the log only
  bool fetched = false;  // the token endpoint was asked
};

// Where the account's tokens live, and under which name.
struct Account {
  std::string user;         // SMTPUserName
  std::string keyringHost;  // not empty: the keyring, under this host
  std::string caFile;       // for the token endpoint; empty: the system's store
};

// `refused`: the server refused the token just used; get another.
Result Get(const OAuthConfig& config, const Account& account, bool refused);

// Stores tokens a sign-in got; the run's own errors on failure.
Result Keep(const OAuthConfig& config, const Account& account, const std::string& accessToken,
            const std::string& refreshToken, long long expiresIn, const std::string& scope);

// The client secret, when OAuthClientSecretFrom names one (in `token`);
// Found with nothing for a public client.
Result ClientSecret(const OAuthConfig& config, const std::string& user);

// The store's name for an account's tokens.
std::string StoreName(const OAuthConfig& config, const std::string& user);

}  // namespace AccessToken
