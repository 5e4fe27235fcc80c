// `tarnwick -config` on a terminal without a display, driven through a
// pseudo-terminal: the window's fields asked in order, the password never
// echoed, the values saved where a run reads them.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "IniFile.h"
#include "ProgramRun.h"
#include "StoredPassword.h"

#ifndef TARNWICK_BINARY
#error "TARNWICK_BINARY must name the built program"
#endif

namespace {

class Terminal {
 public:
  explicit Terminal(const ProgramCopy& program) {
    const std::string path = program.Folder().File("tarnwick");
    pid_ = ::forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      ::unsetenv("QT_QPA_PLATFORM");
      ::execl(path.c_str(), path.c_str(), "-config", nullptr);
      ::_exit(127);
    }
  }
  ~Terminal() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(master_);
  }

  // Everything shown until `text` appears (or two seconds pass).
  std::string Until(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (seen_.find(text, from_) == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buffer[512];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      seen_.append(buffer, static_cast<std::size_t>(n));
    }
    const auto at = seen_.find(text, from_);
    const std::string part =
        seen_.substr(from_, at == std::string::npos ? std::string::npos : at + text.size() - from_);
    from_ = at == std::string::npos ? seen_.size() : at + text.size();
    return part;
  }
  void Type(const std::string& line) {
    const std::string text = line + "\n";
    ASSERT_EQ(::write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  int Status() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::string& Seen() const { return seen_; }

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  std::string seen_;
  std::size_t from_ = 0;
};

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

}  // namespace
