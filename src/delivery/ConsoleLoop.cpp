#include "ConsoleLoop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>

namespace {

// The signal handler may only write a byte and set a flag.
volatile std::sig_atomic_t stopRequested = 0;
int signalWakeFd = -1;

extern "C" void OnStopSignal(int /*signal*/) {
  stopRequested = 1;
  const char byte = 1;
  (void)!::write(signalWakeFd, &byte, 1);
}

void SetStopHandler(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

ConsoleLoop::ConsoleLoop() {
  int fds[2] = {-1, -1};
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
  }
}

ConsoleLoop::~ConsoleLoop() {
  ReleaseStopSignals();
  if (wakeRead_ >= 0) ::close(wakeRead_);
  if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

void ConsoleLoop::Post(std::function<void()> call) {
  {
    const std::lock_guard lock(mutex_);
    queue_.push_back(std::move(call));
  }
  const char byte = 1;
  (void)!::write(wakeWrite_, &byte, 1);  // a full pipe already means "wake up"
}

void ConsoleLoop::RunQueued() {
  for (;;) {
    std::function<void()> call;
    {
      const std::lock_guard lock(mutex_);
      if (queue_.empty()) break;
      call = std::move(queue_.front());
      queue_.pop_front();
    }
    call();
  }
  if (stopRequested != 0 && onStop_) {
    stopRequested = 0;
    onStop_();
  }
}

void ConsoleLoop::Wait(double seconds) {
  using Clock = std::chrono::steady_clock;
  const auto deadline =
      Clock::now() + std::chrono::microseconds(static_cast<long long>(seconds * 1e6));
  waiting_ = true;
  wake_ = false;
  RunQueued();
  while (!wake_) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd wakeUp{wakeRead_, POLLIN, 0};
    if (::poll(&wakeUp, 1, static_cast<int>(left)) > 0) {
      char drain[256];
      while (::read(wakeRead_, drain, sizeof drain) > 0) {
      }
    }
    RunQueued();
  }
  waiting_ = false;
}

void ConsoleLoop::WakeEarly() {
  if (waiting_) wake_ = true;
}

void ConsoleLoop::CatchStopSignals(std::function<void()> onStop) {
  onStop_ = std::move(onStop);
  signalWakeFd = wakeWrite_;
  stopRequested = 0;
  SetStopHandler(OnStopSignal);
}

void ConsoleLoop::ReleaseStopSignals() {
  if (!onStop_) return;
  // A stop that comes in now changes nothing: the outcome is known and the
  // console run ends at once.
  SetStopHandler(SIG_DFL);
  onStop_ = nullptr;
}
