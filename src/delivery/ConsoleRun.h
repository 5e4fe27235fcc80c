#pragma once
// A command-line run where nobody can see a window: a core application, no
// widgets or fonts, the outcome on standard error and in the log, and the
// end as soon as the outcome is known. SIGINT and SIGTERM cancel the send
// the way closing the window does, so the outcome is still reported.
#include <string>

#include "DeliveryRun.h"

class ConsoleView : public DeliveryRun::View {
 public:
  void SetInfo(const std::string& /*text*/) override {}
  void SetStatus(const std::string& text) override;
  void SetBusy(bool busy) override;  // while sending, a signal cancels
  bool Watched() const override { return false; }
  void Unload() override {}
};

// The run to its end; the exit status.
int RunDeliveryConsole();
