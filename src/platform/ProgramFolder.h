#pragma once
// The folder that holds the program file, and the names of files kept there.
#include <string>
#include <string_view>

namespace ProgramFolder {

// Directory of /proc/self/exe, without a trailing "/".
std::string Get();

// The folder joined with a file name; a "\" in the name is read as "/" so
// names written for Windows (Lists\team.txt) still work.
std::string FileIn(std::string_view fileName);

// A user-given relative name with each "\" read as "/".
std::string WithSlashes(std::string_view name);

// Tests and tools point the program at another folder.
void OverrideForTesting(std::string folder);

}  // namespace ProgramFolder
