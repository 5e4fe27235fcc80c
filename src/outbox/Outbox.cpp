#include "Outbox.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <system_error>

namespace Outbox {
namespace {

constexpr const char* kMessage = ".msg";
constexpr const char* kSent = ".sent";
constexpr const char* kTemporary = ".tmp-";

std::string ErrorText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Writes a new file at `path` through a temporary one beside it: the file
// is there whole, or not at all. A new message never replaces another.
bool WriteAtomically(const std::string& path,
                     const std::function<bool(int fd, std::string& problem)>& fill,
                     std::string& problem, bool replace = true) {
  const std::string folder = FolderOf(path);
  const std::string temporary = folder + "/" + kTemporary + path.substr(path.rfind('/') + 1);
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    problem = "cannot write in " + folder + ": " + ErrorText(errno);
    return false;
  }
  bool ok = fill(fd, problem);
  if (ok && ::fsync(fd) != 0) {
    problem = "cannot write " + temporary + ": " + ErrorText(errno);
    ok = false;
  }
  if (::close(fd) != 0 && ok) {
    problem = "cannot write " + temporary + ": " + ErrorText(errno);
    ok = false;
  }
  if (ok && ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(),
                        replace ? 0U : RENAME_NOREPLACE) != 0) {
    problem = "cannot rename " + temporary + ": " + ErrorText(errno);
    ok = false;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncFolder(folder);
  return true;
}

// Copies the bytes of `from` after `offset` to `fd`.
bool CopyBody(const std::string& from, std::uint64_t offset, int fd, std::string& problem) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    problem = from + " cannot be read: " + ErrorText(errno);
    return false;
  }
  char buffer[1 << 16];
  auto at = static_cast<off_t>(offset);
  for (;;) {
    const ssize_t n = ::pread(in, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) problem = from + " cannot be read: " + ErrorText(errno);
    if (n <= 0) break;
    if (!WriteAll(fd, buffer, static_cast<std::size_t>(n))) {
      problem = "cannot write: " + ErrorText(errno);
      break;
    }
    at += n;
  }
  ::close(in);
  return problem.empty();
}

// A name no other message has: the time it was queued, then randomness.
std::string NewId() {
  std::random_device device;
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  ::gmtime_r(&now, &utc);
  char stamp[32];
  (void)std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
  char tail[16];
  (void)std::snprintf(tail, sizeof tail, "%08x", static_cast<unsigned>(device()));
  return std::string(stamp) + "-" + tail;
}

}  // namespace

std::string Put(const std::string& folder, OutboxEntry entry,
                const std::function<bool(const Writer&, std::string&)>& copy,
                std::string& problem) {
  entry.id = NewId();
  const std::string path = folder + "/" + entry.id + kMessage;
  const bool written = WriteAtomically(
      path,
      [&](int fd, std::string& why) {
        const std::string header = entry.Header();
        if (header.size() >= OutboxEntry::kLongestHeader) {
          why = "its envelope is too large for the outbox (" +
                std::to_string(entry.recipients.size()) + " recipients)";
          return false;
        }
        if (!WriteAll(fd, header.data(), header.size())) {
          why = "cannot write in " + folder + ": " + ErrorText(errno);
          return false;
        }
        int error = 0;
        const bool copied = copy(
            [fd, &error](const char* data, std::size_t size) {
              if (WriteAll(fd, data, size)) return true;
              error = errno;
              return false;
            },
            why);
        if (!copied && error != 0) why = "cannot write in " + folder + ": " + ErrorText(error);
        return copied;
      },
      problem, false);
  return written ? entry.id : std::string();
}

std::vector<OutboxEntry> List(const std::string& folder, std::vector<std::string>* unreadable) {
  std::vector<OutboxEntry> entries;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return entries;
  // Each listing has its own stream: readdir is safe for it.
  while (const dirent* item = ::readdir(dir)) {  // NOLINT(concurrency-mt-unsafe)
    const std::string name = item->d_name;
    if (name.front() == '.' || !EndsWith(name, kMessage)) continue;
    std::string problem;
    if (auto entry = OutboxEntry::Read(folder + "/" + name, problem)) {
      entries.push_back(std::move(*entry));
    } else if (unreadable != nullptr) {
      unreadable->push_back(problem);
    }
  }
  ::closedir(dir);
  std::sort(entries.begin(), entries.end(), [](const OutboxEntry& a, const OutboxEntry& b) {
    return a.queued != b.queued ? a.queued < b.queued : a.id < b.id;
  });
  return entries;
}

bool Update(const OutboxEntry& entry, std::string& problem) {
  return WriteAtomically(
      entry.path,
      [&](int fd, std::string& why) {
        const std::string header = entry.Header();
        if (!WriteAll(fd, header.data(), header.size())) {
          why = "cannot write " + entry.path + ": " + ErrorText(errno);
          return false;
        }
        return CopyBody(entry.path, entry.bodyOffset, fd, why);
      },
      problem);
}

bool MarkSent(const OutboxEntry& entry) {
  const std::string sent =
      entry.path.substr(0, entry.path.size() - std::string(kMessage).size()) + kSent;
  if (::rename(entry.path.c_str(), sent.c_str()) != 0) return false;
  // Durable before the next message goes: even a power cut then repeats
  // no more than the one message between its 250 and this mark.
  SyncFolder(FolderOf(entry.path));
  ::unlink(sent.c_str());
  return true;
}

void Sweep(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> gone;
  // A temporary file may be a queueing run's, still being written: only
  // one left alone for an hour is a crash's.
  const std::time_t stale = std::time(nullptr) - 3600;
  // Each listing has its own stream: readdir is safe for it.
  while (const dirent* item = ::readdir(dir)) {  // NOLINT(concurrency-mt-unsafe)
    const std::string name = item->d_name;
    const std::string path = folder + "/" + name;
    struct stat info {};
    if (EndsWith(name, kSent) || (name.rfind(kTemporary, 0) == 0 &&
                                  ::stat(path.c_str(), &info) == 0 && info.st_mtime < stale)) {
      gone.push_back(path);
    }
  }
  ::closedir(dir);
  for (const auto& path : gone) ::unlink(path.c_str());
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

bool MoveToFailed(OutboxEntry entry, const std::string& reason, std::string& problem) {
  const std::string folder = FolderOf(entry.path) + "/" + kFailedFolder;
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    problem = "cannot make " + folder + ": " + ErrorText(errno);
    return false;
  }
  // Moved first, which needs no room on the disk: out of the queue it is
  // never sent again. The reason is noted after, when it can be.
  const std::string from = entry.path;
  entry.path = folder + "/" + from.substr(from.rfind('/') + 1);
  if (::rename(from.c_str(), entry.path.c_str()) != 0) {
    problem = "cannot move " + from + " to " + folder + ": " + ErrorText(errno);
    return false;
  }
  SyncFolder(FolderOf(from));
  entry.lastError = reason;
  std::string ignored;
  (void)Update(entry, ignored);
  return true;
}

std::chrono::seconds Backoff(int attempts, std::mt19937& random) {
  constexpr int kFirst = 60;
  constexpr int kLongest = 3600;
  const int shift = std::clamp(attempts - 1, 0, 6);
  const int base = std::min(kFirst << shift, kLongest);
  std::uniform_real_distribution<double> spread(0.8, 1.2);
  return std::chrono::seconds(static_cast<long>(base * spread(random)));
}

FlushLock::FlushLock(const std::string& folder) {
  const std::string path = folder + "/.lock";
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    problem_ = "the outbox's lock " + path + " cannot be opened: " + ErrorText(errno);
    return;
  }
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK)
      problem_ = "the outbox's lock " + path + " cannot be taken: " + ErrorText(errno);
    ::close(fd_);
    fd_ = -1;
  }
}

FlushLock::~FlushLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace Outbox
