#pragma once
// The event queue of a run without a window, and without Qt: calls posted
// from any thread (the SMTP component's events) run on the owner's thread
// inside Wait, which blocks in poll() until its deadline, a WakeEarly or a
// stop signal (SIGINT, SIGTERM) once those are routed here.
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

#include "EventWait.h"

class ConsoleLoop : public EventWait {
 public:
  ConsoleLoop();
  ~ConsoleLoop() override;
  ConsoleLoop(const ConsoleLoop&) = delete;
  ConsoleLoop& operator=(const ConsoleLoop&) = delete;

  void Post(std::function<void()> call);  // from any thread
  void Wait(double seconds) override;
  void WakeEarly() override;

  // From now on SIGINT and SIGTERM run `onStop` inside a wait instead of
  // ending the process; Release gives them back their default action.
  void CatchStopSignals(std::function<void()> onStop);
  void ReleaseStopSignals();

 private:
  void RunQueued();

  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
  bool waiting_ = false;
  bool wake_ = false;
  std::function<void()> onStop_;
};
