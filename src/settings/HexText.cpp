#include "HexText.h"

namespace HexText {
namespace {
int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
}  // namespace

std::string StringToHex(const std::string& text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(text.size() * 2);
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    hex += kDigits[byte >> 4U];
    hex += kDigits[byte & 0x0FU];
  }
  return hex;
}

std::optional<std::string> HexToString(const std::string& hex) {
  std::string text;
  text.reserve((hex.size() + 1) / 2);
  for (std::size_t at = 0; at < hex.size(); at += 2) {
    int value = DigitValue(hex[at]);
    if (value < 0) return std::nullopt;
    if (at + 1 < hex.size()) {
      const int low = DigitValue(hex[at + 1]);
      if (low < 0) return std::nullopt;
      value = value * 16 + low;
    }
    text += static_cast<char>(value);
  }
  return text;
}

}  // namespace HexText
