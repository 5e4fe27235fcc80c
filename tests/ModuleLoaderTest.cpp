// The program's libraries are found beside it (a portable copy) or in the
// folder an installed program keeps them in, and a library found in the
// second place leaves no word of the first place's miss.
#include "ModuleLoader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "ProgramFolder.h"
#include "TempFolder.h"

#ifndef TARNWICK_KEYRING_LIBRARY
#error "TARNWICK_KEYRING_LIBRARY must name the built keyring library"
#endif

namespace {

TEST(ModuleLoader, FindsBesideOrInstalledAndSaysWhyNot) {
  namespace fs = std::filesystem;
  const fs::path built = TARNWICK_KEYRING_LIBRARY;
  struct Case {
    const char* name;
    const char* placedIn;  // relative to the program's folder; nullptr: nowhere
    bool found;
  };
  const Case cases[] = {
      {"beside", ".", true}, {"installed", TARNWICK_MODULE_DIR, true}, {"nowhere", nullptr, false}};
  for (const auto& c : cases) {
    TempFolder root;
    const fs::path bin = root.path() / "bin";
    fs::create_directories(bin);
    // A copy of its own per case: dlopen would hand back one already loaded.
    const std::string name = std::string("libcase-") + std::to_string(&c - cases) + ".so";
    if (c.placedIn != nullptr) {
      fs::create_directories(bin / c.placedIn);
      fs::copy_file(built, bin / c.placedIn / name);
    }
    ProgramFolder::OverrideForTesting(bin.string());
    std::string why = "stale";
    void* library = ModuleLoader::Open(name, why);
    EXPECT_EQ(library != nullptr, c.found) << c.name << ": " << why;
    if (c.found) {
      EXPECT_EQ(why, "") << c.name;
    } else {
      EXPECT_NE(why.find(name), std::string::npos) << c.name << ": " << why;
    }
  }
}

}  // namespace
