#pragma once
// Every command-line switch in one table: its name, the kind of value it
// takes, and its help line. The run reads its values and warns about names
// not in it; the help window and the console help are made from it; tests
// hold the manual page and the bash completion to it. A new switch is one
// more row.
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Switches {

enum class Value {
  None,  // a flag: -log
  Text,  // words up to the next switch: -s Weekly report
  File,  // text, or the name of a file (next to the program) to read: -t, -m, -a
};

enum class Help {
  Window,  // in the help window's list (and the console's)
  Linux,   // only in the console help's part on this system's additions
  None,    // not listed
};

struct Switch {
  std::string_view name;         // what the parser matches, lower case, without "-"
  std::string_view spelling;     // as the help shows it: "-xu", "-h, --help"
  std::string_view valueName;    // "USERNAME", "ADDRESS [ADDRESS ...]"
  std::string_view help;         // the help line
  std::string_view settingsKey;  // the Tarnwick.ini key used when the switch is absent
  Value value;
  Help shown;
  bool readByRun;  // a delivery run reads it (any other is reported)
};

std::span<const Switch> All();

// The row the parser knows as `name` (lower case); nullptr when none.
const Switch* Find(std::string_view name);

// One warning for each switch on the command line that a run does not
// read: anything else there is reported, not silently dropped.
std::vector<std::string> Warnings(std::string_view argumentText);

}  // namespace Switches
