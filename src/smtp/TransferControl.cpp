#include "TransferControl.h"

#include <fcntl.h>
#include <unistd.h>

TransferControl::TransferControl() {
  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
}

TransferControl::~TransferControl() {
  for (const int fd : wake_) {
    if (fd >= 0) ::close(fd);
  }
}

std::int64_t TransferControl::Now() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::chrono::milliseconds TransferControl::Silence() const {
  return std::chrono::milliseconds(Now() - lastMove_.load());
}

void TransferControl::Cancel() {
  if (cancelled_.exchange(true)) return;
  const char byte = 1;
  (void)!::write(wake_[1], &byte, 1);
}

void TransferControl::MarkFinished() {
  {
    const std::lock_guard lock(mutex_);
    finished_ = true;
  }
  finishedChanged_.notify_all();
}

bool TransferControl::Finished() const {
  const std::lock_guard lock(mutex_);
  return finished_;
}

bool TransferControl::WaitFinished(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return finishedChanged_.wait_for(lock, limit, [this] { return finished_; });
}
