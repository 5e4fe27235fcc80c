#pragma once
// A command-line run: build the job, send, wait with our own time-out (in
// seconds without a byte moving), retry time-outs, report the outcome and
// end with an exit status a script can trust. The view shows what the run
// says: a window (which keeps the outcome on screen for three seconds) or
// the console, which nobody watches.
#include <cstdint>
#include <string>

#include "Bool16.h"
#include "EventWait.h"
#include "MailJobAssembly.h"

class MailSender;

class DeliveryRun {
 public:
  class View {
   public:
    virtual ~View() = default;
    virtual void SetInfo(const std::string& text) = 0;    // shown at once
    virtual void SetStatus(const std::string& text) = 0;  // shown at once
    virtual void SetBusy(bool busy) = 0;                  // the busy pointer
    virtual bool Watched() const = 0;  // someone can see the outcome: pause for them
    virtual void Unload() = 0;         // close the window
  };

  // `waiter` serves the queue the component's events come through.
  DeliveryRun(View& view, EventWait& waiter) : view_(view), waiter_(waiter) {}

  // The whole run, driving `smtp`; ends by unloading the view.
  void Run(MailSender& smtp);

  void oSMTP_ErrorSMTP(std::int16_t number, const std::string& description);
  void oSMTP_SendSMTP();
  void oSMTP_StatusChanged(const std::string& statusText);

  // A request to close the window (or a stop signal): true when the
  // program is to end now, with ExitStatus.
  bool QueryUnload();

  bool Ending() const { return ending_; }
  int ExitStatus() const { return exitStatus_; }

  Bool16 DoneFlag = kFalse16;
  Bool16 ErrorFlag = kFalse16;
  std::string ErrorText;

 private:
  // How the run ended; the exit status follows from it alone.
  enum class Outcome { Sent, ServerOrTransport, TimedOut, Cancelled, BadInput };

  bool Wait(double seconds);  // false once the program is ending
  void LogLine(const std::string& text);
  void Warn(const std::string& text);
  void Attempts(MailSender& smtp, const DeliveryOptions& options);
  void Finish(Outcome outcome);
  static int ExitStatusFor(Outcome outcome, int errorNumber, bool leftOut);

  View& view_;
  MailSender* smtp_ = nullptr;
  EventWait& waiter_;
  bool ending_ = false;
  bool finished_ = false;          // the outcome has been reported
  int errorNumber_ = 0;            // of the error that ended the last attempt
  bool recipientRefused_ = false;  // in the last attempt
  bool attachmentMissing_ = false;
  int exitStatus_ = 1;
};
