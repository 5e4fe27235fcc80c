#include "PathHelpers.h"

#include "FileSearch.h"

namespace ProcLib {

std::string GetPathFolder(std::string_view path) {
  const auto last = path.find_last_of("\\/");
  if (last == std::string_view::npos) return {};
  return std::string(path.substr(0, last));
}

Bool16 FileExists(const std::string& path) { return ToBool16(FileSearch::AnyEntryMatches(path)); }

}  // namespace ProcLib
