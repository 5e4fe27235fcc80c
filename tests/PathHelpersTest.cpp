#include "PathHelpers.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "ProgramFolder.h"
#include "TempFolder.h"

using PathHelpers::FileExists;
using PathHelpers::GetPathFolder;

namespace {

TEST(GetPathFolder, FolderPart) {
  struct Case {
    const char* path;
    const char* folder;
  };
  const Case cases[] = {
      {R"(C:\Dir\File.txt)", R"(C:\Dir)"},
      {"File.txt", ""},
      {R"(\File.txt)", ""},
      {"/File.txt", ""},
      {R"(Dir\)", "Dir"},
      {"", ""},
      {"C:File.txt", ""},
      {R"(C:\Mail/Files\List.txt)", R"(C:\Mail/Files)"},
      {"/home/me/list.txt", "/home/me"},
  };
  for (const auto& c : cases) EXPECT_EQ(GetPathFolder(c.path), c.folder) << c.path;
}

std::size_t OpenDescriptors() {
  return static_cast<std::size_t>(std::distance(
      std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator()));
}

TEST(FileExists, FilesFoldersAndPatterns) {
  TempFolder dir;
  dir.Write("list.txt", "bob\n");
  dir.Write("odd[1].txt", "x");
  std::filesystem::create_directory(dir.path() / "sub");
  std::filesystem::create_symlink(dir.File("gone"), dir.path() / "dangling");
  struct Case {
    std::string path;
    bool exists;
  };
  const Case cases[] = {
      {dir.File("list.txt"), true},
      {dir.File("missing.txt"), false},
      {dir.File("sub"), true},
      {dir.File("*.txt"), true},
      {dir.File("l?st.txt"), true},
      {dir.File("*.doc"), false},
      {dir.File("odd[1].txt"), true},
      {dir.File("odd[1]*"), true},  // "[" is no wildcard
      {dir.File("odd1.txt"), false},
      {dir.File("dangling"), true},  // the entry is there
      {dir.File("nofolder/list.txt"), false},
      {"", false},
  };
  const auto before = OpenDescriptors();
  for (const auto& c : cases) EXPECT_EQ(FileExists(c.path), c.exists) << c.path;
  EXPECT_EQ(OpenDescriptors(), before) << "a search was left open";
}

TEST(ProgramFolder, FilesJoinWithSlash) {
  ProgramFolder::OverrideForTesting("/opt/tarnwick");
  EXPECT_EQ(ProgramFolder::FileIn("Tarnwick.ini"), "/opt/tarnwick/Tarnwick.ini");
  EXPECT_EQ(ProgramFolder::FileIn(R"(Lists\team.txt)"), "/opt/tarnwick/Lists/team.txt");
}

}  // namespace
