#include "OutgoingMail.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <optional>
#include <random>
#include <system_error>

#include "MailAddress.h"
#include "MailText.h"
#include "ServerAddress.h"
#include "SevenBitMessage.h"
#include "SmtpErrors.h"

namespace {

constexpr int kDefaultPort = 25;
constexpr int kImplicitTlsPort = 465;
constexpr long kDefaultTimeoutMs = 60000;

MailError Refuse(int number, std::string description) {
  return {static_cast<std::int16_t>(number), std::move(description)};
}

std::string EhloName() {
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return "localhost";
  std::string name;
  for (const char* p = buffer; *p != '\0'; ++p) {
    const char c = *p;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.') {
      name += c;
    }
  }
  return name.empty() ? "localhost" : name;
}

std::string RandomHex(int words) {
  std::random_device device;
  std::string out;
  std::array<char, 9> buffer{};
  for (int i = 0; i < words; ++i) {
    (void)std::snprintf(buffer.data(), buffer.size(), "%08x", device());
    out += buffer.data();
  }
  return out;
}

std::string Basename(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FoldedList(const std::vector<std::string>& items, std::size_t used) {
  std::string out;
  std::size_t lineLength = used;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) {
      out += ',';
      ++lineLength;
      if (lineLength + 1 + items[i].size() > 76) {
        out += "\r\n";
        lineLength = 0;
      }
      out += ' ';
      ++lineLength;
    }
    out += items[i];
    lineLength += items[i].size();
  }
  return out;
}

std::string UpperCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// NOTIFY is NEVER alone, or any of SUCCESS, FAILURE, DELAY; RET is HDRS or FULL.
std::optional<std::string> CheckDsn(const std::string& notify, const std::string& ret) {
  const std::string n = UpperCase(notify);
  if (!n.empty() && n != "NEVER") {
    std::size_t at = 0;
    while (at <= n.size()) {
      const auto comma = n.find(',', at);
      const std::string word = n.substr(at, comma == std::string::npos ? comma : comma - at);
      if (word != "SUCCESS" && word != "FAILURE" && word != "DELAY") {
        return "DsnNotify \"" + notify +
               "\" is not NEVER or a list of SUCCESS, FAILURE and DELAY; nothing was sent.";
      }
      if (comma == std::string::npos) break;
      at = comma + 1;
    }
  }
  const std::string r = UpperCase(ret);
  if (!r.empty() && r != "HDRS" && r != "FULL") {
    return "DsnReturn \"" + ret + "\" is not HDRS or FULL; nothing was sent.";
  }
  return std::nullopt;
}

}  // namespace

std::variant<OutgoingMail, MailError> BuildOutgoingMail(const MailSettings& s) {
  using namespace SmtpErrors;
  std::string serverText = s.serverHost.empty() ? s.serverName : s.serverHost;
  if (serverText.empty()) return Refuse(kInvalidServer, "No SMTP server given.");
  // "smtps://" asks for implicit TLS on any port; "smtp://" is the default.
  bool implicitTls = false;
  for (const std::string_view scheme : {"smtps://", "smtp://"}) {
    const auto prefix = serverText.substr(0, scheme.size());
    if (MailText::SameLetters(prefix, scheme)) {
      implicitTls = scheme == "smtps://";
      serverText.erase(0, scheme.size());
      break;
    }
  }
  const auto server = ServerAddress::Parse(serverText);
  if (!server) return Refuse(kInvalidServer, "Not an SMTP server name: \"" + serverText + "\".");
  const int port =
      server->port != 0 ? server->port : (s.serverPort > 0 ? s.serverPort : kDefaultPort);

  for (const auto& [what, value] :
       {std::pair<std::string, const std::string&>{"The subject", s.subject},
        {"The user name", s.user}}) {
    if (MailText::HasLineBreak(value)) {
      return Refuse(kInvalidMessage, what + " holds a line break; nothing was sent.");
    }
  }
  std::vector<std::shared_ptr<const OpenFile>> files;
  for (const auto& path : s.attachments) {
    if (MailText::HasLineBreak(path)) {
      return Refuse(kInvalidMessage, "The attachment name holds a line break; nothing was sent.");
    }
    auto opened = OpenFile::Open(path);
    if (auto* problem = std::get_if<std::string>(&opened)) {
      return Refuse(kAttachmentUnreadable, "Cannot read the attachment " + path + ": " + *problem);
    }
    files.push_back(std::get<std::shared_ptr<const OpenFile>>(std::move(opened)));
  }

  OutgoingMail job;
  SessionSettings& session = job.session;
  session.host = server->host;
  session.port = port;
  session.implicitTls = implicitTls || port == kImplicitTlsPort;
  session.serverLabel = ServerAddress::HostPort(*server, port);
  session.ehloName = EhloName();
  if (s.authMode != 0 && !s.user.empty()) {
    session.user = s.user;
    session.password = s.password;
    session.bearerMechanism = s.bearerMechanism;
    session.requireTls =
        !session.implicitTls && !(ServerAddress::IsLoopback(*server) && !s.treatAsRemote);
  }
  if (auto problem = CheckDsn(s.dsnNotify, s.dsnReturn)) return Refuse(kInvalidMessage, *problem);
  job.dsnNotify = UpperCase(s.dsnNotify);
  job.dsnReturn = UpperCase(s.dsnReturn);

  const auto checked = MailAddress::Check(s.sender);
  if (const auto* problem = std::get_if<std::string>(&checked)) {
    return Refuse(kInvalidMessage, "Sender: " + *problem + " Nothing was sent.");
  }
  const auto& sender = std::get<MailAddress::Parsed>(checked);
  if (sender.address.empty()) {
    return Refuse(kInvalidMessage, "No sender address given; nothing was sent.");
  }
  job.mailFrom = sender.envelope;
  job.needsSmtpUtf8 = sender.utf8LocalPart;
  std::vector<std::string> toHeader;
  for (const auto& entry : MailAddress::SplitList(s.recipients)) {
    const auto recipient = MailAddress::Check(entry);
    if (const auto* problem = std::get_if<std::string>(&recipient)) {
      return Refuse(kInvalidMessage, "Recipient: " + *problem + " Nothing was sent.");
    }
    const auto& parsed = std::get<MailAddress::Parsed>(recipient);
    if (parsed.address.empty()) continue;
    job.recipients.push_back(parsed.envelope);
    job.needsSmtpUtf8 = job.needsSmtpUtf8 || parsed.utf8LocalPart;
    toHeader.push_back(MailAddress::HeaderForm(parsed));
  }
  if (job.recipients.empty())
    return Refuse(kInvalidMessage, "No recipient given; nothing was sent.");

  if (!s.rawMessagePath.empty()) {
    auto opened = OpenFile::Open(s.rawMessagePath);
    if (auto* problem = std::get_if<std::string>(&opened)) {
      return Refuse(kInvalidMessage,
                    "Cannot read the message " + s.rawMessagePath + ": " + *problem + ".");
    }
    job.ready = std::get<std::shared_ptr<const OpenFile>>(std::move(opened));
    job.message.AddRawFile(job.ready, 0);
    job.messageId = s.rawMessageId;
    job.eightBit = s.rawEightBit;
    session.timeoutMs = s.timeoutMs > 0 ? s.timeoutMs : kDefaultTimeoutMs;
    session.caFile = s.caFile;
    return job;
  }
  std::string domain = MailAddress::Domain(sender.envelope);
  if (ServerAddress::Parse(domain) == std::nullopt) domain = EhloName();
  job.messageId = MailText::MakeMessageId(domain);
  std::string head =
      "Date: " + MailText::FormatDate(std::time(nullptr)) + "\r\nMessage-ID: " + job.messageId +
      "\r\nFrom: " + MailAddress::HeaderForm(sender) + "\r\nTo: " + FoldedList(toHeader, 4) +
      "\r\nSubject: " + MailText::EncodeHeaderValue(s.subject, 9) + "\r\nMIME-Version: 1.0\r\n";

  const std::string body = MailText::NormalizeLineEnds(s.body);
  const bool encode = MailText::NeedsEncoding(body);
  const std::string bodyHeaders =
      "Content-Type: text/plain; charset=" +
      std::string(MailText::CharsetName(MailText::DetectCharset(body))) +
      "\r\nContent-Transfer-Encoding: " + (encode ? "quoted-printable" : "7bit") + "\r\n\r\n";
  const std::string bodyText = encode ? MailText::QuotedPrintable(body) : body;
  // Always multipart: the delimiter owns the last line break, so a body
  // that ends without one arrives exactly as it was given.
  const std::string boundary = "=_Tarnwick_" + RandomHex(4);
  job.message.AddText(head + "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary +
                      "\"\r\n\r\nThis is a multi-part message in MIME format.\r\n--" + boundary +
                      "\r\n" + bodyHeaders + bodyText);
  for (auto& file : files) {
    job.message.AddText("\r\n--" + boundary + "\r\n" +
                        MailText::AttachmentHeaders(Basename(file->Path())) + "\r\n");
    job.message.AddFile(std::move(file));
  }
  job.message.AddText("\r\n--" + boundary + "--\r\n");
  session.timeoutMs = s.timeoutMs > 0 ? s.timeoutMs : kDefaultTimeoutMs;
  session.caFile = s.caFile;
  return job;
}

std::string MakeSevenBit(OutgoingMail& mail) {
  if (!mail.ready) return "the message is not one written whole";
  std::string problem;
  const int out = OpenScratchFile(problem);
  if (out < 0) return problem;
  const int in = ::open(mail.ready->Path().c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0 || ::lseek(in, static_cast<off_t>(mail.readyFrom), SEEK_SET) < 0) {
    problem = "the message cannot be read again: " +
              std::error_code(errno, std::generic_category()).message();
  } else {
    problem = SevenBitMessage::Convert(in, out);
  }
  if (in >= 0) ::close(in);
  if (problem.empty()) {
    auto opened = OpenFile::Open("/proc/self/fd/" + std::to_string(out));
    if (auto* why = std::get_if<std::string>(&opened)) {
      problem = *why;
    } else {
      mail.ready = std::get<std::shared_ptr<const OpenFile>>(std::move(opened));
      mail.readyFrom = 0;
      mail.message = MessageStream();
      mail.message.AddRawFile(mail.ready, 0);
      mail.eightBit = false;
    }
  }
  ::close(out);
  return problem;
}
