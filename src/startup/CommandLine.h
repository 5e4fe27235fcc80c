#pragma once
// Start-up: sets the cipher key, takes the argument text and opens the one
// window that the text asks for.
#include <functional>
#include <string>
#include <string_view>

namespace CommandLine {

// The fixed key of the stored-password cipher; Main sets it first of all.
extern std::string CipherKey;
inline constexpr std::string_view kCipherKeyText = "plomvaderskiturne";

enum class RunMode { Help, Config, SimpleSender, Delivery };

// The mode decision: help text, then blank or config text, then the "gui"
// switch, else a delivery run. The first two are plain substring tests.
RunMode ChooseMode(std::string_view argumentText);

std::string_view ModeName(RunMode mode);

// What each mode opens. The executable fills these in, so start-up does not
// depend on the window libraries; each returns the process's exit status.
// A mode left empty ends the run with status 2 and a message.
struct ModeWindows {
  std::function<int()> help;
  std::function<int()> config;
  std::function<int()> simpleSender;
  std::function<int()> delivery;
};

// The process entry point; returns the exit status.
int Main(int argc, char** argv, const ModeWindows& windows);

}  // namespace CommandLine
