#pragma once
// First-match directory search: does any entry answer to this path? An
// existing file or folder does, and so does a "*"/"?" pattern that matches.
#include <string>

namespace FileSearch {

bool AnyEntryMatches(const std::string& path);

}  // namespace FileSearch
