// The session's dispatcher: each reply, by the command it answers, decides
// the next step.
#include <cstdio>

#include "MailText.h"
#include "SmtpErrors.h"
#include "SmtpSession.h"

namespace {

bool Positive(const SmtpReply& reply) { return reply.code >= 200 && reply.code < 300; }

std::string Upper(std::string word) {
  for (char& c : word) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return word;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while ((at = text.find_first_not_of(' ', at)) != std::string::npos) {
    const auto end = text.find(' ', at);
    words.push_back(text.substr(at, end == std::string::npos ? end : end - at));
    at = end;
  }
  return words;
}

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

void SmtpSession::Command(const std::string& line, State awaits, const std::string& shown) {
  if (awaited_.empty()) replyClock_ = Clock::now();
  out_ += line;
  out_ += "\r\n";
  awaited_.push_back(awaits);
  if (!shown.empty()) status_(shown);
}

void SmtpSession::OnReply(const SmtpReply& reply) {
  status_(reply.Display());
  if (state_ == State::Greeting) {
    OnGreeting(reply);
    return;
  }
  if (awaited_.empty()) {
    // Unasked: a server that gives up (421) while we send, or one that
    // talks out of turn, which ends the session.
    if (outcome_) {
      Drop();
    } else if (reply.code >= 400) {
      Refused(reply);
      Drop();
    } else {
      Fail(SmtpOutcome::Kind::ProtocolError, SmtpErrors::kProtocolError,
           settings_.serverLabel + " sent a reply nobody asked for while Tarnwick waited for " +
               Waiting() + "; the session was ended.");
      Drop();
    }
    return;
  }
  const State answers = awaited_.front();
  awaited_.pop_front();
  replyClock_ = Clock::now();
  if (staleReplies_ > 0) {  // to commands of a message already decided
    --staleReplies_;
    return;
  }
  if (outcome_ && answers != State::Quit && answers != State::Rset) return;  // a decided message
  switch (answers) {
    case State::Ehlo:
    case State::Helo:
      OnEhlo(reply);
      break;
    case State::StartTls:
      if (reply.code == 220) {
        handshakeForStartTls_ = true;
        BeginTls();
      } else {
        Refused(reply);
      }
      break;
    case State::Auth:
      OnAuth(reply);
      break;
    case State::Rset:
      if (Positive(reply)) {
        StartMessage();
      } else {
        Refused(reply);
      }
      break;
    case State::Mail:
      if (!Positive(reply)) {
        Refused(reply);
        SetState(State::Ready);
      } else if (!capabilities_.pipelining) {
        const auto& to = mail_->recipients.front();
        Command("RCPT TO:<" + to + ">" + RecipientParameters(to), State::Rcpt,
                "RCPT TO:<" + to + ">");
      }
      break;
    case State::Rcpt:
      OnRecipient(reply);
      break;
    case State::Data:
      if (reply.code == 354) {
        SetState(State::Body);
      } else {
        Refused(reply);
        SetState(State::Ready);
      }
      break;
    case State::EndOfData:
      OnFinalReply(reply);
      break;
    case State::Quit:
      Drop();
      break;
    default:
      break;
  }
}

void SmtpSession::OnGreeting(const SmtpReply& reply) {
  if (reply.code != 220) {
    Refused(reply);
    Drop();
    return;
  }
  Command(ehloVerb_ + " " + settings_.ehloName, State::Ehlo, ehloVerb_ + " " + settings_.ehloName);
  SetState(State::Ehlo);
}

void SmtpSession::OnEhlo(const SmtpReply& reply) {
  if (!Positive(reply)) {
    // An old server that knows only HELO.
    if (ehloVerb_ == "EHLO" && reply.code >= 500 && reply.code <= 504) {
      ehloVerb_ = "HELO";
      Command("HELO " + settings_.ehloName, State::Helo, "HELO " + settings_.ehloName);
      SetState(State::Helo);
      return;
    }
    Refused(reply);
    return;
  }
  capabilities_ = Capabilities{};
  for (std::size_t i = 1; i < reply.lines.size(); ++i) {
    const auto words = Words(reply.lines[i]);
    if (words.empty()) continue;
    std::string keyword = Upper(words[0]);
    std::vector<std::string> params(words.begin() + 1, words.end());
    if (keyword.rfind("AUTH=", 0) == 0) {  // the old form
      params.insert(params.begin(), keyword.substr(5));
      keyword = "AUTH";
    }
    if (keyword == "STARTTLS") capabilities_.startTls = true;
    if (keyword == "PIPELINING") capabilities_.pipelining = true;
    if (keyword == "SMTPUTF8") capabilities_.smtpUtf8 = true;
    if (keyword == "DSN") capabilities_.dsn = true;
    if (keyword == "SIZE") {
      capabilities_.size = true;
      if (!params.empty()) capabilities_.sizeLimit = std::strtoull(params[0].c_str(), nullptr, 10);
    }
    if (keyword == "AUTH") {
      capabilities_.auth = true;
      for (const auto& p : params) capabilities_.mechanisms.push_back(Upper(p));
    }
  }
  if (!connection_.Tls() && capabilities_.startTls) {
    Command("STARTTLS", State::StartTls, "Starting TLS");
    SetState(State::StartTls);
  } else if (!connection_.Tls() && settings_.requireTls) {
    Fail(SmtpOutcome::Kind::TlsFailure, SmtpErrors::kTlsRequired,
         settings_.serverLabel +
             " offers no STARTTLS; the password is not sent unencrypted, so nothing was sent.");
  } else if (!settings_.user.empty()) {
    StartAuth();
  } else {
    AfterLogin();
  }
}

void SmtpSession::StartAuth() {
  SetState(State::Auth);
  const std::string& user = settings_.user;
  if (!settings_.bearerMechanism.empty()) {
    mechanism_ = settings_.bearerMechanism;
    const std::string initial =
        mechanism_ == "OAUTHBEARER"
            ? SaslClient::OAuthBearer(user, settings_.host, settings_.port, settings_.password)
            : SaslClient::XOAuth2(user, settings_.password);
    Command("AUTH " + mechanism_ + " " + initial, State::Auth, "");
    status_("Authenticating as " + user + " (" + mechanism_ + ")");
    return;
  }
  if (!capabilities_.auth) {
    Fail(SmtpOutcome::Kind::LoginFailure, SmtpErrors::kAuthNotOffered,
         settings_.serverLabel + " offers no AUTH, so user " + user +
             " cannot log in; the message was not sent.");
    return;
  }
  mechanisms_ = sasl_.Candidates(capabilities_.mechanisms);
  if (!TryMechanism()) {
    std::string offered;
    for (const auto& m : capabilities_.mechanisms) offered += (offered.empty() ? "" : " ") + m;
    Fail(SmtpOutcome::Kind::LoginFailure, SmtpErrors::kNoMechanism,
         settings_.serverLabel + " offers AUTH " + offered +
             ", and none of them can log in here with a user name and password; nothing was sent.");
  }
}

// The next mechanism that can start here; a client-side failure (GSSAPI
// without a ticket) moves on to the next one.
bool SmtpSession::TryMechanism() {
  while (!mechanisms_.empty()) {
    mechanism_ = mechanisms_.front();
    mechanisms_.erase(mechanisms_.begin());
    std::string initial;
    std::string error;
    saslDone_ = false;
    if (!sasl_.Start(mechanism_, settings_.user, settings_.password, settings_.host, initial,
                     error))
      continue;
    Command("AUTH " + mechanism_ + (initial.empty() ? "" : " " + initial), State::Auth, "");
    status_("Authenticating as " + settings_.user + " (" + mechanism_ + ")");
    return true;
  }
  return false;
}

void SmtpSession::OnAuth(const SmtpReply& reply) {
  if (reply.code == 235) {
    // SCRAM's last step checks that the server knows the password too.
    if (mechanism_.rfind("SCRAM-", 0) == 0 && !saslDone_) {
      Fail(SmtpOutcome::Kind::LoginFailure, SmtpErrors::kLoginFailed,
           settings_.serverLabel + " accepted the login without proving it knows the password (" +
               mechanism_ + "); nothing was sent.");
      return;
    }
    AfterLogin();
    return;
  }
  if (reply.code != 334) {
    Fail(SmtpOutcome::Kind::LoginFailure, reply.code, reply.Text(), &reply);
    return;
  }
  const std::string challenge = reply.lines.empty() ? "" : reply.lines.front();
  if (!settings_.bearerMechanism.empty()) {
    // An error challenge (JSON): the server wants an empty answer before it
    // gives its final refusal.
    Command(mechanism_ == "OAUTHBEARER" ? "AQ==" : "", State::Auth, "");
    return;
  }
  std::string response;
  std::string error;
  const SaslClient::Step step = sasl_.Next(challenge, response, error);
  saslDone_ = step == SaslClient::Step::Done;
  if (step == SaslClient::Step::Failed) {
    Command("*", State::Auth, "");  // cancels the exchange
    Fail(SmtpOutcome::Kind::LoginFailure, SmtpErrors::kLoginFailed,
         "Logging in to " + settings_.serverLabel + " with " + mechanism_ + " failed: " + error +
             ".");
    return;
  }
  Command(response, State::Auth, "");
}

void SmtpSession::AfterLogin() {
  SetState(State::Ready);
  StartMessage();
}

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
  const std::uint64_t size = mail.message.Size();
  if (capabilities_.sizeLimit > 0 && size > capabilities_.sizeLimit) {
    Fail(SmtpOutcome::Kind::NotSupported, SmtpErrors::kMessageTooLarge,
         "The message (" + std::to_string(size) + " bytes) is larger than " + server +
             " takes (SIZE " + std::to_string(capabilities_.sizeLimit) + "); nothing was sent.");
    return;
  }
  std::string mailFrom = "MAIL FROM:<" + mail.mailFrom + ">";
  if (capabilities_.size) mailFrom += " SIZE=" + std::to_string(size);
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
  if (Positive(reply)) {
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
  if (!Positive(reply)) {
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
