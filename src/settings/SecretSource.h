#pragma once
// Where the SMTP password comes from when Tarnwick.ini should not hold it:
// the SMTPPasswordFrom setting parsed, and the password fetched from the
// keyring, a command, a private file, a systemd credential or an
// environment variable. Empty keeps the enciphered SMTPPassword.
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace SecretSource {

inline constexpr const char* kKey = "SMTPPasswordFrom";
inline constexpr std::chrono::seconds kCommandLimit{10};

enum class Form { Settings, Keyring, Command, File, Credential, Env };

struct Source {
  Form form = Form::Settings;
  std::vector<std::string> words;  // the command's words; else the one path or name
  std::string problem;             // the setting is none of the forms
};

Source Parse(std::string_view setting);

// "the keyring", "the command pass", "the file /etc/x": where a person
// would look, for a tooltip or a terminal line.
std::string Describe(const Source& source);

// How a fetch failed decides the run's exit status (RunOutcome).
enum class Status {
  Found,
  BadSetting,   // the setting names no usable source
  NotFound,     // no item, no credential, no variable
  Unreadable,   // a file that cannot be read, or that others may read
  Failed,       // the command failed; trying again will not help
  Unavailable,  // the keyring is not there or locked, the command hung
};

struct Result {
  Status status = Status::Found;
  std::string secret;
  std::string problem;  // one line; never holds the secret
};

// The host a keyring item is kept under: the server's name as typed,
// without its port or brackets.
std::string KeyringHost(std::string_view server);

// The password for `user` at `host` from `source` (not Form::Settings).
Result Fetch(const Source& source, const std::string& host, const std::string& user);

}  // namespace SecretSource
