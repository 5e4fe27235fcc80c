#include "FileSearch.h"

#include <glob.h>
#include <sys/stat.h>

namespace FileSearch {
namespace {
// Only "*" and "?" are wildcards to the callers; "[" and "\" stand for
// themselves, so they are escaped before glob sees them.
std::string GlobPattern(const std::string& path) {
  std::string pattern;
  pattern.reserve(path.size());
  for (char c : path) {
    if (c == '[' || c == ']' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern;
}
}  // namespace

bool AnyEntryMatches(const std::string& path) {
  if (path.empty()) return false;
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) return true;
  if (path.find_first_of("*?") == std::string::npos) return false;
  glob_t found{};
  // Searches run on the UI thread only.
  const int rc =
      ::glob(GlobPattern(path).c_str(), GLOB_PERIOD, nullptr,  // NOLINT(concurrency-mt-unsafe)
             &found);
  const bool any = rc == 0 && found.gl_pathc > 0;
  ::globfree(&found);
  return any;
}

}  // namespace FileSearch
