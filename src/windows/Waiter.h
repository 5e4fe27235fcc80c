#pragma once
// The Qt event queue's wait: a nested event loop until a monotonic
// deadline, so every handler of the window may run inside it.
#include "EventWait.h"

class QEventLoop;

class Waiter : public EventWait {
 public:
  void Wait(double seconds) override;
  void WakeEarly() override;

 private:
  QEventLoop* loop_ = nullptr;
};
