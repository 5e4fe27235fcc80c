#pragma once
// The stored form of cipher output: two upper-case hex digits per byte.
#include <optional>
#include <string>

namespace HexText {

std::string StringToHex(const std::string& text);

// The bytes that pairs of hex digits (either case) stand for; an odd last
// digit stands alone. Nothing when a piece is not a hex number.
std::optional<std::string> HexToString(const std::string& hex);

}  // namespace HexText
