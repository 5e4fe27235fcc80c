#include "RunOutcome.h"

#include <array>

namespace RunOutcome {
namespace {

using Kind = SmtpOutcome::Kind;

// A server's own reply code keeps its class: 4xx may pass, 5xx will not.
enum class Exit { Sent, Partial, Permanent, Temporary, BadInput, ByReplyClass };

struct Row {
  Kind kind;
  Exit exit;
  bool retry;
};

// Only a time-out is tried again: a refusal stays one, a message the
// server may already have must never go twice, and a lost connection
// after part of the message is the caller's to judge.
constexpr std::array kTable = {
    Row{Kind::Sent, Exit::Sent, false},
    Row{Kind::SentWithRefusals, Exit::Partial, false},
    Row{Kind::Refused, Exit::ByReplyClass, false},
    Row{Kind::TimedOut, Exit::Temporary, true},
    Row{Kind::LostBeforeEnd, Exit::Temporary, false},
    Row{Kind::MayAlreadyHaveIt, Exit::Permanent, false},
    Row{Kind::HostNotFound, Exit::Permanent, false},
    Row{Kind::NameServiceAway, Exit::Temporary, false},
    Row{Kind::ConnectionRefused, Exit::Temporary, false},
    Row{Kind::TlsFailure, Exit::Permanent, false},
    Row{Kind::LoginFailure, Exit::ByReplyClass, false},
    Row{Kind::NotSupported, Exit::Permanent, false},
    Row{Kind::ProtocolError, Exit::Permanent, false},
    Row{Kind::BadInput, Exit::BadInput, false},
    Row{Kind::Cancelled, Exit::Permanent, false},
};

int StatusOf(Exit exit, const SmtpOutcome& outcome, bool leftOut) {
  switch (exit) {
    case Exit::Sent:
      return leftOut ? kExitPartial : kExitSent;
    case Exit::Partial:
      return kExitPartial;
    case Exit::Temporary:
      return kExitTemporary;
    case Exit::BadInput:
      return kExitBadInput;
    case Exit::ByReplyClass:
      return outcome.replyCode >= 400 && outcome.replyCode < 500 ? kExitTemporary : kExitPermanent;
    case Exit::Permanent:
      break;
  }
  return kExitPermanent;
}

// A keyring that is locked or away, or a command that hung, may answer
// later; a missing item or file needs a person first.
struct SecretRow {
  SecretSource::Status status;
  int exitStatus;
};
constexpr std::array kSecretTable = {
    SecretRow{SecretSource::Status::Found, kExitSent},
    SecretRow{SecretSource::Status::BadSetting, kExitBadInput},
    SecretRow{SecretSource::Status::NotFound, kExitBadInput},
    SecretRow{SecretSource::Status::Unreadable, kExitBadInput},
    SecretRow{SecretSource::Status::Failed, kExitPermanent},
    SecretRow{SecretSource::Status::Unavailable, kExitTemporary},
};

}  // namespace

int ForSecret(SecretSource::Status status) {
  for (const SecretRow& row : kSecretTable) {
    if (row.status == status) return row.exitStatus;
  }
  return kExitPermanent;
}

Decision For(const SmtpOutcome& outcome, bool leftOut) {
  for (const Row& row : kTable) {
    if (row.kind == outcome.kind) return {StatusOf(row.exit, outcome, leftOut), row.retry};
  }
  return {};
}

}  // namespace RunOutcome
