#include "SendmailRun.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "ArgumentText.h"
#include "ConsoleRun.h"
#include "LocalNames.h"
#include "MailAddress.h"
#include "MailJobAssembly.h"
#include "MessageStream.h"
#include "OutboxFlush.h"
#include "Places.h"
#include "RunLog.h"
#include "RunOutcome.h"
#include "SendmailArgs.h"
#include "SettingsFile.h"
#include "SettingsKeys.h"
#include "SubmittedMessage.h"
#include "SwitchParser.h"

namespace SendmailRun {
namespace {

int Refuse(const std::string& text, int status) {
  std::cerr << RunLog::OneLine("Tarnwick: " + text) << "\n";
  return status;
}

std::string LoginName() {
  const passwd* user = ::getpwuid(::geteuid());  // NOLINT(concurrency-mt-unsafe): one thread
  return user != nullptr ? user->pw_name : "";
}

// The envelope sender: -f (a bare name qualified with LocalDomain), else
// the From setting, else the caller's login name at LocalDomain.
std::string Sender(const SendmailArgs& args, const SettingsKeys::Values& settings,
                   const std::string& localDomain, std::string& problem) {
  std::string from = args.envelopeFrom;
  if (!from.empty() && from.find('@') == std::string::npos) {
    from = localDomain.empty() ? std::string() : from + "@" + localDomain;
  }
  if (from.empty()) {
    const auto parsed = MailAddress::Check(SettingsKeys::ValueOrDefault(settings, "From"));
    if (const auto* address = std::get_if<MailAddress::Parsed>(&parsed)) from = address->address;
  }
  if (from.empty() && !localDomain.empty() && !LoginName().empty()) {
    from = LoginName() + "@" + localDomain;
  }
  if (from.empty()) {
    problem = "no sender address: set From (or LocalDomain) in " + SettingsFile::ForReading() +
              ", or give one with -f; nothing was sent.";
  }
  return from;
}

std::string CommandLineOf(int argc, char** argv) {
  std::string text;
  for (int i = 0; i < argc; ++i) text += (i == 0 ? "" : " ") + std::string(argv[i]);
  return text;
}

int Deliver(const SendmailArgs& args, const std::string& commandLine) {
  const std::string ini = SettingsFile::ForReading();
  if (const std::string problem = SettingsFile::ReadProblem(ini); !problem.empty())
    return Refuse(problem + " Nothing was sent.", RunOutcome::kExitBadInput);
  const SettingsKeys::Values settings = SettingsKeys::ReadAll(ini);
  const std::string localDomain =
      SwitchParser::TrimSpaces(SettingsKeys::ValueOrDefault(settings, "LocalDomain"));
  std::string problem;
  const std::string from = Sender(args, settings, localDomain, problem);
  if (!problem.empty()) return Refuse(problem, RunOutcome::kExitBadInput);

  // The spool is read again through /proc by its descriptor.
  const int spool = OpenScratchFile(problem);
  if (spool < 0) return Refuse(problem + "; nothing was sent.", RunOutcome::kExitTemporary);
  SubmittedMessage::Options options;
  options.dotEnds = args.dotEnds;
  options.from = from;
  options.fullName = args.fullName;
  options.messageIdDomain = MailAddress::Domain(from);
  const SubmittedMessage::Result read = SubmittedMessage::Read(std::cin, spool, options);
  if (!read.problem.empty()) {
    return Refuse(read.problem + "; nothing was sent.",
                  read.badInput ? RunOutcome::kExitBadInput : RunOutcome::kExitTemporary);
  }

  std::vector<std::string> recipients = args.recipients;
  if (args.recipientsFromHeaders) {
    recipients.insert(recipients.end(), read.toCcBcc.begin(), read.toCcBcc.end());
  }
  const LocalNames::Mapped mapped =
      LocalNames::Resolve(recipients, Places::FindAdminFile("aliases"), localDomain);
  if (!mapped.problem.empty())
    return Refuse(mapped.problem + "; nothing was sent.", RunOutcome::kExitBadInput);
  // The envelope takes the address alone: "Jane <j@x>" from an alias or an
  // argument is j@x.
  std::vector<std::string> addresses;
  for (const auto& to : mapped.addresses) {
    const auto checked = MailAddress::Check(to);
    if (const auto* problem = std::get_if<std::string>(&checked))
      return Refuse("recipient \"" + to + "\": " + *problem + " Nothing was sent.",
                    RunOutcome::kExitBadInput);
    const std::string& address = std::get<MailAddress::Parsed>(checked).address;
    if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
      addresses.push_back(address);
  }
  if (addresses.empty()) {
    return Refuse(args.recipientsFromHeaders
                      ? "the message names no recipient in To, Cc or Bcc; nothing was sent."
                      : "no recipient given (name them, or use -t); nothing was sent.",
                  RunOutcome::kExitBadInput);
  }

  ReadyMessage ready;
  ready.file = {"/proc/self/fd/" + std::to_string(spool), read.messageId, read.eightBit};
  ready.from = from;
  ready.recipients = addresses;
  return RunDeliveryConsole(
      {[ready](const std::string& iniPath) { return AssembleReadyMessage(iniPath, ready); },
       commandLine});
}

}  // namespace

int Main(int argc, char** argv) {
  const std::vector<std::string> rest(argv + 1, argv + argc);
  const SendmailArgs args = SendmailArgs::Parse(argc > 0 ? argv[0] : "sendmail", rest);
  // Our own switches are not read from a sendmail command line: "-t" means
  // something else there.
  ArgumentText::Set("");
  for (const auto& warning : args.warnings) {
    std::cerr << RunLog::OneLine("Tarnwick: warning: " + warning) << "\n";
  }
  if (!args.problem.empty()) return Refuse(args.problem + ".", RunOutcome::kExitBadInput);
  switch (args.mode) {
    case SendmailArgs::Mode::ListQueue:
      return OutboxFlush::List();
    case SendmailArgs::Mode::FlushQueue:
      return OutboxFlush::Run();
    case SendmailArgs::Mode::NewAliases:
      return RunOutcome::kExitSent;  // the aliases file is read as it stands on every send
    case SendmailArgs::Mode::Deliver:
      break;
  }
  return Deliver(args, CommandLineOf(argc, argv));
}

}  // namespace SendmailRun
