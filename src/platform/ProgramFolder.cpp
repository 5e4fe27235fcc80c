#include "ProgramFolder.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

namespace ProgramFolder {
namespace {
std::optional<std::string>& Override() {
  static std::optional<std::string> folder;
  return folder;
}
}  // namespace

std::string Get() {
  if (Override()) return *Override();
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  std::string folder = exe.parent_path().string();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string WithSlashes(std::string_view name) {
  std::string slashed(name);
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  return slashed;
}

std::string FileIn(std::string_view fileName) { return Get() + "/" + WithSlashes(fileName); }

void OverrideForTesting(std::string folder) { Override() = std::move(folder); }

}  // namespace ProgramFolder
