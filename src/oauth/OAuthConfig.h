#pragma once
// How a run signs in with OAuth2, from the settings: the mechanism, the
// provider's endpoints, scope and server (filled in for microsoft and
// google), the client and the grant. Endpoints must be https; plain http
// only on loopback, for tests and local proxies.
#include <string>

#include "SettingsKeys.h"

struct OAuthConfig {
  std::string mechanism;               // "XOAUTH2" or "OAUTHBEARER"; empty: no OAuth2 sign-in
  std::string provider;                // "microsoft", "google" or empty
  std::string clientId, scope, grant;  // grant: "device", "code" or "client_credentials"
  std::string tokenUrl, deviceUrl, authorizeUrl;
  std::string clientSecretFrom;  // a secret source's setting; empty: a public client
  std::string tokenCommand;      // a program that prints the token; then nothing else is used
  std::string defaultServer;     // the provider's SMTP server, for an empty SMTPServer
  std::string problem;           // not empty: the settings cannot work; says which

  bool Enabled() const { return !mechanism.empty(); }

  static OAuthConfig FromSettings(const SettingsKeys::Values& settings);
};

namespace OAuthUrls {
// Empty when `url` may be used; else why not.
std::string Check(const std::string& key, const std::string& url);
}  // namespace OAuthUrls
