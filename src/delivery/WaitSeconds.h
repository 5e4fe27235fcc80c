#pragma once
// Waits that serve the Qt event queue without spinning: they block in a
// nested event loop until a monotonic deadline, so a waiting run uses no CPU
// and midnight means nothing. A wait can be ended early from a handler.
class Waiter {
 public:
  // Returns after `seconds`, or sooner when WakeEarly is called meanwhile.
  void Wait(double seconds);
  // Ends the running wait, if any; the next one is not affected.
  void WakeEarly();

 private:
  class QEventLoop* loop_ = nullptr;
};

namespace ProcLib {

// Returns once `seconds` have passed; handles events meanwhile.
void WaitSeconds(float seconds);

}  // namespace ProcLib
