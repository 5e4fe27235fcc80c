// The session's dispatcher: each reply, by the command it answers, decides
// the next step; here too the greeting and EHLO.
#include "SmtpErrors.h"
#include "SmtpSession.h"

namespace {

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
      if (reply.Positive()) {
        StartMessage();
      } else {
        Refused(reply);
      }
      break;
    case State::Mail:
      if (!reply.Positive()) {
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
  if (!reply.Positive()) {
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
    if (keyword == "8BITMIME") capabilities_.eightBitMime = true;
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
