#pragma once
// Builds a command-line run's mail job: switches first, then Tarnwick.ini;
// recipient-list, body and attachment names resolved against the program's
// folder. A file that is there but cannot be read, a Port that is no number,
// a stored password that is not hex and a password source that gives none
// stop the run with a message.
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "AccessToken.h"
#include "SettingsKeys.h"

// The run's own waits and retries; ReadDeliveryOptions fills them, taking
// the defaults from the settings table.
struct DeliveryOptions {
  std::int16_t TimeOutSecs = 0;
  std::int16_t TotalAttempts = 0;
  std::int16_t RetryWaitSecs = 0;
};

// The process-wide job of one run, fields named after the settings keys.
struct MailJob {
  std::string From, To, Subject, Message, Attachment, SMTPServer, Port, SMTPUserName, SMTPPassword;
};

// A delivery option from its text: the number the text begins with, rounded
// half to even; the default when that is not above 0 or rounds to 0; at most
// 32767.
std::int16_t ReadDeliveryOption(std::string_view text, std::int16_t fallback);

DeliveryOptions ReadDeliveryOptions(const std::string& iniPath);

struct AssemblyResult {
  MailJob job;
  int port = 0;           // passed to the component only when above 25
  std::string caFile;     // the CAFile setting as a path; empty: the system's store
  std::string dsnNotify;  // DSN requests; checked by the engine
  std::string dsnReturn;
  std::vector<std::string> attachments;  // paths of the files found
  bool attachmentMissing = false;        // a file asked for is not there
  std::vector<std::string> warnings;     // the run goes on; said on standard error and in the log
  bool outbox = false;                   // Outbox=1: a temporary failure is kept for later
  struct Ready {                         // a message already written whole
    std::string path, messageId;
    bool eightBit = false;
  } readyMessage;
  std::string problem;          // not empty: nothing may be sent; says why
  int problemStatus = 2;        // the exit status the problem ends the run with
  std::string logDetail;        // more on the problem, for the log only
  std::string bearerMechanism;  // OAuth2: the password is an access token
  // Outbox=1 and the password or token cannot be had now (exit 75): the job
  // stands without it, to be queued at once; this says why.
  std::string queueBecause;
};

// Steps after the log header: switches, settings, defaults, files. A body
// given as "-m:-" is read from `input` (standard input in the program).
AssemblyResult AssembleMailJob(const std::string& iniPath, std::istream& input);

// A message already written whole (the sendmail interface's spool): its
// envelope as given, the server, login and delivery settings from the
// settings file, and no subject, body or attachment from anywhere.
struct ReadyMessage {
  AssemblyResult::Ready file;
  std::string from;
  std::vector<std::string> recipients;
};
AssemblyResult AssembleReadyMessage(const std::string& iniPath, const ReadyMessage& message);

// The password for a login as `user` at `server` when no -xp gave one: an
// OAuth2 access token when the settings sign in that way (`tokenRefused`:
// the server refused the last one), else where SMTPPasswordFrom says, else
// the enciphered SMTPPassword. A problem comes with the exit status it ends
// a run with.
struct PasswordFetch {
  std::string password;
  std::string bearerMechanism;  // not empty: `password` is a token for this mechanism
  std::string problem;
  std::string detail;  // for the log only: the provider's own error
  int status = 0;
};
PasswordFetch FetchPassword(const std::string& iniPath, const SettingsKeys::Values& settings,
                            const std::string& server, const std::string& user,
                            bool tokenRefused = false);

// The server the settings send through: SMTPServer, else an OAuth2
// provider's own.
std::string SettingsServer(const SettingsKeys::Values& settings);

// Where the OAuth2 tokens of `user` at `server` are kept (the keyring when
// the password would be), and the certificates their endpoint is checked with.
AccessToken::Account TokenAccount(const std::string& iniPath, const SettingsKeys::Values& settings,
                                  const std::string& server, const std::string& user);

// The argument text with every value of the "xp" switch masked, for the log.
std::string MaskedSwitches(std::string_view argumentText);
