#pragma once
// Talks to an authorization server: a form POSTed over HTTPS (through the
// HTTP library, loaded on the first call) and its JSON reply read into
// tokens or an error. What a failure means for the run is said by its kind:
// one that may pass (no answer, 5xx, 429) or one that needs a person.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace TokenEndpoint {

using Form = std::vector<std::pair<std::string, std::string>>;

struct Reply {
  enum class Kind {
    Tokens,     // access_token (and maybe refresh_token) came
    Other,      // a JSON object without a token: the device endpoint's reply
    Error,      // an OAuth2 error: `error`, `description`
    Temporary,  // no answer, 5xx or 429: trying later may work
    Broken,     // an answer that is no JSON object
  };
  Kind kind = Kind::Broken;
  long httpStatus = 0;
  std::string accessToken, refreshToken, scope;
  std::int64_t expiresIn = 0;
  std::string error, description;  // the provider's words, for the log
  std::string problem;             // one line for a person; never a token
  // Fields of an Other reply (device_code, user_code ... interval).
  std::vector<std::pair<std::string, std::string>> fields;
  std::string Field(const std::string& name) const;
};

// POSTs `form` to `url`; `caFile` empty means the system's store.
Reply Post(const std::string& url, const Form& form, const std::string& caFile);

// application/x-www-form-urlencoded, and its reverse for one value.
std::string Encode(const Form& form);
std::string PercentDecode(const std::string& text);

// Errors that need the person to sign in again, whatever the provider.
bool NeedsSignIn(const Reply& reply);

}  // namespace TokenEndpoint
