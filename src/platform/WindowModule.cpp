#include "WindowModule.h"

#include <dlfcn.h>

#include "ModuleLoader.h"

namespace WindowModule {

std::optional<int> Run(int mode, int argc, char** argv, std::string& why) {
  // Never closed: Qt's objects live until the process ends.
  void* library = ModuleLoader::Open(kFileName, why);
  if (library == nullptr) return std::nullopt;
  auto entry = ModuleLoader::Symbol<Entry>(library, kEntryName);
  if (entry == nullptr) {
    why = std::string(kFileName) + " has no entry " + kEntryName;
    return std::nullopt;
  }
  return entry(mode, argc, argv);
}

}  // namespace WindowModule
