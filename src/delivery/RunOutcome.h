#pragma once
// How a send's typed outcome decides the run: the exit status a script
// gets (0 sent, 3 sent without something asked for, 1 permanent, 75
// temporary, 2 bad input) and whether another attempt may help. The one table of these decisions;
// nothing reads error text.
#include "SecretSource.h"
#include "SmtpOutcome.h"

namespace RunOutcome {

inline constexpr int kExitSent = 0;
inline constexpr int kExitPermanent = 1;   // not sent; sending again will not help
inline constexpr int kExitBadInput = 2;    // not sent; the run could not start
inline constexpr int kExitPartial = 3;     // sent, but something asked for was left out
inline constexpr int kExitTemporary = 75;  // not sent; try again later

struct Decision {
  int exitStatus = kExitPermanent;
  bool retry = false;  // a further attempt, when attempts are left
};

// `leftOut`: the run itself left out something asked for (an attachment
// that is not there).
Decision For(const SmtpOutcome& outcome, bool leftOut);

// The exit status of a run whose password source gave none.
int ForSecret(SecretSource::Status status);

}  // namespace RunOutcome
