#include "SwitchParser.h"

#include <gtest/gtest.h>

#include <optional>

using SwitchParser::FindSwitchIn;
using SwitchParser::IsBlank;
using SwitchParser::SplitCommandLine;
using SwitchParser::StripQuotes;
using SwitchParser::TrimSpaces;

namespace {

struct SwitchCase {
  const char* line;
  const char* name;
  std::optional<std::string> value;  // nothing = not found
};

std::ostream& operator<<(std::ostream& os, const SwitchCase& c) {
  return os << "[" << c.line << "] " << c.name;
}

class FindSwitchTable : public testing::TestWithParam<SwitchCase> {};

TEST_P(FindSwitchTable, FindsValue) {
  const auto& c = GetParam();
  EXPECT_EQ(FindSwitchIn(c.line, c.name), c.value) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    HardCases, FindSwitchTable,
    testing::Values(
        SwitchCase{"-s Weekly report -t alice bob", "s", "Weekly report"},
        SwitchCase{"-s Weekly report -t alice bob", "t", "alice bob"},
        SwitchCase{"-s    Weekly    report   ", "s", "Weekly report"},
        SwitchCase{R"(-s "  Weekly   report  ")", "s", "Weekly   report"},
        SwitchCase{"-S Hello", "s", "Hello"}, SwitchCase{"/s Hello", "s", "Hello"},
        SwitchCase{"-s Hello", "S", "Hello"}, SwitchCase{"-s:Hello", "s", "hello"},
        SwitchCase{"-s=Hello", "s", "hello"}, SwitchCase{"-s:Weekly report", "s", "weekly"},
        SwitchCase{R"("-s:Weekly report")", "s", "weekly report"},
        SwitchCase{R"(-a:C:\Dir\File.txt)", "a", R"(c:\dir\file.txt)"},
        SwitchCase{R"(-a=C:\File.txt)", "a", std::nullopt},
        SwitchCase{R"(-a=C:\File.txt)", "a=c", R"(\file.txt)"},
        SwitchCase{"-s first -s second", "s", "first"}, SwitchCase{"-s -t alice", "s", ""},
        SwitchCase{"-s -t alice", "t", "alice"}, SwitchCase{"-s", "s", ""},
        SwitchCase{"-s:", "s", ""}, SwitchCase{"-s=", "s", ""},
        SwitchCase{"-s -5 degrees", "s", ""}, SwitchCase{"-s -5 degrees", "5", "degrees"},
        SwitchCase{R"(-s "-5 degrees")", "s", ""},
        SwitchCase{R"(-s"Hello world")", "s", std::nullopt},
        SwitchCase{R"(-s"Hello world")", "shello", "world"},
        SwitchCase{R"(-s "Hello world)", "s", "Hello world"},
        SwitchCase{R"(-s a "" b)", "s", "a  b"}, SwitchCase{R"(" -s" Hello)", "s", "Hello"},
        SwitchCase{R"(-s say "hi" there)", "s", "say hi there"},
        SwitchCase{"hello -s x", "hello", std::nullopt}, SwitchCase{"hello -s x", "s", "x"},
        SwitchCase{"", "s", std::nullopt}, SwitchCase{"     ", "s", std::nullopt},
        // A malformed switch matches nothing but still ends the words before it.
        SwitchCase{"-s a - b", "s", "a"}, SwitchCase{"-s a -:x b", "s", "a"},
        SwitchCase{"-s a /", "s", "a"},
        // Words of a switch that did not match are not switches themselves.
        SwitchCase{"-t s x -s y", "s", "y"},
        // Tabs are ordinary characters, not separators.
        SwitchCase{"-s\tx y", "s\tx", "y"},
        // Only A-Z are lower-cased; other bytes pass through unchanged.
        SwitchCase{"-s:\xC3\x84rger", "s", "\xC3\x84rger"}, SwitchCase{"-gui:1", "gui", "1"},
        SwitchCase{"/gui=yes", "gui", "yes"},
        // A "/" word with a further "/" before any ":" or "=" is a path.
        SwitchCase{"-m /tmp/r.txt -t b", "m", "/tmp/r.txt"},
        SwitchCase{"-a /srv/a.pdf /srv/b.pdf", "a", "/srv/a.pdf /srv/b.pdf"},
        SwitchCase{"-m /tmp/r.txt", "tmp/r.txt", std::nullopt},
        SwitchCase{"/a:/srv/x.pdf", "a", "/srv/x.pdf"}, SwitchCase{"/x=a/b", "x", "a/b"},
        SwitchCase{"-s // x", "s", "// x"}));

TEST(SplitCommandLine, Tokens) {
  struct Case {
    const char* line;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {"", {}},
      {"   ", {}},
      {"a  b", {"a", "b"}},
      {R"("Hello world"x)", {"Hello world", "x"}},
      {R"(-s"Hello world")", {"-sHello", "world"}},
      {R"(a "" b)", {"a", "", "b"}},
      {R"("open quote   )", {"open quote"}},
      {R"("  ")", {"  "}},
      {R"(x"y z")", {"xy", "z"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.line), c.tokens) << "[" << c.line << "]";
  }
}

TEST(StringHelpers, TrimBlankStrip) {
  struct Case {
    const char* text;
    const char* trimmed;
    bool blank;
    const char* stripped;
  };
  const Case cases[] = {
      {"", "", true, ""},
      {"   ", "", true, "   "},
      {"  a  b  ", "a  b", false, "  a  b  "},
      {"\ta\t", "\ta\t", false, "\ta\t"},
      {R"( "q" )", R"("q")", false, " q "},
      {R"(a"b"c)", R"(a"b"c)", false, "abc"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TrimSpaces(c.text), c.trimmed) << "[" << c.text << "]";
    EXPECT_EQ(IsBlank(c.text), c.blank) << "[" << c.text << "]";
    EXPECT_EQ(StripQuotes(c.text), c.stripped) << "[" << c.text << "]";
  }
}

}  // namespace
