#include "CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

#include "ArgumentText.h"

using CommandLine::ChooseMode;
using CommandLine::RunMode;

namespace {

TEST(ChooseMode, OrderOfTests) {
  struct Case {
    const char* text;
    RunMode mode;
  };
  const Case cases[] = {
      {"", RunMode::Config},
      {"    ", RunMode::Config},
      {"/HELP", RunMode::Help},
      {"-Help", RunMode::Help},
      {"/?", RunMode::Help},
      {"-?", RunMode::Help},
      {"-s self-help tips -t bob", RunMode::Help},
      {"-m why -? now", RunMode::Help},
      {"-t a@b.c -s x/?y", RunMode::Help},
      {"-configure", RunMode::Config},
      {"/CONFIG", RunMode::Config},
      {"-s see-config -t bob", RunMode::Config},
      {"-config -help", RunMode::Help},
      {"-config -gui", RunMode::Config},
      {"-gui", RunMode::SimpleSender},
      {"/GUI", RunMode::SimpleSender},
      {"-gui:1", RunMode::SimpleSender},
      {"/gui=yes", RunMode::SimpleSender},
      {"-gui anything", RunMode::SimpleSender},
      {R"("-gui")", RunMode::SimpleSender},
      {"-t bob -gui", RunMode::SimpleSender},
      {"gui", RunMode::Delivery},
      {"-guide", RunMode::Delivery},
      {"-t someone -s hello", RunMode::Delivery},
      {"\t", RunMode::Delivery},  // a tab is not blank
      {"-h", RunMode::Help},
      {"-t bob -h", RunMode::Help},
      {"-s -hello", RunMode::Delivery},
      {"-V", RunMode::Version},
      {"--version -t bob", RunMode::Version},
      {"-v", RunMode::Delivery},
      {"-s -Version", RunMode::Delivery},
      {"-V -config", RunMode::Config},
      {"-V -gui", RunMode::Version},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChooseMode(c.text), c.mode) << "[" << c.text << "]";
  }
}

// Main runs the chosen window, with the argument text in place and the
// cipher key set before it.
TEST(RequestInsideValue, NamesTheSwitchHoldingIt) {
  struct Case {
    const char* text;
    const char* names;  // "" when the request is a switch of its own
  };
  const Case cases[] = {
      {"-help", ""},
      {"--help", ""},
      {"/?", ""},
      {"-t bob -h", ""},
      {"-t it-helpdesk@example.com -help", ""},
      {"-configure", ""},
      {"--config", ""},
      {"-t it-helpdesk@example.com", "the value of -t holds \"-help\""},
      {"-m see https://ci.example.com/job/?id=5", "the value of -m holds \"/?\""},
      {"-s:self-help", "the value of -s holds \"-help\""},
      {"-m /home/me/help.txt", "the value of -m holds \"/help\""},
      {"self-help -t bob", "a word before any switch holds \"-help\""},
      {"-s see-config -t bob", "the value of -s holds \"-config\""},
  };
  for (const auto& c : cases) {
    const std::string line = CommandLine::RequestInsideValue(c.text, ChooseMode(c.text));
    if (*c.names == '\0') {
      EXPECT_EQ(line, "") << c.text;
    } else {
      EXPECT_NE(line.find(c.names), std::string::npos) << c.text << ": " << line;
    }
  }
  EXPECT_EQ(CommandLine::RequestInsideValue("-t bob", RunMode::Delivery), "");
}

TEST(Main, ShowsChosenWindowWithStateSet) {
  std::vector<std::string> shown;
  CommandLine::ModeWindows windows;
  windows.delivery = [&] {
    shown.push_back("delivery " + ArgumentText::Get());
    return 0;
  };
  windows.help = [&] {
    shown.emplace_back("help");
    return 0;
  };
  const char* argv[] = {"tarnwick", "-t", "alice bob", "-s", ""};
  EXPECT_EQ(CommandLine::Main(5, const_cast<char**>(argv), windows), 0);
  ASSERT_EQ(shown.size(), 1U);
  EXPECT_EQ(shown[0], R"(delivery -t "alice bob" -s "")");
}

TEST(Main, ModeWithoutWindowEndsWithStatus2) {
  const char* argv[] = {"tarnwick", "-config"};
  EXPECT_EQ(CommandLine::Main(2, const_cast<char**>(argv), CommandLine::ModeWindows{}), 2);
}

}  // namespace
