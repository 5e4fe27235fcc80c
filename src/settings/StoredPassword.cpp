#include "StoredPassword.h"

#include "HexText.h"
#include "RC4Cipher.h"

namespace StoredPassword {

std::string Encipher(const std::string& password, const std::string& key) {
  return ProcLib::StringToHex(RC4Cipher::RC4Crypt(password, key));
}

std::optional<std::string> Decipher(const std::string& stored, const std::string& key) {
  auto bytes = ProcLib::HexToString(stored);
  if (!bytes) return std::nullopt;
  return RC4Cipher::RC4Crypt(*bytes, key);
}

std::string NotHexMessage(const std::string& iniPath, Reader reader) {
  const std::string what = "The stored SMTPPassword in " + iniPath +
                           " is not hexadecimal text, so it cannot be deciphered.";
  if (reader == Reader::ConfigWindow) {
    return what + " Type the password again in the Password box and save.";
  }
  return what + " Enter the password again in the configuration window (tarnwick -config).";
}

}  // namespace StoredPassword
