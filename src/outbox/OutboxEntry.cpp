#include "OutboxEntry.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <system_error>

namespace {

constexpr const char* kMagic = "Tarnwick-Outbox: 1";
// A value is one line: a line break or control byte in an error text must
// not start a header of its own.
std::string OneLine(const std::string& value) {
  std::string line = value;
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return line;
}

template <typename Number>
bool ToNumber(const std::string& text, Number& number) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string OutboxEntry::Header() const {
  std::string h = std::string(kMagic) + "\n";
  auto put = [&h](const char* name, const std::string& value) {
    h += std::string(name) + ": " + OneLine(value) + "\n";
  };
  put("Id", id);
  put("Settings", settings);
  put("Host", host);
  put("Port", std::to_string(port));
  put("Server-Label", serverLabel);
  put("Ehlo", ehloName);
  put("Implicit-TLS", implicitTls ? "1" : "0");
  put("Require-TLS", requireTls ? "1" : "0");
  put("User", user);
  put("Timeout-Ms", std::to_string(timeoutMs));
  put("CA-File", caFile);
  put("Mail-From", mailFrom);
  for (const auto& to : recipients) put("Rcpt", to);
  put("SMTPUTF8", needsSmtpUtf8 ? "1" : "0");
  put("DSN-Notify", dsnNotify);
  put("DSN-Return", dsnReturn);
  put("Message-ID", messageId);
  put("Size", std::to_string(size));
  put("Queued", std::to_string(queued));
  put("Attempts", std::to_string(attempts));
  put("Next-Try", std::to_string(nextTry));
  put("Last-Error", lastError);
  return h + "\n";
}

std::optional<OutboxEntry> OutboxEntry::Parse(const std::string& header) {
  if (header.rfind(std::string(kMagic) + "\n", 0) != 0) return std::nullopt;
  OutboxEntry entry;
  std::size_t at = header.find('\n') + 1;
  bool ended = false;
  bool numbersOk = true;
  while (at < header.size()) {
    const std::size_t end = header.find('\n', at);
    if (end == std::string::npos) break;
    const std::string line = header.substr(at, end - at);
    at = end + 1;
    if (line.empty()) {
      ended = true;
      break;
    }
    const std::size_t colon = line.find(": ");
    const std::string name = line.substr(0, colon);
    const std::string value = colon == std::string::npos ? "" : line.substr(colon + 2);
    if (name == "Id")
      entry.id = value;
    else if (name == "Settings")
      entry.settings = value;
    else if (name == "Host")
      entry.host = value;
    else if (name == "Port")
      numbersOk &= ToNumber(value, entry.port);
    else if (name == "Server-Label")
      entry.serverLabel = value;
    else if (name == "Ehlo")
      entry.ehloName = value;
    else if (name == "Implicit-TLS")
      entry.implicitTls = value == "1";
    else if (name == "Require-TLS")
      entry.requireTls = value == "1";
    else if (name == "User")
      entry.user = value;
    else if (name == "Timeout-Ms")
      numbersOk &= ToNumber(value, entry.timeoutMs);
    else if (name == "CA-File")
      entry.caFile = value;
    else if (name == "Mail-From")
      entry.mailFrom = value;
    else if (name == "Rcpt")
      entry.recipients.push_back(value);
    else if (name == "SMTPUTF8")
      entry.needsSmtpUtf8 = value == "1";
    else if (name == "DSN-Notify")
      entry.dsnNotify = value;
    else if (name == "DSN-Return")
      entry.dsnReturn = value;
    else if (name == "Size")
      numbersOk &= ToNumber(value, entry.size);
    else if (name == "Message-ID")
      entry.messageId = value;
    else if (name == "Queued")
      numbersOk &= ToNumber(value, entry.queued);
    else if (name == "Attempts")
      numbersOk &= ToNumber(value, entry.attempts);
    else if (name == "Next-Try")
      numbersOk &= ToNumber(value, entry.nextTry);
    else if (name == "Last-Error")
      entry.lastError = value;
  }
  if (!ended || !numbersOk || entry.id.empty() || entry.host.empty() || entry.recipients.empty())
    return std::nullopt;
  entry.bodyOffset = at;
  return entry;
}

std::optional<OutboxEntry> OutboxEntry::Read(const std::string& path, std::string& problem) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    problem =
        path + " cannot be read: " + std::error_code(errno, std::generic_category()).message();
    return std::nullopt;
  }
  std::string header;
  char buffer[8192];
  // Up to the blank line that ends the header, and no further.
  while (header.size() < kLongestHeader && header.find("\n\n") == std::string::npos) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    header.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  const std::size_t end = header.find("\n\n");
  if (end != std::string::npos) header.resize(end + 2);
  auto entry = Parse(header);
  if (!entry) {
    problem = path + " is not a message Tarnwick queued, or is damaged";
    return std::nullopt;
  }
  entry->path = path;
  return entry;
}
