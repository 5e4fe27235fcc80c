// Where settings, log and files next to the program are found and kept, for
// a portable copy and for an installed program.
#include "Places.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "ArgumentText.h"
#include "CommandLine.h"
#include "IniFile.h"
#include "MailJobAssembly.h"
#include "ProgramFolder.h"
#include "SettingsFile.h"
#include "TempFolder.h"

namespace {

class PlacesTest : public testing::Test {
 protected:
  void SetUp() override {
    ProgramFolder::OverrideForTesting(program_.path().string());
    ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    ::setenv("XDG_STATE_HOME", state_.path().c_str(), 1);
    Places::SetPortableForTesting(false);
    Places::SetAdminFolderForTesting(admin_.path().string());
  }
  void TearDown() override {
    Places::SetPortableForTesting(std::nullopt);
    Places::SetAdminFolderForTesting(std::nullopt);
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_STATE_HOME");
  }
  std::string User(const std::string& name) const { return config_.File("tarnwick/" + name); }
  void WriteUser(const std::string& name, const std::string& text) const {
    std::filesystem::create_directories(config_.path() / "tarnwick");
    config_.Write("tarnwick/" + name, text);
  }

  TempFolder program_, config_, state_, admin_;
};

TEST_F(PlacesTest, UserCopyFirstThenTheProgramsFolder) {
  struct Case {
    bool portable, inUser, inProgram;
    bool fromUser;
  };
  const Case cases[] = {
      {false, false, false, false}, {false, false, true, false}, {false, true, true, true},
      {false, true, false, true},   {true, true, true, false},   {true, true, false, false},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(config_.path() / "tarnwick");
    std::filesystem::remove(program_.File("list.txt"));
    Places::SetPortableForTesting(c.portable);
    if (c.inUser) WriteUser("list.txt", "u");
    if (c.inProgram) program_.Write("list.txt", "p");
    EXPECT_EQ(Places::Find("list.txt"), c.fromUser ? User("list.txt") : program_.File("list.txt"))
        << c.portable << c.inUser << c.inProgram;
  }
  EXPECT_EQ(Places::Find(R"(lists\a.txt)"), program_.File("lists/a.txt"));
  EXPECT_EQ(Places::Find("/etc/passwd"), program_.path().string() + "//etc/passwd")
      << "a full path is never a file next to the program";
}

TEST_F(PlacesTest, InstalledWritesGoToPrivateUserFolders) {
  std::string problem;
  const std::string ini = Places::ForWriting("Tarnwick.ini", problem);
  EXPECT_EQ(ini, User("Tarnwick.ini")) << problem;
  struct stat info {};
  ASSERT_EQ(::stat((config_.path() / "tarnwick").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700U);
  EXPECT_EQ(Places::LogFile(), state_.File("tarnwick/Tarnwick.log"));
  EXPECT_TRUE(std::filesystem::is_directory(state_.path() / "tarnwick"));
  Places::SetPortableForTesting(true);
  EXPECT_EQ(Places::ForWriting("Tarnwick.ini", problem), program_.File("Tarnwick.ini"));
  EXPECT_EQ(Places::LogFile(), program_.File("Tarnwick.log"));
  ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);  // the XDG rule: absolute paths only
  ::setenv("HOME", config_.path().c_str(), 1);
  EXPECT_EQ(Places::UserFolder(), config_.File(".config/tarnwick"));
}

TEST_F(PlacesTest, InstalledSettingsAreTheUsersThenTheAdministrators) {
  struct Case {
    bool portable, inUser, inAdmin;
    const char* expected;  // which folder's file is read
  };
  const Case cases[] = {
      {false, true, true, "user"},
      {false, false, true, "admin"},
      {false, false, false, "admin"},  // the default place, though absent
      {true, true, true, "program"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(config_.path() / "tarnwick");
    std::filesystem::remove(admin_.File("Tarnwick.ini"));
    Places::SetPortableForTesting(c.portable);
    program_.Write("Tarnwick.ini", "[Options]\n");  // never read by an installed program
    if (c.inUser) WriteUser("Tarnwick.ini", "u");
    if (c.inAdmin) admin_.Write("Tarnwick.ini", "a");
    const std::string expected = std::string(c.expected) == "user" ? User("Tarnwick.ini")
                                 : std::string(c.expected) == "admin"
                                     ? admin_.File("Tarnwick.ini")
                                     : program_.File("Tarnwick.ini");
    EXPECT_EQ(SettingsFile::ForReading(), expected) << c.portable << c.inUser << c.inAdmin;
    EXPECT_EQ(Places::FindAdminFile("aliases"),
              c.portable ? program_.File("aliases") : admin_.File("aliases"));
  }
}

TEST_F(PlacesTest, FirstSaveKeepsTheAdministratorsKeys) {
  admin_.Write("Tarnwick.ini", "; site defaults\n[Options]\nPort=587\nTimeOutSecs=30\n");
  std::string problem;
  const std::string path = SettingsFile::ForSaving(problem);
  ASSERT_EQ(path, User("Tarnwick.ini")) << problem;
  ASSERT_TRUE(IniFile::Write(path, "Options", "From", "me@example.com"));
  EXPECT_EQ(SettingsFile::ForReading(), path) << "the run reads where the window saved";
  EXPECT_EQ(IniFile::Read(path, "Options", "TimeOutSecs"), "30");
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600U) << "the copy will hold a password";
}

TEST_F(PlacesTest, SettingsThatCannotBeReadStopTheRun) {
  // As root every file is readable: a loop of links is what cannot be.
  std::filesystem::create_symlink(admin_.File("Tarnwick.ini"), admin_.File("Tarnwick.ini"));
  const std::string ini = SettingsFile::ForReading();
  EXPECT_NE(SettingsFile::ReadProblem(ini).find(ini), std::string::npos);
  ArgumentText::Set("-t bob@example.com");
  std::istringstream input;
  const auto result = AssembleMailJob(ini, input);
  EXPECT_NE(result.problem.find("cannot be read"), std::string::npos) << result.problem;
  std::filesystem::remove(admin_.File("Tarnwick.ini"));
  std::filesystem::create_directory(admin_.File("Tarnwick.ini"));
  EXPECT_NE(SettingsFile::ReadProblem(ini).find("is not a file"), std::string::npos);
  EXPECT_EQ(SettingsFile::ReadProblem(program_.File("absent.ini")), "");
}

}  // namespace
