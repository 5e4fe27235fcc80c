#include "OutgoingMail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <system_error>

#include "AsciiText.h"
#include "MailAddress.h"
#include "MailText.h"
#include "ServerAddress.h"
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

// Readable regular file, or why not.
std::string AttachmentProblem(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::error_code(errno, std::generic_category()).message();
  struct stat info {};
  const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  ::close(fd);
  return regular ? std::string() : "not a regular file";
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

}  // namespace

std::variant<OutgoingMail, MailError> BuildOutgoingMail(const MailSettings& s) {
  using namespace SmtpErrors;
  std::string serverText = s.serverHost.empty() ? s.serverName : s.serverHost;
  if (serverText.empty()) return Refuse(kInvalidServer, "No SMTP server given.");
  // "smtps://" asks for implicit TLS on any port; "smtp://" is the default.
  bool implicitTls = false;
  for (const std::string_view scheme : {"smtps://", "smtp://"}) {
    if (AsciiText::Lower(serverText.substr(0, scheme.size())) == scheme) {
      implicitTls = scheme == "smtps://";
      serverText.erase(0, scheme.size());
      break;
    }
  }
  const auto server = ServerAddress::Parse(serverText);
  if (!server) return Refuse(kInvalidServer, "Not an SMTP server name: \"" + serverText + "\".");
  const int port =
      server->port != 0 ? server->port : (s.serverPort > 0 ? s.serverPort : kDefaultPort);

  const auto checkLine = [](const std::string& what, const std::string& value) {
    return MailText::HasLineBreak(value) ? what + " holds a line break; nothing was sent."
                                         : std::string();
  };
  for (const auto& [what, value] :
       {std::pair<std::string, const std::string&>{"The sender address", s.sender},
        {"The recipient list", s.recipients},
        {"The subject", s.subject},
        {"The user name", s.user}}) {
    if (auto problem = checkLine(what, value); !problem.empty())
      return Refuse(kInvalidMessage, problem);
  }
  for (const auto& path : s.attachments) {
    if (auto problem = checkLine("The attachment name", path); !problem.empty()) {
      return Refuse(kInvalidMessage, problem);
    }
    if (auto problem = AttachmentProblem(path); !problem.empty()) {
      return Refuse(kAttachmentUnreadable, "Cannot read the attachment " + path + ": " + problem);
    }
  }

  OutgoingMail job;
  job.implicitTls = implicitTls || port == kImplicitTlsPort;
  job.serverLabel = ServerAddress::HostPort(*server, port);
  job.url =
      std::string(job.implicitTls ? "smtps://" : "smtp://") + job.serverLabel + "/" + EhloName();
  if (s.authMode != 0 && !s.user.empty()) {
    job.user = s.user;
    job.password = s.password;
    job.requireTls = !job.implicitTls && !(ServerAddress::IsLoopback(*server) && !s.treatAsRemote);
  }

  const auto sender = MailAddress::Parse(s.sender);
  job.mailFrom = sender.address;
  std::vector<std::string> toHeader;
  for (const auto& entry : MailAddress::SplitList(s.recipients)) {
    const auto recipient = MailAddress::Parse(entry);
    job.recipients.push_back(recipient.address);
    toHeader.push_back(MailAddress::HeaderForm(recipient));
  }
  if (job.recipients.empty())
    return Refuse(kInvalidMessage, "No recipient given; nothing was sent.");

  std::string domain = MailAddress::Domain(sender.address);
  if (ServerAddress::Parse(domain) == std::nullopt) domain = EhloName();
  job.messageId = MailText::MakeMessageId(domain);
  job.headers.push_back("Date: " + MailText::FormatDate(std::time(nullptr)));
  job.headers.push_back("Message-ID: " + job.messageId);
  if (!sender.address.empty()) job.headers.push_back("From: " + MailAddress::HeaderForm(sender));
  job.headers.push_back("To: " + FoldedList(toHeader, 4));
  job.headers.push_back("Subject: " + MailText::EncodeHeaderValue(s.subject, 9));
  job.headers.emplace_back("MIME-Version: 1.0");

  job.body = MailText::NormalizeLineEnds(s.body);
  const auto charset = MailText::DetectCharset(job.body);
  job.bodyType = "text/plain; charset=" + std::string(MailText::CharsetName(charset));
  job.bodyEncoder = charset == MailText::Charset::Ascii && !MailText::HasOverlongLine(job.body)
                        ? "7bit"
                        : "quoted-printable";
  job.attachments = s.attachments;
  job.timeoutMs = s.timeoutMs > 0 ? s.timeoutMs : kDefaultTimeoutMs;
  job.caFile = s.caFile;
  return job;
}
