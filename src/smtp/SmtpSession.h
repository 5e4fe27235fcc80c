#pragma once
// One SMTP connection, run on the calling (worker) thread by one poll()
// loop: name lookup, connect, TLS, EHLO, AUTH, then one message after
// another (RSET between), then QUIT. One state variable, one reply parser,
// one dispatcher that turns each reply into the next step, and one function
// for the time-outs. A cancel through the TransferControl ends any phase at
// once.
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Connection.h"
#include "DotStuffer.h"
#include "OutgoingMail.h"
#include "ReplyParser.h"
#include "SaslClient.h"
#include "SmtpOutcome.h"
#include "TransferControl.h"

class SmtpSession {
 public:
  using StatusFn = std::function<void(const std::string&)>;

  SmtpSession(SessionSettings settings, TransferControl& control, StatusFn status);
  ~SmtpSession();
  SmtpSession(const SmtpSession&) = delete;
  SmtpSession& operator=(const SmtpSession&) = delete;

  // Delivers `mail` (its session settings are taken from the constructor),
  // opening the connection first when there is none.
  SmtpOutcome Send(OutgoingMail& mail);
  // Says goodbye, waiting briefly for the answer, and closes.
  void Quit();

 private:
  static constexpr std::size_t kTailHold = 4096;
  enum class State {
    Closed,
    Resolving,
    Connecting,
    TlsHandshake,
    Greeting,
    Ehlo,
    Helo,
    StartTls,
    Auth,
    Ready,  // logged in, no message under way
    Rset,
    Mail,
    Rcpt,
    Data,
    Body,
    EndOfData,
    Quit
  };
  using Clock = std::chrono::steady_clock;

  struct Capabilities {
    bool startTls = false, pipelining = false, smtpUtf8 = false, dsn = false, auth = false;
    bool eightBitMime = false;
    bool size = false;
    std::uint64_t sizeLimit = 0;
    std::vector<std::string> mechanisms;
  };

  void SetState(State state);
  // Closes the connection and forgets all that belonged to it, so a later
  // Send starts afresh.
  void Drop();
  void Loop();
  std::optional<Clock::time_point> Deadline() const;
  void OnTimeout();
  bool Resolved();
  void ConnectNext();
  void Connected();
  void BeginTls();
  void Readable();
  void Writable();
  void NoteAcknowledged();
  bool HoldingTail() const;
  bool PeerCaughtUp() const;
  void Lost(const std::string& why);

  // The dispatcher and the steps it takes.
  void OnReply(const SmtpReply& reply);
  void OnGreeting(const SmtpReply& reply);
  void OnEhlo(const SmtpReply& reply);
  void OnAuth(const SmtpReply& reply);
  void OnRecipient(const SmtpReply& reply);
  void OnFinalReply(const SmtpReply& reply);
  void AfterLogin();
  void StartAuth();
  bool TryMechanism();
  void StartMessage();
  std::string RecipientParameters(const std::string& to) const;
  void FillBody();
  void Command(const std::string& line, State awaits, const std::string& shown);

  void Fail(SmtpOutcome::Kind kind, int number, std::string text, const SmtpReply* reply = nullptr);
  void Refused(const SmtpReply& reply);
  void Decide(SmtpOutcome outcome);
  std::string Waiting() const;
  std::string Info() const;

  SessionSettings settings_;
  TransferControl& control_;
  StatusFn status_;
  TlsContext tls_;

  std::unique_ptr<Resolver> resolver_;
  std::vector<Resolver::Address> addresses_;
  std::size_t nextAddress_ = 0;
  std::string connectError_;
  Connection connection_;
  std::string tlsSummary_;
  ReplyParser parser_;
  Capabilities capabilities_;
  std::string ehloVerb_ = "EHLO";
  SaslClient sasl_;
  std::vector<std::string> mechanisms_;  // still to try
  std::string mechanism_;                // in use or used
  std::string bearerLater_;              // a token's response, sent after the server's 334
  std::string bearerChallenge_;          // what the server said of a refused token

  std::string out_;  // bytes queued for the socket
  std::size_t outAt_ = 0;
  std::deque<State> awaited_;  // the commands whose replies are due, in order
  std::size_t staleReplies_ = 0;
  Clock::time_point lastMove_;
  Clock::time_point replyClock_;  // when the reply now due started to be due
  std::uint64_t acknowledged_ = 0;
  std::size_t tailFrom_ = 0;  // where in out_ the held end of the message starts
  Clock::time_point nextProbe_;
  Clock::time_point holdSince_;
  std::size_t blockedWrite_ = 0;  // TLS: a write to repeat at least this long

  OutgoingMail* mail_ = nullptr;
  std::size_t rcptReplies_ = 0;
  std::vector<SmtpOutcome::Refusal> refused_;
  std::uint64_t bodyRead_ = 0;
  std::uint64_t endMark_ = 0;  // raw bytes written once the end of data was
  std::string finalReply_;
  std::optional<SmtpOutcome> outcome_;
  // Small members last, packed together.
  bool tlsReady_ = false;
  State state_ = State::Closed;
  bool handshakeForStartTls_ = false;
  std::uint32_t peerWindow_ = 0;    // as last seen
  std::uint32_t widestWindow_ = 0;  // the peer's buffer, empty
  bool wantWrite_ = false;          // a write waits for the socket to take more
  bool readWantsWrite_ = false;     // TLS: a read must write first
  bool writeWantsRead_ = false;     // TLS: a write must read first
  bool saslDone_ = false;           // the mechanism has checked the server's last word
  int accepted_ = 0;
  DotStuffer stuffer_;
  int lastTenth_ = -1;
  bool endQueued_ = false;
};
