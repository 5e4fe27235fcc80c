#include "DeliveryRun.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>

#include "ArgumentText.h"
#include "IniFile.h"
#include "MailSender.h"
#include "OutboxQueue.h"
#include "RunLog.h"
#include "RunOutcome.h"
#include "SettingsFile.h"
#include "SettingsKeys.h"
#include "SmtpErrors.h"
#include "SwitchParser.h"

namespace {
constexpr double kOutcomeSeconds = 3.0;
constexpr const char* kTimedOut = "Tarnwick timed out.";
constexpr const char* kCancelled = "Tarnwick cancelled.";

// One line on standard error, never more: a server or file name cannot
// start a line of its own there either.
void Say(const std::string& text) { std::cerr << RunLog::OneLine(text) << "\n" << std::flush; }

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace

bool DeliveryRun::Wait(double seconds) {
  if (!ending_) waiter_.Wait(seconds);
  return !ending_;
}

void DeliveryRun::Warn(const std::string& text) {
  Say("Tarnwick: warning: " + text);
  log_.Line(" warning: " + text);
}

void DeliveryRun::Stop(const std::string& problem, const std::string& detail, int status) {
  log_.Line(" error: " + problem);
  if (!detail.empty()) log_.Line(" detail: " + detail);
  done_ = true;
  failed_ = true;
  errorText_ = problem;
  runProblem_ = true;
  problemStatus_ = status;
}

void DeliveryRun::StartLog(const std::string& ini) {
  log_ = RunLog(SwitchParser::FindSwitch("log").has_value() ||
                IniFile::Read(ini, SettingsKeys::kSection, "Log") == "1");
  const std::string said = source_.assemble ? source_.commandLine : ArgumentText::Get();
  log_.Write({"", RunLog::Stamp() + " *** Tarnwick started",
              RunLog::Stamp() + " switches: " + MaskedSwitches(said)});
}

void DeliveryRun::Run(MailSender& smtp) {
  smtp_ = &smtp;
  const std::string ini = SettingsFile::ForReading();
  ini_ = ini;
  const DeliveryOptions options = ReadDeliveryOptions(ini);

  StartLog(ini);

  const AssemblyResult assembled =
      source_.assemble ? source_.assemble(ini) : AssembleMailJob(ini, std::cin);
  for (const auto& warning : assembled.warnings) Warn(warning);
  if (!assembled.problem.empty()) {
    Stop(assembled.problem, assembled.logDetail, assembled.problemStatus);
    outcome_ = SmtpOutcome::Of(SmtpOutcome::Kind::BadInput);
    Finish();
    return;
  }
  attachmentMissing_ = assembled.attachmentMissing;
  const MailJob& job = assembled.job;
  done_ = false;
  failed_ = false;
  errorText_.clear();
  view_.SetInfo("Sending email to " + job.To + " ...");
  view_.SetStatus("");

  SetUp(smtp, assembled, options);
  view_.SetBusy(true);

  const bool queueOnly = SwitchParser::FindSwitch("queue").has_value();
  const bool outbox = assembled.outbox;
  if (queueOnly) {
    Queue(smtp, ini, 0);
  } else if (!assembled.queueBecause.empty()) {
    // No password or token now: kept for the flush rather than lost.
    Stop(assembled.queueBecause, assembled.logDetail, RunOutcome::kExitTemporary);
    Queue(smtp, ini, 1);
  } else {
    Attempts(smtp, options);
    if (ending_) return;
    // A message that may still go later is kept rather than lost; one the
    // server refused, or may already have, is not, nor one our own backstop
    // cut, which may have been cut after its end.
    if (outbox && !cancelled_ && !backstopped_ &&
        RunOutcome::For(outcome_, false).exitStatus == RunOutcome::kExitTemporary)
      Queue(smtp, ini, options.TotalAttempts);
  }
  Finish();
}

void DeliveryRun::Queue(MailSender& smtp, const std::string& ini, int attempts) {
  if (SwitchParser::FindSwitch("xp") && !SwitchParser::IsBlank(smtp.UserName())) {
    Warn("the password given with -xp is not kept in the outbox; tarnwick -flush takes it from " +
         ini + ".");
  }
  const OutboxQueue::Queued queued =
      OutboxQueue::Put(smtp, ini, attempts, failed_ ? errorText_ : std::string());
  if (!queued.id.empty()) {
    queuedId_ = queued.id;
    log_.Line(" status: " + OutboxQueue::QueuedLine(queued.id));
    return;
  }
  log_.Line(" error: " + queued.problem);
  done_ = true;
  if (!failed_ || queued.badInput) {
    // Nothing was tried: the queue's own failure is the outcome.
    failed_ = true;
    errorText_ = queued.problem;
    runProblem_ = true;
    problemStatus_ = queued.badInput ? RunOutcome::kExitBadInput : RunOutcome::kExitTemporary;
  } else {
    queueProblem_ = queued.problem;
  }
}

void DeliveryRun::SetUp(MailSender& smtp, const AssemblyResult& assembled,
                        const DeliveryOptions& options) {
  const MailJob& job = assembled.job;
  server_ = job.SMTPServer;
  bearer_ = !assembled.bearerMechanism.empty();
  smtp.ServerName(job.SMTPServer);
  smtp.TimeoutMs(options.TimeOutSecs * 1000);
  smtp.ServerHost(job.SMTPServer);
  if (assembled.port > 25) smtp.ServerPort(assembled.port);
  if (!assembled.caFile.empty()) smtp.TrustedCaFile(assembled.caFile);
  smtp.DsnNotify(assembled.dsnNotify);
  smtp.DsnReturn(assembled.dsnReturn);
  if (SwitchParser::IsBlank(job.SMTPUserName)) {
    smtp.AuthMode(0);
  } else {
    smtp.AuthMode(2);
    smtp.AuthUserName(job.SMTPUserName);
    smtp.AuthPassword(job.SMTPPassword);
    smtp.BearerMechanism(assembled.bearerMechanism);
  }
  smtp.SenderAddress(job.From);
  if (!assembled.readyMessage.path.empty()) {
    smtp.ReadyMessage(assembled.readyMessage.path, assembled.readyMessage.messageId,
                      assembled.readyMessage.eightBit);
  }
  smtp.SubjectText(job.Subject);
  smtp.BodyText(job.Message);
  for (const auto& path : assembled.attachments) smtp.AttachmentList().Add(path);
  std::string recipients = job.To;
  std::replace(recipients.begin(), recipients.end(), ' ', ',');
  smtp.RecipientList(recipients);
}

void DeliveryRun::Attempts(MailSender& smtp, const DeliveryOptions& options) {
  using Clock = std::chrono::steady_clock;
  for (int attempt = 1; attempt <= options.TotalAttempts; ++attempt) {
    done_ = false;
    failed_ = false;
    errorText_.clear();
    smtp.Send();
    // Our own time-out counts rounds in which no byte moved: a large
    // attachment that flows is never cut, a silent server is given up on
    // after TimeOutSecs + 1 such rounds.
    int silentRounds = 0;
    while (!done_) {
      const auto roundStart = Clock::now();
      // A round ends early once the outcome is in. An outcome that came in
      // during the last round stands: the component's own time-out falls in
      // that round, and a retry, or a success, must not be lost to ours.
      if (!Wait(1)) return;
      const auto round =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - roundStart);
      silentRounds = smtp.Silence() + std::chrono::milliseconds(1) >= round ? silentRounds + 1 : 0;
      if (silentRounds > options.TimeOutSecs && !done_) {
        done_ = true;
        failed_ = true;
        errorText_ = kTimedOut;
        smtp.Cancel();
        log_.Line(" error: " + errorText_);
        // Our own time-out is the backstop: it is not tried again.
        outcome_ = SmtpOutcome::Of(SmtpOutcome::Kind::TimedOut);
        backstopped_ = true;
        return;
      }
    }
    if (!cancelled_) outcome_ = smtp.LastOutcome();
    if (!failed_ || cancelled_) return;
    // A refusal by the server (535), not a mechanism it lacks.
    if (bearer_ && !tokenRefreshed_ && outcome_.kind == SmtpOutcome::Kind::LoginFailure &&
        outcome_.number < 1000) {
      if (!RefreshToken(smtp)) return;
      --attempt;  // the same attempt, with a token the server may take
      continue;
    }
    if (!RunOutcome::For(outcome_, false).retry || attempt == options.TotalAttempts) return;
    Say("Tarnwick: " + errorText_ + " -- trying again in " + std::to_string(options.RetryWaitSecs) +
        " s (attempt " + std::to_string(attempt + 1) + " of " +
        std::to_string(options.TotalAttempts) + ")");
    for (int i = 1; i <= options.RetryWaitSecs; ++i) {
      view_.SetStatus("SMTP timeout error -- re-try in " +
                      std::to_string(options.RetryWaitSecs - i + 1) + " secs....");
      if (!Wait(1)) return;
    }
    log_.Line(" status: attempting to send mail again");
  }
}

bool DeliveryRun::RefreshToken(MailSender& smtp) {
  tokenRefreshed_ = true;
  const PasswordFetch fetched =
      FetchPassword(ini_, SettingsKeys::ReadAll(ini_), server_, smtp.UserName(), true);
  if (!fetched.problem.empty()) {
    Stop(fetched.problem, fetched.detail, fetched.status);
    return false;
  }
  log_.Line(" status: the server refused the access token; trying once more with a fresh one");
  smtp.AuthPassword(fetched.password);
  return true;
}

void DeliveryRun::Finish() {
  finished_ = true;
  // A close while the outcome was on its way: the send was cut, whatever
  // the engine had said so far.
  if (cancelled_) outcome_ = SmtpOutcome::Of(SmtpOutcome::Kind::Cancelled);
  const bool sent = outcome_.Delivered();
  const bool queued = !queuedId_.empty();
  exitStatus_ = runProblem_ && !cancelled_
                    ? problemStatus_
                    : RunOutcome::For(outcome_, attachmentMissing_).exitStatus;
  // Kept for later is accepted, as a sendmail caller expects.
  if (queued) exitStatus_ = attachmentMissing_ ? RunOutcome::kExitPartial : RunOutcome::kExitSent;
  view_.SetBusy(false);
  if (queued) {
    view_.SetInfo("Tarnwick " + OutboxQueue::QueuedLine(queuedId_) + ".");
  } else if (sent) {
    view_.SetInfo("Mail sent successfully!");
  } else if (runProblem_) {
    view_.SetInfo(errorText_);
  } else {
    view_.SetInfo("SMTP Error " + errorText_);
  }
  view_.SetStatus("");
  // Failures always reach standard error; a success only where a person
  // reads it, so cron does not mail one for every message sent.
  if (!sent && (failed_ || !queued)) {
    Say(errorText_.rfind("Tarnwick", 0) == 0 ? errorText_ : "Tarnwick: " + errorText_);
  }
  if (!queueProblem_.empty()) Say("Tarnwick: " + queueProblem_);
  // After a failure the line says where the message went; a -queue from a
  // script is as quiet as a send.
  if (queued && (failed_ || StandardErrorIsTerminal())) {
    Say("Tarnwick: " + OutboxQueue::QueuedLine(queuedId_));
  } else if (sent && StandardErrorIsTerminal()) {
    Say(exitStatus_ == RunOutcome::kExitPartial
            ? "Tarnwick: Mail sent, without what the warnings above name."
            : "Tarnwick: Mail sent successfully!");
  }
  if (view_.Watched() && !Wait(kOutcomeSeconds)) return;
  view_.Unload();
}

void DeliveryRun::onSmtpError(std::int16_t number, const std::string& description) {
  errorText_ = "SMTP Error " + std::to_string(number) + ": " + description;
  if (number != SmtpErrors::kRecipientRefused) {
    done_ = true;
    failed_ = true;
    waiter_.WakeEarly();
  } else {
    Say("Tarnwick: warning: " + errorText_);
  }
  log_.Line(" error: " + errorText_);
}

void DeliveryRun::onSmtpSent() {
  done_ = true;
  waiter_.WakeEarly();
}

void DeliveryRun::onSmtpStatusChanged(const std::string& statusText) {
  view_.SetStatus(statusText);
  if (smtp_ != nullptr && smtp_->BytesSent() > 0) {
    view_.SetProgress(smtp_->BytesSent(), smtp_->BytesTotal());
  }
  if (!log_.Enabled()) return;
  std::vector<std::string> lines;
  for (const auto& piece : RunLog::SplitLines(statusText))
    lines.push_back(RunLog::Stamp() + " status: " + piece);
  log_.Write(lines);
}

bool DeliveryRun::CloseRequested() {
  if (done_) {
    // The run is over or between attempts: end now. Between attempts the
    // mail is not sent, and that is said before the program goes.
    ending_ = true;
    if (smtp_ != nullptr) smtp_->Cancel();
    if (!finished_ && smtp_ != nullptr) {
      errorText_ = kCancelled;
      log_.Line(" error: " + errorText_);
      Say(errorText_);
      exitStatus_ =
          RunOutcome::For(SmtpOutcome::Of(SmtpOutcome::Kind::Cancelled), false).exitStatus;
    }
    waiter_.WakeEarly();
    return true;
  }
  // A close during a wait cancels the send; it is never taken for a success.
  done_ = true;
  failed_ = true;
  cancelled_ = true;
  errorText_ = kCancelled;
  if (smtp_ != nullptr) smtp_->Cancel();
  log_.Line(" error: " + errorText_);
  waiter_.WakeEarly();
  return false;
}
