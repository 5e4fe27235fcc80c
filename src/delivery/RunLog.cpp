#include "RunLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <clocale>
#include <ctime>
#include <iostream>
#include <system_error>

#include "Places.h"

std::vector<std::string> RunLog::SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (auto at = text.find("\r\n"); at != std::string_view::npos; at = text.find("\r\n", start)) {
    lines.emplace_back(text.substr(start, at - start));
    start = at + 2;
  }
  lines.emplace_back(text.substr(start));
  return lines;
}

std::string RunLog::OneLine(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

bool RunLog::Write(const std::vector<std::string>& lines) {
  if (!enabled_) return false;
  const std::string path = Path();
  std::string text;
  for (const auto& line : lines) text += OneLine(line) + "\r\n";
  // Non-blocking: opening a FIFO for writing would wait for a reader.
  struct stat before {};
  const bool special = ::stat(path.c_str(), &before) == 0 && !S_ISREG(before.st_mode);
  const int fd =
      special ? -1
              : ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
  int error = special ? 0 : errno;
  bool ok = fd >= 0;
  if (ok) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      ok = false;
      error = 0;
    }
    for (std::size_t done = 0; ok && done < text.size();) {
      const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      error = errno;
      done += ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ::close(fd) == 0 && ok;
  }
  if (!ok && !failureReported_) {
    failureReported_ = true;
    std::cerr << "Tarnwick: cannot write the run log " << OneLine(path) << ": "
              << (error == 0 ? std::string("it is not a regular file")
                             : std::error_code(error, std::generic_category()).message())
              << "; the delivery goes on without it.\n";
  }
  return ok;
}

std::string RunLog::Stamp() {
  // The user's regional date and time forms (LC_TIME), without touching the
  // process's own locale.
  static const locale_t regional = [] {
    locale_t l = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    return l != nullptr ? l : ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
  }();
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  std::array<char, 128> text{};
  const std::size_t size = ::strftime_l(text.data(), text.size(), "%x %X", &local, regional);
  return std::string(text.data(), size);
}

std::string RunLog::Path() { return Places::LogFile(); }
