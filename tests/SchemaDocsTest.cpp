// The manual page, the bash completion and the README say what the settings
// and switch tables hold: a key or switch added to a table and forgotten in
// a document fails here.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "SettingsKeys.h"
#include "Switches.h"

namespace {

std::string ReadSource(const char* name) {
  std::ifstream in(std::string(TARNWICK_SOURCE_DIR) + "/" + name);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The text of a manual page section, up to the next .SH.
std::string ManSection(const std::string& page, const std::string& name) {
  const auto start = page.find(".SH " + name + "\n");
  if (start == std::string::npos) return {};
  const auto end = page.find("\n.SH ", start + 1);
  return page.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// A name in roff: each "-" written as "\-".
std::string Roff(std::string_view spelling) {
  std::string out;
  for (const char c : spelling) out += c == '-' ? std::string("\\-") : std::string(1, c);
  return out;
}

// "-h, --help" -> {"-h", "--help"}.
std::vector<std::string> Spellings(std::string_view spelling) {
  std::vector<std::string> words;
  std::istringstream in{std::string(spelling)};
  for (std::string word; std::getline(in, word, ',');) {
    const auto first = word.find_first_not_of(' ');
    words.push_back(word.substr(first));
  }
  return words;
}

bool HasWord(const std::string& text, const std::string& word) {
  for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
    const auto end = at + word.size();
    const bool before = at == 0 || std::isalnum(static_cast<unsigned char>(text[at - 1])) == 0;
    const bool after =
        end == text.size() || std::isalnum(static_cast<unsigned char>(text[end])) == 0;
    if (before && after) return true;
  }
  return false;
}

TEST(ManualPage, ListsEverySettingsKey) {
  const std::string settings = ManSection(ReadSource("docs/tarnwick.1"), "SETTINGS");
  ASSERT_FALSE(settings.empty());
  for (const auto& key : SettingsKeys::All())
    EXPECT_TRUE(HasWord(settings, std::string(key.name))) << key.name << " is not in SETTINGS";
}

TEST(ManualPage, ListsEverySwitch) {
  const std::string options = ManSection(ReadSource("docs/tarnwick.1"), "OPTIONS");
  ASSERT_FALSE(options.empty());
  for (const auto& row : Switches::All()) {
    for (const auto& word : Spellings(row.spelling))
      EXPECT_NE(options.find(Roff(word)), std::string::npos) << word << " is not in OPTIONS";
  }
}

// The "case $prev in" patterns of the completion: "-a|-m|-t)" and so on.
std::vector<std::string> CasePatterns(const std::string& script) {
  std::vector<std::string> patterns;
  std::istringstream lines(script);
  for (std::string line; std::getline(lines, line);) {
    const auto first = line.find_first_not_of(' ');
    if (first == std::string::npos || line[first] != '-' || line.back() != ')') continue;
    patterns.push_back("|" + line.substr(first, line.size() - first - 1) + "|");
  }
  return patterns;
}

// Every switch is offered; a switch that takes a file name completes file
// names, one that takes text completes nothing.
TEST(BashCompletion, OffersEverySwitchWithItsValueKind) {
  const std::string script = ReadSource("dist/tarnwick.bash-completion");
  const auto words = script.find("compgen -W \"");
  ASSERT_NE(words, std::string::npos);
  const auto from = words + std::string("compgen -W \"").size();
  const std::string offered = " " + script.substr(from, script.find('"', from) - from) + " ";
  const auto patterns = CasePatterns(script);
  ASSERT_EQ(patterns.size(), 2U) << "one case for file values, one for text values";
  for (const auto& row : Switches::All()) {
    for (const auto& word : Spellings(row.spelling))
      EXPECT_NE(offered.find(" " + word + " "), std::string::npos) << word << " is not offered";
    const std::string bar = "|-" + std::string(row.name) + "|";
    EXPECT_EQ(patterns[0].find(bar) != std::string::npos, row.value == Switches::Value::File)
        << row.spelling;
    EXPECT_EQ(patterns[1].find(bar) != std::string::npos, row.value == Switches::Value::Text)
        << row.spelling;
  }
}

TEST(Readme, NamesEverySwitchAndKey) {
  const std::string readme = ReadSource("README.md");
  for (const auto& row : Switches::All()) {
    for (const auto& word : Spellings(row.spelling)) EXPECT_TRUE(HasWord(readme, word)) << word;
  }
  for (const auto& key : SettingsKeys::All())
    EXPECT_TRUE(HasWord(readme, "`" + std::string(key.name) + "`")) << key.name;
}

}  // namespace
