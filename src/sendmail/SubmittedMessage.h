#pragma once
// A message handed to the sendmail interface on standard input, made fit to
// send while it streams to a spool file: every line ends in CR LF, a lone
// "." ends it unless told otherwise, Bcc fields are taken out (their
// addresses kept for -t), and Date, Message-ID and From are added when the
// caller left them out, as large providers refuse mail without them; a From
// of bare local names (cron's "root (Cron Daemon)") gives way to the sender.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace SubmittedMessage {

struct Options {
  bool dotEnds = true;          // a line holding only "." ends the input
  std::string from;             // for a From field when there is none ("a@b")
  std::string fullName;         // its display name, when given
  std::string messageIdDomain;  // for a Message-ID when there is none
};

struct Result {
  std::uint64_t size = 0;            // bytes written
  std::vector<std::string> toCcBcc;  // the addresses of To, Cc and Bcc, in order
  bool addedDate = false, addedMessageId = false, addedFrom = false;
  std::string messageId;  // the one it carries
  bool eightBit = false;  // a byte above 127 somewhere
  std::string problem;    // not empty: it could not be read or written
  bool badInput = false;  // ... because of the message itself, not the spool
};

// Reads all of `in` and writes the message to `out` (a file descriptor).
// Memory stays flat: only the header and one line at a time are held.
Result Read(std::istream& in, int out, const Options& options);

// The addresses of an address-list field's value: display names, comments
// and group names dropped ("Team: a@x, B <b@x>;" gives a@x and b@x).
std::vector<std::string> Addresses(std::string_view value);

}  // namespace SubmittedMessage
