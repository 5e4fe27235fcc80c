#pragma once
// The command-line switch parser: tokenizer, trimming and switch lookup.
// Only the space character counts as white space.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace SwitchParser {

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

// The words of a command line, quotes removed: split at spaces, and a word
// that opens with a quote runs to the closing quote.
std::vector<std::string> SplitCommandLine(std::string_view text);

// The (possibly empty) value of the first switch `name` in `argumentText`;
// nothing when the switch is not there.
std::optional<std::string> FindSwitchIn(std::string_view argumentText, std::string_view name);

// The text with the value of every occurrence of switch `name` replaced by
// `mask`; everything else stays exactly as typed.
std::string MaskSwitchValues(std::string_view argumentText, std::string_view name,
                             std::string_view mask);

// The same over the argument text of the current process.
std::optional<std::string> FindSwitch(std::string_view name);

}  // namespace SwitchParser
