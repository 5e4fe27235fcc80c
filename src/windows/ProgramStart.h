#pragma once
// Starting a program as a new process without waiting for it.
#include <functional>
#include <string>

namespace ProgramStart {

// The command line is the program's path as it stands. True when started.
bool Start(const std::string& commandLine);

void SetStarterForTesting(std::function<bool(const std::string&)> starter);

}  // namespace ProgramStart
