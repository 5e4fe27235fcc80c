#pragma once
// The process's argument text: the command line after the program's name as
// one string. Linux hands us argv already split, so the text is rebuilt from it
// before anything else (Qt included) sees argv.
#include <string>

namespace ArgumentText {

// Words joined by one space; a word that is empty or holds a space is wrapped
// in double quotes so that it comes back as one token.
std::string FromArgv(int argc, const char* const* argv);

// The text of the current process; empty until Set is called.
const std::string& Get();
void Set(std::string text);

}  // namespace ArgumentText
