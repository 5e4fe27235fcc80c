#include "CapturedCommand.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace CapturedCommand {
namespace {

using Clock = std::chrono::steady_clock;

// Enough for any password or error line; the rest is read and dropped so
// the program never blocks on a full pipe.
constexpr std::size_t kKeep = std::size_t{64} * 1024;

std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

struct Pipe {
  int read = -1;
  int write = -1;
  std::string kept;
  bool Open() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    read = fds[0];
    write = fds[1];
    return true;
  }
  void CloseWrite() {
    if (write >= 0) ::close(write);
    write = -1;
  }
  // False at its end.
  bool Drain() {
    char buffer[4096];
    const ssize_t n = ::read(read, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) return true;
    if (n <= 0) {
      ::close(read);
      read = -1;
      return false;
    }
    if (kept.size() < kKeep) kept.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
  ~Pipe() {
    CloseWrite();
    if (read >= 0) ::close(read);
  }
  Pipe() = default;
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
};

int StatusOf(int wait) { return WIFEXITED(wait) ? WEXITSTATUS(wait) : 128 + WTERMSIG(wait); }

}  // namespace

Result Run(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
  Result result;
  if (argv.empty() || argv.front().empty()) {
    result.startProblem = "no program named";
    return result;
  }
  Pipe out;
  Pipe err;
  if (!out.Open() || !err.Open()) {
    result.startProblem = std::strerror(errno);  // NOLINT(concurrency-mt-unsafe)
    return result;
  }
  std::vector<char*> cargv;
  cargv.reserve(argv.size() + 1);
  for (const auto& word : argv) cargv.push_back(const_cast<char*>(word.c_str()));
  cargv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.write, 1);
  posix_spawn_file_actions_adddup2(&actions, err.write, 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A group of its own: a time-out ends what it started as well.
  posix_spawnattr_setpgroup(&attributes, 0);
  // Our own signal handling must not leak into it.
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  const int spawned = ::posix_spawnp(&pid, cargv[0], &actions, &attributes, cargv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  out.CloseWrite();
  err.CloseWrite();
  if (spawned != 0) {
    result.startProblem = std::strerror(spawned);  // NOLINT(concurrency-mt-unsafe)
    return result;
  }
  result.started = true;
  // An ignored SIGCHLD, inherited from whoever started us, would let the
  // system reap the child before we could learn how it ended.
  struct sigaction defaultChild {};
  struct sigaction savedChild {};
  defaultChild.sa_handler = SIG_DFL;
  ::sigaction(SIGCHLD, &defaultChild, &savedChild);
  const auto deadline = Clock::now() + limit;
  int wait = 0;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      break;
    }
    const bool reaped = ::waitpid(pid, &wait, WNOHANG) == pid;
    // Ended: what it printed is all there is, even when a child of its own
    // still holds the pipes.
    if (reaped) {
      // What is there now, and no more: a child it left behind may write on.
      for (Pipe* pipe : {&out, &err}) {
        pollfd ready{pipe->read, POLLIN, 0};
        for (int reads = 0; reads < 64 && pipe->read >= 0 && ::poll(&ready, 1, 0) > 0; ++reads) {
          if (!pipe->Drain()) break;
        }
      }
      result.exitStatus = StatusOf(wait);
      break;
    }
    pollfd fds[2] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}};
    // Whether it has ended is looked at now and then; soon once it has
    // closed its pipes.
    const long long step = out.read < 0 && err.read < 0 ? 2 : 50;
    const int wakeMs = static_cast<int>(std::min<long long>(left.count(), step));
    const int ready = ::poll(fds, 2, wakeMs);
    if (ready < 0 && errno != EINTR) {
      result.startProblem = std::strerror(errno);  // NOLINT(concurrency-mt-unsafe)
      break;
    }
    if (ready <= 0) continue;
    if (fds[0].revents != 0) out.Drain();
    if (fds[1].revents != 0) err.Drain();
  }
  if (result.exitStatus < 0) {
    // Timed out, or we lost sight of it: it and what it started end here,
    // the child itself too should it have left its group.
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &wait, 0);
  }
  ::sigaction(SIGCHLD, &savedChild, nullptr);
  result.firstOutLine = FirstLine(out.kept);
  result.firstErrLine = FirstLine(err.kept);
  // The whole output held a secret; only the first line leaves here.
  ::explicit_bzero(out.kept.data(), out.kept.size());
  return result;
}

}  // namespace CapturedCommand
