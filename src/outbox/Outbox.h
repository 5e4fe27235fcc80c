#pragma once
// The outbox folder: messages that could not go yet, one file each, written
// atomically (a temporary file, fsync, rename, fsync of the folder), so a
// crash or a full disk leaves either the whole message or none of it.
// Failed messages move to its "failed" folder; a sent one is renamed
// ".sent" at once and removed after.
#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "OutboxEntry.h"

namespace Outbox {

inline constexpr const char* kFailedFolder = "failed";

// Writes `entry` and the message into `folder`; `copy(out)` writes the
// message bytes through `out(data, size)`, returning false (with its own
// problem) when they cannot be had. The new id, or empty with `problem`.
using Writer = std::function<bool(const char*, std::size_t)>;
std::string Put(const std::string& folder, OutboxEntry entry,
                const std::function<bool(const Writer&, std::string&)>& copy, std::string& problem);

// The queued messages of `folder` (or of its failed folder), oldest first;
// files that are not ours are named in `unreadable`.
std::vector<OutboxEntry> List(const std::string& folder, std::vector<std::string>* unreadable);

// Rewrites the entry's header (its history) in place, atomically.
bool Update(const OutboxEntry& entry, std::string& problem);

// Sent: renamed at once so no later flush sends it again, then removed.
bool MarkSent(const OutboxEntry& entry);
// Removes what earlier flushes marked sent, and temporary files a crash left.
void Sweep(const std::string& folder);
// Makes the renames of this flush durable.
void SyncFolder(const std::string& folder);

// Moves the entry to the failed folder, then notes `reason` as its last
// error (the move stands even when the note cannot be written).
bool MoveToFailed(OutboxEntry entry, const std::string& reason, std::string& problem);

// The wait before try number `attempts` + 1: one minute, doubling, at most
// an hour, give or take a fifth so that queued messages spread out.
std::chrono::seconds Backoff(int attempts, std::mt19937& random);

// One flush at a time: an exclusive lock on the folder's lock file, held
// while the object lives. Locked() is false when another flush holds it.
class FlushLock {
 public:
  explicit FlushLock(const std::string& folder);
  ~FlushLock();
  FlushLock(const FlushLock&) = delete;
  FlushLock& operator=(const FlushLock&) = delete;
  bool Locked() const { return fd_ >= 0; }
  // Not locked, and not because another flush holds it.
  const std::string& Problem() const { return problem_; }

 private:
  int fd_ = -1;
  std::string problem_;
};

}  // namespace Outbox
