#include "SettingsKeys.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "IniFile.h"

namespace SettingsKeys {
namespace {

constexpr Key kKeys[] = {
    {"From", "", "Sender address, when -f gives none.", {"txtFrom", "lblFrom", "From:"}},
    {"To",
     "",
     "Recipients, or a list file next to the program, when -t gives none.",
     {"txtTo", "lblTo", "To:"}},
    {"Subject", "", "Subject, when -s gives none.", {"txtSubject", "lblSubject", "Subject:"}},
    {"Message",
     "",
     "Message body, or a file next to the program, when -m gives none.",
     {"txtMessage", "lblMessage", "Message:"}},
    {"Attachment",
     "",
     "Attachments, when -a gives none.",
     {"txtAttachment", "lblAttachment", "Attachment:"}},
    {"SMTPServer",
     "",
     "SMTP server, when -x gives none.",
     {"txtSMTPServer", "lblServer", "Server:"}},
    {"SMTPUserName",
     "",
     "SMTP user name, when -xu gives none.",
     {"txtSMTPUserName", "lblUserName", "UserName:"}},
    {"SMTPPassword",
     "",
     "The password, enciphered and written as hex by the configuration.",
     {"txtSMTPPassword", "lblPassword", "Password:"}},
    {"SMTPPasswordFrom",
     "",
     "Where the password comes from instead: keyring, command PROGRAM [ARGS...], file PATH, "
     "credential NAME or env NAME; empty for SMTPPassword.",
     {}},
    {"Port", "", "Server port when the server names none; used only when above 25.", {}},
    {"TimeOutSecs",
     "15",
     "Seconds with no byte sent or received before an attempt is given up.",
     {}},
    {"TotalAttempts", "3", "Attempts when the server does not answer in time.", {}},
    {"RetryWaitSecs", "10", "Seconds between attempts.", {}},
    {"CAFile", "", "A PEM file of certificates to trust instead of the system's.", {}},
    {"DsnNotify",
     "",
     "Delivery status notifications asked of a server that offers DSN: NEVER, or any of "
     "SUCCESS, FAILURE, DELAY.",
     {}},
    {"DsnReturn", "", "What a delivery status notification returns: HDRS or FULL.", {}},
    {"Outbox",
     "0",
     "1: a message that still fails for a while after its last attempt is kept in the outbox "
     "and sent by tarnwick -flush.",
     {}},
    {"OutboxLifetimeHours",
     "72",
     "Hours a queued message is tried before it moves to the outbox's failed folder.",
     {}},
    {"SMTPAuth",
     "",
     "xoauth2 or oauthbearer: sign in with an OAuth2 access token instead of a password; empty: "
     "the password login.",
     {}},
    {"OAuthProvider",
     "",
     "microsoft or google: their endpoints, scope and server; empty: give the URLs.",
     {}},
    {"OAuthTenant", "common", "The Microsoft tenant (its id or domain).", {}},
    {"OAuthClientId", "", "The client (application) id registered with the provider.", {}},
    {"OAuthScope", "", "The scopes asked for; empty: the provider's for sending mail.", {}},
    {"OAuthClientSecretFrom",
     "",
     "Where the client secret comes from, when the client has one: keyring, command ..., file "
     "PATH, credential NAME or env NAME.",
     {}},
    {"OAuthTokenUrl", "", "The token endpoint; empty: the provider's.", {}},
    {"OAuthDeviceUrl", "", "The device authorization endpoint; empty: the provider's.", {}},
    {"OAuthAuthorizeUrl", "", "The authorization endpoint; empty: the provider's.", {}},
    {"OAuthGrant",
     "",
     "device, code or client_credentials: how tarnwick -login signs in; empty: the provider's.",
     {}},
    {"OAuthTokenCommand",
     "",
     "A program (with its arguments) that prints a current access token; then nothing is "
     "fetched or kept by Tarnwick.",
     {}},
    {"Log",
     "0",
     "1: every run writes the run log, as -log asks (sendmail callers pass no -log).",
     {}},
    {"LocalDomain",
     "",
     "The domain for a local name such as root that the aliases file does not map; empty: "
     "such a name is refused.",
     {}},
};

constexpr std::size_t kFieldCount = static_cast<std::size_t>(std::count_if(
    std::begin(kKeys), std::end(kKeys), [](const Key& key) { return !key.field.box.empty(); }));

// The fields come first, so the window's order is a prefix of the table.
static_assert(std::all_of(std::begin(kKeys), std::begin(kKeys) + kFieldCount,
                          [](const Key& key) { return !key.field.box.empty(); }));

}  // namespace

std::span<const Key> All() { return kKeys; }

std::span<const Key> Fields() { return std::span<const Key>(kKeys).first(kFieldCount); }

const Key& Get(std::string_view name) {
  for (const Key& key : kKeys) {
    if (key.name == name) return key;
  }
  throw std::out_of_range("no settings key " + std::string(name));
}

Values ReadAll(const std::string& iniPath) {
  Values values;
  for (const Key& key : kKeys) {
    values.emplace(key.name, IniFile::Read(iniPath, kSection, std::string(key.name)));
  }
  return values;
}

std::string ValueOrDefault(const Values& values, std::string_view name) {
  const Key& key = Get(name);
  const auto found = values.find(name);
  if (found == values.end() || found->second.empty()) return std::string(key.defaultValue);
  return found->second;
}

}  // namespace SettingsKeys
