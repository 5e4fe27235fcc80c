#pragma once
// A copy of the built program (and the libraries it loads) in a folder of its
// own, run with arguments and no display unless the test names one; what it
// wrote to standard error and output, its exit status and time.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "TempFolder.h"

extern char** environ;  // NOLINT(readability-redundant-declaration)

struct RunOptions {
  std::vector<std::string> env = {};   // NAME=value entries added to the environment
  const std::string* input = nullptr;  // standard input through a pipe; else /dev/null
  double stopAfter = 0;                // seconds after the start to send stopSignal; 0: never
  int stopSignal = SIGTERM;
  std::vector<std::string> wrapper = {};  // a program that runs ours: {"faketime", "-f", "+2m"}
  std::string program = "tarnwick";       // the name it is started as (sendmail, mailq ...)
  std::string inputFile = {};             // standard input from this file
};

struct RunResult {
  int status = -1;
  std::string err;
  std::string out;
  double seconds = 0;
  long peakRssKb = 0;  // of the program itself
};

class ProgramCopy {
 public:
  explicit ProgramCopy(const std::string& binary) {
    std::filesystem::copy_file(binary, folder_.path() / "tarnwick");
    for (const char* library :
         {"libtarnwick-windows.so", "libtarnwick-keyring.so", "libtarnwick-http.so"}) {
      const auto built = std::filesystem::path(binary).parent_path() / library;
      if (std::filesystem::exists(built))
        std::filesystem::copy_file(built, folder_.path() / built.filename());
    }
  }

  const TempFolder& Folder() const { return folder_; }
  std::string Write(const std::string& name, const std::string& bytes) const {
    return folder_.Write(name, bytes);
  }
  std::string Read(const std::string& name) const { return TempFolder::Read(folder_.File(name)); }

  RunResult Run(const std::vector<std::string>& args, const RunOptions& options = {}) const {
    std::vector<std::string> argv = options.wrapper;
    const auto started = folder_.path() / options.program;
    if (!std::filesystem::exists(std::filesystem::symlink_status(started)))
      std::filesystem::create_symlink("tarnwick", started);
    argv.push_back(started.string());
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
    env.insert(env.end(), options.env.begin(), options.env.end());
    std::vector<char*> cenv;
    for (auto& e : env) cenv.push_back(e.data());
    cenv.push_back(nullptr);
    int pipeFds[2];
    int outFds[2];
    int inFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0 || ::pipe2(outFds, O_CLOEXEC) != 0 ||
        ::pipe2(inFds, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.input != nullptr) {
      posix_spawn_file_actions_adddup2(&actions, inFds[0], 0);
    } else if (!options.inputFile.empty()) {
      posix_spawn_file_actions_addopen(&actions, 0, options.inputFile.c_str(), O_RDONLY, 0);
    } else {
      posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_adddup2(&actions, outFds[1], 1);
    posix_spawn_file_actions_addchdir_np(&actions, "/");  // the current folder must not matter
    pid_t pid = -1;
    const auto start = std::chrono::steady_clock::now();
    if (::posix_spawnp(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data()) != 0) {
      throw std::runtime_error("cannot start tarnwick");
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    ::close(outFds[1]);
    ::close(inFds[0]);
    std::thread feeder([&] {
      // A program that stops reading early must not kill the test with SIGPIPE.
      sigset_t pipeSignal;
      sigemptyset(&pipeSignal);
      sigaddset(&pipeSignal, SIGPIPE);
      pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
      if (options.input != nullptr) {
        const std::string& data = *options.input;
        for (std::size_t done = 0; done < data.size();) {
          const ssize_t n = ::write(inFds[1], data.data() + done, data.size() - done);
          if (n <= 0) break;
          done += static_cast<std::size_t>(n);
        }
      }
      ::close(inFds[1]);
    });
    std::thread stopper([&] {
      if (options.stopAfter > 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(options.stopAfter));
        ::kill(pid, options.stopSignal);  // still ours: it is reaped only below
      }
    });
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
    stopper.join();
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    result.peakRssKb = usage.ru_maxrss;
    feeder.join();
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
  }

 private:
  TempFolder folder_;
};
