#include "ConfigFields.h"

#include "IniFile.h"
#include "Keyring.h"
#include "SettingsFile.h"
#include "SettingsKeys.h"
#include "SwitchParser.h"

namespace ConfigFields {
namespace {

std::size_t IndexOf(std::string_view name) {
  const auto keys = SettingsKeys::Fields();
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].name == name) return i;
  }
  return keys.size();
}

std::string ValueOf(const std::vector<std::string>& values, std::string_view name) {
  const std::size_t i = IndexOf(name);
  return i < values.size() ? values[i] : std::string();
}

std::string HostOf(const std::vector<std::string>& values) {
  return SecretSource::KeyringHost(ValueOf(values, "SMTPServer"));
}

std::string UserOf(const std::vector<std::string>& values) {
  return SwitchParser::TrimSpaces(ValueOf(values, "SMTPUserName"));
}

bool Write(const std::string& path, const char* key, const std::string& value) {
  return IniFile::Write(path, SettingsKeys::kSection, key, value);
}

}  // namespace

std::size_t PasswordIndex() { return IndexOf(kPasswordKey); }

Loaded Load(StoredPassword::Reader reader) {
  Loaded loaded;
  loaded.path = SettingsFile::ForReading();
  loaded.readProblem = SettingsFile::ReadProblem(loaded.path);
  for (const auto& key : SettingsKeys::Fields())
    loaded.values.push_back(
        IniFile::Read(loaded.path, SettingsKeys::kSection, std::string(key.name)));
  loaded.passwordFrom = IniFile::Read(loaded.path, SettingsKeys::kSection, SecretSource::kKey);
  std::string& password = loaded.values[PasswordIndex()];
  const SecretSource::Source source = SecretSource::Parse(loaded.passwordFrom);
  if (source.form == SecretSource::Form::Settings) {
    // A hand-edited password that is not hex: say so, and start it empty.
    const auto deciphered = StoredPassword::Decipher(password);
    if (!deciphered) loaded.passwordProblem = StoredPassword::NotHexMessage(loaded.path, reader);
    password = deciphered.value_or("");
    return loaded;
  }
  password.clear();
  if (source.form != SecretSource::Form::Keyring) return loaded;
  loaded.loadedHost = HostOf(loaded.values);
  loaded.loadedUser = UserOf(loaded.values);
  if (loaded.loadedHost.empty()) return loaded;
  const Keyring::Result found = Keyring::Lookup(loaded.loadedHost, loaded.loadedUser);
  if (found.status == Keyring::Status::Found) {
    password = found.secret;
  } else if (found.status != Keyring::Status::NotFound) {
    loaded.passwordProblem = found.message;
  }
  return loaded;
}

PasswordPlace WherePasswordIs(const Loaded& loaded) {
  const SecretSource::Source source = SecretSource::Parse(loaded.passwordFrom);
  if (!source.problem.empty())
    return {false, false, "an SMTPPasswordFrom setting that names no source"};
  const bool keyring = source.form == SecretSource::Form::Keyring;
  return {keyring || source.form == SecretSource::Form::Settings, keyring,
          SecretSource::Describe(source)};
}

namespace {

// Into the keyring, never losing an item: an empty field removes only the
// password it was loaded with, and a password carried over unchanged to
// another server or user does not replace an item already kept there.
bool StoreInKeyring(const std::vector<std::string>& values, const Loaded& loaded, bool formChanged,
                    std::string& problem) {
  const std::string host = HostOf(values);
  const std::string user = UserOf(values);
  const std::string& password = values[PasswordIndex()];
  const std::string& before = loaded.values[PasswordIndex()];
  const bool moved = host != loaded.loadedHost || user != loaded.loadedUser;
  const bool typed = password != before;
  // Nothing typed, nothing to keep; or a carried-over password where the
  // item is there already.
  const bool keep = password.empty()
                        ? !typed || moved || formChanged
                        : !typed && ((!moved && !formChanged) ||
                                     Keyring::Lookup(host, user).status == Keyring::Status::Found);
  if (keep) return true;
  if (host.empty()) {
    problem = "The password cannot go into the keyring without a server name.";
    return false;
  }
  const Keyring::Result stored = Keyring::Store(host, user, password);
  if (stored.status == Keyring::Status::Found) return true;
  problem = stored.message;
  return false;
}

}  // namespace

Saved Save(const std::vector<std::string>& values, const Loaded& loaded) {
  Saved saved;
  saved.path = SettingsFile::ForSaving(saved.problem);
  if (saved.path.empty()) return saved;
  const SecretSource::Source source = SecretSource::Parse(loaded.passwordFrom);
  const auto form = source.problem.empty() ? source.form : SecretSource::Form::Command;
  const bool formChanged =
      IniFile::Read(saved.path, SettingsKeys::kSection, SecretSource::kKey) != loaded.passwordFrom;
  // First into the keyring: if it refuses, the file is left as it was.
  if (form == SecretSource::Form::Keyring &&
      !StoreInKeyring(values, loaded, formChanged, saved.problem)) {
    return saved;
  }
  // The source first: a file left half-written never reads as the old
  // source without its password.
  if (formChanged && !Write(saved.path, SecretSource::kKey, loaded.passwordFrom)) return saved;
  const auto keys = SettingsKeys::Fields();
  for (std::size_t i = 0; i < keys.size() && i < values.size(); ++i) {
    std::string value = values[i];
    // Kept or supplied elsewhere, the file holds no copy: an enciphered one
    // left behind is readable by anyone who can read the file.
    if (keys[i].name == kPasswordKey)
      value = form == SecretSource::Form::Settings ? StoredPassword::Encipher(value) : "";
    if (!Write(saved.path, std::string(keys[i].name).c_str(), value)) return saved;
  }
  saved.written = true;
  return saved;
}

}  // namespace ConfigFields
