#pragma once
// A command-line run: build the job, send, wait with our own time-out, retry
// time-outs, show the outcome for three seconds and end. The window shows
// what the run says through View and forwards the component's events and
// close requests here.
#include <cstdint>
#include <string>

#include "Bool16.h"
#include "MailJobAssembly.h"
#include "WaitSeconds.h"

class SmtpClient;

class DeliveryRun {
 public:
  class View {
   public:
    virtual ~View() = default;
    virtual void SetInfo(const std::string& text) = 0;    // shown at once
    virtual void SetStatus(const std::string& text) = 0;  // shown at once
    virtual void Unload() = 0;                            // close the window
  };

  static constexpr int kExitSent = 0;
  static constexpr int kExitFailed = 1;
  static constexpr int kExitBadInput = 2;

  explicit DeliveryRun(View& view) : view_(view) {}

  // The whole run, driving `smtp`; ends by unloading the view.
  void Run(SmtpClient& smtp);

  void oSMTP_ErrorSMTP(std::int16_t number, const std::string& description);
  void oSMTP_SendSMTP();
  void oSMTP_StatusChanged(const std::string& statusText);

  // A request to close the window: true when the program is to end now.
  bool QueryUnload();

  bool Ending() const { return ending_; }
  int ExitStatus() const { return exitStatus_; }

  Bool16 DoneFlag = kFalse16;
  Bool16 ErrorFlag = kFalse16;
  std::string ErrorText;

 private:
  bool Wait(double seconds);  // false once the program is ending
  void LogLine(const std::string& text);
  void Attempts(SmtpClient& smtp, const DeliveryOptions& options);
  void Finish(const std::string& info, int exitStatus);

  View& view_;
  SmtpClient* smtp_ = nullptr;
  Waiter waiter_;
  bool ending_ = false;
  int exitStatus_ = kExitFailed;
};
