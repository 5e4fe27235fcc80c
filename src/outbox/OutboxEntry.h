#pragma once
// One queued message as its file holds it: a header of "Name: value" lines
// (where to send it, the envelope, its history), a blank line, then the
// message exactly as it goes on the wire. No password or token is ever in
// it: those come from the settings file it names when it is sent.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct OutboxEntry {
  // A thousand recipients fit many times over; a damaged file cannot make
  // the reader swallow it whole, and a longer header is never written.
  static constexpr std::size_t kLongestHeader = std::size_t{4} << 20U;

  std::string id;
  std::string path;              // the file, once read or written
  std::uint64_t bodyOffset = 0;  // where the message starts in it
  std::uint64_t size = 0;        // the message's length: a cut file is not sent

  std::string settings;  // the settings file it came from
  std::string host;
  int port = 25;
  std::string serverLabel;
  std::string ehloName;
  bool implicitTls = false;
  bool requireTls = false;
  std::string user;
  long timeoutMs = 0;
  std::string caFile;

  std::string mailFrom;
  std::vector<std::string> recipients;
  bool needsSmtpUtf8 = false;
  bool eightBit = false;  // 8-bit text, sent as such where the server takes it
  std::string dsnNotify, dsnReturn;
  std::string messageId;

  std::int64_t queued = 0;  // seconds since the epoch
  int attempts = 0;
  std::int64_t nextTry = 0;
  std::string lastError;

  // The header, ending with its blank line.
  std::string Header() const;
  // The entry a file's header describes; nothing when it is not one of ours.
  static std::optional<OutboxEntry> Parse(const std::string& header);
  // Reads the header of `path`; nothing, with `problem` set, when it cannot.
  static std::optional<OutboxEntry> Read(const std::string& path, std::string& problem);
};
