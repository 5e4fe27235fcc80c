#include "SwitchParser.h"

#include "ArgumentText.h"
#include "AsciiText.h"

namespace ProcLib {
namespace {

bool IsSwitchToken(std::string_view trimmed) {
  return !trimmed.empty() && (trimmed.front() == '-' || trimmed.front() == '/');
}

// "-name:value" / "-name=value": the value is the rest after the separator.
void SplitAt(std::string& name, std::string& value, std::string::size_type pos) {
  if (pos + 1 < name.size()) value = name.substr(pos + 1);
  name.resize(pos);
}

}  // namespace

Bool16 IsBlank(std::string_view text) {
  return ToBool16(text.find_first_not_of(' ') == std::string_view::npos);
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

void SplitCommandLine(std::string_view text, TokenList& tokens) {
  tokens.assign(1, std::string());
  const std::string line = TrimSpaces(text);
  std::string current;
  bool inToken = false;
  bool inQuote = false;
  auto store = [&] {
    tokens.push_back(current);
    current.clear();
    inToken = false;
    inQuote = false;
  };
  for (char ch : line) {
    if (ch != ' ') {
      if (!inToken) {
        current = ch;
        inToken = true;
        inQuote = ch == '"';
      } else if (inQuote && ch == '"') {
        // The closing quote ends the token even when no space follows.
        current += ch;
        store();
      } else {
        current += ch;
      }
    } else if (inToken && !inQuote) {
      store();
    } else if (inToken) {
      current += ch;
    }
  }
  // A quote never closed runs to the end of the text.
  if (IsBlank(current) == kFalse16) store();
  for (std::size_t k = 1; k < tokens.size(); ++k) tokens[k] = StripQuotes(tokens[k]);
}

void GetSwitchIn(std::string_view argumentText, std::string_view name, Bool16& found,
                 std::string& value) {
  found = kFalse16;
  TokenList tokens;
  SplitCommandLine(argumentText, tokens);
  const std::size_t count = tokens.size() - 1;
  const std::string wanted = AsciiText::Lower(name);
  for (std::size_t k = 1; k <= count; ++k) {
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
      for (std::size_t m = k + 1; m <= count; ++m) {
        const std::string word = TrimSpaces(tokens[m]);
        if (IsSwitchToken(word)) break;
        val += word + ' ';
      }
      val = TrimSpaces(val);
    }
    if (tok == wanted) {
      found = kTrue16;
      value = val;
      return;
    }
  }
}

void GetSwitch(std::string_view name, Bool16& found, std::string& value) {
  GetSwitchIn(ArgumentText::Get(), name, found, value);
}

}  // namespace ProcLib
