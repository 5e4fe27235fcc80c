#pragma once
// Where an account's OAuth2 tokens are kept: the keyring, when the password
// is kept there, else Tarnwick.tokens in the user's folder (beside a
// portable program), a small JSON file of mode 0600 whose mode and folder
// are its protection. Every change is made under an exclusive lock and
// written whole (temporary file, fsync, rename), so two runs refreshing at
// once never lose the newest refresh token.
#include <cstdint>
#include <optional>
#include <string>

struct TokenSet {
  std::string refreshToken, accessToken, scope;
  std::int64_t expiresAt = 0;  // seconds since the epoch
};

class TokenStore {
 public:
  // `account` names the tokens (client id and user); `keyringHost` not
  // empty: they live in the keyring under that host.
  TokenStore(std::string account, std::string keyringHost);
  ~TokenStore();
  TokenStore(const TokenStore&) = delete;
  TokenStore& operator=(const TokenStore&) = delete;

  // Takes the lock, waiting for a run that holds it. False, with `problem`.
  bool Lock(std::string& problem);

  // The account's tokens; nothing when none are kept. `problem` set (and
  // `unsafe` when the file is readable by others) when they cannot be read.
  std::optional<TokenSet> Load(std::string& problem, bool& unsafe);
  bool Save(const TokenSet& tokens, std::string& problem);

  // The file, for messages.
  static std::string FilePath();

 private:
  std::string account_;
  std::string keyringHost_;
  int lockFd_ = -1;
};
