#include "CommandLine.h"

#include <array>
#include <iostream>
#include <span>
#include <vector>

#include "ArgumentText.h"
#include "AsciiText.h"
#include "SwitchParser.h"

namespace CommandLine {

namespace {

bool ContainsAny(std::string_view text, std::span<const std::string_view> needles) {
  for (auto needle : needles) {
    if (text.find(needle) != std::string_view::npos) return true;
  }
  return false;
}

constexpr int kExitCouldNotStart = 2;
constexpr std::array<std::string_view, 4> kHelpTexts = {"/help", "-help", "/?", "-?"};
constexpr std::array<std::string_view, 2> kConfigTexts = {"/config", "-config"};

std::vector<std::string> Words(std::string_view argumentText) {
  std::vector<std::string> words;
  for (const auto& token : SwitchParser::SplitCommandLine(argumentText))
    words.push_back(SwitchParser::TrimSpaces(token));
  return words;
}

bool HasWord(std::string_view argumentText, std::initializer_list<std::string_view> wanted) {
  for (const auto& word : Words(argumentText)) {
    for (auto w : wanted) {
      if (word == w) return true;
    }
  }
  return false;
}

}  // namespace

RunMode ChooseMode(std::string_view argumentText) {
  const std::string lower = AsciiText::Lower(argumentText);
  if (ContainsAny(lower, kHelpTexts) || HasWord(argumentText, {"-h"})) return RunMode::Help;
  if (SwitchParser::IsBlank(argumentText) != 0 || ContainsAny(lower, kConfigTexts)) {
    return RunMode::Config;
  }
  if (HasWord(argumentText, {"-V", "--version"})) return RunMode::Version;
  if (HasWord(argumentText, {"-flush", "/flush"})) return RunMode::Flush;
  if (HasWord(argumentText, {"-outbox", "/outbox"})) return RunMode::Outbox;
  if (HasWord(argumentText, {"-login", "/login"})) return RunMode::Login;
  if (SwitchParser::FindSwitchIn(argumentText, "gui")) return RunMode::SimpleSender;
  return RunMode::Delivery;
}

std::string_view ModeName(RunMode mode) {
  switch (mode) {
    case RunMode::Help:
      return "help";
    case RunMode::Config:
      return "configuration";
    case RunMode::SimpleSender:
      return "simple sender";
    case RunMode::Delivery:
      return "delivery";
    case RunMode::Version:
      return "version";
    case RunMode::Flush:
      return "outbox flush";
    case RunMode::Outbox:
      return "outbox list";
    case RunMode::Login:
      return "sign-in";
  }
  return "unknown";
}

static const std::function<int()>& WindowFor(RunMode mode, const ModeWindows& windows) {
  switch (mode) {
    case RunMode::Help:
      return windows.help;
    case RunMode::Config:
      return windows.config;
    case RunMode::SimpleSender:
      return windows.simpleSender;
    case RunMode::Version:
      return windows.version;
    case RunMode::Flush:
      return windows.flush;
    case RunMode::Outbox:
      return windows.outbox;
    case RunMode::Login:
      return windows.login;
    case RunMode::Delivery:
      break;
  }
  return windows.delivery;
}

std::string RequestInsideValue(std::string_view argumentText, RunMode mode) {
  if (mode != RunMode::Help && mode != RunMode::Config) return {};
  const std::span<const std::string_view> needles =
      mode == RunMode::Help ? std::span<const std::string_view>(kHelpTexts) : kConfigTexts;
  const std::vector<std::string> words = Words(argumentText);
  std::string owner;  // the switch whose value words we are in
  std::string found;
  std::string holder;
  for (const auto& word : words) {
    const std::string lower = AsciiText::Lower(word);
    const bool isSwitch = SwitchParser::IsSwitchToken(word);
    if (isSwitch) {
      // "-help", "--help", "/?", "-configure", "-h": the request itself.
      const std::string_view bare = std::string_view(lower).substr(lower.rfind("--", 0) == 0);
      for (auto needle : needles) {
        if (bare.rfind(needle, 0) == 0) return {};
      }
      if (mode == RunMode::Help && word == "-h") return {};
      owner = word.substr(0, word.find_first_of(":="));
    }
    for (auto needle : needles) {
      if (found.empty() && lower.find(needle) != std::string::npos) {
        found = needle;
        holder = owner;
      }
    }
  }
  if (found.empty()) return {};  // only across quotes: nothing to name
  const std::string what = mode == RunMode::Help ? "the help" : "the configuration window";
  const std::string where = holder.empty() ? "a word before any switch" : "the value of " + holder;
  return "Tarnwick: " + where + " holds \"" + found + "\", which asks for " + what +
         "; nothing was sent. Put such a value in Tarnwick.ini or in a file next to the "
         "program.";
}

int NeedsDisplay(RunMode mode) {
  std::cerr << "Tarnwick: the " << ModeName(mode)
            << " window needs a display, and none answers (DISPLAY or WAYLAND_DISPLAY).";
  if (mode == RunMode::Config) {
    std::cerr << " Run it on a terminal to be asked there, or edit Tarnwick.ini by hand (see "
                 "man tarnwick).";
  }
  std::cerr << "\n";
  return kExitCouldNotStart;
}

void Prepare(int argc, char** argv) {
  // Before Qt ever sees argv: it would take switches such as -style away.
  ArgumentText::Set(ArgumentText::FromArgv(argc, argv));
}

int Main(int argc, char** argv, const ModeWindows& windows) {
  Prepare(argc, argv);
  const RunMode mode = ChooseMode(ArgumentText::Get());
  const std::string inside = RequestInsideValue(ArgumentText::Get(), mode);
  if (!inside.empty()) std::cerr << inside << "\n";
  const auto& show = WindowFor(mode, windows);
  if (!show) {
    std::cerr << "Tarnwick: the " << ModeName(mode)
              << " window is not part of this build yet; nothing was done.\n";
    return kExitCouldNotStart;
  }
  const int status = show();
  // The mode stays as chosen, but a script must not take it for a send.
  return inside.empty() ? status : kExitCouldNotStart;
}

}  // namespace CommandLine
