#pragma once
// Addresses as the caller gives them: "a@b" or "Name <a@b>", and the
// recipient list, split at ",".
#include <string>
#include <string_view>
#include <vector>

namespace MailAddress {

struct Parsed {
  std::string display;  // may be empty
  std::string address;  // what MAIL FROM / RCPT TO carry
};

Parsed Parse(std::string_view text);

// The form for a From or To header, display name encoded when not ASCII.
std::string HeaderForm(const Parsed& parsed);

// Entries trimmed of spaces; empty entries skipped.
std::vector<std::string> SplitList(std::string_view list);

// The part after the last "@", for the Message-ID.
std::string Domain(std::string_view address);

}  // namespace MailAddress
