#include "SaslClient.h"

#include <gsasl.h>

#include <array>
#include <cstdlib>

namespace {

// Strongest first; GSSAPI and NTLM need what the system provides.
constexpr std::array<const char*, 7> kPreferred = {
    "SCRAM-SHA-256", "SCRAM-SHA-1", "CRAM-MD5", "NTLM", "GSSAPI", "PLAIN", "LOGIN"};

// Mechanisms where the client's first message goes with AUTH itself.
bool ClientFirst(const std::string& mechanism) {
  return mechanism != "CRAM-MD5" && mechanism != "LOGIN";
}

std::string Take(char* text) {
  std::string out = text != nullptr ? text : "";
  gsasl_free(text);
  return out;
}

}  // namespace

SaslClient::SaslClient() = default;

// Started only when a login needs it: loading every mechanism (GSSAPI
// brings Kerberos) costs a send without AUTH for nothing.
bool SaslClient::Ready() {
  if (context_ == nullptr && gsasl_init(&context_) != GSASL_OK) context_ = nullptr;
  return context_ != nullptr;
}

SaslClient::~SaslClient() {
  if (session_ != nullptr) gsasl_finish(session_);
  if (context_ != nullptr) gsasl_done(context_);
}

std::vector<std::string> SaslClient::Candidates(const std::vector<std::string>& offered) {
  std::vector<std::string> out;
  if (!Ready()) return out;
  for (const char* mechanism : kPreferred) {
    for (const auto& o : offered) {
      if (o == mechanism && gsasl_client_support_p(context_, mechanism) != 0) {
        out.emplace_back(mechanism);
      }
    }
  }
  return out;
}

bool SaslClient::Start(const std::string& mechanism, const std::string& user,
                       const std::string& password, const std::string& host, std::string& initial,
                       std::string& error) {
  if (session_ != nullptr) gsasl_finish(session_);
  session_ = nullptr;
  initial.clear();
  if (!Ready()) {
    error = "GNU SASL did not start";
    return false;
  }
  int rc = gsasl_client_start(context_, mechanism.c_str(), &session_);
  if (rc != GSASL_OK) {
    error = gsasl_strerror(rc);
    return false;
  }
  mechanism_ = mechanism;
  step_ = 0;
  gsasl_property_set(session_, GSASL_AUTHID, user.c_str());
  gsasl_property_set(session_, GSASL_PASSWORD, password.c_str());
  gsasl_property_set(session_, GSASL_SERVICE, "smtp");
  gsasl_property_set(session_, GSASL_HOSTNAME, host.c_str());
  if (!ClientFirst(mechanism)) return true;
  char* out = nullptr;
  rc = gsasl_step64(session_, "", &out);
  initial = Take(out);
  if (rc != GSASL_OK && rc != GSASL_NEEDS_MORE) {
    error = gsasl_strerror(rc);
    return false;
  }
  ++step_;
  if (initial.empty()) initial = "=";
  return true;
}

SaslClient::Step SaslClient::Next(const std::string& challenge, std::string& response,
                                  std::string& error) {
  char* out = nullptr;
  const int rc = gsasl_step64(session_, challenge.c_str(), &out);
  response = Take(out);
  ++step_;
  if (rc == GSASL_NEEDS_MORE) return Step::NeedsMore;
  if (rc == GSASL_OK) return Step::Done;
  error = gsasl_strerror(rc);
  return Step::Failed;
}

std::string SaslClient::Base64(const std::string& bytes) {
  char* out = nullptr;
  std::size_t length = 0;
  if (gsasl_base64_to(bytes.data(), bytes.size(), &out, &length) != GSASL_OK) return {};
  return Take(out);
}

std::string SaslClient::FromBase64(const std::string& text) {
  char* out = nullptr;
  std::size_t length = 0;
  if (gsasl_base64_from(text.data(), text.size(), &out, &length) != GSASL_OK) return {};
  std::string bytes(out, length);
  gsasl_free(out);
  return bytes;
}

std::string SaslClient::XOAuth2(const std::string& user, const std::string& token) {
  return Base64("user=" + user + "\x01" + "auth=Bearer " + token + "\x01\x01");
}

std::string SaslClient::OAuthBearer(const std::string& user, const std::string& host, int port,
                                    const std::string& token) {
  // The GS2 header's authorization name: "," and "=" would end or escape it.
  std::string name;
  for (const char c : user) {
    name += c == ',' ? std::string("=2C") : c == '=' ? std::string("=3D") : std::string(1, c);
  }
  return Base64("n,a=" + name + ",\x01" + "host=" + host + "\x01" + "port=" + std::to_string(port) +
                "\x01" + "auth=Bearer " + token + "\x01\x01");
}
