#pragma once
// The command line of a program started as sendmail (or mailq, newaliases):
// the options cron, PHP's mail(), mail(1) and daemons pass, read the way
// sendmail reads them. Unknown options are warned about and skipped, as
// callers expect; an envelope sender that could smuggle in another option
// or a header line is refused.
#include <string>
#include <string_view>
#include <vector>

struct SendmailArgs {
  enum class Mode { Deliver, ListQueue, FlushQueue, NewAliases };
  Mode mode = Mode::Deliver;
  bool recipientsFromHeaders = false;  // -t
  bool dotEnds = true;                 // a lone "." ends the input, unless -i / -oi
  std::string envelopeFrom;            // -f / -r
  std::string fullName;                // -F
  std::vector<std::string> recipients;
  std::vector<std::string> warnings;  // said on standard error; the run goes on
  std::string problem;                // refused: nothing is read or sent (exit 2)

  // `program` is argv[0]; its base name picks mailq and newaliases.
  static SendmailArgs Parse(std::string_view program, const std::vector<std::string>& args);
};

// Whether a program started under this name is the sendmail interface.
bool IsSendmailName(std::string_view program);
