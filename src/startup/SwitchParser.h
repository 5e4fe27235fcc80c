#pragma once
// The command-line switch parser: tokenizer, trimming and switch lookup.
// Only the space character counts as white space; token lists are numbered
// from 1 and slot 0 always holds the empty string.
#include <string>
#include <string_view>
#include <vector>

namespace SwitchParser {

using TokenList = std::vector<std::string>;

// True (-1) when the text is empty once leading and trailing spaces go.
bool IsBlank(std::string_view text);

// Trailing spaces removed, then leading ones; inner spaces stay.
std::string TrimSpaces(std::string_view text);

// Every double-quote character removed.
std::string StripQuotes(std::string_view text);

// A token (trimmed, quotes removed) that starts with "-" or "/" and is not
// an absolute path (a "/" token with another "/" before any ":" or "=").
bool IsSwitchToken(std::string_view trimmed);

// The lower-cased name of a switch token: the text after its prefix, up to
// the first ":" or, when it has none, the first "=".
std::string SwitchName(std::string_view trimmed);

// Splits at spaces; a token that opens with a quote runs to the closing
// quote. Replaces whatever tokens held.
void SplitCommandLine(std::string_view text, TokenList& tokens);

// Looks for switch `name` in `argumentText`. Sets found to false, then, when
// the switch is there, to true with value set to its (possibly empty) value.
// When it is not there, value keeps what the caller put in it.
void GetSwitchIn(std::string_view argumentText, std::string_view name, bool& found,
                 std::string& value);

// The text with the value of every occurrence of switch `name` replaced by
// `mask`; everything else stays exactly as typed.
std::string MaskSwitchValues(std::string_view argumentText, std::string_view name,
                             std::string_view mask);

// The same over the argument text of the current process.
void GetSwitch(std::string_view name, bool& found, std::string& value);

}  // namespace SwitchParser
