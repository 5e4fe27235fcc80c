#pragma once
// An SMTP server as typed: "host", "host:port", "[v6]" or "[v6]:port".
#include <optional>
#include <string>
#include <string_view>

namespace ServerAddress {

struct Parsed {
  std::string host;  // without brackets
  int port = 0;      // 0 when the text gave none
  bool ipv6 = false;
};

// Nothing when the text is no host name or address (it would otherwise
// reach the URL that libcurl parses).
std::optional<Parsed> Parse(std::string_view text);

// localhost, 127.0.0.0/8 and ::1.
bool IsLoopback(const Parsed& server);

// "host:port" with brackets around an IPv6 address.
std::string HostPort(const Parsed& server, int port);

}  // namespace ServerAddress
