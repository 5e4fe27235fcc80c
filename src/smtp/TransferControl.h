#pragma once
// What the caller's thread, a transfer's worker and its watchdog share: the
// sockets libcurl has open, so a wait that blocks inside libcurl can be cut
// from outside; when a byte last moved; the phase; why the transfer was
// stopped; and whether it has ended. Every member is safe from any thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class TransferControl {
 public:
  enum class Phase { Dialogue, MessageSent, Decided };
  enum class Stop {
    None,
    Cancelled,
    TimedOut,
    NoFinalReply,
    AuthNotOffered,
    SmtpUtf8NotOffered,
    AttachmentChanged
  };

  // Records why (the first reason wins) and cuts the connection at once.
  void StopFor(Stop reason);
  Stop StoppedFor() const { return stop_.load(); }

  void SocketOpened(int fd);
  int CloseSocket(int fd);  // libcurl's close, kept apart from a concurrent cut
  void CutConnection();

  void Touch() { lastMove_.store(Now()); }
  std::chrono::milliseconds Silence() const;

  void SetPhase(Phase phase) { phase_.store(phase); }
  Phase CurrentPhase() const { return phase_.load(); }

  void MarkFinished();
  bool Finished() const;
  bool WaitFinished(std::chrono::milliseconds limit);

 private:
  static std::int64_t Now();

  mutable std::mutex mutex_;
  std::condition_variable finishedChanged_;
  std::vector<int> sockets_;
  bool finished_ = false;
  std::atomic<std::int64_t> lastMove_{Now()};
  std::atomic<Phase> phase_{Phase::Dialogue};
  std::atomic<Stop> stop_{Stop::None};
};
