#pragma once
// The SMTP password as the settings file keeps it: RC4 under the cipher key,
// written as hex. Deciphering is checked, since the file may be hand-edited.
#include <optional>
#include <string>

namespace StoredPassword {

std::string Encipher(const std::string& password, const std::string& key);

// The password, or nothing when the stored text is not hex.
std::optional<std::string> Decipher(const std::string& stored, const std::string& key);

// The message shown when Decipher gives nothing; names the setting, not the value.
std::string NotHexMessage(const std::string& iniPath);

}  // namespace StoredPassword
