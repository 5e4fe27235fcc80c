#pragma once
// Runs a program without a shell and keeps the first line of what it
// prints: standard input is /dev/null, standard output and error come back
// through pipes, and a program still running when the limit passes is
// killed together with whatever it started.
#include <chrono>
#include <string>
#include <vector>

namespace CapturedCommand {

struct Result {
  bool started = false;
  std::string startProblem;  // why it could not be started (or watched)
  bool timedOut = false;     // killed at the limit
  int exitStatus = -1;       // when it ended by itself: its status, or 128 + the signal;
                             // -1 when it did not (timed out, or could not be watched)
  std::string firstOutLine;  // without its line end
  std::string firstErrLine;
};

// `argv[0]` is looked up on PATH when it holds no "/".
Result Run(const std::vector<std::string>& argv, std::chrono::milliseconds limit);

}  // namespace CapturedCommand
