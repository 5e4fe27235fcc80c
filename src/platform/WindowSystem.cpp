#include "WindowSystem.h"

#include <cstdlib>

namespace WindowSystem {
namespace {
bool Set(const char* name) {
  const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): read at start-up
  return value != nullptr && *value != '\0';
}
}  // namespace

bool Available() { return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM"); }

void UseOffscreenWhenNone() {
  if (!Available()) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);  // NOLINT(concurrency-mt-unsafe)
}

}  // namespace WindowSystem
