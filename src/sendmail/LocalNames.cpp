#include "LocalNames.h"

#include <fstream>
#include <map>
#include <set>

#include "AsciiText.h"
#include "MailAddress.h"

namespace LocalNames {
namespace {

// "name: a, b" lines; "#" starts a comment line, and a line that starts
// with a blank goes on the line before, as in sendmail's aliases file.
// Alias names match as the local part of a mailbox does on most systems:
// without regard to case.
std::map<std::string, std::vector<std::string>> ReadAliases(const std::string& path) {
  std::map<std::string, std::vector<std::string>> aliases;
  std::ifstream in(path);
  std::string line;
  std::string entry;
  auto finish = [&aliases, &entry] {
    const auto colon = entry.find(':');
    if (colon != std::string::npos) {
      auto& targets = aliases[AsciiText::Lower(AsciiText::Trim(entry.substr(0, colon)))];
      for (const auto& to : MailAddress::SplitList(entry.substr(colon + 1))) {
        const std::string t = AsciiText::Trim(to);
        if (!t.empty()) targets.push_back(t);
      }
    }
    entry.clear();
  };
  while (std::getline(in, line)) {
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !entry.empty()) {
      entry += " " + AsciiText::Trim(line);
      continue;
    }
    finish();
    if (AsciiText::Trim(line).empty() || AsciiText::Trim(line)[0] == '#') continue;
    entry = line;
  }
  finish();
  return aliases;
}

bool Local(const std::string& address) { return address.find('@') == std::string::npos; }

}  // namespace

Mapped Resolve(const std::vector<std::string>& recipients, const std::string& aliasesPath,
               const std::string& localDomain) {
  Mapped mapped;
  bool needAliases = false;
  for (const auto& to : recipients) needAliases = needAliases || Local(to);
  const auto aliases =
      needAliases ? ReadAliases(aliasesPath) : std::map<std::string, std::vector<std::string>>{};
  std::set<std::string> seen;
  // An alias may name another ("root: admin", "admin: a@x"); a loop is
  // refused at the depth limit instead of running on.
  constexpr int kDepth = 8;
  auto add = [&](auto& self, const std::string& to, int depth) -> void {
    if (!mapped.problem.empty()) return;
    if (!Local(to)) {
      if (seen.insert(AsciiText::Lower(to)).second) mapped.addresses.push_back(to);
      return;
    }
    auto found = aliases.find(AsciiText::Lower(to));
    if (found == aliases.end()) found = aliases.find("default");
    if (found != aliases.end()) {
      if (depth == kDepth) {
        mapped.problem = "the aliases in " + aliasesPath + " loop at \"" + to + "\"";
        return;
      }
      for (const auto& target : found->second) self(self, target, depth + 1);
      return;
    }
    if (!localDomain.empty()) {
      self(self, to + "@" + localDomain, depth + 1);
      return;
    }
    mapped.problem = "the local name \"" + to + "\" has no address: give it one in " + aliasesPath +
                     " (\"" + to + ": someone@example.com\") or set LocalDomain";
  };
  for (const auto& to : recipients) add(add, to, 0);
  return mapped;
}

}  // namespace LocalNames
