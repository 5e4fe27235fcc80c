// How the session words its outcome: the typed result, the phase it was
// waiting in, and the summary for InfoText.
#include "SmtpSession.h"

void SmtpSession::Fail(SmtpOutcome::Kind kind, int number, std::string text,
                       const SmtpReply* reply) {
  SmtpOutcome failed;
  failed.kind = kind;
  failed.number = number;
  failed.text = std::move(text);
  failed.phase = Waiting();
  if (reply != nullptr) {
    failed.replyCode = reply->code;
    failed.enhancedStatus = reply->EnhancedStatus();
  }
  failed.refused = refused_;
  Decide(std::move(failed));
}

void SmtpSession::Refused(const SmtpReply& reply) {
  Fail(SmtpOutcome::Kind::Refused, reply.code, reply.Text(), &reply);
}

void SmtpSession::Decide(SmtpOutcome outcome) {
  if (outcome_) return;
  outcome.info = Info();
  if (outcome.kind != SmtpOutcome::Kind::Cancelled && !outcome.Delivered() &&
      !outcome.text.empty()) {
    outcome.info += "\r\nError: " + outcome.text;
  }
  outcome_ = std::move(outcome);
}

std::string SmtpSession::Waiting() const {
  const State phase = awaited_.empty() ? state_ : awaited_.front();
  switch (phase) {
    case State::Resolving:
      return "the name lookup of " + settings_.host;
    case State::Connecting:
      return "the connection";
    case State::TlsHandshake:
      return "the TLS handshake";
    case State::Greeting:
      return "the server's greeting";
    case State::Ehlo:
      return "the reply to EHLO";
    case State::Helo:
      return "the reply to HELO";
    case State::StartTls:
      return "the reply to STARTTLS";
    case State::Auth:
      return "the reply to AUTH";
    case State::Rset:
      return "the reply to RSET";
    case State::Mail:
      return "the reply to MAIL FROM";
    case State::Rcpt:
      return "the reply to RCPT TO";
    case State::Data:
      return "the reply to DATA";
    case State::Body:
    case State::EndOfData:
      return "the server to take the message";
    case State::Quit:
      return "the reply to QUIT";
    default:
      return "the next step";
  }
}

std::string SmtpSession::Info() const {
  std::string tls = "none";
  if (!tlsSummary_.empty()) {
    tls = tlsSummary_ + (settings_.implicitTls ? " (implicit)" : " (STARTTLS)");
  }
  const std::size_t total = mail_ != nullptr ? mail_->recipients.size() : 0;
  std::string info =
      "Server: " + settings_.serverLabel + "\r\nTLS: " + tls + "\r\nAuthentication: " +
      (mechanism_.empty() ? "none" : mechanism_ + " as " + settings_.user) +
      "\r\nRecipients accepted: " + std::to_string(accepted_) + " of " + std::to_string(total);
  if (!finalReply_.empty()) info += "\r\nServer reply: " + finalReply_;
  if (outcome_ == std::nullopt && !finalReply_.empty() && mail_ != nullptr &&
      finalReply_[0] == '2') {
    info += "\r\nMessage-ID: " + mail_->messageId;
  }
  return info;
}
