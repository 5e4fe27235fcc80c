#pragma once
// The client side of SMTP AUTH: GNU SASL does the mechanisms, the strongest
// the server offers first; XOAUTH2 and OAUTHBEARER are framed here, since
// they only carry a bearer token. Responses and challenges are base64, as
// they stand on the wire.
#include <memory>
#include <string>
#include <vector>

struct Gsasl;
struct Gsasl_session;

class SaslClient {
 public:
  enum class Step { NeedsMore, Done, Failed };

  SaslClient();
  ~SaslClient();
  SaslClient(const SaslClient&) = delete;
  SaslClient& operator=(const SaslClient&) = delete;

  // Mechanisms we would use, in the order we prefer them, among `offered`.
  std::vector<std::string> Candidates(const std::vector<std::string>& offered);

  // Starts `mechanism` for user and password. For a mechanism where the
  // client speaks first, `initial` gets the first response (may be "=",
  // the empty one); it stays empty when the server speaks first. False with
  // `error` when the mechanism cannot start here (no credentials for it).
  bool Start(const std::string& mechanism, const std::string& user, const std::string& password,
             const std::string& host, std::string& initial, std::string& error);
  // The answer to a 334 challenge.
  Step Next(const std::string& challenge, std::string& response, std::string& error);

  // Bearer-token mechanisms (RFC 7628 and the XOAUTH2 form).
  static std::string XOAuth2(const std::string& user, const std::string& token);
  static std::string OAuthBearer(const std::string& user, const std::string& host, int port,
                                 const std::string& token);
  static std::string Base64(const std::string& bytes);
  // The bytes of a base64 text; empty when it is none.
  static std::string FromBase64(const std::string& text);

 private:
  bool Ready();

  Gsasl* context_ = nullptr;
  Gsasl_session* session_ = nullptr;
  std::string mechanism_;
  int step_ = 0;
};
