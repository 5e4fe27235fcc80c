#include "MailJobAssembly.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "ArgumentText.h"
#include "CommandLine.h"
#include "IniFile.h"
#include "PathHelpers.h"
#include "Places.h"
#include "ProgramFolder.h"
#include "SettingsFile.h"
#include "StoredPassword.h"
#include "SwitchParser.h"

namespace {

constexpr const char* kSection = "Options";

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

std::string Read(const std::string& iniPath, const char* key) {
  std::string value;
  ProcLib::ReadIni(iniPath, kSection, key, value);
  return value;
}

// Lines of a text file; CR LF, LF and CR all end a line.
bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return false;
  const std::string text = buffer.str();
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return true;
}

// A name that a directory search finds must be a file we can read; a folder
// or a wildcard match is no list, body or attachment.
std::string FileProblem(const std::string& what, const std::string& path) {
  std::error_code ignored;
  const auto status = std::filesystem::status(path, ignored);
  if (!std::filesystem::is_regular_file(status) || !std::ifstream(path, std::ios::binary).good()) {
    return "The " + what + " " + path + " cannot be read as a file; nothing was sent.";
  }
  return {};
}

// A value that names a file in the program's folder: its lines, or why
// they cannot be had. Not named: the value is the text itself.
struct NamedFile {
  bool named = false;
  std::vector<std::string> lines;
  std::string problem;
};

NamedFile ReadNamedFile(const std::string& value, const std::string& what) {
  NamedFile file;
  if (value.empty()) return file;  // the folder itself is no file
  const std::string path = Places::Find(value);
  if (ProcLib::FileExists(path) == kFalse16) return file;
  file.named = true;
  file.problem = FileProblem(what, path);
  if (file.problem.empty() && !ReadLines(path, file.lines)) {
    file.problem = "The " + what + " " + path + " cannot be read; nothing was sent.";
  }
  return file;
}

std::optional<int> ParsePort(const std::string& text) {
  const std::string t = ProcLib::TrimSpaces(text);
  if (t.empty()) return 0;
  int port = 0;
  for (char c : t) {
    if (c < '0' || c > '9' || port > 65535) return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port > 65535) return std::nullopt;
  return port;
}

// Where an attachment name points: a bare name next to the program, a name
// with a folder as written ("\\" read as "/").
std::string AttachmentPath(const std::string& name) {
  if (ProcLib::IsBlank(ProcLib::GetPathFolder(name)) != kFalse16) return Places::Find(name);
  return name.front() == '/' ? name : ProgramFolder::WithSlashes(name);
}

// One name, or, when the whole value names no file, each word of it: the
// help has always promised FILE [FILE ...]. A file that is not there is
// said, never dropped silently.
void ResolveAttachments(const std::string& value, AssemblyResult& result) {
  if (ProcLib::IsBlank(value) != kFalse16) return;
  std::vector<std::string> names{value};
  if (ProcLib::FileExists(AttachmentPath(value)) == kFalse16 &&
      value.find(' ') != std::string::npos) {
    names.clear();
    std::istringstream words(value);
    for (std::string word; std::getline(words, word, ' ');) {
      if (!word.empty()) names.push_back(word);
    }
  }
  for (const auto& name : names) {
    const std::string path = AttachmentPath(name);
    if (ProcLib::FileExists(path) == kFalse16) {
      result.attachmentMissing = true;
      result.warnings.push_back("the attachment " + path +
                                " is not there; the mail goes without it.");
      continue;
    }
    if (auto problem = FileProblem("attachment", path); !problem.empty()) {
      result.problem = problem;
      return;
    }
    result.attachments.push_back(path);
  }
}

// A full path names a file only where the program reads none: say so, or a
// report.txt sent as the words "/tmp/report.txt" goes unnoticed.
void WarnOutsideFile(const std::string& value, const char* sw, const char* usedAs,
                     AssemblyResult& result) {
  std::error_code ignored;
  if (value.empty() || value.front() != '/' || !std::filesystem::is_regular_file(value, ignored))
    return;
  result.warnings.push_back(std::string("the -") + sw + " value " + value +
                            " is a file outside the program's folder; only files next to the "
                            "program are read, so the text itself is used as " +
                            usedAs + ".");
}

bool ReadAll(std::istream& input, std::string& text) {
  std::ostringstream buffer;
  buffer << input.rdbuf();
  text = buffer.str();
  return !input.bad();
}

constexpr std::string_view kKnownSwitches[] = {"gui", "log", "f",  "t",  "s",
                                               "m",   "x",   "xu", "xp", "a"};

bool Known(std::string_view name) {
  return std::find(std::begin(kKnownSwitches), std::end(kKnownSwitches), name) !=
         std::end(kKnownSwitches);
}

}  // namespace

std::int16_t ReadDeliveryOption(std::string_view text, std::int16_t fallback) {
  const double number = LeadingNumber(text);
  if (!(number > 0)) return fallback;
  if (number >= 32767) return 32767;
  const double rounded = std::nearbyint(number);  // default rounding: half to even
  return rounded < 1 ? fallback : static_cast<std::int16_t>(rounded);
}

DeliveryOptions ReadDeliveryOptions(const std::string& iniPath) {
  DeliveryOptions options;
  options.TimeOutSecs = ReadDeliveryOption(Read(iniPath, "TimeOutSecs"), options.TimeOutSecs);
  options.TotalAttempts = ReadDeliveryOption(Read(iniPath, "TotalAttempts"), options.TotalAttempts);
  options.RetryWaitSecs = ReadDeliveryOption(Read(iniPath, "RetryWaitSecs"), options.RetryWaitSecs);
  return options;
}

std::vector<std::string> SwitchWarnings(std::string_view argumentText) {
  ProcLib::TokenList tokens;
  ProcLib::SplitCommandLine(argumentText, tokens);
  std::vector<std::string> warnings;
  for (std::size_t k = 1; k < tokens.size(); ++k) {
    const std::string word = ProcLib::TrimSpaces(tokens[k]);
    if (!ProcLib::IsSwitchToken(word)) continue;
    const std::string name = ProcLib::SwitchName(word);
    if (Known(name)) continue;
    // Only the name up to a blank or "=" is repeated: what follows may be a
    // password.
    const std::string head = name.substr(0, name.find_first_of(" ="));
    const std::string shown = word.substr(0, 1) + head;
    if (head.empty()) {
      warnings.push_back("a \"" + word.substr(0, 1) +
                         "\" with no switch name was ignored, and so was the value it ends.");
    } else if (Known(head)) {
      warnings.push_back("the switch " + shown +
                         " was not read: its value follows a \"=\" and holds a \":\", or stands "
                         "with it inside one quoted word; write " +
                         shown + ":VALUE or " + shown + " VALUE.");
    } else {
      warnings.push_back("the switch " + shown + " is unknown; it and its value were ignored.");
    }
  }
  return warnings;
}

AssemblyResult AssembleMailJob(const std::string& iniPath, std::istream& input) {
  AssemblyResult result;
  // Unreadable settings would read as empty and send something else.
  if (auto problem = SettingsFile::ReadProblem(iniPath); !problem.empty()) {
    result.problem = problem + " Nothing was sent.";
    return result;
  }
  MailJob& job = result.job;
  std::string* const fields[] = {&job.From,         &job.To,         &job.Subject,
                                 &job.Message,      &job.SMTPServer, &job.SMTPUserName,
                                 &job.SMTPPassword, &job.Attachment};
  const char* const switches[] = {"f", "t", "s", "m", "x", "xu", "xp", "a"};
  for (std::size_t i = 0; i < std::size(switches); ++i) {
    Bool16 found = kFalse16;
    ProcLib::GetSwitch(switches[i], found, *fields[i]);
  }
  result.warnings = SwitchWarnings(ArgumentText::Get());
  const bool bodyFromInput = job.Message == "-";
  const std::pair<std::string*, const char*> defaults[] = {{&job.From, "From"},
                                                           {&job.To, "To"},
                                                           {&job.Subject, "Subject"},
                                                           {&job.Message, "Message"},
                                                           {&job.Attachment, "Attachment"},
                                                           {&job.SMTPServer, "SMTPServer"},
                                                           {&job.Port, "Port"},
                                                           {&job.SMTPUserName, "SMTPUserName"}};
  std::string settings[std::size(defaults)];
  for (std::size_t i = 0; i < std::size(defaults); ++i)
    settings[i] = Read(iniPath, defaults[i].second);
  const std::string storedPassword = Read(iniPath, "SMTPPassword");
  for (std::size_t i = 0; i < std::size(defaults); ++i) {
    if (ProcLib::IsBlank(*defaults[i].first) != kFalse16) *defaults[i].first = settings[i];
  }
  if (ProcLib::IsBlank(job.SMTPPassword) != kFalse16) {
    const auto password = StoredPassword::Decipher(storedPassword, CommandLine::CipherKey);
    if (!password) {
      result.problem = StoredPassword::NotHexMessage(iniPath, StoredPassword::Reader::CommandLine) +
                       " Nothing was sent.";
      return result;
    }
    job.SMTPPassword = *password;
  }

  WarnOutsideFile(job.To, "t", "the address list", result);
  const NamedFile list = ReadNamedFile(job.To, "recipient list");
  if (!list.problem.empty()) {
    result.problem = list.problem;
    return result;
  }
  if (list.named) {
    job.To.clear();
    for (const auto& raw : list.lines) {
      const std::string line = ProcLib::TrimSpaces(raw);
      // Two characters or fewer, or a space second ("# all staff"), is no address.
      if (line.size() <= 2 || line[1] == ' ') continue;
      job.To += line + " ";
    }
    job.To = ProcLib::TrimSpaces(job.To);
  }
  if (bodyFromInput) {
    if (!ReadAll(input, job.Message)) {
      result.problem = "The message body could not be read from standard input; nothing was sent.";
      return result;
    }
  } else {
    WarnOutsideFile(job.Message, "m", "the message body", result);
    const NamedFile body = ReadNamedFile(job.Message, "message file");
    if (!body.problem.empty()) {
      result.problem = body.problem;
      return result;
    }
    if (body.named) {
      job.Message.clear();
      for (const auto& line : body.lines) job.Message += line + "\r\n";
    }
  }
  ResolveAttachments(job.Attachment, result);
  if (!result.problem.empty()) return result;
  const auto port = ParsePort(job.Port);
  if (!port) {
    result.problem = "The Port setting \"" + job.Port + "\" in " + iniPath +
                     " is not a port number; nothing was sent.";
    return result;
  }
  result.port = *port;
  // Certificates to trust in place of the system's, for a private relay.
  result.caFile = Read(iniPath, "CAFile");
  if (!result.caFile.empty()) {
    if (result.caFile.front() != '/') result.caFile = Places::Find(result.caFile);
    if (auto problem = FileProblem("CAFile", result.caFile); !problem.empty()) {
      result.problem = problem;
      return result;
    }
  }
  return result;
}

std::string MaskedSwitches(std::string_view argumentText) {
  return ProcLib::MaskSwitchValues(argumentText, "xp", "********");
}
