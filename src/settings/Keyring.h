#pragma once
// The desktop keyring (the Secret Service) as the program uses it: the SMTP
// password for a user at a host, looked up, stored or removed. The library
// that speaks to it, and GLib with it, is loaded on the first call only.
#include <string>

namespace Keyring {

enum class Status { Found, NotFound, Unavailable, Failed };

struct Result {
  Status status = Status::Failed;
  std::string secret;   // when Found
  std::string message;  // one line, when not
};

Result Lookup(const std::string& host, const std::string& user);

// Stores `secret` under the same attributes Lookup reads; an empty one
// removes the item.
Result Store(const std::string& host, const std::string& user, const std::string& secret);

// Whether a keyring answers now; a terminal offers it only then.
bool Answers();

// The item's label, and the secret-tool line that makes one by hand.
std::string Label(const std::string& host, const std::string& user);
std::string StoreCommand(const std::string& host, const std::string& user);

}  // namespace Keyring
