#include "ServerAddress.h"

#include <arpa/inet.h>

#include <charconv>

#include "MailText.h"

namespace ServerAddress {
namespace {

bool IsHostNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

std::optional<int> ParsePort(std::string_view text) {
  int port = 0;
  const auto* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, port);
  if (ec != std::errc() || ptr != end || port < 1 || port > 65535) return std::nullopt;
  return port;
}

}  // namespace

std::optional<Parsed> Parse(std::string_view text) {
  Parsed server;
  std::string_view rest;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    server.host = std::string(text.substr(1, close - 1));
    in6_addr probe{};
    if (::inet_pton(AF_INET6, server.host.c_str(), &probe) != 1) return std::nullopt;
    server.ipv6 = true;
    rest = text.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return std::nullopt;
  } else {
    const auto colon = text.find(':');
    server.host = std::string(text.substr(0, colon));
    if (colon != std::string_view::npos) rest = text.substr(colon);
    for (char c : server.host) {
      if (!IsHostNameChar(c)) return std::nullopt;
    }
  }
  if (server.host.empty()) return std::nullopt;
  if (!rest.empty()) {
    const auto port = ParsePort(rest.substr(1));
    if (!port) return std::nullopt;
    server.port = *port;
  }
  return server;
}

bool IsLoopback(const Parsed& server) {
  if (server.ipv6) {
    in6_addr address{};
    return ::inet_pton(AF_INET6, server.host.c_str(), &address) == 1 &&
           IN6_IS_ADDR_LOOPBACK(&address);
  }
  if (MailText::SameLetters(server.host, "localhost")) return true;
  in_addr address{};
  return ::inet_pton(AF_INET, server.host.c_str(), &address) == 1 &&
         (ntohl(address.s_addr) >> 24U) == 127U;
}

std::string HostPort(const Parsed& server, int port) {
  const std::string host = server.ipv6 ? "[" + server.host + "]" : server.host;
  return host + ":" + std::to_string(port);
}

}  // namespace ServerAddress
