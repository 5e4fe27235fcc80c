#pragma once
// A command-line run: build the job, send, wait with our own time-out (in
// seconds without a byte moving), retry time-outs, report the outcome and
// end with an exit status a script can trust. The view shows what the run
// says: a window (which keeps the outcome on screen for three seconds) or
// the console, which nobody watches. Every handler may run inside one of
// the run's own waits.
#include <cstdint>
#include <functional>
#include <string>

#include "EventWait.h"
#include "MailJobAssembly.h"
#include "RunLog.h"
#include "SmtpOutcome.h"

class MailSender;

class DeliveryRun {
 public:
  class View {
   public:
    virtual ~View() = default;
    virtual void SetInfo(const std::string& text) = 0;    // shown at once
    virtual void SetStatus(const std::string& text) = 0;  // shown at once
    virtual void SetBusy(bool busy) = 0;                  // the busy pointer
    // How much of the message has gone; a window shows it in the status.
    virtual void SetProgress(std::uint64_t /*sent*/, std::uint64_t /*total*/) {}
    virtual bool Watched() const = 0;  // someone can see the outcome: pause for them
    virtual void Unload() = 0;         // close the window
  };

  // Where the job comes from: by default the switches and the settings,
  // with a body on standard input for "-m:-"; the sendmail interface hands
  // over a message already written whole, and its own command line.
  struct JobSource {
    std::function<AssemblyResult(const std::string& iniPath)> assemble;
    std::string commandLine;  // for the log
  };

  // `waiter` serves the queue the component's events come through.
  DeliveryRun(View& view, EventWait& waiter, JobSource source = {})
      : view_(view), waiter_(waiter), source_(std::move(source)) {}

  // The whole run, driving `smtp`; ends by unloading the view.
  void Run(MailSender& smtp);

  // The component's three events.
  void onSmtpError(std::int16_t number, const std::string& description);
  void onSmtpSent();
  void onSmtpStatusChanged(const std::string& statusText);

  // A request to close the window (or a stop signal): true when the
  // program is to end now, with ExitStatus.
  bool CloseRequested();

  bool Ending() const { return ending_; }
  int ExitStatus() const { return exitStatus_; }

 private:
  bool Wait(double seconds);  // false once the program is ending
  void Warn(const std::string& text);
  // The run cannot go on as it is: `problem` (and `detail`, for the log
  // only) is its outcome, ending it with `status` unless it is queued.
  void Stop(const std::string& problem, const std::string& detail, int status);
  void StartLog(const std::string& ini);
  void SetUp(MailSender& smtp, const AssemblyResult& assembled, const DeliveryOptions& options);
  void Attempts(MailSender& smtp, const DeliveryOptions& options);
  // After the server refused an OAuth2 access token: a fresh one, once.
  // False when there is none; the run then ends with why.
  bool RefreshToken(MailSender& smtp);
  // Puts the message into the outbox; a failure to is the run's outcome.
  void Queue(MailSender& smtp, const std::string& ini, int attempts);
  void Finish();

  View& view_;
  MailSender* smtp_ = nullptr;
  EventWait& waiter_;
  JobSource source_;
  RunLog log_;
  bool done_ = false;    // the attempt has its outcome
  bool failed_ = false;  // ... and it is an error, errorText_
  std::string errorText_;
  bool ending_ = false;
  bool finished_ = false;  // the outcome has been reported
  // How the last attempt ended, as the engine or the run itself decided;
  // the exit status and the retry follow from it alone.
  SmtpOutcome outcome_;
  bool cancelled_ = false;   // closed or stopped while an attempt ran
  bool runProblem_ = false;  // the job could not be put together
  int problemStatus_ = 2;    // ... and the exit status that says why
  bool attachmentMissing_ = false;
  int exitStatus_ = 1;
  bool backstopped_ = false;  // our own time-out, not the engine's, ended it
  std::string ini_;           // the settings file the run reads
  std::string server_;        // ... and the server it names
  bool bearer_ = false;       // the login is with an OAuth2 access token
  bool tokenRefreshed_ = false;
  std::string queuedId_;      // the message is in the outbox under this id
  std::string queueProblem_;  // it failed, and could not be queued either
};
