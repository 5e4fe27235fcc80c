#pragma once
// One libcurl transfer of a MailJob, run to its end on the calling (worker)
// thread. libcurl does the dialogue, TLS, SASL and MIME; this drives it with
// our own time-out watchdog and cancel flag and maps the outcome to numbers.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "MailJob.h"

struct TransferOutcome {
  bool cancelled = false;
  bool sent = false;
  std::vector<MailJobError> nonFinal;  // refused recipients while others were taken
  MailJobError failure;                // when neither sent nor cancelled
  std::string info;                    // summary for InfoText, CR LF between lines
};

namespace SmtpTransfer {

using StatusFn = std::function<void(const std::string&)>;

TransferOutcome Run(const MailJob& job, const std::atomic<bool>& cancel, const StatusFn& status);

}  // namespace SmtpTransfer
