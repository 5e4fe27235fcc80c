#include "SmtpErrors.h"

#include <gtest/gtest.h>

namespace {

// What a script sees: a time-out or 4xx is worth retrying later, a message
// that may already be there never is.
TEST(SmtpErrors, ExitStatuses) {
  using namespace SmtpErrors;
  const std::pair<int, int> cases[] = {
      {421, kExitTemporary},
      {451, kExitTemporary},
      {535, kExitPermanent},
      {554, kExitPermanent},
      {kTimedOut, kExitTemporary},
      {kConnectionRefused, kExitTemporary},
      {kConnectionLost, kExitTemporary},
      {kHostNotFound, kExitPermanent},
      {kNoFinalReply, kExitPermanent},
      {kRecipientRefused, kExitPartial},
      {kInvalidMessage, kExitBadInput},
      {kAttachmentUnreadable, kExitBadInput},
      {kTlsRequired, kExitPermanent},
      {kSmtpUtf8NotOffered, kExitPermanent},
  };
  for (const auto& [number, status] : cases) EXPECT_EQ(ExitStatus(number), status) << number;
  EXPECT_NE(Meaning(kNoFinalReply).find("may be delivered"), std::string_view::npos);
}

}  // namespace
