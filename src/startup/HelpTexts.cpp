#include "HelpTexts.h"

#include <array>
#include <iostream>

#include "VersionString.h"

namespace {

std::string JoinLines(const std::array<const char*, 12>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines.at(i);
  }
  return text;
}

std::string WithoutCr(std::string text) {
  for (auto at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
    text.erase(at, 1);
  return text;
}

constexpr const char* kLinuxNote =
    "Linux:\n"
    "  -h, --help                  this help\n"
    "  -V, --version               the version line\n"
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
  return {"Tarnwick [options]",
          VersionString::Text(info) + " " + info.fileDescription,
          "Usage:  TARNWICK [options]",
          "TARNWICK with no parameters will bring up the configuration window",
          JoinLines({"-f ADDRESS", "-t ADDRESS [ADDRESS ...]", "-s SUBJECT", "-m MESSAGE",
                     "-x SMTP SERVER", "-xu USERNAME", "-xp PASSWORD", "-a FILE [FILE ...]", "",
                     "-config", "-log", "-help"}),
          JoinLines({"from (sender) address", "to address(es)", "message subject", "message body",
                     "SMTP server", "SMTP username for authentication",
                     "SMTP password for authentication", "file attachment(s)", "",
                     "open configuration dialog window", "log results to Tarnwick.log",
                     "display this Help screen"})};
}

std::string ConsoleHelp() {
  constexpr std::size_t kColumn = 28;
  const HelpTexts t = MakeHelpTexts();
  std::string out = t.title + "\n\n" + t.verInfo + "\n" + t.usage + "\n" + t.noParms + "\n\n";
  const std::string options = WithoutCr(t.options) + "\n";
  const std::string descriptions = WithoutCr(t.optionsDesc) + "\n";
  for (std::size_t o = 0, d = 0; o < options.size();) {
    const auto oe = options.find('\n', o);
    const auto de = descriptions.find('\n', d);
    const std::string left = options.substr(o, oe - o);
    const std::string right = descriptions.substr(d, de - d);
    out += left.empty() && right.empty()
               ? "\n"
               : "  " + left + std::string(left.size() < kColumn ? kColumn - left.size() : 1, ' ') +
                     right + "\n";
    o = oe + 1;
    d = de + 1;
  }
  return out + "\n" + kLinuxNote;
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
