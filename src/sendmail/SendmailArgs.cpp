#include "SendmailArgs.h"

#include "MailAddress.h"

namespace {

std::string_view BaseName(std::string_view path) {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// A value that is one word of printable text: a blank would be a second
// option to the next program that reads it, a line break a forged header.
bool OneWord(std::string_view value) {
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7f) return false;
  }
  return !value.empty();
}

bool Printable(std::string_view value) {
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t') || byte == 0x7f) return false;
  }
  return true;
}

}  // namespace

bool IsSendmailName(std::string_view program) {
  const std::string_view name = BaseName(program);
  return name == "sendmail" || name == "mailq" || name == "newaliases";
}

SendmailArgs SendmailArgs::Parse(std::string_view program, const std::vector<std::string>& args) {
  SendmailArgs parsed;
  const std::string_view name = BaseName(program);
  if (name == "mailq") parsed.mode = Mode::ListQueue;
  if (name == "newaliases") parsed.mode = Mode::NewAliases;
  bool options = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options || arg.size() < 2 || arg[0] != '-') {
      if (!Printable(arg)) {
        parsed.problem = "a recipient holds a control character; nothing was sent";
        return parsed;
      }
      for (const auto& to : MailAddress::SplitList(arg)) parsed.recipients.push_back(to);
      continue;
    }
    if (arg == "--") {
      options = false;
      continue;
    }
    // An option with a value, glued on ("-fme@x") or as the next word.
    auto value = [&](std::string& into) {
      if (arg.size() > 2) {
        into = arg.substr(2);
      } else if (i + 1 < args.size()) {
        into = args[++i];
      } else {
        parsed.problem = "the option " + arg + " needs a value";
      }
    };
    const char letter = arg[1];
    if (letter == 'f' || letter == 'r') {
      value(parsed.envelopeFrom);
      if (parsed.problem.empty() && !OneWord(parsed.envelopeFrom)) {
        parsed.problem = "the envelope sender given with -" + std::string(1, letter) +
                         " holds a blank or a control character; nothing was sent";
      }
      // "<a@b>" is the same sender; "<>" (no sender) leaves it to the settings.
      std::string& from = parsed.envelopeFrom;
      if (from.size() >= 2 && from.front() == '<' && from.back() == '>')
        from = from.substr(1, from.size() - 2);
    } else if (letter == 'F') {
      value(parsed.fullName);
      if (parsed.problem.empty() && !Printable(parsed.fullName)) {
        parsed.problem = "the full name given with -F holds a control character; nothing was sent";
      }
    } else if (arg == "-t") {
      parsed.recipientsFromHeaders = true;
    } else if (arg == "-i" || arg == "-oi") {
      parsed.dotEnds = false;
    } else if (arg == "-bm") {
      parsed.mode = Mode::Deliver;
    } else if (arg == "-bp") {
      parsed.mode = Mode::ListQueue;
    } else if (arg == "-bi") {
      parsed.mode = Mode::NewAliases;
    } else if (letter == 'b') {
      // SMTP on standard input (-bs), address tests (-bv, -bt) and the like
      // would be taken for a message to send.
      parsed.problem = "the mode " + arg +
                       " is not supported (only -bm, -bp and -bi are); pipe the message to "
                       "sendmail -t -i instead";
    } else if (letter == 'q') {
      parsed.mode = Mode::FlushQueue;  // -q, -q15m: our flush has its own timer
    } else if (letter == 'o' || arg == "-v" || arg == "-n") {
      // Delivery mode, error mode, verbosity: ours are fixed.
    } else if (std::string_view("BCdhLNOpRVX").find(letter) != std::string_view::npos) {
      // Options with a value (body type, configuration file, DSN requests,
      // a log file ...), glued on or the next word: never a recipient.
      std::string ignored;
      value(ignored);
    } else {
      parsed.warnings.push_back("the option " + arg + " is unknown and was ignored");
    }
    if (!parsed.problem.empty()) return parsed;
  }
  return parsed;
}
