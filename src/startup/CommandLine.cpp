#include "CommandLine.h"

#include <iostream>

#include "ArgumentText.h"
#include "AsciiText.h"
#include "SwitchParser.h"

namespace CommandLine {

std::string CipherKey;

namespace {

bool ContainsAny(std::string_view text, std::initializer_list<std::string_view> needles) {
  for (auto needle : needles) {
    if (text.find(needle) != std::string_view::npos) return true;
  }
  return false;
}

constexpr int kExitCouldNotStart = 2;

}  // namespace

RunMode ChooseMode(std::string_view argumentText) {
  const std::string lower = AsciiText::Lower(argumentText);
  if (ContainsAny(lower, {"/help", "-help", "/?", "-?"})) return RunMode::Help;
  if (ProcLib::IsBlank(argumentText) != 0 || ContainsAny(lower, {"/config", "-config"})) {
    return RunMode::Config;
  }
  Bool16 found = kFalse16;
  std::string value;
  ProcLib::GetSwitchIn(argumentText, "gui", found, value);
  if (found != 0) return RunMode::SimpleSender;
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
    case RunMode::Delivery:
      break;
  }
  return windows.delivery;
}

int Main(int argc, char** argv, const ModeWindows& windows) {
  CipherKey = kCipherKeyText;
  // Before Qt ever sees argv: it would take switches such as -style away.
  ArgumentText::Set(ArgumentText::FromArgv(argc, argv));
  const RunMode mode = ChooseMode(ArgumentText::Get());
  const auto& show = WindowFor(mode, windows);
  if (!show) {
    std::cerr << "Tarnwick: the " << ModeName(mode)
              << " window is not part of this build yet; nothing was done.\n";
    return kExitCouldNotStart;
  }
  return show();
}

}  // namespace CommandLine
