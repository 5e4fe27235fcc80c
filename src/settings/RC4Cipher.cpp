#include "RC4Cipher.h"

#include <array>
#include <cstdint>
#include <numeric>
#include <utility>

namespace RC4Cipher {

std::string RC4Crypt(std::string text, std::string key) {
  if (key.empty() || text.empty()) return {};
  if (key.size() > 256) key.resize(256);
  std::array<std::uint8_t, 256> s{};
  std::iota(s.begin(), s.end(), std::uint8_t{0});
  std::uint8_t j = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    j = static_cast<std::uint8_t>(j + s[i] + static_cast<std::uint8_t>(key[i % key.size()]));
    std::swap(s[i], s[j]);
  }
  std::uint8_t i = 0;
  j = 0;
  for (char& byte : text) {
    i = static_cast<std::uint8_t>(i + 1);
    j = static_cast<std::uint8_t>(j + s[i]);
    std::swap(s[i], s[j]);
    const auto k = s[static_cast<std::uint8_t>(s[i] + s[j])];
    byte = static_cast<char>(static_cast<std::uint8_t>(byte) ^ k);
  }
  return text;
}

}  // namespace RC4Cipher
