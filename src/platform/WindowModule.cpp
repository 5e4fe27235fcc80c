#include "WindowModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include "ProgramFolder.h"

#ifndef TARNWICK_WINDOW_MODULE_DIR
#define TARNWICK_WINDOW_MODULE_DIR "../lib/tarnwick"
#endif

namespace WindowModule {

std::optional<int> Run(int mode, int argc, char** argv, std::string& why) {
  const std::string folder = ProgramFolder::Get();
  const std::string candidates[] = {folder + "/" + kFileName,
                                    folder + "/" TARNWICK_WINDOW_MODULE_DIR "/" + kFileName};
  why.clear();
  for (const auto& path : candidates) {
    // Never closed: Qt's objects live until the process ends.
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      // The first failure names the library next to the program; a later
      // one, of a library that is there, says more.
      const char* error = ::dlerror();  // NOLINT(concurrency-mt-unsafe): before any thread
      if (why.empty() || ::access(path.c_str(), F_OK) == 0) why = error;
      continue;
    }
    auto entry = reinterpret_cast<Entry>(::dlsym(library, kEntryName));
    if (entry == nullptr) {
      why = path + " has no entry " + kEntryName;
      continue;
    }
    return entry(mode, argc, argv);
  }
  return std::nullopt;
}

}  // namespace WindowModule
