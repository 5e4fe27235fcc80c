#pragma once
// Every key of Tarnwick.ini's [Options] section, in one table: its name,
// its default, what it means (the manual's wording), and the configuration
// field that edits it, if any. The run, the configuration window, the
// terminal configuration and the manual's check all read this table; a new
// key is one more row.
#include <map>
#include <span>
#include <string>
#include <string_view>

namespace SettingsKeys {

inline constexpr const char* kSection = "Options";

struct Field {
  std::string_view box;      // the window's text box ("txtFrom")
  std::string_view label;    // its label ("lblFrom")
  std::string_view caption;  // the label's text ("From:"); the terminal asks it without ":"
};

struct Key {
  std::string_view name;
  std::string_view defaultValue;  // what an empty or missing value stands for
  std::string_view meaning;
  Field field;  // empty box: edited by hand only
};

// In the configuration's order (its tab order), then the hand-edited keys.
std::span<const Key> All();

// The keys that have a configuration field, in that order.
std::span<const Key> Fields();

// The row of `name` (exact spelling); a name not in the table is a slip of
// the program's own, and throws std::out_of_range.
const Key& Get(std::string_view name);

// The values of every key as Tarnwick.ini holds them ("" when missing).
using Values = std::map<std::string, std::string, std::less<>>;
Values ReadAll(const std::string& iniPath);

// The value of `name` in `values`, or its default when that is empty.
std::string ValueOrDefault(const Values& values, std::string_view name);

}  // namespace SettingsKeys
