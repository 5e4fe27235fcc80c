#pragma once
// Path questions asked of switch values: does a name carry a folder, and
// does a directory search find anything for it.
#include <string>
#include <string_view>

namespace PathHelpers {

// Everything before the last "\" or "/"; empty when there is no separator
// or the only one is the first character.
std::string GetPathFolder(std::string_view path);

// True (-1) when an entry (file, folder, or match of a "*"/"?" pattern) is there.
bool FileExists(const std::string& path);

}  // namespace PathHelpers
