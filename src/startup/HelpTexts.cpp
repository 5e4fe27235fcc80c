#include "HelpTexts.h"

#include <iostream>

#include "Switches.h"
#include "VersionString.h"

namespace {

constexpr std::size_t kColumn = 28;

std::string WithoutCr(std::string text) {
  for (auto at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
    text.erase(at, 1);
  return text;
}

// "  left" padded to the column, then the right side.
std::string Row(const std::string& left, const std::string& right) {
  if (left.empty() && right.empty()) return "\n";
  return "  " + left + std::string(left.size() < kColumn ? kColumn - left.size() : 1, ' ') + right +
         "\n";
}

constexpr const char* kLinuxNotes =
    "  -m:-                        read the message body from standard input\n"
    "  -a FILE FILE ...            several attachments (files next to the program,\n"
    "                              or absolute paths such as /srv/report.pdf)\n"
    "  Exit status: 0 sent; 3 sent, but a recipient was refused or an attachment\n"
    "  was missing; 1 not sent (permanent); 75 not sent (temporary, try again);\n"
    "  2 not sent (bad input, a file that cannot be read, or help asked for).\n"
    "  Without a display the run works on the console and ends at its outcome.\n";

}  // namespace

HelpTexts MakeHelpTexts() {
  const VersionInfo info;
  HelpTexts texts{"Tarnwick [options]",
                  VersionString::Text(info) + " " + info.fileDescription,
                  "Usage:  TARNWICK [options]",
                  "TARNWICK with no parameters will bring up the configuration window",
                  "",
                  ""};
  bool flags = false;
  for (const auto& row : Switches::All()) {
    if (row.shown != Switches::Help::Window) continue;
    std::string left(row.spelling);
    if (!row.valueName.empty()) left += " " + std::string(row.valueName);
    if (!texts.options.empty()) {
      texts.options += "\r\n";
      texts.optionsDesc += "\r\n";
    }
    if (row.value == Switches::Value::None && !flags) {
      flags = true;  // a blank line before the flags
      texts.options += "\r\n";
      texts.optionsDesc += "\r\n";
    }
    texts.options += left;
    texts.optionsDesc += row.help;
  }
  return texts;
}

std::string ConsoleHelp() {
  const HelpTexts t = MakeHelpTexts();
  std::string out = t.title + "\n\n" + t.verInfo + "\n" + t.usage + "\n" + t.noParms + "\n\n";
  const std::string options = WithoutCr(t.options) + "\n";
  const std::string descriptions = WithoutCr(t.optionsDesc) + "\n";
  for (std::size_t o = 0, d = 0; o < options.size();) {
    const auto oe = options.find('\n', o);
    const auto de = descriptions.find('\n', d);
    const std::string left = options.substr(o, oe - o);
    const std::string right = descriptions.substr(d, de - d);
    out += Row(left, right);
    o = oe + 1;
    d = de + 1;
  }
  out += "\nLinux:\n";
  for (const auto& row : Switches::All()) {
    if (row.shown == Switches::Help::Linux)
      out += Row(std::string(row.spelling), std::string(row.help));
  }
  return out + kLinuxNotes;
}

std::string VersionLine() {
  const VersionInfo info;
  return std::string(info.productName) + " " + VersionString::Text(info) + " " +
         info.fileDescription;
}

int PrintHelp() {
  std::cout << ConsoleHelp() << std::flush;
  return 0;
}

int PrintVersion() {
  std::cout << VersionLine() << "\n" << std::flush;
  return 0;
}
