#include "MessageStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "MailText.h"

namespace {

// 1152 lines of 76 characters a chunk: big enough that system calls and
// libcurl's calls stay few, small enough to keep memory flat.
constexpr std::size_t kChunkInput = MailText::kBase64LineInput * 1152;

std::string ErrorText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

}  // namespace

int OpenScratchFile(std::string& problem) {
  const char* tmp = std::getenv("TMPDIR");  // NOLINT(concurrency-mt-unsafe): read, never set
  const std::string folder = tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) problem = "no temporary file can be made in " + folder + ": " + ErrorText(errno);
  return fd;
}

std::variant<std::shared_ptr<const OpenFile>, std::string> OpenFile::Open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ErrorText(errno);
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return ErrorText(error);
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return std::string("not a regular file");
  }
  (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return std::shared_ptr<const OpenFile>(
      new OpenFile(path, fd, static_cast<std::uint64_t>(info.st_size)));
}

OpenFile::~OpenFile() { ::close(fd_); }

void MessageStream::AddText(std::string text) {
  size_ += text.size();
  segments_.push_back({std::move(text), nullptr});
}

void MessageStream::AddFile(std::shared_ptr<const OpenFile> file) {
  size_ += MailText::Base64LinesSize(file->Size());
  segments_.push_back({{}, std::move(file)});
}

void MessageStream::AddRawFile(std::shared_ptr<const OpenFile> file, std::uint64_t from) {
  from = std::min(from, file->Size());
  size_ += file->Size() - from;
  segments_.push_back({{}, std::move(file), true, from});
}

void MessageStream::Rewind() {
  segment_ = 0;
  offset_ = 0;
  pending_.clear();
  pendingAt_ = 0;
  problem_.clear();
}

bool MessageStream::CheckEnd(const Segment& segment) {
  const OpenFile& file = *segment.file;
  unsigned char probe = 0;
  const ssize_t extra = ::pread(file.Descriptor(), &probe, 1, static_cast<off_t>(file.Size()));
  if (extra == 0) return true;
  const std::string what = (segment.raw ? "The queued message " : "The attachment ") + file.Path();
  problem_ = extra < 0 ? what + " could not be read: " + ErrorText(errno) + "."
                       : what + " grew while it was being sent (" + std::to_string(file.Size()) +
                             " bytes when it was opened).";
  return false;
}

bool MessageStream::NextRaw(const Segment& segment, char* out, std::size_t room,
                            std::size_t& written) {
  const OpenFile& file = *segment.file;
  written = 0;
  const std::uint64_t left = segment.Length() - offset_;
  if (left == 0) return CheckEnd(segment);
  const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, room));
  for (;;) {
    const ssize_t n =
        ::pread(file.Descriptor(), out, want, static_cast<off_t>(segment.from + offset_));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      problem_ = "The queued message " + file.Path() +
                 (n < 0 ? " could not be read: " + ErrorText(errno) + "."
                        : " shrank while it was being sent.");
      return false;
    }
    written = static_cast<std::size_t>(n);
    offset_ += written;
    return true;
  }
}

bool MessageStream::NextChunk(const Segment& segment, char* out, std::size_t& written) {
  const OpenFile& file = *segment.file;
  written = 0;
  const std::uint64_t left = file.Size() - offset_;
  // The size it had when opened is all it may give.
  if (left == 0) return CheckEnd(segment);
  const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunkInput));
  input_.resize(kChunkInput);
  std::size_t got = 0;
  while (got < want) {
    const ssize_t n = ::pread(file.Descriptor(), input_.data() + got, want - got,
                              static_cast<off_t>(offset_ + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      problem_ = "The attachment " + file.Path() + " could not be read: " + ErrorText(errno) + ".";
      return false;
    }
    if (n == 0) {
      problem_ = "The attachment " + file.Path() + " shrank while it was being sent (" +
                 std::to_string(offset_ + got) + " of " + std::to_string(file.Size()) +
                 " bytes read).";
      return false;
    }
    got += static_cast<std::size_t>(n);
  }
  offset_ += got;
  written = MailText::Base64Lines(input_.data(), got, out);
  return true;
}

std::size_t MessageStream::Read(char* out, std::size_t room) {
  std::size_t filled = 0;
  while (filled < room && problem_.empty()) {
    if (pendingAt_ < pending_.size()) {
      const std::size_t n = std::min(room - filled, pending_.size() - pendingAt_);
      std::memcpy(out + filled, pending_.data() + pendingAt_, n);
      pendingAt_ += n;
      filled += n;
      continue;
    }
    if (segment_ == segments_.size()) break;
    const Segment& segment = segments_[segment_];
    if (segment.raw) {
      std::size_t written = 0;
      if (!NextRaw(segment, out + filled, room - filled, written)) break;
      filled += written;
      if (written > 0) continue;
    } else if (!segment.file) {
      const std::size_t n = std::min<std::size_t>(
          room - filled, segment.text.size() - static_cast<std::size_t>(offset_));
      std::copy_n(segment.text.begin() + static_cast<std::ptrdiff_t>(offset_), n, out + filled);
      offset_ += n;
      filled += n;
    } else {
      // Straight into libcurl's buffer when a whole chunk fits, else staged.
      const std::size_t chunkOut = MailText::Base64LinesSize(kChunkInput);
      const bool direct = room - filled >= chunkOut;
      if (!direct) pending_.resize(chunkOut);
      std::size_t written = 0;
      if (!NextChunk(segment, direct ? out + filled : pending_.data(), written)) break;
      if (direct) {
        filled += written;
      } else {
        pending_.resize(written);
        pendingAt_ = 0;
      }
      if (written > 0) continue;
    }
    if (offset_ == segment.Length() && pendingAt_ == pending_.size()) {
      ++segment_;
      offset_ = 0;
    }
  }
  return problem_.empty() ? filled : 0;
}
