#include "VersionString.h"

#include <array>
#include <cstdio>

namespace VersionString {

std::string Text(const VersionInfo& info) {
  std::string text = "Version " + std::to_string(info.major) + "." + std::to_string(info.minor);
  if (info.revision > 0) {
    std::array<char, 16> build{};
    (void)std::snprintf(build.data(), build.size(), "%03d", static_cast<int>(info.revision));
    text += " build " + std::string(build.data());
  }
  return text;
}

}  // namespace VersionString
