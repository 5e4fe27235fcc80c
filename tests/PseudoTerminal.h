#pragma once
// `tarnwick -config` on a pseudo-terminal of the test's own, with no
// display: what it shows, read up to a text, and lines typed to it.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "ProgramRun.h"

class Terminal {
 public:
  // `env`: NAME=value entries; without one for it, no keyring answers.
  explicit Terminal(const ProgramCopy& program, const std::vector<std::string>& env = {}) {
    const std::string path = program.Folder().File("tarnwick");
    pid_ = ::forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      ::unsetenv("QT_QPA_PLATFORM");
      ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
      for (const auto& entry : env) ::putenv(const_cast<char*>(entry.c_str()));
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

  // Everything shown until `text` appears (or `seconds` pass).
  std::string Until(const std::string& text, int seconds = 2) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
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
