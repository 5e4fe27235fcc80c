#include "IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "TempFolder.h"

using IniFile::Write;

namespace {

std::string Read(const std::string& file, const std::string& key,
                 const std::string& section = "Options") {
  return IniFile::Read(file, section, key);
}

TEST(ReadIni, HandWrittenFiles) {
  TempFolder dir;
  const std::string text =
      "; Tarnwick settings\n"
      "[Other]\n"
      "From=wrong@example.com\n"
      "[ options ]\n"
      "From = alice@example.com  \n"
      "to=bob@example.com\n"
      "Subject=\n"
      "Message=\"  padded  \"\n"
      "Quoted=\"a\" <b>\n"
      ";SMTPServer=commented.example.com\n"
      "Port=587\n"
      "Port=2525\n"
      "Eq=a=b\n"
      "[Options]\n"
      "Attachment=second-section\n";
  struct Case {
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"From", "alice@example.com"},
      {"TO", "bob@example.com"},
      {"Subject", ""},
      {"Message", "  padded  "},
      {"Quoted", "\"a\" <b>"},
      {"SMTPServer", ""},
      {";SMTPServer", ""},
      {"Port", "587"},  // the first of two counts
      {"Eq", "a=b"},
      {"Attachment", ""},  // only the first section counts
      {"Missing", ""},
  };
  for (const char* ending : {"\n", "\r\n"}) {
    std::string body = text;
    if (std::string(ending) == "\r\n") {
      body.clear();
      for (char c : text) body += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    const auto file = dir.Write("Tarnwick.ini", body);
    for (const auto& c : cases) {
      EXPECT_EQ(Read(file, c.key), c.value) << c.key << (ending[0] == '\r' ? " (CR LF)" : " (LF)");
    }
  }
}

TEST(ReadIni, MissingFileSectionOrKeyReadsEmpty) {
  TempFolder dir;
  EXPECT_EQ(Read(dir.File("none.ini"), "From"), "");
  const auto file = dir.Write("Tarnwick.ini", "[Elsewhere]\nFrom=x\n");
  EXPECT_EQ(Read(file, "From"), "");
  EXPECT_EQ(Read(dir.path().string(), "From"), "") << "a folder is no settings file";
}

TEST(ReadIni, ValueCutAt259Bytes) {
  TempFolder dir;
  const std::string longValue(300, 'x');
  const auto file = dir.Write("Tarnwick.ini", "[Options]\nMessage=" + longValue + "\n");
  EXPECT_EQ(Read(file, "Message"), std::string(259, 'x'));
}

TEST(WriteIni, RoundTrips) {
  const std::string values[] = {
      "plain",
      "  spaces at both ends  ",
      " ",
      "",
      "\"quoted\"",
      "\"",
      "a=b;c#d",
      "[Options]",
      "\xE2\x82\xAC uro",
      std::string(259, 'v'),
      "\tTab\t",
  };
  for (const auto& value : values) {
    TempFolder dir;
    const auto file = dir.File("Tarnwick.ini");
    ASSERT_TRUE(Write(file, "Options", "Subject", value)) << value;
    ASSERT_TRUE(Write(file, "Options", "Message", "after")) << value;
    EXPECT_EQ(Read(file, "Subject"), value);
    EXPECT_EQ(Read(file, "Message"), "after")
        << "the value [" << value << "] disturbed the next key";
  }
}

TEST(WriteIni, LongValueWrittenWholeReadBackCut) {
  TempFolder dir;
  const auto file = dir.File("Tarnwick.ini");
  ASSERT_TRUE(Write(file, "Options", "Message", std::string(300, 'm')));
  EXPECT_NE(TempFolder::Read(file).find(std::string(300, 'm')), std::string::npos);
  EXPECT_EQ(Read(file, "Message"), std::string(259, 'm'));
}

TEST(WriteIni, KeepsEverythingElse) {
  TempFolder dir;
  const std::string before =
      "; edited by hand\r\n"
      "[Options]\r\n"
      "From=old@example.com\r\n"
      "TimeOutSecs = 30   ; slow server\r\n"
      "Port=587\r\n"
      "\r\n"
      "[Other]\r\n"
      "From=keep@example.com\r\n";
  const auto file = dir.Write("Tarnwick.ini", before);
  ASSERT_TRUE(Write(file, "Options", "FROM", "new@example.com"));
  ASSERT_TRUE(Write(file, "Options", "SMTPServer", "mail.example.com"));
  EXPECT_EQ(TempFolder::Read(file),
            "; edited by hand\r\n"
            "[Options]\r\n"
            "FROM=new@example.com\r\n"
            "TimeOutSecs = 30   ; slow server\r\n"
            "Port=587\r\n"
            "SMTPServer=mail.example.com\r\n"
            "\r\n"
            "[Other]\r\n"
            "From=keep@example.com\r\n");
  EXPECT_EQ(Read(file, "From", "Other"), "keep@example.com");
}

TEST(WriteIni, AddsSectionToFileWithoutIt) {
  TempFolder dir;
  const auto file = dir.Write("Tarnwick.ini", "[Other]\nx=1");
  ASSERT_TRUE(Write(file, "Options", "To", "bob"));
  EXPECT_EQ(TempFolder::Read(file), "[Other]\nx=1\n\n[Options]\nTo=bob\n");
}

TEST(WriteIni, NewFileIsOwnerOnlyOldFileKeepsMode) {
  TempFolder dir;
  const auto fresh = dir.File("new.ini");
  ASSERT_TRUE(Write(fresh, "Options", "SMTPPassword", "ABCD"));
  struct stat info {};
  ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600U);

  const auto shared = dir.Write("shared.ini", "[Options]\n");
  ASSERT_EQ(::chmod(shared.c_str(), 0640), 0);
  ASSERT_TRUE(Write(shared, "Options", "From", "a"));
  ASSERT_EQ(::stat(shared.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640U);
}

TEST(WriteIni, FollowsSymbolicLink) {
  TempFolder dir;
  const auto real = dir.Write("real.ini", "[Options]\n");
  const auto link = dir.File("Tarnwick.ini");
  std::filesystem::create_symlink(real, link);
  ASSERT_TRUE(Write(link, "Options", "From", "a"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Read(real, "From"), "a");
}

TEST(WriteIni, RefusesLineBreaksThatWouldAddKeys) {
  TempFolder dir;
  const auto file = dir.Write("Tarnwick.ini", "[Options]\nSMTPServer=good\n");
  EXPECT_FALSE(Write(file, "Options", "Subject", "x\nSMTPServer=evil"));
  EXPECT_FALSE(Write(file, "Options", "Subject", "x\ry"));
  EXPECT_FALSE(Write(file, "Options", "Sub\nject", "x"));
  EXPECT_EQ(TempFolder::Read(file), "[Options]\nSMTPServer=good\n");
}

TEST(WriteIni, FailedWriteReportsAndChangesNothing) {
  TempFolder dir;
  EXPECT_FALSE(Write(dir.File("no-such-folder/Tarnwick.ini"), "Options", "From", "b"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "no-such-folder"));
  // A file that is there but cannot be read is not rewritten from nothing.
  const auto unreadable = dir.File("Tarnwick.ini");
  std::filesystem::create_directory(unreadable);
  EXPECT_FALSE(Write(unreadable, "Options", "From", "b"));
  EXPECT_TRUE(std::filesystem::is_directory(unreadable));
}

// The new text is complete on disk before it replaces the file, so a failure
// or a crash between the two leaves the old file whole.
TEST(WriteIni, InterruptedWriteLeavesOldFileWhole) {
  TempFolder dir;
  const std::string before = "[Options]\nFrom=a\nTo=b\n";
  const auto file = dir.Write("Tarnwick.ini", before);

  IniFile::SetIniBeforeReplaceHookForTesting([] { return false; });
  EXPECT_FALSE(Write(file, "Options", "From", "changed"));
  IniFile::SetIniBeforeReplaceHookForTesting(nullptr);
  EXPECT_EQ(TempFolder::Read(file), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1)
      << "the abandoned temporary file was not removed";

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    IniFile::SetIniBeforeReplaceHookForTesting([]() -> bool { ::_exit(7); });
    Write(file, "Options", "From", "changed");
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 7) << "the child did not die between write and replace";
  EXPECT_EQ(TempFolder::Read(file), before);
  EXPECT_EQ(Read(file, "From"), "a");

  ASSERT_TRUE(Write(file, "Options", "From", "changed"));
  EXPECT_EQ(Read(file, "From"), "changed");
  EXPECT_EQ(Read(file, "To"), "b");
}

}  // namespace
