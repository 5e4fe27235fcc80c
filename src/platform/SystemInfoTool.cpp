#include "SystemInfoTool.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace SystemInfoTool {

std::string Find() {
  // Desktop-neutral ones first, then those of the big desktops.
  static constexpr std::string_view kTools[] = {"hardinfo2", "hardinfo", "gnome-system-monitor",
                                                "kinfocenter", "xfce4-taskmanager"};
  const char* path = std::getenv("PATH");  // NOLINT(concurrency-mt-unsafe): read, never set
  const std::string_view folders = path != nullptr ? path : "";
  for (const auto tool : kTools) {
    for (std::size_t start = 0; start <= folders.size();) {
      auto end = folders.find(':', start);
      if (end == std::string_view::npos) end = folders.size();
      const std::string_view folder = folders.substr(start, end - start);
      start = end + 1;
      if (folder.empty() || folder.front() != '/') continue;  // never the current folder
      std::string candidate = std::string(folder) + "/" + std::string(tool);
      struct stat info {};
      if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
          ::access(candidate.c_str(), X_OK) == 0) {
        return candidate;
      }
    }
  }
  return {};
}

}  // namespace SystemInfoTool
