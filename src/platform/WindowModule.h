#pragma once
// The program's windows live in a library of their own, loaded only when a
// display is there: a run without one never loads the widget, font and
// display libraries, and starts as fast as a plain command-line tool.
#include <optional>
#include <string>

namespace WindowModule {

// The library's file name, and its entry point: int entry(mode, argc, argv).
inline constexpr const char* kFileName = "libtarnwick-windows.so";
inline constexpr const char* kEntryName = "TarnwickWindowMain";
using Entry = int (*)(int mode, int argc, char** argv);

// Loads the library (next to the program, else in the library folder it is
// installed in) and runs `mode` in it. Nothing, with `why` set, when the
// library cannot be loaded.
std::optional<int> Run(int mode, int argc, char** argv, std::string& why);

}  // namespace WindowModule
