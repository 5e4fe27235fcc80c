#include "ModuleLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <mutex>

#include "ProgramFolder.h"

#ifndef TARNWICK_MODULE_DIR
#define TARNWICK_MODULE_DIR "../lib/tarnwick"
#endif

namespace ModuleLoader {

void* Open(const std::string& fileName, std::string& why) {
  // dlerror's text is per process; two threads opening at once would mix it.
  static std::mutex opening;
  const std::lock_guard lock(opening);
  const std::string folder = ProgramFolder::Get();
  const std::string candidates[] = {folder + "/" + fileName,
                                    folder + "/" TARNWICK_MODULE_DIR "/" + fileName};
  why.clear();
  for (const auto& path : candidates) {
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library != nullptr) {
      why.clear();
      return library;
    }
    // The first failure names the library next to the program; a later
    // one, of a library that is there, says more.
    const char* error = ::dlerror();  // NOLINT(concurrency-mt-unsafe): under the lock
    if (why.empty() || ::access(path.c_str(), F_OK) == 0) why = error;
  }
  return nullptr;
}

}  // namespace ModuleLoader
