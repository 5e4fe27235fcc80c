#include "WindowSystem.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace WindowSystem {
namespace {

constexpr int kProbeMs = 1000;

std::optional<std::string> Env(const char* name) {
  const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): read at start-up
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

// A connect that gives up after the probe time, so an unreachable forwarded
// display cannot hold a cron run.
bool ConnectWithin(int fd, const sockaddr* address, socklen_t length) {
  if (::connect(fd, address, length) == 0) return true;
  if (errno != EINPROGRESS) return false;
  pollfd waiting{fd, POLLOUT, 0};
  if (::poll(&waiting, 1, kProbeMs) != 1) return false;
  int error = 0;
  socklen_t size = sizeof error;
  return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

bool ConnectUnix(const std::string& path, bool abstract) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t offset = abstract ? 1 : 0;
  if (path.size() + offset >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const auto length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
  const bool ok = ConnectWithin(fd, reinterpret_cast<const sockaddr*>(&address), length);
  ::close(fd);
  return ok;
}

bool ConnectTcp(const std::string& host, const std::string& port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return false;
  bool ok = false;
  for (const addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) continue;
    ok = ConnectWithin(fd, a->ai_addr, a->ai_addrlen);
    ::close(fd);
  }
  ::freeaddrinfo(found);
  return ok;
}

bool X11Answers(const std::string& display) {
  const std::string socket = X11Socket(display);
  if (socket.rfind("unix:", 0) == 0) {
    const std::string path = socket.substr(5);
    // Linux X servers listen on the abstract name as well as on the file.
    return ConnectUnix(path, false) || ConnectUnix(path, true);
  }
  if (socket.rfind("tcp:", 0) == 0) {
    const std::string rest = socket.substr(4);
    const auto colon = rest.rfind(':');
    return ConnectTcp(rest.substr(0, colon), rest.substr(colon + 1));
  }
  return false;
}

bool WaylandAnswers(const std::string& name) {
  if (name.front() == '/') return ConnectUnix(name, false);
  const auto runtime = Env("XDG_RUNTIME_DIR");
  return runtime && ConnectUnix(*runtime + "/" + name, false);
}

}  // namespace

bool Usable() {
  if (Env("QT_QPA_PLATFORM")) return true;
  if (const auto wayland = Env("WAYLAND_DISPLAY"); wayland && WaylandAnswers(*wayland)) return true;
  const auto display = Env("DISPLAY");
  return display && X11Answers(*display);
}

std::string X11Socket(const std::string& display) {
  // [host]:number[.screen]; "unix" as host, or none, means the local socket.
  const auto colon = display.rfind(':');
  if (colon == std::string::npos || colon + 1 >= display.size()) return {};
  std::string host = display.substr(0, colon);
  std::string number = display.substr(colon + 1);
  if (const auto dot = number.find('.'); dot != std::string::npos) number.resize(dot);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos ||
      number.size() > 4) {
    return {};
  }
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  if (host.empty() || host == "unix") return "unix:/tmp/.X11-unix/X" + number;
  return "tcp:" + host + ":" + std::to_string(6000 + std::stoi(number));
}

}  // namespace WindowSystem
