#pragma once
// The program the about window's System Info button starts: the first of a
// few Linux system-information programs found on PATH.
#include <string>

namespace SystemInfoTool {

// Its full path; empty when none of them is installed.
std::string Find();

}  // namespace SystemInfoTool
