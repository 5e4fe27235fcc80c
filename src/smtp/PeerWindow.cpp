// Apart from Connection.cpp: <linux/tcp.h>, which has the newer TCP_INFO
// fields, cannot share a file with <netinet/tcp.h>.
#include <linux/tcp.h>
#include <sys/socket.h>

#include <cstdint>

#include "Connection.h"

std::uint32_t Connection::PeerWindow() const {
  tcp_info info{};
  socklen_t length = sizeof info;
  if (fd_ < 0 || ::getsockopt(fd_, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return 0;
  // Kernels before 5.4 do not fill it in; then the window never seems to grow.
  if (length < offsetof(tcp_info, tcpi_snd_wnd) + sizeof info.tcpi_snd_wnd) return 0;
  return info.tcpi_snd_wnd;
}
