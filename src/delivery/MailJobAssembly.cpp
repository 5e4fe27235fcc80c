#include "MailJobAssembly.h"

#include <cmath>
#include <cstdlib>
#include <istream>

#include "AccessToken.h"
#include "ArgumentText.h"
#include "IniFile.h"
#include "JobFiles.h"
#include "OAuthConfig.h"
#include "Places.h"
#include "RunOutcome.h"
#include "SecretSource.h"
#include "SettingsFile.h"
#include "SettingsKeys.h"
#include "StoredPassword.h"
#include "SwitchParser.h"
#include "Switches.h"

namespace {

// The number a text begins with: leading blanks, a sign, digits, a
// fraction, an exponent; whatever follows is ignored. 0 when there is none.
double LeadingNumber(std::string_view text) {
  std::size_t i = text.find_first_not_of(" \t");
  if (i == std::string_view::npos) return 0;
  const std::size_t start = i;
  auto digits = [&] {
    const std::size_t from = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i > from;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  bool any = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    any = digits() || any;
  }
  if (!any) return 0;
  std::size_t end = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits()) end = i;
  }
  return std::strtod(std::string(text.substr(start, end - start)).c_str(), nullptr);
}

std::optional<int> ParsePort(const std::string& text) {
  const std::string t = SwitchParser::TrimSpaces(text);
  if (t.empty()) return 0;
  int port = 0;
  for (char c : t) {
    if (c < '0' || c > '9' || port > 65535) return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port > 65535) return std::nullopt;
  return port;
}

// The job's field for a settings key.
std::string* FieldFor(MailJob& job, std::string_view key) {
  const std::pair<std::string_view, std::string*> fields[] = {{"From", &job.From},
                                                              {"To", &job.To},
                                                              {"Subject", &job.Subject},
                                                              {"Message", &job.Message},
                                                              {"Attachment", &job.Attachment},
                                                              {"SMTPServer", &job.SMTPServer},
                                                              {"Port", &job.Port},
                                                              {"SMTPUserName", &job.SMTPUserName},
                                                              {"SMTPPassword", &job.SMTPPassword}};
  for (const auto& [name, field] : fields) {
    if (name == SettingsKeys::Get(key).name) return field;
  }
  return nullptr;
}

// An OAuth2 provider's server when neither -x nor the settings name one.
void ProviderServer(const SettingsKeys::Values& settings, MailJob& job) {
  if (SwitchParser::IsBlank(job.SMTPServer)) job.SMTPServer = SettingsServer(settings);
}

// Switches first, then the settings for what they leave blank. A password
// kept elsewhere is fetched last, once the rest of the job stands: a bad
// file name must not cost a keyring prompt.
void TakeSwitchesAndSettings(const SettingsKeys::Values& settings, AssemblyResult& result,
                             bool& bodyFromInput) {
  MailJob& job = result.job;
  for (const auto& row : Switches::All()) {
    if (row.settingsKey.empty()) continue;
    if (auto value = SwitchParser::FindSwitch(row.name)) *FieldFor(job, row.settingsKey) = *value;
  }
  result.warnings = Switches::Warnings(ArgumentText::Get());
  bodyFromInput = job.Message == "-";
  for (const char* key :
       {"From", "To", "Subject", "Message", "Attachment", "SMTPServer", "Port", "SMTPUserName"}) {
    std::string& field = *FieldFor(job, key);
    if (SwitchParser::IsBlank(field)) field = SettingsKeys::ValueOrDefault(settings, key);
  }
  ProviderServer(settings, job);
}

// The password: -xp, else where the settings keep it. Only a login asks a
// source for one; the enciphered one is checked even without.
bool TakePassword(const std::string& iniPath, const SettingsKeys::Values& settings,
                  AssemblyResult& result) {
  MailJob& job = result.job;
  const bool oauth = OAuthConfig::FromSettings(settings).Enabled();
  if (oauth && !SwitchParser::IsBlank(job.SMTPPassword)) {
    // Never a silent fall-back to the password login the settings turned off.
    result.problem =
        "The settings sign in with OAuth2 (SMTPAuth), so -xp has nothing to do; "
        "nothing was sent.";
    return false;
  }
  if (!SwitchParser::IsBlank(job.SMTPPassword)) return true;
  // The outbox never keeps a password: a flush fetches it when it sends.
  if (SwitchParser::FindSwitch("queue")) return true;
  const bool stored =
      SecretSource::Parse(settings.at(SecretSource::kKey)).form == SecretSource::Form::Settings;
  if (!stored && !oauth && SwitchParser::IsBlank(job.SMTPUserName)) return true;
  PasswordFetch fetched = FetchPassword(iniPath, settings, job.SMTPServer, job.SMTPUserName);
  if (!fetched.problem.empty() && result.outbox && fetched.status == RunOutcome::kExitTemporary) {
    // The outbox keeps no password anyway: the flush fetches it later.
    result.queueBecause = fetched.problem;
    result.logDetail = fetched.detail;
    return true;
  }
  if (!fetched.problem.empty()) {
    result.problem = fetched.problem;
    result.problemStatus = fetched.status;
    result.logDetail = fetched.detail;
    return false;
  }
  job.SMTPPassword = std::move(fetched.password);
  result.bearerMechanism = fetched.bearerMechanism;
  return true;
}

// A -t value that names a file: the addresses it lists.
bool ReadRecipientList(AssemblyResult& result) {
  MailJob& job = result.job;
  JobFiles::WarnOutsideFile(job.To, "t", "the address list", result);
  const JobFiles::NamedFile list = JobFiles::ReadNamedFile(job.To, "recipient list");
  if (!list.problem.empty()) {
    result.problem = list.problem;
    return false;
  }
  if (!list.named) return true;
  job.To.clear();
  for (const auto& raw : list.lines) {
    const std::string line = SwitchParser::TrimSpaces(raw);
    // Two characters or fewer, or a space second ("# all staff"), is no address.
    if (line.size() <= 2 || line[1] == ' ') continue;
    job.To += line + " ";
  }
  job.To = SwitchParser::TrimSpaces(job.To);
  return true;
}

// The body from standard input, or from the file the -m value names.
bool ReadBody(std::istream& input, bool fromInput, AssemblyResult& result) {
  MailJob& job = result.job;
  if (fromInput) {
    if (JobFiles::ReadAll(input, job.Message)) return true;
    result.problem = "The message body could not be read from standard input; nothing was sent.";
    return false;
  }
  JobFiles::WarnOutsideFile(job.Message, "m", "the message body", result);
  const JobFiles::NamedFile body = JobFiles::ReadNamedFile(job.Message, "message file");
  if (!body.problem.empty()) {
    result.problem = body.problem;
    return false;
  }
  if (body.named) {
    job.Message.clear();
    for (const auto& line : body.lines) job.Message += line + "\r\n";
  }
  return true;
}

// The certificates to trust in place of the system's, as a path.
std::string CaFilePath(const std::string& iniPath) {
  std::string caFile = IniFile::Read(iniPath, SettingsKeys::kSection, "CAFile");
  if (!caFile.empty() && caFile.front() != '/') caFile = Places::Find(caFile);
  return caFile;
}

// The port number and the certificates to trust.
bool ReadServerSettings(const std::string& iniPath, AssemblyResult& result) {
  const auto port = ParsePort(result.job.Port);
  if (!port) {
    result.problem = "The Port setting \"" + result.job.Port + "\" in " + iniPath +
                     " is not a port number; nothing was sent.";
    return false;
  }
  result.port = *port;
  result.dsnNotify = IniFile::Read(iniPath, SettingsKeys::kSection, "DsnNotify");
  result.dsnReturn = IniFile::Read(iniPath, SettingsKeys::kSection, "DsnReturn");
  // Certificates to trust in place of the system's, for a private relay.
  result.caFile = CaFilePath(iniPath);
  if (result.caFile.empty()) return true;
  result.problem = JobFiles::FileProblem("CAFile", result.caFile);
  return result.problem.empty();
}

PasswordFetch FetchToken(const std::string& iniPath, const SettingsKeys::Values& settings,
                         const OAuthConfig& oauth, const std::string& server,
                         const std::string& user, bool refused) {
  PasswordFetch fetched;
  fetched.status = RunOutcome::kExitBadInput;
  if (!oauth.problem.empty()) {
    fetched.problem = oauth.problem + " Nothing was sent.";
    return fetched;
  }
  if (SwitchParser::IsBlank(user)) {
    fetched.problem =
        "OAuth2 sign-in needs SMTPUserName (the mailbox that signs in); nothing "
        "was sent.";
    return fetched;
  }
  const AccessToken::Result got =
      AccessToken::Get(oauth, TokenAccount(iniPath, settings, server, user), refused);
  if (got.status != SecretSource::Status::Found) {
    const bool ended = !got.problem.empty() && got.problem.back() == '.';
    fetched.problem = got.problem + (ended ? " " : "; ") + "nothing was sent.";
    fetched.detail = got.detail;
    fetched.status = RunOutcome::ForSecret(got.status);
    return fetched;
  }
  fetched.status = 0;
  fetched.password = got.token;
  fetched.bearerMechanism = oauth.mechanism;
  return fetched;
}

bool SettingsReadable(const std::string& iniPath, AssemblyResult& result) {
  if (auto problem = SettingsFile::ReadProblem(iniPath); !problem.empty()) {
    result.problem = problem + " Nothing was sent.";
    return false;
  }
  return true;
}

}  // namespace

PasswordFetch FetchPassword(const std::string& iniPath, const SettingsKeys::Values& settings,
                            const std::string& server, const std::string& user, bool tokenRefused) {
  PasswordFetch fetched;
  if (const OAuthConfig oauth = OAuthConfig::FromSettings(settings); oauth.Enabled()) {
    return FetchToken(iniPath, settings, oauth, server, user, tokenRefused);
  }
  const SecretSource::Source source = SecretSource::Parse(settings.at(SecretSource::kKey));
  if (source.form == SecretSource::Form::Settings && source.problem.empty()) {
    const auto password = StoredPassword::Decipher(settings.at("SMTPPassword"));
    if (!password) {
      fetched.problem =
          StoredPassword::NotHexMessage(iniPath, StoredPassword::Reader::CommandLine) +
          " Nothing was sent.";
      fetched.status = RunOutcome::kExitBadInput;
    } else {
      fetched.password = *password;
    }
    return fetched;
  }
  const SecretSource::Result found = SecretSource::Fetch(source, SecretSource::KeyringHost(server),
                                                         SwitchParser::TrimSpaces(user));
  if (found.status != SecretSource::Status::Found) {
    const bool ended = !found.problem.empty() && found.problem.back() == '.';
    fetched.problem = found.problem + (ended ? " " : ". ") + "Nothing was sent.";
    fetched.status = RunOutcome::ForSecret(found.status);
    return fetched;
  }
  fetched.password = found.secret;
  return fetched;
}

std::int16_t ReadDeliveryOption(std::string_view text, std::int16_t fallback) {
  const double number = LeadingNumber(text);
  if (!(number > 0)) return fallback;
  if (number >= 32767) return 32767;
  const double rounded = std::nearbyint(number);  // default rounding: half to even
  return rounded < 1 ? fallback : static_cast<std::int16_t>(rounded);
}

DeliveryOptions ReadDeliveryOptions(const std::string& iniPath) {
  const SettingsKeys::Values settings = SettingsKeys::ReadAll(iniPath);
  auto option = [&](std::string_view key) {
    const auto fallback = static_cast<std::int16_t>(
        std::atoi(std::string(SettingsKeys::Get(key).defaultValue).c_str()));
    return ReadDeliveryOption(settings.at(std::string(key)), fallback);
  };
  return {option("TimeOutSecs"), option("TotalAttempts"), option("RetryWaitSecs")};
}

AssemblyResult AssembleMailJob(const std::string& iniPath, std::istream& input) {
  AssemblyResult result;
  // Unreadable settings would read as empty and send something else.
  if (!SettingsReadable(iniPath, result)) return result;
  bool bodyFromInput = false;
  const SettingsKeys::Values settings = SettingsKeys::ReadAll(iniPath);
  result.outbox = SettingsKeys::ValueOrDefault(settings, "Outbox") == "1";
  TakeSwitchesAndSettings(settings, result, bodyFromInput);
  if (!ReadRecipientList(result) || !ReadBody(input, bodyFromInput, result)) return result;
  JobFiles::ResolveAttachments(result.job.Attachment, result);
  if (!result.problem.empty() || !ReadServerSettings(iniPath, result)) return result;
  TakePassword(iniPath, settings, result);
  return result;
}

AssemblyResult AssembleReadyMessage(const std::string& iniPath, const ReadyMessage& message) {
  AssemblyResult result;
  if (!SettingsReadable(iniPath, result)) return result;
  const SettingsKeys::Values settings = SettingsKeys::ReadAll(iniPath);
  result.outbox = SettingsKeys::ValueOrDefault(settings, "Outbox") == "1";
  MailJob& job = result.job;
  for (const char* key : {"SMTPServer", "Port", "SMTPUserName"})
    *FieldFor(job, key) = SettingsKeys::ValueOrDefault(settings, key);
  ProviderServer(settings, job);
  job.From = message.from;
  for (const auto& to : message.recipients) job.To += (job.To.empty() ? "" : ",") + to;
  result.readyMessage = message.file;
  if (ReadServerSettings(iniPath, result)) TakePassword(iniPath, settings, result);
  return result;
}

std::string SettingsServer(const SettingsKeys::Values& settings) {
  const std::string server = SettingsKeys::ValueOrDefault(settings, "SMTPServer");
  return SwitchParser::IsBlank(server) ? OAuthConfig::FromSettings(settings).defaultServer : server;
}

AccessToken::Account TokenAccount(const std::string& iniPath, const SettingsKeys::Values& settings,
                                  const std::string& server, const std::string& user) {
  AccessToken::Account account;
  account.user = SwitchParser::TrimSpaces(user);
  account.caFile = CaFilePath(iniPath);
  if (SecretSource::Parse(settings.at(SecretSource::kKey)).form == SecretSource::Form::Keyring)
    account.keyringHost = SecretSource::KeyringHost(server);
  return account;
}

std::string MaskedSwitches(std::string_view argumentText) {
  return SwitchParser::MaskSwitchValues(argumentText, "xp", "********");
}
