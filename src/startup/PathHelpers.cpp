#include "PathHelpers.h"

#include "FileSearch.h"

namespace PathHelpers {

std::string GetPathFolder(std::string_view path) {
  const auto last = path.find_last_of("\\/");
  if (last == std::string_view::npos) return {};
  return std::string(path.substr(0, last));
}

bool FileExists(const std::string& path) { return FileSearch::AnyEntryMatches(path); }

}  // namespace PathHelpers
