#pragma once
// Byte-string helpers that change the letters A-Z only, so no other byte
// (a UTF-8 sequence, say) can turn into a switch prefix or separator.
#include <string>
#include <string_view>

namespace AsciiText {

std::string Lower(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// Without the spaces, tabs and stray CRs around it.
std::string Trim(std::string_view text);

}  // namespace AsciiText
