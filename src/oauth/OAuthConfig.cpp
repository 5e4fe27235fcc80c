#include "OAuthConfig.h"

#include "AsciiText.h"
#include "SwitchParser.h"

namespace {

std::string Setting(const SettingsKeys::Values& settings, const char* key) {
  return SwitchParser::TrimSpaces(SettingsKeys::ValueOrDefault(settings, key));
}

void Preset(OAuthConfig& c, const std::string& tenant) {
  if (c.provider == "microsoft") {
    const std::string base = "https://login.microsoftonline.com/" + tenant + "/oauth2/v2.0/";
    c.tokenUrl = base + "token";
    c.deviceUrl = base + "devicecode";
    c.authorizeUrl = base + "authorize";
    c.grant = "device";
    c.scope = "https://outlook.office.com/SMTP.Send offline_access";
    c.defaultServer = "smtp.office365.com:587";
  } else if (c.provider == "google") {
    c.tokenUrl = "https://oauth2.googleapis.com/token";
    c.authorizeUrl = "https://accounts.google.com/o/oauth2/v2/auth";
    c.grant = "code";
    c.scope = "https://mail.google.com/";
    c.defaultServer = "smtp.gmail.com:587";
  }
}

// A setting given by hand wins over the preset.
void Override(std::string& field, const std::string& value) {
  if (!value.empty()) field = value;
}

}  // namespace

namespace OAuthUrls {

std::string Check(const std::string& key, const std::string& url) {
  const std::string lower = AsciiText::Lower(url);
  if (lower.rfind("https://", 0) == 0) return {};
  if (lower.rfind("http://", 0) == 0) {
    const std::string rest = lower.substr(7);
    // "http://127.0.0.1:1@elsewhere/" goes elsewhere: no user part at all.
    if (rest.substr(0, rest.find_first_of("/?#")).find('@') != std::string::npos)
      return key + " \"" + url + "\" names a user before its host; give the address alone.";
    for (const char* loopback : {"127.0.0.1", "[::1]", "localhost"}) {
      const std::string host = loopback;
      if (rest.compare(0, host.size(), host) == 0 &&
          (rest.size() == host.size() || rest[host.size()] == ':' || rest[host.size()] == '/'))
        return {};
    }
    return key + " \"" + url + "\" is plain http: a token must travel over https (http only on " +
           "loopback).";
  }
  return key + " \"" + url + "\" is no https address.";
}

}  // namespace OAuthUrls

OAuthConfig OAuthConfig::FromSettings(const SettingsKeys::Values& settings) {
  OAuthConfig c;
  const std::string auth = AsciiText::Lower(Setting(settings, "SMTPAuth"));
  c.provider = AsciiText::Lower(Setting(settings, "OAuthProvider"));
  if (auth == "xoauth2" || auth == "oauthbearer") {
    c.mechanism = auth == "xoauth2" ? "XOAUTH2" : "OAUTHBEARER";
  } else if (!auth.empty()) {
    c.problem = "SMTPAuth \"" + auth + "\" is none of xoauth2 and oauthbearer.";
    c.mechanism = "XOAUTH2";
    return c;
  } else if (!c.provider.empty()) {
    c.mechanism = "XOAUTH2";  // a provider named means its sign-in
  } else {
    return c;
  }
  if (!c.provider.empty() && c.provider != "microsoft" && c.provider != "google") {
    c.problem = "OAuthProvider \"" + c.provider + "\" is none of microsoft and google.";
    return c;
  }
  Preset(c, Setting(settings, "OAuthTenant"));
  Override(c.grant, AsciiText::Lower(Setting(settings, "OAuthGrant")));
  if (c.grant == "client_credentials" && c.provider == "microsoft")
    c.scope = "https://outlook.office365.com/.default";
  Override(c.scope, Setting(settings, "OAuthScope"));
  Override(c.tokenUrl, Setting(settings, "OAuthTokenUrl"));
  Override(c.deviceUrl, Setting(settings, "OAuthDeviceUrl"));
  Override(c.authorizeUrl, Setting(settings, "OAuthAuthorizeUrl"));
  c.clientId = Setting(settings, "OAuthClientId");
  c.clientSecretFrom = Setting(settings, "OAuthClientSecretFrom");
  c.tokenCommand = SettingsKeys::ValueOrDefault(settings, "OAuthTokenCommand");
  if (!c.tokenCommand.empty()) return c;  // the command does it all
  if (c.grant.empty()) c.grant = !c.deviceUrl.empty() ? "device" : "code";
  if (c.grant != "device" && c.grant != "code" && c.grant != "client_credentials") {
    c.problem = "OAuthGrant \"" + c.grant + "\" is none of device, code and client_credentials.";
    return c;
  }
  if (c.clientId.empty()) {
    c.problem = "OAuth2 sign-in needs OAuthClientId (the id of the application registered with " +
                std::string(c.provider.empty() ? "the provider" : c.provider) + ").";
    return c;
  }
  if (c.tokenUrl.empty()) {
    c.problem = "OAuth2 sign-in needs OAuthTokenUrl, or an OAuthProvider.";
    return c;
  }
  for (const auto& [key, url] :
       {std::pair<const char*, const std::string&>{"OAuthTokenUrl", c.tokenUrl},
        {"OAuthDeviceUrl", c.deviceUrl},
        {"OAuthAuthorizeUrl", c.authorizeUrl}}) {
    if (url.empty()) continue;
    if (std::string why = OAuthUrls::Check(key, url); !why.empty()) {
      c.problem = why;
      return c;
    }
  }
  return c;
}
