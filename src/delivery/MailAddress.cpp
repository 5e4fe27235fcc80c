#include "MailAddress.h"

#include "MailText.h"

namespace MailAddress {
namespace {
std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}
}  // namespace

Parsed Parse(std::string_view text) {
  const auto t = Trim(text);
  const auto open = t.rfind('<');
  if (open != std::string_view::npos && !t.empty() && t.back() == '>') {
    auto display = Trim(t.substr(0, open));
    if (display.size() >= 2 && display.front() == '"' && display.back() == '"') {
      display = display.substr(1, display.size() - 2);
    }
    return {std::string(display), std::string(Trim(t.substr(open + 1, t.size() - open - 2)))};
  }
  return {{}, std::string(t)};
}

std::string HeaderForm(const Parsed& parsed) {
  if (parsed.display.empty()) return parsed.address;
  std::string display;
  if (MailText::DetectCharset(parsed.display) == MailText::Charset::Ascii) {
    display = '"';
    for (char c : parsed.display) {
      if (c == '"' || c == '\\') display += '\\';
      display += c;
    }
    display += '"';
  } else {
    display = MailText::EncodeHeaderValue(parsed.display, 6);
  }
  return display + " <" + parsed.address + ">";
}

std::vector<std::string> SplitList(std::string_view list) {
  std::vector<std::string> entries;
  std::size_t start = 0;
  while (start <= list.size()) {
    auto comma = list.find(',', start);
    if (comma == std::string_view::npos) comma = list.size();
    const auto entry = Trim(list.substr(start, comma - start));
    if (!entry.empty()) entries.emplace_back(entry);
    start = comma + 1;
  }
  return entries;
}

std::string Domain(std::string_view address) {
  const auto at = address.rfind('@');
  return at == std::string_view::npos ? std::string() : std::string(address.substr(at + 1));
}

}  // namespace MailAddress
