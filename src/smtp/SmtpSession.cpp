#include "SmtpSession.h"

#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <system_error>
#include <utility>

#include "SmtpErrors.h"

namespace {

using namespace std::chrono_literals;
// Once the outcome is known, QUIT gets at most this long.
constexpr auto kQuitGrace = 2000ms;
// How often acknowledgements are looked at while our bytes are in flight.
constexpr auto kAckSample = 200ms;
// The end of the message is held back until the server's program has read
// the rest; meanwhile one byte of it goes now and then, so the server's
// system answers with its current window and shows the reading go on.
constexpr auto kProbeInterval = 100ms;
// What one turn of the loop reads or writes at most.
constexpr std::size_t kTurnBudget = std::size_t{1} << 20;
// Unread bytes the server may still be working through when the end goes:
// even a slow server reads this much well within a time-out.
constexpr std::uint64_t kTailSlack = std::uint64_t{128} * 1024;

// TLS writes through write(2), which raises SIGPIPE on a closed peer.
// Blocked on this thread only while the session runs; one that came is
// taken before the mask is restored, so it never reaches the process.
class SigpipeGuard {
 public:
  SigpipeGuard() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &old_);
  }
  ~SigpipeGuard() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    const timespec none{};
    while (sigtimedwait(&pipe, nullptr, &none) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  sigset_t old_{};
};

}  // namespace

SmtpSession::SmtpSession(SessionSettings settings, TransferControl& control, StatusFn status)
    : settings_(std::move(settings)), control_(control), status_(std::move(status)) {}

SmtpSession::~SmtpSession() = default;

void SmtpSession::SetState(State state) { state_ = state; }

void SmtpSession::Drop() {
  connection_.Close();
  SetState(State::Closed);
  resolver_.reset();
  parser_.Clear();
  capabilities_ = Capabilities{};
  ehloVerb_ = "EHLO";
  handshakeForStartTls_ = false;
  out_.clear();
  outAt_ = 0;
  tailFrom_ = 0;
  awaited_.clear();
  staleReplies_ = 0;
  wantWrite_ = readWantsWrite_ = writeWantsRead_ = false;
  blockedWrite_ = 0;
  tlsSummary_.clear();
  mechanism_.clear();
}

SmtpOutcome SmtpSession::Send(OutgoingMail& mail) {
  const SigpipeGuard guard;
  mail_ = &mail;
  outcome_.reset();
  accepted_ = 0;
  rcptReplies_ = 0;
  refused_.clear();
  stuffer_ = DotStuffer();
  bodyRead_ = 0;
  lastTenth_ = -1;
  endQueued_ = false;
  finalReply_.clear();
  control_.SetProgress(0, mail.message.Size());
  lastMove_ = replyClock_ = Clock::now();
  control_.Touch();
  if (control_.Cancelled()) {
    Decide(SmtpOutcome::Of(SmtpOutcome::Kind::Cancelled));
  } else if (state_ == State::Ready) {
    staleReplies_ = awaited_.size();
    // The server may still hold the last transaction's envelope.
    Command("RSET", State::Rset, "RSET");
    SetState(State::Rset);
  } else {
    // No connection yet, or one left mid-dialogue by a failure: not worth
    // mending, a new one starts clean.
    Drop();
    status_("Connecting to " + settings_.serverLabel);
    resolver_ = std::make_unique<Resolver>(settings_.host, settings_.port);
    SetState(State::Resolving);
  }
  Loop();
  return *outcome_;
}

void SmtpSession::Quit() {
  const SigpipeGuard guard;
  const bool speaking = state_ != State::Closed && state_ != State::Resolving &&
                        state_ != State::Connecting && state_ != State::TlsHandshake &&
                        state_ != State::Body && connection_.Fd() >= 0;
  if (!speaking || control_.Cancelled()) {
    Drop();
    return;
  }
  Command("QUIT", State::Quit, "QUIT");
  SetState(State::Quit);
  lastMove_ = replyClock_ = Clock::now();
  Loop();
}

// Runs until the message has its outcome, or, when quitting, until closed.
void SmtpSession::Loop() {
  const bool quitting = state_ == State::Quit;
  while (quitting ? state_ != State::Closed : !outcome_.has_value()) {
    std::array<pollfd, 3> fds{};
    nfds_t count = 0;
    fds[count++] = {control_.WakeFd(), POLLIN, 0};
    const int connectionSlot = static_cast<int>(count);
    short events = 0;
    if (state_ == State::Resolving) {
      fds[count++] = {resolver_->ReadyFd(), POLLIN, 0};
    } else if (connection_.Fd() >= 0) {
      const bool bodyToWrite = state_ == State::Body && (!endQueued_ || outAt_ < tailFrom_);
      const bool toWrite =
          (bodyToWrite || (state_ != State::Body && outAt_ < out_.size()) || wantWrite_) &&
          !writeWantsRead_;
      if (state_ == State::Connecting || toWrite || readWantsWrite_) events |= POLLOUT;
      if (state_ != State::Connecting) events |= POLLIN;
      fds[count++] = {connection_.Fd(), events, 0};
    }
    auto wait = std::chrono::milliseconds(-1);
    if (const auto deadline = Deadline()) {
      wait = std::max(0ms, std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()));
    }
    const bool inFlight =
        connection_.Fd() >= 0 && state_ != State::Connecting && !connection_.Drained();
    if (inFlight && (wait < 0ms || wait > kAckSample)) wait = kAckSample;
    if (HoldingTail()) {
      // Closely at first (a fast server catches up at once), then gently.
      const auto sample = Clock::now() - holdSince_ < 100ms ? 1ms : 50ms;
      if (wait < 0ms || wait > sample) wait = sample;
    }
    if (connection_.Buffered()) wait = 0ms;
    (void)::poll(fds.data(), count, static_cast<int>(wait.count()));

    if (control_.Cancelled()) {
      Drop();
      if (!outcome_) Decide(SmtpOutcome::Of(SmtpOutcome::Kind::Cancelled));
      return;
    }
    NoteAcknowledged();
    const short got = count > 1 ? fds[connectionSlot].revents : short{0};
    if (state_ == State::Resolving && got != 0) {
      if (!Resolved()) continue;
    } else if (state_ == State::Connecting && got != 0) {
      const int error = connection_.ConnectResult();
      if (error == 0) {
        Connected();
      } else {
        connectError_ = std::error_code(error, std::generic_category()).message();
        ++nextAddress_;
        ConnectNext();
      }
    } else if (state_ == State::TlsHandshake && (got != 0 || connection_.Buffered())) {
      lastMove_ = Clock::now();
      BeginTls();
    } else if (got != 0 || connection_.Buffered() || HoldingTail()) {
      const bool in = (got & (POLLIN | POLLHUP | POLLERR)) != 0;
      if (in || connection_.Buffered() || (readWantsWrite_ && (got & POLLOUT) != 0)) Readable();
      if (in) writeWantsRead_ = false;
      if (connection_.Fd() >= 0 && state_ != State::TlsHandshake && !writeWantsRead_ &&
          (outAt_ < out_.size() || state_ == State::Body || wantWrite_)) {
        Writable();
      }
    }
    const auto deadline = Deadline();
    if (deadline && Clock::now() >= *deadline && (quitting ? state_ != State::Closed : !outcome_))
      OnTimeout();
  }
}

// The one place time-outs come from: silence on the connection, and the
// reply now due, counted from its command (or from the last of its bytes
// the server acknowledged). A reply that trickles does not extend it.
std::optional<SmtpSession::Clock::time_point> SmtpSession::Deadline() const {
  const auto timeout = std::chrono::milliseconds(settings_.timeoutMs);
  if (state_ == State::Quit)
    return replyClock_ + std::min<std::chrono::milliseconds>(timeout, kQuitGrace);
  if (state_ == State::Closed) return std::nullopt;
  auto deadline = lastMove_ + timeout;
  const bool replyDue = !awaited_.empty() || state_ == State::Greeting ||
                        state_ == State::TlsHandshake || state_ == State::Connecting ||
                        state_ == State::Resolving;
  if (replyDue) deadline = std::min(deadline, replyClock_ + timeout);
  return deadline;
}

void SmtpSession::OnTimeout() {
  if (state_ == State::Quit) {
    Drop();
    return;
  }
  if (state_ == State::Connecting && nextAddress_ + 1 < addresses_.size()) {
    ++nextAddress_;  // a black hole: the name's next address may answer
    ConnectNext();
    return;
  }
  const std::string server = settings_.serverLabel;
  // Our last byte went: whether or not it was acknowledged, the server may
  // have the whole message, and a second copy is worse than none.
  if (state_ == State::EndOfData) {
    Fail(SmtpOutcome::Kind::MayAlreadyHaveIt, SmtpErrors::kNoFinalReply,
         "The whole message went to " + server + " but no reply came (none within " +
             std::to_string(settings_.timeoutMs) +
             " ms); the server may already have it, so it was not sent again.");
  } else {
    Fail(SmtpOutcome::Kind::TimedOut, SmtpErrors::kTimedOut,
         "No answer from " + server + " within " + std::to_string(settings_.timeoutMs) +
             " ms while waiting for " + Waiting() + ".");
  }
  Drop();
}

// Our bytes acknowledged, or the peer's window reopening as its program
// reads them, is movement.
void SmtpSession::NoteAcknowledged() {
  if (connection_.Fd() < 0 || state_ == State::Connecting) return;
  const std::uint64_t acknowledged = connection_.Acknowledged();
  const std::uint32_t window = connection_.PeerWindow();
  const bool moved = acknowledged > acknowledged_ || window > peerWindow_;
  acknowledged_ = std::max(acknowledged, acknowledged_);
  peerWindow_ = window;
  widestWindow_ = std::max(widestWindow_, window);
  if (!moved) return;
  lastMove_ = Clock::now();
  control_.Touch();
  // The command is still arriving: its reply is not due yet.
  if (!awaited_.empty()) replyClock_ = lastMove_;
}

bool SmtpSession::PeerCaughtUp() const {
  // What the server has yet to read: ours still in flight, and what its
  // system holds for it (its window is that much narrower than at rest).
  const std::uint64_t unread = connection_.Queued() + (widestWindow_ - peerWindow_);
  return unread <= kTailSlack;
}

bool SmtpSession::HoldingTail() const {
  return state_ == State::Body && endQueued_ && outAt_ >= tailFrom_ && outAt_ < out_.size();
}

void SmtpSession::Readable() {
  std::array<char, 16384> buffer{};
  // A bounded share per turn, so cancel and the deadlines are looked at
  // even while a server floods us.
  for (std::size_t taken = 0; taken < kTurnBudget;) {
    Connection::Io io = Connection::Io::Done;
    std::string error;
    const std::size_t got = connection_.Read(buffer.data(), buffer.size(), io, error);
    readWantsWrite_ = got == 0 && io == Connection::Io::WantWrite;
    if (got == 0) {
      if (io == Connection::Io::Closed) Lost("the server closed the connection");
      if (io == Connection::Io::Failed) Lost(error);
      return;
    }
    taken += got;
    lastMove_ = Clock::now();
    control_.Touch();
    if (!parser_.Feed({buffer.data(), got})) {
      Fail(SmtpOutcome::Kind::ProtocolError, SmtpErrors::kProtocolError,
           settings_.serverLabel + " sent " + parser_.Problem() + " while Tarnwick waited for " +
               Waiting() + "; the session was ended.");
      Drop();
      return;
    }
    while (auto reply = parser_.Take()) {
      OnReply(*reply);
      if (connection_.Fd() < 0 || state_ == State::TlsHandshake) return;
    }
  }
}

void SmtpSession::Writable() {
  std::size_t written = 0;
  for (;;) {
    if (state_ == State::Body) FillBody();
    if (connection_.Fd() < 0) return;
    std::size_t limit = out_.size();
    if (state_ == State::Body && endQueued_) {
      if (outAt_ < tailFrom_) {
        limit = tailFrom_;
      } else if (!PeerCaughtUp()) {
        const auto now = Clock::now();
        if (!connection_.Drained() || now < nextProbe_) return;
        nextProbe_ = now + kProbeInterval;
        limit = outAt_ + 1;
      }
    }
    // TLS wants a blocked write repeated at least as long as it was.
    limit = std::min(out_.size(), std::max(limit, outAt_ + blockedWrite_));
    while (outAt_ < limit) {
      Connection::Io io = Connection::Io::Done;
      std::string error;
      const std::size_t put = connection_.Write(out_.data() + outAt_, limit - outAt_, io, error);
      if (put == 0) {
        wantWrite_ = io == Connection::Io::WantWrite;
        writeWantsRead_ = io == Connection::Io::WantRead;
        if (wantWrite_ || writeWantsRead_) blockedWrite_ = limit - outAt_;
        if (io == Connection::Io::Closed) Lost("the server closed the connection");
        if (io == Connection::Io::Failed) Lost(error);
        return;
      }
      blockedWrite_ = 0;
      outAt_ += put;
      written += put;
    }
    if (written >= kTurnBudget && outAt_ < out_.size()) return;  // the loop comes back
    wantWrite_ = false;
    if (outAt_ < out_.size()) {
      if (HoldingTail()) return;
      continue;
    }
    out_.clear();
    outAt_ = 0;
    tailFrom_ = 0;
    if (state_ != State::Body) return;
    if (endQueued_) {
      // Our last byte is written; from here on the server may have it all.
      endMark_ = connection_.Written();
      awaited_.push_back(State::EndOfData);
      replyClock_ = Clock::now();
      SetState(State::EndOfData);
      return;
    }
  }
}

void SmtpSession::Lost(const std::string& why) {
  if (state_ == State::Quit || outcome_) {
    Drop();
    return;
  }
  NoteAcknowledged();
  if (endQueued_ && outAt_ >= out_.size() && acknowledged_ >= endMark_ &&
      state_ == State::EndOfData) {
    Fail(SmtpOutcome::Kind::MayAlreadyHaveIt, SmtpErrors::kNoFinalReply,
         "The whole message went to " + settings_.serverLabel + " but no reply came (" + why +
             "); the server may already have it, so it was not sent again.");
  } else {
    Fail(SmtpOutcome::Kind::LostBeforeEnd, SmtpErrors::kConnectionLost,
         "The connection to " + settings_.serverLabel + " was lost while waiting for " + Waiting() +
             " (" + why + ").");
  }
  Drop();
}
