#pragma once
// RC4 over bytes; its own inverse. Only the first 256 key bytes take part,
// and an empty key or text gives an empty result.
#include <string>

namespace RC4Cipher {

std::string RC4Crypt(std::string text, std::string key);

}  // namespace RC4Cipher
