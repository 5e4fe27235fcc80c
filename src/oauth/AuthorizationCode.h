#pragma once
// The pieces of a sign-in through the browser (RFC 6749's authorization
// code with PKCE, RFC 7636, and a loopback redirect, RFC 8252): the proof
// key, the address to open, and the wait for the answer, which comes either
// from the browser to a port on 127.0.0.1 or as the redirected address a
// person pastes on standard input (a browser on another machine).
#include <atomic>
#include <optional>
#include <string>

#include "OAuthConfig.h"

namespace AuthorizationCode {

struct Pkce {
  std::string verifier, challenge, state;
};
Pkce MakePkce();
// The S256 challenge of a verifier: base64url of its SHA-256, unpadded.
std::string ChallengeOf(const std::string& verifier);

std::string AuthorizeUrl(const OAuthConfig& config, const std::string& redirectUri,
                         const Pkce& pkce);

struct Answer {
  std::string code, state, error, description;
};
// The answer a redirected address (or its query alone) carries.
Answer ReadAnswer(const std::string& address);

class Listener {
 public:
  Listener() = default;
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Listens on 127.0.0.1 at a port the system picks; 0, with `problem`.
  int Open(std::string& problem);
  // The first answer to this sign-in (its `state`) from the browser or a
  // line on `input`, within `seconds` and until `cancelled` is set; an
  // answer with another state (anyone on this machine may connect) is
  // ignored. Nothing, with `problem`, when none came.
  std::optional<Answer> Wait(int input, const std::string& state, int seconds,
                             const std::atomic<bool>* cancelled, std::string& problem);

 private:
  int fd_ = -1;
};

}  // namespace AuthorizationCode
