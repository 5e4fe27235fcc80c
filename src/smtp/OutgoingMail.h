#pragma once
// One message, checked and ready for the wire: everything the transfer needs,
// built on the caller's thread from SmtpClient's settings.
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "MessageStream.h"

// How to reach the server and log in; one session may carry several messages.
struct SessionSettings {
  std::string host;  // a name or an address, without brackets
  int port = 25;
  std::string serverLabel;  // host:port, for texts
  std::string ehloName;
  bool implicitTls = false;
  bool requireTls = false;  // a password goes out: TLS or nothing
  std::string user;         // empty: no AUTH
  std::string password;
  std::string bearerMechanism;  // "XOAUTH2" or "OAUTHBEARER": `password` is the token
  long timeoutMs = 0;
  std::string caFile;
};

struct OutgoingMail {
  SessionSettings session;
  std::string mailFrom;  // envelope forms: domains as punycode
  std::vector<std::string> recipients;
  bool needsSmtpUtf8 = false;  // a UTF-8 local part in the envelope
  MessageStream message;       // headers, body and attachments, CR LF
  std::string messageId;
  std::string dsnNotify;                  // NOTIFY= for each RCPT, when the server offers DSN
  std::string dsnReturn;                  // RET= on MAIL
  bool eightBit = false;                  // 8-bit text: BODY=8BITMIME, or made 7-bit first
  std::shared_ptr<const OpenFile> ready;  // the message, when it came written whole
  std::uint64_t readyFrom = 0;            // ... starting at this offset in its file
};

// Re-encodes an 8-bit message for a server without 8BITMIME, into a file
// of its own that is gone when closed. Empty, or why it could not.
std::string MakeSevenBit(OutgoingMail& mail);

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
  std::string bearerMechanism;  // "XOAUTH2" or "OAUTHBEARER": `password` is a token
  std::string sender;
  std::string recipients;
  std::string subject;
  std::string body;
  std::vector<std::string> attachments;
  long timeoutMs = 0;
  std::string caFile;
  std::string dsnNotify;
  std::string dsnReturn;
  bool treatAsRemote = false;
  // A message already written whole (the sendmail interface's spool):
  // sent byte for byte instead of one made from subject, body and
  // attachments, under its own Message-ID.
  std::string rawMessagePath;
  std::string rawMessageId;
  bool rawEightBit = false;
};

// Refuses what must never reach a server: a bad or missing address (CR, LF
// or another control byte, text after ">", an unbalanced quote, an
// over-long part), a header value with a line break, no recipient, an
// unreadable attachment, a server text that is no host, DSN values that
// are none.
std::variant<OutgoingMail, MailError> BuildOutgoingMail(const MailSettings& settings);
