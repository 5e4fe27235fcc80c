// `tarnwick -config` on a terminal without a display, driven through a
// pseudo-terminal: the window's fields asked in order, the password never
// echoed, the values saved where a run reads them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "IniFile.h"
#include "ProgramRun.h"
#include "PseudoTerminal.h"
#include "StoredPassword.h"

#ifndef TARNWICK_BINARY
#error "TARNWICK_BINARY must name the built program"
#endif

namespace {

TEST(TerminalConfig, AsksEachFieldAndSavesThePasswordAsHex) {
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", "[Options]\nFrom=old@example.com\nSubject=kept\nTimeOutSecs=30\n");
  Terminal terminal(program);
  struct Step {
    const char* prompt;
    const char* answer;
  };
  const Step steps[] = {
      {"From [old@example.com]: ", "new@example.com"},
      {"To []: ", "team@example.com"},
      {"Subject [kept]: ", ""},
      {"Message []: ", "see attached"},
      {"Attachment []: ", "-"},
      {"Server []: ", "smtp.example.com:587"},
      {"UserName []: ", "mailer"},
      {"Password [none]: ", "s3cret pass"},
  };
  for (const auto& step : steps) {
    const std::string shown = terminal.Until(step.prompt);
    ASSERT_NE(shown.find(step.prompt), std::string::npos) << "asked instead: " << terminal.Seen();
    terminal.Type(step.answer);
  }
  EXPECT_NE(terminal.Until("Saved to ").find("Saved to "), std::string::npos) << terminal.Seen();
  EXPECT_EQ(terminal.Status(), 0);
  EXPECT_EQ(terminal.Seen().find("s3cret"), std::string::npos) << "the password was echoed";

  const std::string ini = program.Folder().File("Tarnwick.ini");
  auto read = [&](const char* key) { return IniFile::Read(ini, "Options", key); };
  EXPECT_EQ(read("From"), "new@example.com");
  EXPECT_EQ(read("To"), "team@example.com");
  EXPECT_EQ(read("Subject"), "kept") << "Enter keeps the value";
  EXPECT_EQ(read("Attachment"), "") << "a lone - empties it";
  EXPECT_EQ(read("SMTPServer"), "smtp.example.com:587");
  EXPECT_EQ(read("TimeOutSecs"), "30") << "other keys stay";
  const std::string stored = read("SMTPPassword");
  EXPECT_EQ(stored.find("s3cret"), std::string::npos);
  EXPECT_EQ(StoredPassword::Decipher(stored, "plomvaderskiturne"), "s3cret pass");
}

TEST(TerminalConfig, EndOfInputSavesNothing) {
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", "[Options]\nFrom=old@example.com\n");
  Terminal terminal(program);
  terminal.Until("From [old@example.com]: ");
  terminal.Type("changed@example.com");
  terminal.Until("To []: ");
  const char eof = 4;  // Ctrl+D
  terminal.Type(std::string(1, eof));
  terminal.Until("Nothing was saved.");
  EXPECT_EQ(terminal.Status(), 1) << terminal.Seen();
  EXPECT_EQ(program.Read("Tarnwick.ini"), "[Options]\nFrom=old@example.com\n");
}

TEST(TerminalConfig, PasswordFromElsewhereIsNotAsked) {
  ProgramCopy program(TARNWICK_BINARY);
  const std::string ini = "[Options]\nSMTPPasswordFrom=file ~/.smtp-pass\nSMTPPassword=0A\n";
  program.Write("Tarnwick.ini", ini);
  Terminal terminal(program);
  for (const char* prompt :
       {"From []: ", "To []: ", "Subject []: ", "Message []: ", "Attachment []: ", "Server []: "}) {
    terminal.Until(prompt);
    terminal.Type("");
  }
  terminal.Until("UserName []: ");
  terminal.Type("mailer");
  const std::string said = terminal.Until("Saved to");
  EXPECT_NE(said.find("Password: comes from the file ~/.smtp-pass (SMTPPasswordFrom in "),
            std::string::npos)
      << said;
  EXPECT_EQ(said.find("Password ["), std::string::npos) << said;
  EXPECT_EQ(terminal.Status(), 0) << terminal.Seen();
  const std::string path = program.Folder().File("Tarnwick.ini");
  EXPECT_EQ(IniFile::Read(path, "Options", "SMTPPassword"), "")
      << "an enciphered copy that is never used is still readable";
  EXPECT_EQ(IniFile::Read(path, "Options", "SMTPUserName"), "mailer");
}

}  // namespace
