#pragma once
// One message, checked and ready for the wire: everything the transfer needs,
// built on the caller's thread from SmtpClient's settings.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

struct OutgoingMail {
  std::string url;          // smtp[s]://host:port/ehlo-name
  std::string serverLabel;  // host:port, for texts
  bool implicitTls = false;
  bool requireTls = false;  // a password goes out: TLS or nothing
  std::string mailFrom;
  std::vector<std::string> recipients;
  std::vector<std::string> headers;  // whole header lines, folded with CR LF SP
  std::string body;                  // CR LF line ends
  std::string bodyType;              // text/plain; charset=...
  std::string bodyEncoder;           // 7bit or quoted-printable
  std::vector<std::string> attachments;
  std::string user;  // empty: no AUTH
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

// Refuses what must never reach a server: CR or LF in an address or header
// value (it would inject commands or headers), no recipient, an unreadable
// attachment, a server text that is no host.
std::variant<OutgoingMail, MailError> BuildOutgoingMail(const MailSettings& settings);
