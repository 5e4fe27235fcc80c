#pragma once
// The SMTP password as the settings file keeps it: RC4 under the cipher key,
// written as hex. Deciphering is checked, since the file may be hand-edited.
#include <optional>
#include <string>

namespace StoredPassword {

// The program's fixed cipher key: the same in every copy, so a settings
// file moves between machines. It hides the password from a glance, no more.
inline constexpr const char* kCipherKey = "plomvaderskiturne";

std::string Encipher(const std::string& password, const std::string& key = kCipherKey);

// The password, or nothing when the stored text is not hex.
std::optional<std::string> Decipher(const std::string& stored, const std::string& key = kCipherKey);

// Where the user meets a stored password that is not hex: the remedy differs.
enum class Reader { CommandLine, ConfigWindow, Terminal };

// The message shown when Decipher gives nothing; names the setting, not the
// value, and the way to store it again from where the user is.
std::string NotHexMessage(const std::string& iniPath, Reader reader);

}  // namespace StoredPassword
