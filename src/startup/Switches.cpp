#include "Switches.h"

#include "SwitchParser.h"

namespace Switches {
namespace {

constexpr Value kNone = Value::None;
constexpr Value kText = Value::Text;
constexpr Value kFile = Value::File;

// In the help window's order; a blank line there parts the switches with a
// value from the flags.
constexpr Switch kSwitches[] = {
    {"f", "-f", "ADDRESS", "from (sender) address", "From", kText, Help::Window, true},
    {"t", "-t", "ADDRESS [ADDRESS ...]", "to address(es)", "To", kFile, Help::Window, true},
    {"s", "-s", "SUBJECT", "message subject", "Subject", kText, Help::Window, true},
    {"m", "-m", "MESSAGE", "message body", "Message", kFile, Help::Window, true},
    {"x", "-x", "SMTP SERVER", "SMTP server", "SMTPServer", kText, Help::Window, true},
    {"xu", "-xu", "USERNAME", "SMTP username for authentication", "SMTPUserName", kText,
     Help::Window, true},
    {"xp", "-xp", "PASSWORD", "SMTP password for authentication", "SMTPPassword", kText,
     Help::Window, true},
    {"a", "-a", "FILE [FILE ...]", "file attachment(s)", "Attachment", kFile, Help::Window, true},
    {"config", "-config", "", "open configuration dialog window", "", kNone, Help::Window, false},
    {"log", "-log", "", "log results to Tarnwick.log", "", kNone, Help::Window, true},
    {"help", "-help", "", "display this Help screen", "", kNone, Help::Window, false},
    {"gui", "-gui", "", "the simple sender window", "", kNone, Help::None, true},
    {"h", "-h, --help", "", "this help", "", kNone, Help::Linux, false},
    {"v", "-V, --version", "", "the version line", "", kNone, Help::Linux, false},
    {"queue", "-queue", "", "put the message in the outbox without trying now", "", kNone,
     Help::Linux, true},
    {"flush", "-flush", "", "send what is due in the outbox", "", kNone, Help::Linux, false},
    {"outbox", "-outbox", "", "list the outbox", "", kNone, Help::Linux, false},
    {"login", "-login", "", "sign in with OAuth2 and keep the tokens", "", kNone, Help::Linux,
     false},
};

// A switch the delivery run reads.
bool Known(std::string_view name) {
  const Switch* row = Find(name);
  return row != nullptr && row->readByRun;
}

}  // namespace

std::span<const Switch> All() { return kSwitches; }

std::vector<std::string> Warnings(std::string_view argumentText) {
  std::vector<std::string> warnings;
  for (const auto& token : SwitchParser::SplitCommandLine(argumentText)) {
    const std::string word = SwitchParser::TrimSpaces(token);
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
