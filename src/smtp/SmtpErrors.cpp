#include "SmtpErrors.h"

#include <array>

namespace SmtpErrors {
namespace {

struct Entry {
  int number;
  int exitStatus;
  std::string_view meaning;
};

constexpr std::array kTable = {
    Entry{kTimedOut, kExitTemporary, "no answer within the time-out"},
    Entry{kConnectionRefused, kExitTemporary, "connection refused"},
    Entry{kHostNotFound, kExitPermanent, "host not found"},
    Entry{kConnectionLost, kExitTemporary, "connection lost before the end of the message"},
    Entry{kRecipientRefused, kExitPartial, "a recipient was refused, others accepted"},
    Entry{kTlsRequired, kExitPermanent, "no STARTTLS for a password"},
    Entry{kCertificateRejected, kExitPermanent, "server certificate not trusted"},
    Entry{kTlsFailed, kExitPermanent, "TLS failed"},
    Entry{kAuthNotOffered, kExitPermanent, "server offers no AUTH"},
    Entry{kSmtpUtf8NotOffered, kExitPermanent, "server offers no SMTPUTF8"},
    Entry{kNoMechanism, kExitPermanent, "no usable AUTH mechanism offered"},
    Entry{kLoginFailed, kExitPermanent, "the login failed on our side"},
    Entry{kMessageTooLarge, kExitPermanent, "message over the server's SIZE limit"},
    Entry{kProtocolError, kExitPermanent, "the server broke the protocol"},
    Entry{kInvalidMessage, kExitBadInput, "bad address or header, or no recipient"},
    Entry{kAttachmentUnreadable, kExitBadInput, "attachment unreadable or changed"},
    Entry{kInvalidServer, kExitBadInput, "bad server name"},
    Entry{kBusy, kExitPermanent, "a send is already running"},
    Entry{kNoFinalReply, kExitPermanent, "no reply after the whole message; may be delivered"},
    Entry{kOtherFailure, kExitPermanent, "other failure"},
};

const Entry* Find(int number) {
  for (const auto& entry : kTable) {
    if (entry.number == number) return &entry;
  }
  return nullptr;
}

}  // namespace

int ExitStatus(int number) {
  if (const Entry* entry = Find(number)) return entry->exitStatus;
  if (number >= 400 && number < 500) return kExitTemporary;
  return kExitPermanent;
}

std::string_view Meaning(int number) {
  if (const Entry* entry = Find(number)) return entry->meaning;
  if (number >= 400 && number < 500) return "temporary refusal by the server";
  if (number >= 500 && number < 600) return "permanent refusal by the server";
  return "unknown";
}

}  // namespace SmtpErrors
