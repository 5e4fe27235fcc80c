#include "DeliveryRun.h"

#include <QCoreApplication>
#include <algorithm>
#include <iostream>

#include "ArgumentText.h"
#include "MousePointer.h"
#include "ProgramFolder.h"
#include "RunLog.h"
#include "SmtpClient.h"
#include "SwitchParser.h"

namespace {
constexpr double kOutcomeSeconds = 3.0;
constexpr std::int16_t kPartialFailure = 12250;
}  // namespace

bool DeliveryRun::Wait(double seconds) {
  if (!ending_) waiter_.Wait(seconds);
  return !ending_;
}

void DeliveryRun::LogLine(const std::string& text) {
  if (LogEnabled != kFalse16) ProcLib::WriteLogLines({RunLogStamp() + text});
}

void DeliveryRun::Run(SmtpClient& smtp) {
  smtp_ = &smtp;
  const std::string ini = ProgramFolder::FileIn("Tarnwick.ini");
  const DeliveryOptions options = ReadDeliveryOptions(ini);

  Bool16 found = kFalse16;
  std::string ignored;
  ProcLib::GetSwitch("log", found, ignored);
  LogEnabled = found;
  if (LogEnabled != kFalse16) {
    ProcLib::WriteLogLines({"", RunLogStamp() + " *** Tarnwick started",
                            RunLogStamp() + " switches: " + MaskedSwitches(ArgumentText::Get())});
  }

  const AssemblyResult assembled = AssembleMailJob(ini);
  if (!assembled.problem.empty()) {
    LogLine(" error: " + assembled.problem);
    DoneFlag = kTrue16;
    ErrorFlag = kTrue16;
    Finish(assembled.problem, kExitBadInput);
    return;
  }
  const MailJob& job = assembled.job;
  DoneFlag = kFalse16;
  ErrorFlag = kFalse16;
  ErrorText.clear();
  view_.SetInfo("Sending email to " + job.To + " ...");
  view_.SetStatus("");

  smtp.ServerName(job.SMTPServer);
  smtp.TimeoutMs(options.TimeOutSecs * 1000);
  smtp.ServerHost(job.SMTPServer);
  if (assembled.port > 25) smtp.ServerPort(assembled.port);
  if (!assembled.caFile.empty()) smtp.TrustedCaFile(assembled.caFile);
  if (ProcLib::IsBlank(job.SMTPUserName) != kFalse16) {
    smtp.AuthMode(0);
  } else {
    smtp.AuthMode(2);
    smtp.AuthUserName(job.SMTPUserName);
    smtp.AuthPassword(job.SMTPPassword);
  }
  smtp.SenderAddress(job.From);
  smtp.SubjectText(job.Subject);
  smtp.BodyText(job.Message);
  if (!job.Attachment.empty()) smtp.AttachmentList().Add(job.Attachment);
  std::string recipients = job.To;
  std::replace(recipients.begin(), recipients.end(), ' ', ',');
  smtp.RecipientList(recipients);
  MousePointer::Set(13);

  Attempts(smtp, options);
  if (ending_) return;
  Finish(ErrorFlag == kFalse16 ? "Mail sent successfully!" : "SMTP Error " + ErrorText,
         ErrorFlag == kFalse16 ? kExitSent : kExitFailed);
}

void DeliveryRun::Attempts(SmtpClient& smtp, const DeliveryOptions& options) {
  for (int attempt = 1; attempt <= options.TotalAttempts; ++attempt) {
    DoneFlag = kFalse16;
    ErrorFlag = kFalse16;
    ErrorText.clear();
    smtp.Send();
    int rounds = 0;
    while (DoneFlag == kFalse16) {
      // A round ends early once the outcome is in. An outcome that came in
      // during the last round stands: the component's own time-out falls in
      // that round, and a retry, or a success, must not be lost to ours.
      if (!Wait(1)) return;
      ++rounds;
      if (rounds > options.TimeOutSecs && DoneFlag == kFalse16) {
        DoneFlag = kTrue16;
        ErrorFlag = kTrue16;
        ErrorText = "Tarnwick timed out.";
        smtp.Cancel();
        LogLine(" error: " + ErrorText);
        break;
      }
    }
    if (ErrorFlag == kFalse16) return;
    const bool timeOut = ErrorText.find("12012") != std::string::npos ||
                         ErrorText.find("10060") != std::string::npos;
    if (!timeOut || attempt == options.TotalAttempts) return;
    for (int i = 1; i <= options.RetryWaitSecs; ++i) {
      view_.SetStatus("SMTP timeout error -- re-try in " +
                      std::to_string(options.RetryWaitSecs - i + 1) + " secs....");
      if (!Wait(1)) return;
    }
    LogLine(" status: attempting to send mail again");
  }
}

void DeliveryRun::Finish(const std::string& info, int exitStatus) {
  exitStatus_ = exitStatus;
  MousePointer::Set(0);
  view_.SetInfo(info);
  view_.SetStatus("");
  std::cerr << "Tarnwick: " << info << "\n";
  if (!Wait(kOutcomeSeconds)) return;
  view_.Unload();
}

void DeliveryRun::oSMTP_ErrorSMTP(std::int16_t number, const std::string& description) {
  ErrorText = "SMTP Error " + std::to_string(number) + ": " + description;
  if (number != kPartialFailure) {
    DoneFlag = kTrue16;
    ErrorFlag = kTrue16;
    waiter_.WakeEarly();
  }
  LogLine(" error: " + ErrorText);
}

void DeliveryRun::oSMTP_SendSMTP() {
  DoneFlag = kTrue16;
  waiter_.WakeEarly();
}

void DeliveryRun::oSMTP_StatusChanged(const std::string& statusText) {
  view_.SetStatus(statusText);
  if (LogEnabled == kFalse16) return;
  std::vector<std::string> pieces;
  ProcLib::SplitLines(statusText, pieces);
  std::vector<std::string> lines;
  for (std::size_t i = 1; i < pieces.size(); ++i)
    lines.push_back(RunLogStamp() + " status: " + pieces[i]);
  ProcLib::WriteLogLines(lines);
}

bool DeliveryRun::QueryUnload() {
  if (DoneFlag != kFalse16) {
    // The run is over or between attempts: end now.
    ending_ = true;
    if (smtp_ != nullptr) smtp_->Cancel();
    waiter_.WakeEarly();
    QCoreApplication::exit(exitStatus_);
    return true;
  }
  // A close during a wait cancels the send; it is never taken for a success.
  DoneFlag = kTrue16;
  ErrorFlag = kTrue16;
  ErrorText = "Tarnwick cancelled.";
  if (smtp_ != nullptr) smtp_->Cancel();
  LogLine(" error: " + ErrorText);
  waiter_.WakeEarly();
  return false;
}
