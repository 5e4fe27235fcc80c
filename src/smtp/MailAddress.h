#pragma once
// Addresses as the caller gives them: "a@b" or "Name <a@b>", and the
// recipient list, split at ",". One strict check serves the envelope and the
// headers alike, before anything connects.
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace MailAddress {

struct Parsed {
  std::string display;         // may be empty
  std::string address;         // as given between the brackets
  std::string envelope;        // what MAIL FROM / RCPT TO carry: the domain as punycode
  bool utf8LocalPart = false;  // needs the server's SMTPUTF8
};

// The parsed address, or why it is refused (for a message that names it):
// a control byte, text after ">", an unbalanced quote or bracket, a blank
// inside the address, a local part over 64 or a domain over 255 bytes, a
// local part that is not UTF-8, a domain that is no valid name.
std::variant<Parsed, std::string> Check(std::string_view text);

// The form for a From or To header, display name encoded when needed.
std::string HeaderForm(const Parsed& parsed);

// Entries trimmed of spaces; empty entries skipped. Commas inside quotes
// or angle brackets do not split.
std::vector<std::string> SplitList(std::string_view list);

// The part after the last "@", for the Message-ID.
std::string Domain(std::string_view address);

}  // namespace MailAddress
