#include "StoredPassword.h"

#include "HexText.h"
#include "RC4Cipher.h"

namespace StoredPassword {

std::string Encipher(const std::string& password, const std::string& key) {
  return HexText::StringToHex(RC4Cipher::RC4Crypt(password, key));
}

std::optional<std::string> Decipher(const std::string& stored, const std::string& key) {
  auto bytes = HexText::HexToString(stored);
  if (!bytes) return std::nullopt;
  return RC4Cipher::RC4Crypt(*bytes, key);
}

std::string NotHexMessage(const std::string& iniPath, Reader reader) {
  const std::string what = "The stored SMTPPassword in " + iniPath +
                           " is not hexadecimal text, so it cannot be deciphered.";
  switch (reader) {
    case Reader::ConfigWindow:
      return what + " Type the password again in the Password box and save.";
    case Reader::Terminal:
      return what + " Type the password again when it is asked for.";
    case Reader::CommandLine:
      break;
  }
  // The same command asks on a terminal where no window can open.
  return what +
         " Store the password again with tarnwick -config (a window, or questions on "
         "a terminal).";
}

}  // namespace StoredPassword
