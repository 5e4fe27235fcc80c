#pragma once
// A copy of the built program in a folder of its own, run with arguments and
// no display; what it wrote to standard error, its exit status and time.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "TempFolder.h"

extern char** environ;  // NOLINT(readability-redundant-declaration)

struct RunResult {
  int status = -1;
  std::string err;
  std::string out;
  double seconds = 0;
};

class ProgramCopy {
 public:
  explicit ProgramCopy(const std::string& binary) {
    std::filesystem::copy_file(binary, folder_.path() / "tarnwick");
  }

  const TempFolder& Folder() const { return folder_; }
  std::string Write(const std::string& name, const std::string& bytes) const {
    return folder_.Write(name, bytes);
  }
  std::string Read(const std::string& name) const { return TempFolder::Read(folder_.File(name)); }

  RunResult Run(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {(folder_.path() / "tarnwick").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    // No display: the run must work unseen.
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
          entry.rfind("QT_QPA_PLATFORM=", 0) == 0) {
        continue;
      }
      env.push_back(entry);
    }
    std::vector<char*> cenv;
    for (auto& e : env) cenv.push_back(e.data());
    cenv.push_back(nullptr);
    int pipeFds[2];
    int outFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0 || ::pipe2(outFds, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_adddup2(&actions, outFds[1], 1);
    posix_spawn_file_actions_addchdir_np(&actions, "/");  // the current folder must not matter
    pid_t pid = -1;
    const auto start = std::chrono::steady_clock::now();
    if (::posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data()) != 0) {
      throw std::runtime_error("cannot start tarnwick");
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    ::close(outFds[1]);
    RunResult result;
    char buffer[4096];
    // Standard output stays small (help texts), so reading it second is safe.
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
      result.err.append(buffer, n);
    for (ssize_t n; (n = ::read(outFds[0], buffer, sizeof buffer)) > 0;)
      result.out.append(buffer, n);
    ::close(pipeFds[0]);
    ::close(outFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
  }

 private:
  TempFolder folder_;
};
