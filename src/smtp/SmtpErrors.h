#pragma once
// Every number SmtpClient reports with ErrorSMTP, and what each means to a
// script: the exit status a run ends with when that error is its outcome.
// A server's refusal carries the server's own reply code (421, 535, 550 ...).
#include <string_view>

namespace SmtpErrors {

// Exit statuses, as msmtp and sysexits use them.
inline constexpr int kExitSent = 0;
inline constexpr int kExitPermanent = 1;   // not sent; sending again will not help
inline constexpr int kExitBadInput = 2;    // not sent; the run could not start
inline constexpr int kExitPartial = 3;     // sent, but something asked for was left out
inline constexpr int kExitTemporary = 75;  // not sent; try again later (EX_TEMPFAIL)

// Transport, with the numbers callers already know from Windows sockets.
inline constexpr int kTimedOut = 10060;  // no byte within TimeoutMs; callers retry
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

// The exit status for an outcome with this number: server replies by their
// class (4xx temporary, 5xx permanent), ours from the table.
int ExitStatus(int number);

// A few words on what the number means, for the manual and for tests.
std::string_view Meaning(int number);

}  // namespace SmtpErrors
