// The session's message: envelope (with SIZE, SMTPUTF8 and DSN), the
// recipients' replies, the data and the reply to its end.
#include <cstdio>

#include "MailText.h"
#include "SmtpErrors.h"
#include "SmtpSession.h"

namespace {

// RFC 3461 xtext: "+", "=" and anything outside "!".."~" as "+XX".
std::string XText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < '!' || b > '~' || c == '+' || c == '=') {
      char hex[4];
      (void)std::snprintf(hex, sizeof hex, "+%02X", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

bool Ascii(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) > 127) return false;
  }
  return true;
}

}  // namespace

std::string SmtpSession::RecipientParameters(const std::string& to) const {
  if (!capabilities_.dsn || mail_->dsnNotify.empty()) return {};
  std::string out = " NOTIFY=" + mail_->dsnNotify;
  if (Ascii(to)) out += " ORCPT=rfc822;" + XText(to);
  return out;
}

void SmtpSession::StartMessage() {
  OutgoingMail& mail = *mail_;
  const std::string& server = settings_.serverLabel;
  SetState(State::Ready);  // a message refused here leaves the session usable
  if (mail.needsSmtpUtf8 && !capabilities_.smtpUtf8) {
    Fail(SmtpOutcome::Kind::NotSupported, SmtpErrors::kSmtpUtf8NotOffered,
         server +
             " offers no SMTPUTF8, which an address with a non-ASCII local part needs; nothing "
             "was sent.");
    return;
  }
  if (mail.eightBit && !capabilities_.eightBitMime) {
    // A server of 7 bits only would cut or mangle the eighth bit.
    if (const std::string problem = MakeSevenBit(mail); !problem.empty()) {
      Fail(SmtpOutcome::Kind::BadInput, SmtpErrors::kOtherFailure,
           server + " offers no 8BITMIME, and the message could not be made 7-bit (" + problem +
               "); nothing was sent.");
      return;
    }
  }
  const std::uint64_t size = mail.message.Size();
  if (capabilities_.sizeLimit > 0 && size > capabilities_.sizeLimit) {
    Fail(SmtpOutcome::Kind::NotSupported, SmtpErrors::kMessageTooLarge,
         "The message (" + std::to_string(size) + " bytes) is larger than " + server +
             " takes (SIZE " + std::to_string(capabilities_.sizeLimit) + "); nothing was sent.");
    return;
  }
  std::string mailFrom = "MAIL FROM:<" + mail.mailFrom + ">";
  if (capabilities_.size) mailFrom += " SIZE=" + std::to_string(size);
  if (mail.eightBit) mailFrom += " BODY=8BITMIME";
  if (mail.needsSmtpUtf8) mailFrom += " SMTPUTF8";
  if (capabilities_.dsn && !mail.dsnReturn.empty()) mailFrom += " RET=" + mail.dsnReturn;
  if (capabilities_.dsn && (!mail.dsnReturn.empty() || !mail.dsnNotify.empty())) {
    mailFrom += " ENVID=" + XText(mail.messageId);
  }
  SetState(State::Mail);
  Command(mailFrom, State::Mail, "MAIL FROM:<" + mail.mailFrom + ">");
  if (capabilities_.pipelining) {
    SetState(State::Rcpt);
    for (const auto& to : mail.recipients) {
      Command("RCPT TO:<" + to + ">" + RecipientParameters(to), State::Rcpt,
              "RCPT TO:<" + to + ">");
    }
  }
}

void SmtpSession::OnRecipient(const SmtpReply& reply) {
  SetState(State::Rcpt);
  const auto& recipients = mail_->recipients;
  const std::string& to = recipients[rcptReplies_++];
  if (reply.Positive()) {
    ++accepted_;
  } else {
    refused_.push_back({to, reply.code, reply.Text()});
  }
  if (rcptReplies_ < recipients.size()) {
    if (!capabilities_.pipelining) {
      const auto& next = recipients[rcptReplies_];
      Command("RCPT TO:<" + next + ">" + RecipientParameters(next), State::Rcpt,
              "RCPT TO:<" + next + ">");
    }
    return;
  }
  if (accepted_ == 0) {
    Refused(reply);
    SetState(State::Ready);
    return;
  }
  Command("DATA", State::Data, "DATA");
  SetState(State::Data);
}

void SmtpSession::OnFinalReply(const SmtpReply& reply) {
  SetState(State::Ready);
  std::string joined = reply.Display();
  for (auto at = joined.find("\r\n"); at != std::string::npos; at = joined.find("\r\n", at)) {
    joined.replace(at, 2, " ");
  }
  finalReply_ = joined;
  if (!reply.Positive()) {
    Refused(reply);
    return;
  }
  SmtpOutcome sent;
  sent.kind = refused_.empty() ? SmtpOutcome::Kind::Sent : SmtpOutcome::Kind::SentWithRefusals;
  sent.replyCode = reply.code;
  sent.enhancedStatus = reply.EnhancedStatus();
  sent.refused = refused_;
  Decide(std::move(sent));
}

void SmtpSession::FillBody() {
  constexpr std::size_t kHigh = std::size_t{256} * 1024;
  constexpr std::size_t kChunk = std::size_t{64} * 1024;
  if (outAt_ >= kHigh && blockedWrite_ == 0) {  // what went is dropped: the buffer stays small
    out_.erase(0, outAt_);
    tailFrom_ -= std::min(tailFrom_, outAt_);
    outAt_ = 0;
  }
  MessageStream& message = mail_->message;
  std::string chunk(kChunk, '\0');
  while (!endQueued_ && out_.size() - outAt_ < kHigh) {
    const std::size_t got = message.Read(chunk.data(), chunk.size());
    if (!message.Problem().empty()) {
      // The end of data is never sent: the server drops what it has.
      Fail(SmtpOutcome::Kind::BadInput, SmtpErrors::kAttachmentUnreadable,
           message.Problem() + " The message was not sent.");
      Drop();
      return;
    }
    if (got == 0) {
      stuffer_.Finish(out_);
      endQueued_ = true;
      tailFrom_ = out_.size() - std::min(out_.size() - outAt_, kTailHold);
      nextProbe_ = holdSince_ = Clock::now();
      break;
    }
    stuffer_.Add({chunk.data(), got}, out_);
    bodyRead_ += got;
  }
  const std::uint64_t total = message.Size();
  control_.SetProgress(bodyRead_, total);
  const int tenth = total == 0 ? 10 : static_cast<int>(bodyRead_ * 10 / total);
  if (tenth > lastTenth_) {
    lastTenth_ = tenth;
    status_("Sending message: " + std::to_string(tenth * 10) + "% of " + MailText::SizeText(total));
  }
}
