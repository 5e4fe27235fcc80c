#pragma once
// One message, checked and ready for the wire: everything the transfer needs,
// built on the caller's thread from SmtpClient's settings.
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "MessageStream.h"

struct OutgoingMail {
  std::string url;          // smtp[s]://host:port/ehlo-name
  std::string serverLabel;  // host:port, for texts
  bool implicitTls = false;
  bool requireTls = false;  // a password goes out: TLS or nothing
  std::string mailFrom;     // envelope forms: domains as punycode
  std::vector<std::string> recipients;
  bool needsSmtpUtf8 = false;  // a UTF-8 local part in the envelope
  MessageStream message;       // headers, body and attachments, CR LF
  std::string user;            // empty: no AUTH
  std::string password;
  long timeoutMs = 0;
  std::string caFile;
  std::string messageId;
};

struct MailError {
  std::int16_t number = 0;
  std::string description;
};

struct MailSettings {
  std::string serverHost;
  std::string serverName;
  int serverPort = 0;
  int authMode = 0;
  std::string user;
  std::string password;
  std::string sender;
  std::string recipients;
  std::string subject;
  std::string body;
  std::vector<std::string> attachments;
  long timeoutMs = 0;
  std::string caFile;
  bool treatAsRemote = false;
};

// Refuses what must never reach a server: a bad or missing address (CR, LF
// or another control byte, text after ">", an unbalanced quote, an
// over-long part), a header value with a line break, no recipient, an
// unreadable attachment, a server text that is no host.
std::variant<OutgoingMail, MailError> BuildOutgoingMail(const MailSettings& settings);
