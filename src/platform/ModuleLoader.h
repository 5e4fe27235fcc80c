#pragma once
// Finds and opens one of the program's own libraries: beside the program
// (a portable copy, or the build tree), else in the library folder an
// installed program keeps them in. Libraries load only when a run needs
// them, so a plain send never pays for a toolkit it does not use.
#include <dlfcn.h>

#include <string>

namespace ModuleLoader {

// The library `fileName`, opened and never closed; nullptr, with `why`
// set, when it cannot be opened.
void* Open(const std::string& fileName, std::string& why);

// The entry point `name` of an opened library as a `Function`; nullptr
// when it has none.
template <typename Function>
Function Symbol(void* library, const char* name) {
  return reinterpret_cast<Function>(::dlsym(library, name));
}

}  // namespace ModuleLoader
