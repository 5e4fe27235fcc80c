#include "Switches.h"

#include <array>

#include "SwitchParser.h"

namespace Switches {
namespace {

constexpr Value kNone = Value::None;
constexpr Value kText = Value::Text;
constexpr Value kFile = Value::File;

// In the help window's order; a blank line there parts the switches with a
// value from the flags.
constexpr std::array<Switch, 14> kSwitches = {{
    {"f", "-f", kText, "ADDRESS", "from (sender) address", Help::Window, "From", true},
    {"t", "-t", kFile, "ADDRESS [ADDRESS ...]", "to address(es)", Help::Window, "To", true},
    {"s", "-s", kText, "SUBJECT", "message subject", Help::Window, "Subject", true},
    {"m", "-m", kFile, "MESSAGE", "message body", Help::Window, "Message", true},
    {"x", "-x", kText, "SMTP SERVER", "SMTP server", Help::Window, "SMTPServer", true},
    {"xu", "-xu", kText, "USERNAME", "SMTP username for authentication", Help::Window,
     "SMTPUserName", true},
    {"xp", "-xp", kText, "PASSWORD", "SMTP password for authentication", Help::Window,
     "SMTPPassword", true},
    {"a", "-a", kFile, "FILE [FILE ...]", "file attachment(s)", Help::Window, "Attachment", true},
    {"config", "-config", kNone, "", "open configuration dialog window", Help::Window, "", false},
    {"log", "-log", kNone, "", "log results to Tarnwick.log", Help::Window, "", true},
    {"help", "-help", kNone, "", "display this Help screen", Help::Window, "", false},
    {"gui", "-gui", kNone, "", "the simple sender window", Help::None, "", true},
    {"h", "-h, --help", kNone, "", "this help", Help::Linux, "", false},
    {"v", "-V, --version", kNone, "", "the version line", Help::Linux, "", false},
}};

// A switch the delivery run reads.
bool Known(std::string_view name) {
  const Switch* row = Find(name);
  return row != nullptr && row->readByRun;
}

}  // namespace

std::span<const Switch> All() { return kSwitches; }

std::vector<std::string> Warnings(std::string_view argumentText) {
  SwitchParser::TokenList tokens;
  SwitchParser::SplitCommandLine(argumentText, tokens);
  std::vector<std::string> warnings;
  for (std::size_t k = 1; k < tokens.size(); ++k) {
    const std::string word = SwitchParser::TrimSpaces(tokens[k]);
    if (!SwitchParser::IsSwitchToken(word)) continue;
    const std::string name = SwitchParser::SwitchName(word);
    if (Known(name)) continue;
    // Only the name up to a blank or "=" is repeated: what follows may be a
    // password.
    const std::string head = name.substr(0, name.find_first_of(" ="));
    const std::string shown = word.substr(0, 1) + head;
    if (head.empty()) {
      warnings.push_back("a \"" + word.substr(0, 1) +
                         "\" with no switch name was ignored, and so was the value it ends.");
    } else if (Known(head)) {
      warnings.push_back("the switch " + shown +
                         " was not read: its value follows a \"=\" and holds a \":\", or stands "
                         "with it inside one quoted word; write " +
                         shown + ":VALUE or " + shown + " VALUE.");
    } else {
      warnings.push_back("the switch " + shown + " is unknown; it and its value were ignored.");
    }
  }
  return warnings;
}

const Switch* Find(std::string_view name) {
  for (const Switch& row : kSwitches) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

}  // namespace Switches
