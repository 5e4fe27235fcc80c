#pragma once
// What a send came to, as data: the kind decides retry and exit status, the
// number and text are what the ErrorSMTP event carries. Nothing downstream
// reads the text to decide anything.
#include <string>
#include <vector>

struct SmtpOutcome {
  enum class Kind {
    Sent,
    SentWithRefusals,  // the message went; some recipients were refused
    Refused,           // a server reply refused it: `replyCode`, `enhancedStatus`
    TimedOut,          // nothing moved within the time-out: `phase`
    LostBeforeEnd,     // the connection ended before our last byte
    MayAlreadyHaveIt,  // our last byte went, no reply came: never resend
    HostNotFound,
    NameServiceAway,    // the name could not be looked up now (offline, no DNS)
    ConnectionRefused,  // every address of the name refused
    TlsFailure,         // no STARTTLS for a password, certificate, handshake
    LoginFailure,       // no AUTH offered, or the SASL exchange failed on our side
    NotSupported,       // the server lacks what the message needs (SMTPUTF8)
    ProtocolError,      // a reply that breaks the protocol or its size cap
    BadInput,           // refused before connecting
    Cancelled,
  };
  struct Refusal {
    std::string recipient;
    int code = 0;
    std::string text;
  };

  Kind kind = Kind::Cancelled;
  int number = 0;              // the error number; 0 when sent
  std::string text;            // the description, one line
  int replyCode = 0;           // the server's reply that decided it, if any
  std::string enhancedStatus;  // "5.1.1", when the reply had one
  std::string phase;           // what an answer was awaited for
  std::vector<Refusal> refused;
  std::string info;  // for InfoText, CR LF between lines

  static SmtpOutcome Of(Kind kind) {
    SmtpOutcome outcome;
    outcome.kind = kind;
    return outcome;
  }
  bool Delivered() const { return kind == Kind::Sent || kind == Kind::SentWithRefusals; }
};
