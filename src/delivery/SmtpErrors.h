#pragma once
// The numbers SmtpClient reports with ErrorSMTP. A server's refusal carries
// the server's own reply code (421, 535, 550 ...); the rest are these.
namespace SmtpErrors {

// Transport, with the numbers callers already know from Windows sockets.
inline constexpr int kTimedOut = 10060;  // no answer within TimeoutMs; callers retry
inline constexpr int kConnectionRefused = 10061;
inline constexpr int kHostNotFound = 11001;
inline constexpr int kConnectionLost = 10054;

// Not final: one recipient refused while others were accepted.
inline constexpr int kRecipientRefused = 12250;

// TLS and authentication.
inline constexpr int kTlsRequired = 12101;  // a password would go out unencrypted
inline constexpr int kCertificateRejected = 12102;
inline constexpr int kTlsFailed = 12103;       // handshake or other TLS failure
inline constexpr int kAuthNotOffered = 12110;  // user name given, server offers no AUTH

// Refused before connecting.
inline constexpr int kInvalidMessage = 12120;  // CR/LF in an address or header, no recipient
inline constexpr int kAttachmentUnreadable = 12121;
inline constexpr int kInvalidServer = 12122;  // not a host name, address or port

inline constexpr int kBusy = 12130;          // Send while a send is running
inline constexpr int kOtherFailure = 12199;  // any other libcurl failure; text says which

}  // namespace SmtpErrors
