// The session's way to a server: the name, each of its addresses in turn,
// and TLS (implicit, or after STARTTLS).
#include <array>

#include "SmtpErrors.h"
#include "SmtpSession.h"

bool SmtpSession::Resolved() {
  if (!resolver_->Done()) return false;
  addresses_ = resolver_->Addresses();
  const std::string error = resolver_->Error();
  const bool tryLater = resolver_->TryLater();
  resolver_.reset();
  if (addresses_.empty()) {
    Fail(tryLater ? SmtpOutcome::Kind::NameServiceAway : SmtpOutcome::Kind::HostNotFound,
         SmtpErrors::kHostNotFound,
         "Host not found: " + settings_.serverLabel + " (" + error + ").");
    SetState(State::Closed);
    return true;
  }
  nextAddress_ = 0;
  ConnectNext();
  return true;
}

// Every address of the name in turn, until one answers.
void SmtpSession::ConnectNext() {
  for (; nextAddress_ < addresses_.size(); ++nextAddress_) {
    std::string error;
    if (connection_.Open(addresses_[nextAddress_], error)) {
      SetState(State::Connecting);
      lastMove_ = replyClock_ = Clock::now();
      return;
    }
    connectError_ = error;
  }
  Fail(SmtpOutcome::Kind::ConnectionRefused, SmtpErrors::kConnectionRefused,
       "Could not connect to " + settings_.serverLabel + " (" + connectError_ + ").");
  Drop();
}

void SmtpSession::Connected() {
  lastMove_ = replyClock_ = Clock::now();
  control_.Touch();
  acknowledged_ = 0;
  peerWindow_ = widestWindow_ = connection_.PeerWindow();
  if (settings_.implicitTls) {
    handshakeForStartTls_ = false;
    BeginTls();
  } else {
    SetState(State::Greeting);
  }
}

// Starts or continues the handshake; after STARTTLS, whatever the server
// sent before it is thrown away first, so nothing injected is believed.
void SmtpSession::BeginTls() {
  if (state_ != State::TlsHandshake) {
    std::string error;
    if (!tlsReady_ && !(tlsReady_ = tls_.Init(settings_.caFile, error))) {
      Fail(SmtpOutcome::Kind::TlsFailure, SmtpErrors::kTlsFailed,
           "TLS with " + settings_.serverLabel + " failed: " + error + ".");
      Drop();
      return;
    }
    std::array<char, 4096> discard{};
    Connection::Io io = Connection::Io::Done;
    while (connection_.Read(discard.data(), discard.size(), io, error) > 0) {
    }
    parser_.Clear();
    out_.clear();
    outAt_ = 0;
    if (!connection_.StartTls(tls_.Get(), settings_.host, error)) {
      Fail(SmtpOutcome::Kind::TlsFailure, SmtpErrors::kTlsFailed,
           "TLS with " + settings_.serverLabel + " failed: " + error + ".");
      Drop();
      return;
    }
    SetState(State::TlsHandshake);
    replyClock_ = Clock::now();
  }
  std::string error;
  bool untrusted = false;
  wantWrite_ = false;
  switch (connection_.Handshake(error, untrusted)) {
    case Connection::Io::Done:
      tlsSummary_ = connection_.TlsSummary();
      status_("TLS established: " + tlsSummary_);
      replyClock_ = Clock::now();
      if (handshakeForStartTls_) {
        capabilities_ = Capabilities{};
        Command(ehloVerb_ + " " + settings_.ehloName, State::Ehlo,
                ehloVerb_ + " " + settings_.ehloName);
        SetState(State::Ehlo);
      } else {
        SetState(State::Greeting);
      }
      break;
    case Connection::Io::WantWrite:
      wantWrite_ = true;
      break;
    case Connection::Io::WantRead:
      break;
    default:
      if (untrusted) {
        Fail(SmtpOutcome::Kind::TlsFailure, SmtpErrors::kCertificateRejected,
             "The certificate of " + settings_.serverLabel + " is not trusted: " + error + ".");
      } else {
        Fail(SmtpOutcome::Kind::TlsFailure, SmtpErrors::kTlsFailed,
             "TLS with " + settings_.serverLabel + " failed: " + error + ".");
      }
      Drop();
  }
}
