#include "TokenStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <system_error>

#include "Keyring.h"
#include "Places.h"

namespace {

constexpr const char* kFileName = "Tarnwick.tokens";

std::string ErrorText() { return std::error_code(errno, std::generic_category()).message(); }

nlohmann::json ToJson(const TokenSet& t) {
  return {{"refresh_token", t.refreshToken},
          {"access_token", t.accessToken},
          {"expires_at", t.expiresAt},
          {"scope", t.scope}};
}

std::optional<TokenSet> FromJson(const nlohmann::json& j) {
  if (!j.is_object()) return std::nullopt;
  TokenSet t;
  t.refreshToken = j.value("refresh_token", "");
  t.accessToken = j.value("access_token", "");
  t.scope = j.value("scope", "");
  t.expiresAt = j.value("expires_at", std::int64_t{0});
  return t;
}

// The whole file as JSON: {"accounts": {ACCOUNT: {...}}}. A missing file
// reads as empty; a damaged or unsafe one is a problem: a send stops on it,
// and only a new sign-in replaces it.
bool ReadFile(const std::string& path, nlohmann::json& whole, std::string& problem, bool& unsafe) {
  whole = nlohmann::json::object();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    problem = "The token file " + path + " cannot be read: " + ErrorText() + ".";
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || (info.st_mode & 077U) != 0) {
    ::close(fd);
    unsafe = true;
    problem = "The token file " + path +
              " may be read by others; it is not used (chmod 600 it, or sign in again).";
    return false;
  }
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  ::close(fd);
  whole = nlohmann::json::parse(text, nullptr, false);
  ::explicit_bzero(text.data(), text.size());
  if (whole.is_discarded() || !whole.is_object()) {
    problem = "The token file " + path + " is damaged; sign in again with tarnwick -login.";
    return false;
  }
  return true;
}

bool WriteFile(const std::string& path, const nlohmann::json& whole, std::string& problem) {
  const std::string temporary = path + ".new";
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    problem = "The token file " + temporary + " cannot be written: " + ErrorText() + ".";
    return false;
  }
  std::string text = whole.dump(1) + "\n";
  bool written = ::fchmod(fd, 0600) == 0;
  for (std::size_t done = 0; written && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) done += static_cast<std::size_t>(n);
  }
  ::explicit_bzero(text.data(), text.size());
  written = written && ::fsync(fd) == 0;
  written = ::close(fd) == 0 && written;
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    problem = "The token file " + path + " cannot be written: " + ErrorText() + ".";
    ::unlink(temporary.c_str());
    return false;
  }
  // The rename itself must survive a crash too.
  const std::string folder = path.substr(0, path.rfind('/') + 1);
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace

TokenStore::TokenStore(std::string account, std::string keyringHost)
    : account_(std::move(account)), keyringHost_(std::move(keyringHost)) {}

TokenStore::~TokenStore() {
  if (lockFd_ >= 0) ::close(lockFd_);  // releases the lock
}

std::string TokenStore::FilePath() {
  std::string ignored;
  return Places::ForWriting(kFileName, ignored);
}

bool TokenStore::Lock(std::string& problem) {
  if (lockFd_ >= 0) return true;
  std::string why;
  const std::string path = Places::ForWriting(std::string(kFileName) + ".lock", why);
  if (path.empty()) {
    problem = why;
    return false;
  }
  lockFd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lockFd_ < 0) {
    problem = "The token lock " + path + " cannot be opened: " + ErrorText() + ".";
    return false;
  }
  while (::flock(lockFd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      problem = "The token lock " + path + " cannot be taken: " + ErrorText() + ".";
      return false;
    }
  }
  return true;
}

std::optional<TokenSet> TokenStore::Load(std::string& problem, bool& unsafe) {
  unsafe = false;
  if (!keyringHost_.empty()) {
    const Keyring::Result found = Keyring::Lookup(keyringHost_, account_);
    if (found.status == Keyring::Status::NotFound) return std::nullopt;
    if (found.status != Keyring::Status::Found) {
      problem = found.message;
      return std::nullopt;
    }
    return FromJson(nlohmann::json::parse(found.secret, nullptr, false));
  }
  nlohmann::json whole;
  if (!ReadFile(FilePath(), whole, problem, unsafe)) return std::nullopt;
  if (!whole.contains("accounts") || !whole["accounts"].contains(account_)) return std::nullopt;
  return FromJson(whole["accounts"][account_]);
}

bool TokenStore::Save(const TokenSet& tokens, std::string& problem) {
  if (!keyringHost_.empty()) {
    const Keyring::Result stored = Keyring::Store(keyringHost_, account_, ToJson(tokens).dump());
    if (stored.status == Keyring::Status::Found) return true;
    problem = stored.message;
    return false;
  }
  const std::string path = FilePath();
  nlohmann::json whole;
  bool unsafe = false;
  std::string ignored;
  // Other accounts' tokens are kept; a damaged file is replaced.
  if (!ReadFile(path, whole, ignored, unsafe) || !whole.is_object())
    whole = nlohmann::json::object();
  whole["accounts"][account_] = ToJson(tokens);
  return WriteFile(path, whole, problem);
}
