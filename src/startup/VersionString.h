#pragma once
// The version as the help, the about window and -V say it.
#include <string>

#include "VersionInfo.h"

namespace VersionString {

// "Version 1.2", or "Version 1.2 build 004" when there is a revision.
std::string Text(const VersionInfo& info = VersionInfo{});

}  // namespace VersionString
