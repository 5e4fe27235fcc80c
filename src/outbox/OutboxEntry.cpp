#include "OutboxEntry.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <system_error>
#include <type_traits>

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

// Every field of the header, in its order, named once for both writing and
// reading: `visit(name, member)`.
template <typename Entry, typename Visit>
void EachField(Entry& e, Visit&& visit) {
  visit("Id", e.id);
  visit("Settings", e.settings);
  visit("Host", e.host);
  visit("Port", e.port);
  visit("Server-Label", e.serverLabel);
  visit("Ehlo", e.ehloName);
  visit("Implicit-TLS", e.implicitTls);
  visit("Require-TLS", e.requireTls);
  visit("User", e.user);
  visit("Timeout-Ms", e.timeoutMs);
  visit("CA-File", e.caFile);
  visit("Mail-From", e.mailFrom);
  visit("Rcpt", e.recipients);
  visit("SMTPUTF8", e.needsSmtpUtf8);
  visit("8BITMIME", e.eightBit);
  visit("DSN-Notify", e.dsnNotify);
  visit("DSN-Return", e.dsnReturn);
  visit("Message-ID", e.messageId);
  visit("Size", e.size);
  visit("Queued", e.queued);
  visit("Attempts", e.attempts);
  visit("Next-Try", e.nextTry);
  visit("Last-Error", e.lastError);
}

std::string Text(const std::string& value) { return value; }
std::string Text(bool value) { return value ? "1" : "0"; }
template <typename Number>
std::string Text(Number value) {
  return std::to_string(value);
}

// Takes a field's text into its member; false for a number that is none.
bool Take(const std::string& text, std::string& member) {
  member = text;
  return true;
}
bool Take(const std::string& text, std::vector<std::string>& member) {
  member.push_back(text);  // a field that repeats, one value a line
  return true;
}
bool Take(const std::string& text, bool& member) {
  member = text == "1";
  return true;
}
template <typename Number>
bool Take(const std::string& text, Number& member) {
  return ToNumber(text, member);
}

}  // namespace

std::string OutboxEntry::Header() const {
  std::string h = std::string(kMagic) + "\n";
  auto put = [&h](const char* name, const std::string& value) {
    h += std::string(name) + ": " + OneLine(value) + "\n";
  };
  EachField(*this, [&put](const char* name, const auto& member) {
    if constexpr (std::is_same_v<std::decay_t<decltype(member)>, std::vector<std::string>>) {
      for (const auto& value : member) put(name, value);
    } else {
      put(name, Text(member));
    }
  });
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
    EachField(entry, [&](const char* field, auto& member) {
      if (name == field) numbersOk = Take(value, member) && numbersOk;
    });
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
