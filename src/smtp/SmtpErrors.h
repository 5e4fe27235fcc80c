#pragma once
// Every number the engine reports with ErrorSMTP.
// A server's refusal carries the server's own reply code (421, 535, 550 ...).
// What a number means for the run (exit status, retry) is the run's call.
namespace SmtpErrors {

// Transport failures; scripts already test for these numbers.
inline constexpr int kTimedOut = 10060;  // nothing moved within TimeoutMs
inline constexpr int kConnectionRefused = 10061;
inline constexpr int kHostNotFound = 11001;
inline constexpr int kConnectionLost = 10054;  // before the end of the message

// Not final: one recipient refused while others were accepted.
inline constexpr int kRecipientRefused = 12250;

// TLS and the server's capabilities.
inline constexpr int kTlsRequired = 12101;  // a password would go out unencrypted
inline constexpr int kCertificateRejected = 12102;
inline constexpr int kTlsFailed = 12103;           // handshake or other TLS failure
inline constexpr int kAuthNotOffered = 12110;      // user name given, server offers no AUTH
inline constexpr int kSmtpUtf8NotOffered = 12111;  // UTF-8 local part, server lacks SMTPUTF8
inline constexpr int kNoMechanism = 12112;         // no offered AUTH mechanism works here
inline constexpr int kLoginFailed = 12113;         // the SASL exchange failed on our side

// Refused before connecting.
inline constexpr int kInvalidMessage = 12120;        // a bad address or header, no recipient
inline constexpr int kAttachmentUnreadable = 12121;  // also: changed size while sending
inline constexpr int kInvalidServer = 12122;         // not a host name, address or port
inline constexpr int kMessageTooLarge = 12123;       // over the server's SIZE limit

inline constexpr int kBusy = 12130;  // Send while a send is running

// The whole message went out and no reply came: the server may have it, so
// it must not be sent again without a look.
inline constexpr int kNoFinalReply = 12140;

// The server broke the protocol: a reply that is no SMTP, or over the size cap.
inline constexpr int kProtocolError = 12150;

inline constexpr int kOtherFailure = 12199;  // anything else; the text says what

}  // namespace SmtpErrors
