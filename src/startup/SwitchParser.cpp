#include "SwitchParser.h"

#include <algorithm>

#include "ArgumentText.h"
#include "AsciiText.h"

namespace SwitchParser {
namespace {

// "-name:value" / "-name=value": the value is the rest after the separator.
void SplitAt(std::string& name, std::string& value, std::string::size_type pos) {
  if (pos + 1 < name.size()) value = name.substr(pos + 1);
  name.resize(pos);
}

}  // namespace

bool IsSwitchToken(std::string_view trimmed) {
  if (trimmed.empty()) return false;
  if (trimmed.front() == '-') return true;
  if (trimmed.front() != '/') return false;
  // "/tmp/report.txt" is a path, not a switch named "tmp/report.txt".
  const auto name = trimmed.substr(1);
  const auto colon = name.find(':');
  const auto end = colon != std::string_view::npos ? colon : name.find('=');
  return name.substr(0, end).find('/') == std::string_view::npos;
}

std::string SwitchName(std::string_view trimmed) {
  std::string lower = AsciiText::Lower(trimmed.substr(1));
  const auto colon = lower.find(':');
  lower.resize(std::min(lower.size(), colon != std::string::npos ? colon : lower.find('=')));
  return lower;
}

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

std::string TrimSpaces(std::string_view text) {
  const auto last = text.find_last_not_of(' ');
  if (last == std::string_view::npos) return {};
  text = text.substr(0, last + 1);
  return std::string(text.substr(text.find_first_not_of(' ')));
}

std::string StripQuotes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    if (ch != '"') out += ch;
  }
  return out;
}

// Where each token stands in the text, quotes included: [first, last).
std::vector<std::pair<std::size_t, std::size_t>> TokenSpans(std::string_view text) {
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return spans;
  const auto last = text.find_last_not_of(' ') + 1;
  std::size_t start = 0;
  bool inToken = false;
  bool inQuote = false;
  auto store = [&](std::size_t end) {
    spans.emplace_back(start, end);
    inToken = false;
    inQuote = false;
  };
  for (std::size_t i = first; i < last; ++i) {
    const char ch = text[i];
    if (ch != ' ') {
      if (!inToken) {
        start = i;
        inToken = true;
        inQuote = ch == '"';
      } else if (inQuote && ch == '"') {
        // The closing quote ends the token even when no space follows.
        store(i + 1);
      }
    } else if (inToken && !inQuote) {
      store(i);
    }
  }
  // A quote never closed runs to the end of the text.
  if (inToken) store(last);
  return spans;
}

std::vector<std::string> SplitCommandLine(std::string_view text) {
  std::vector<std::string> tokens;
  for (const auto& [from, to] : TokenSpans(text))
    tokens.push_back(StripQuotes(text.substr(from, to - from)));
  return tokens;
}

std::string MaskSwitchValues(std::string_view argumentText, std::string_view name,
                             std::string_view mask) {
  const auto spans = TokenSpans(argumentText);
  const std::string wanted = AsciiText::Lower(name);
  auto tokenAt = [&](std::size_t k) {
    return TrimSpaces(
        StripQuotes(argumentText.substr(spans[k].first, spans[k].second - spans[k].first)));
  };
  std::vector<std::pair<std::size_t, std::size_t>> hide;  // spans of text to replace
  for (std::size_t k = 0; k < spans.size(); ++k) {
    const std::string tok = tokenAt(k);
    if (!IsSwitchToken(tok)) continue;
    const std::string lower = AsciiText::Lower(std::string_view(tok).substr(1));
    if (lower == wanted) {
      std::size_t m = k + 1;
      while (m < spans.size() && !IsSwitchToken(tokenAt(m))) ++m;
      if (m > k + 1) hide.emplace_back(spans[k + 1].first, spans[m - 1].second);
      continue;
    }
    // The name joined to its value by ":" or "=", or by a space inside one
    // quoted word ("-xp secret"): whatever the parser makes of it, the
    // value is hidden.
    if (lower.size() <= wanted.size() || lower.compare(0, wanted.size(), wanted) != 0 ||
        std::string_view(":= ").find(lower[wanted.size()]) == std::string_view::npos) {
      continue;
    }
    const auto raw = argumentText.substr(spans[k].first, spans[k].second - spans[k].first);
    const auto prefix = raw.find_first_of("-/");
    const std::size_t from = spans[k].first + prefix + 1 + wanted.size() + 1;
    // A closing quote of the token stays, so the text still reads as typed.
    const std::size_t end =
        spans[k].second - (raw.size() > 1 && raw.front() == '"' && raw.back() == '"' ? 1 : 0);
    if (from < end) hide.emplace_back(from, end);
  }
  std::string out(argumentText);
  for (auto it = hide.rbegin(); it != hide.rend(); ++it) {
    out.replace(it->first, it->second - it->first, mask);
  }
  return out;
}

std::optional<std::string> FindSwitchIn(std::string_view argumentText, std::string_view name) {
  const std::vector<std::string> tokens = SplitCommandLine(argumentText);
  const std::string wanted = AsciiText::Lower(name);
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    const std::string trimmed = TrimSpaces(tokens[k]);
    if (!IsSwitchToken(trimmed)) continue;
    std::string tok = AsciiText::Lower(std::string_view(trimmed).substr(1));
    std::string val;
    if (const auto colon = tok.find(':'); colon != std::string::npos) {
      SplitAt(tok, val, colon);
    } else if (const auto equals = tok.find('='); equals != std::string::npos) {
      SplitAt(tok, val, equals);
    } else {
      // Value words run to the next switch token; an empty word adds a space.
      for (std::size_t m = k + 1; m < tokens.size(); ++m) {
        const std::string word = TrimSpaces(tokens[m]);
        if (IsSwitchToken(word)) break;
        val += word + ' ';
      }
      val = TrimSpaces(val);
    }
    if (tok == wanted) return val;
  }
  return std::nullopt;
}

std::optional<std::string> FindSwitch(std::string_view name) {
  return FindSwitchIn(ArgumentText::Get(), name);
}

}  // namespace SwitchParser
