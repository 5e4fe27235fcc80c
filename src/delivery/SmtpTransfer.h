#pragma once
// One libcurl transfer of a OutgoingMail, run to its end on the calling (worker)
// thread. libcurl does the dialogue, TLS, SASL and MIME; this drives it with
// our own time-out watchdog and cancel flag and maps the outcome to numbers.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "OutgoingMail.h"

struct TransferOutcome {
  bool cancelled = false;
  bool sent = false;
  std::vector<MailError> nonFinal;  // refused recipients while others were taken
  MailError failure;                // when neither sent nor cancelled
  std::string info;                 // summary for InfoText, CR LF between lines
};

namespace SmtpTransfer {

using StatusFn = std::function<void(const std::string&)>;

TransferOutcome Run(const OutgoingMail& job, const std::atomic<bool>& cancel,
                    const StatusFn& status);

}  // namespace SmtpTransfer
