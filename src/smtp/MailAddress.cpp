#include "MailAddress.h"

#include <idn2.h>

#include "MailText.h"

namespace MailAddress {
namespace {

// A UTF-8 domain as punycode (IDNA 2008 with the UTS #46 mapping, as
// browsers do); empty when it is no valid domain name.
std::string ToAce(std::string_view domain) {
  char* out = nullptr;
  const std::string input(domain);
  if (idn2_to_ascii_8z(input.c_str(), &out, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL) != IDN2_OK)
    return {};
  std::string ace(out);
  idn2_free(out);
  return ace;
}

constexpr std::size_t kLocalPartMax = 64;
constexpr std::size_t kDomainMax = 255;

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

// Position of `wanted` outside double quotes, from `from`; npos if none.
std::size_t FindUnquoted(std::string_view text, char wanted, std::size_t from = 0) {
  bool quoted = false;
  for (std::size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted && c == '\\') {
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == wanted) {
      return i;
    }
  }
  return std::string_view::npos;
}

bool QuotesBalance(std::string_view text) {
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (quoted && text[i] == '\\') {
      ++i;
    } else if (text[i] == '"') {
      quoted = !quoted;
    }
  }
  return !quoted;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// Checks the address between the brackets and fills the envelope form.
std::string CheckAddress(Parsed& p) {
  const std::string_view a = p.address;
  if (a.empty()) return {};
  for (const char bad : {' ', '<', '>', ','}) {
    if (FindUnquoted(a, bad) != std::string_view::npos) {
      return "The address " + Quoted(a) + " holds \"" + std::string(1, bad) + "\".";
    }
  }
  const auto at = a.rfind('@');
  const std::string_view local = at == std::string_view::npos ? a : a.substr(0, at);
  const std::string_view domain = at == std::string_view::npos ? "" : a.substr(at + 1);
  if (local.size() > kLocalPartMax) {
    return "The address " + Quoted(a) + " has a local part of " + std::to_string(local.size()) +
           " bytes (at most 64).";
  }
  switch (MailText::DetectCharset(local)) {
    case MailText::Charset::Ascii:
      break;
    case MailText::Charset::Utf8:
      p.utf8LocalPart = true;
      break;
    case MailText::Charset::Windows1252:
      return "The address " + Quoted(a) + " is neither ASCII nor UTF-8.";
  }
  std::string ace(domain);
  if (!domain.empty() && domain.front() != '[' &&
      MailText::DetectCharset(domain) != MailText::Charset::Ascii) {
    // Internationalised domains travel as punycode, which every server takes.
    ace = ToAce(domain);
    if (ace.empty()) return "The domain of " + Quoted(a) + " is no valid domain name.";
  }
  if (at != std::string_view::npos && ace.empty()) {
    return "The address " + Quoted(a) + " has no domain after \"@\".";
  }
  if (ace.size() > kDomainMax) {
    return "The address " + Quoted(a) + " has a domain of " + std::to_string(ace.size()) +
           " bytes (at most 255).";
  }
  p.envelope = at == std::string_view::npos ? std::string(local) : std::string(local) + "@" + ace;
  return {};
}

}  // namespace

std::variant<Parsed, std::string> Check(std::string_view text) {
  const auto t = Trim(text);
  for (const char c : t) {
    if (IsControl(c)) return "The address " + Quoted(t) + " holds a control character.";
  }
  if (!QuotesBalance(t)) return "The address " + Quoted(t) + " has an unbalanced quote.";
  Parsed p;
  const auto open = FindUnquoted(t, '<');
  if (open != std::string_view::npos) {
    const auto close = FindUnquoted(t, '>', open);
    if (close == std::string_view::npos) return "The address " + Quoted(t) + " lacks its \">\".";
    if (!Trim(t.substr(close + 1)).empty()) {
      return "The address " + Quoted(t) + " has text after \">\".";
    }
    auto display = Trim(t.substr(0, open));
    if (display.size() >= 2 && display.front() == '"' && display.back() == '"') {
      for (std::size_t i = 1; i + 1 < display.size(); ++i) {
        if (display[i] == '\\') ++i;  // a quoted pair stands for its second byte
        p.display += display[i];
      }
    } else {
      p.display = std::string(display);
    }
    p.address = std::string(Trim(t.substr(open + 1, close - open - 1)));
  } else {
    p.address = std::string(t);
  }
  if (auto problem = CheckAddress(p); !problem.empty()) return problem;
  return p;
}

std::string HeaderForm(const Parsed& parsed) {
  // A UTF-8 local part only ever goes to a server with SMTPUTF8, where
  // headers may be UTF-8 too; otherwise the header names what the envelope does.
  const std::string& address = parsed.utf8LocalPart ? parsed.address : parsed.envelope;
  if (parsed.display.empty()) return address;
  return MailText::DisplayName(parsed.display) + " <" + address + ">";
}

std::vector<std::string> SplitList(std::string_view list) {
  std::vector<std::string> entries;
  std::size_t start = 0;
  bool quoted = false;
  bool bracketed = false;
  for (std::size_t i = 0; i <= list.size(); ++i) {
    const char c = i < list.size() ? list[i] : ',';
    if (quoted && c == '\\') {
      ++i;
      continue;
    }
    if (c == '"') quoted = !quoted;
    if (!quoted && c == '<') bracketed = true;
    if (!quoted && c == '>') bracketed = false;
    if (c != ',' || ((quoted || bracketed) && i < list.size())) continue;
    const auto entry = Trim(list.substr(start, i - start));
    if (!entry.empty()) entries.emplace_back(entry);
    start = i + 1;
  }
  return entries;
}

std::string Domain(std::string_view address) {
  const auto at = address.rfind('@');
  return at == std::string_view::npos ? std::string() : std::string(address.substr(at + 1));
}

}  // namespace MailAddress
