#include "ArgumentText.h"

#include <gtest/gtest.h>

#include <vector>

#include "SwitchParser.h"

namespace {

TEST(ArgumentText, RebuiltFromArgv) {
  struct Case {
    std::vector<const char*> argv;
    const char* text;
  };
  const Case cases[] = {
      {{"tarnwick"}, ""},
      {{"tarnwick", "-t", "alice", "bob"}, "-t alice bob"},
      {{"tarnwick", "-s", "Weekly report"}, R"(-s "Weekly report")"},
      {{"tarnwick", "-s", ""}, R"(-s "")"},
      {{"tarnwick", "-style", "fusion"}, "-style fusion"},
      {{"tarnwick", "-s:Weekly report"}, R"("-s:Weekly report")"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ArgumentText::FromArgv(static_cast<int>(c.argv.size()), c.argv.data()), c.text);
  }
}

// What the shell split keeps its grouping through the rebuilt text.
TEST(ArgumentText, WordsWithSpacesStayOneValue) {
  const char* argv[] = {"tarnwick", "-s", "  Weekly   report  ", "-t", "bob"};
  const std::string text = ArgumentText::FromArgv(5, argv);
  EXPECT_EQ(SwitchParser::FindSwitchIn(text, "s"), "Weekly   report");
  EXPECT_EQ(SwitchParser::FindSwitchIn(text, "t"), "bob");
}

}  // namespace
