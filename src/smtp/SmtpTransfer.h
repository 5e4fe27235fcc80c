#pragma once
// One libcurl transfer of an OutgoingMail, run to its end on the calling
// (worker) thread. libcurl does the dialogue, TLS and SASL; the message text
// comes from our own stream. A watchdog thread times silence and cuts the
// connection, so no phase, not even one where libcurl blocks, outlasts the
// time-out or a cancel.
#include <functional>
#include <string>
#include <vector>

#include "OutgoingMail.h"
#include "TransferControl.h"

struct TransferOutcome {
  bool cancelled = false;
  bool sent = false;
  std::vector<MailError> nonFinal;  // refused recipients while others were taken
  MailError failure;                // when neither sent nor cancelled
  std::string info;                 // summary for InfoText, CR LF between lines
};

namespace SmtpTransfer {

using StatusFn = std::function<void(const std::string&)>;
using OutcomeFn = std::function<void(TransferOutcome)>;

// Calls `outcome` exactly once: as soon as the server has answered the end
// of the message (the QUIT that follows cannot change it), or at the end.
void Run(OutgoingMail& job, TransferControl& control, const StatusFn& status,
         const OutcomeFn& outcome);

}  // namespace SmtpTransfer
