#include "TransferControl.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

std::int64_t TransferControl::Now() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::chrono::milliseconds TransferControl::Silence() const {
  return std::chrono::milliseconds(Now() - lastMove_.load());
}

void TransferControl::StopFor(Stop reason) {
  Stop none = Stop::None;
  stop_.compare_exchange_strong(none, reason);
  CutConnection();
}

void TransferControl::SocketOpened(int fd) {
  const std::lock_guard lock(mutex_);
  sockets_.push_back(fd);
}

int TransferControl::CloseSocket(int fd) {
  // Under the lock, so a cut never reaches a number the system has reused.
  const std::lock_guard lock(mutex_);
  sockets_.erase(std::remove(sockets_.begin(), sockets_.end(), fd), sockets_.end());
  return ::close(fd);
}

void TransferControl::CutConnection() {
  // shutdown, not close: libcurl still owns the descriptors, and a wait
  // blocked on one wakes at once with end of file.
  const std::lock_guard lock(mutex_);
  for (const int fd : sockets_) ::shutdown(fd, SHUT_RDWR);
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
