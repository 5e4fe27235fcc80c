#pragma once
// Start-up: takes the argument text and opens the one window that the text
// asks for.
#include <functional>
#include <string>
#include <string_view>

namespace CommandLine {

enum class RunMode { Help, Config, SimpleSender, Delivery, Version, Flush, Outbox, Login };

// The mode decision: help text (or the word -h), then blank or config text,
// then -V or --version, then the "gui" switch, else a delivery run. The
// help and config tests are plain substring tests over the whole text.
RunMode ChooseMode(std::string_view argumentText);

// When the help or configuration text that chose `mode` stands only inside
// a switch value ("-t it-helpdesk@example.com"), the line that says so,
// naming the switch; empty when the request is a switch of its own.
std::string RequestInsideValue(std::string_view argumentText, RunMode mode);

// Sets the argument text from argv: what every mode needs first, in the
// program and in its window library alike.
void Prepare(int argc, char** argv);

std::string_view ModeName(RunMode mode);

// What each mode opens. The executable fills these in, so start-up does not
// depend on the window libraries; each returns the process's exit status.
// A mode left empty ends the run with status 2 and a message.
struct ModeWindows {
  std::function<int()> help;
  std::function<int()> config;
  std::function<int()> simpleSender;
  std::function<int()> delivery;
  std::function<int()> version;
  std::function<int()> flush;   // the outbox sent: console only
  std::function<int()> outbox;  // the outbox listed: console only
  std::function<int()> login;   // the OAuth2 sign-in
};

// A window mode with no display to show it on: says so, exit status 2.
int NeedsDisplay(RunMode mode);

// The process entry point; returns the exit status.
int Main(int argc, char** argv, const ModeWindows& windows);

}  // namespace CommandLine
