#pragma once
// What the owner's thread and a session's worker share: the wake pipe a
// cancel writes to (the session's poll loop watches it, so every phase ends
// at once), when a byte last moved, the progress of the message, and
// whether the worker has ended. Every member is safe from any thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class TransferControl {
 public:
  TransferControl();
  ~TransferControl();
  TransferControl(const TransferControl&) = delete;
  TransferControl& operator=(const TransferControl&) = delete;

  void Cancel();
  bool Cancelled() const { return cancelled_.load(); }
  int WakeFd() const { return wake_[0]; }

  void Touch() { lastMove_.store(Now()); }
  std::chrono::milliseconds Silence() const;

  void SetProgress(std::uint64_t sent, std::uint64_t total) {
    sent_.store(sent);
    total_.store(total);
  }
  std::uint64_t BytesSent() const { return sent_.load(); }
  std::uint64_t BytesTotal() const { return total_.load(); }

  void MarkFinished();
  bool Finished() const;
  bool WaitFinished(std::chrono::milliseconds limit);

 private:
  static std::int64_t Now();

  int wake_[2] = {-1, -1};
  std::atomic<bool> cancelled_{false};
  std::atomic<std::int64_t> lastMove_{Now()};
  std::atomic<std::uint64_t> sent_{0};
  std::atomic<std::uint64_t> total_{0};
  mutable std::mutex mutex_;
  std::condition_variable finishedChanged_;
  bool finished_ = false;
};
