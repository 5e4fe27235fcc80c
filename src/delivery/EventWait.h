#pragma once
// Waits that serve the owner's event queue without spinning: they block
// until a monotonic deadline, so a waiting run uses no CPU and midnight
// means nothing. A wait can be ended early from a handler.
class EventWait {
 public:
  virtual ~EventWait() = default;
  // Returns after `seconds`, or sooner when WakeEarly is called meanwhile;
  // whatever is already queued is handled even by a wait of 0.
  virtual void Wait(double seconds) = 0;
  // Ends the running wait, if any; the next one is not affected.
  virtual void WakeEarly() = 0;
};
