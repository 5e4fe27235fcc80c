#include "SmtpTransfer.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>

#include "MailAddress.h"
#include "MailText.h"
#include "SmtpDialogue.h"
#include "SmtpErrors.h"

namespace SmtpTransfer {
namespace {

using Clock = std::chrono::steady_clock;
constexpr long kPollMs = 100;

enum class Abort { None, Cancelled, TimedOut, AuthNotOffered };

struct Transfer {
  const OutgoingMail& job;
  const StatusFn& status;
  SmtpDialogue dialogue;
  Clock::time_point lastActivity = Clock::now();
  std::vector<curl_socket_t> sockets;  // open now, as libcurl reports them
  std::size_t bodyOffset = 0;
  int lastTenth = -1;
  bool stopBody = false;

  Transfer(const OutgoingMail& j, const StatusFn& s) : job(j), status(s), dialogue(j.user, s) {}

  void Touch() { lastActivity = Clock::now(); }

  // libcurl skips AUTH silently when the server does not offer it.
  bool MailWithoutAuth() const {
    return !job.user.empty() && dialogue.MailStarted() && !dialogue.AuthSent();
  }
};

int OnDebug(CURL* /*easy*/, curl_infotype type, char* data, std::size_t size, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const std::string_view text(data, size);
  switch (type) {
    case CURLINFO_TEXT:
      t.dialogue.Info(text);
      break;
    case CURLINFO_HEADER_IN:
      t.Touch();
      t.dialogue.ReplyLine(text);
      break;
    case CURLINFO_HEADER_OUT:
      t.Touch();
      t.dialogue.Command(text);
      break;
    case CURLINFO_DATA_IN:
    case CURLINFO_DATA_OUT:
    case CURLINFO_SSL_DATA_IN:
    case CURLINFO_SSL_DATA_OUT:
      t.Touch();
      break;
    default:
      break;
  }
  return 0;
}

int OnSocketOpened(void* user, curl_socket_t fd, curlsocktype /*purpose*/) {
  static_cast<Transfer*>(user)->sockets.push_back(fd);
  return CURL_SOCKOPT_OK;
}

int OnSocketClose(void* user, curl_socket_t fd) {
  auto& open = static_cast<Transfer*>(user)->sockets;
  open.erase(std::remove(open.begin(), open.end(), fd), open.end());
  return ::close(fd);
}

// Before an aborted transfer is removed: libcurl would say QUIT and wait for
// the answer, up to its reply time-out, on a server that may never answer.
void ShutDownSockets(const Transfer& t) {
  for (const auto fd : t.sockets) ::shutdown(fd, SHUT_RDWR);
}

std::string SizeText(curl_off_t bytes) {
  std::array<char, 32> buffer{};
  if (bytes < 1024) {
    (void)std::snprintf(buffer.data(), buffer.size(), "%lld bytes", static_cast<long long>(bytes));
  } else if (bytes < curl_off_t{1024} * 1024) {
    (void)std::snprintf(buffer.data(), buffer.size(), "%.1f KB",
                        static_cast<double>(bytes) / 1024.0);
  } else {
    (void)std::snprintf(buffer.data(), buffer.size(), "%.1f MB",
                        static_cast<double>(bytes) / (1024.0 * 1024.0));
  }
  return buffer.data();
}

int OnProgress(void* user, curl_off_t /*dltotal*/, curl_off_t /*dlnow*/, curl_off_t ultotal,
               curl_off_t ulnow) {
  auto& t = *static_cast<Transfer*>(user);
  if (ultotal <= 0 || ulnow <= 0) return 0;
  const int tenth = static_cast<int>(std::min<curl_off_t>(10, ulnow * 10 / ultotal));
  if (tenth > t.lastTenth) {
    t.lastTenth = tenth;
    t.status("Sending message: " + std::to_string(tenth * 10) + "% of " + SizeText(ultotal));
  }
  return 0;
}

// The body part's reader; it is the first data of the message, so refusing
// here stops the message before the server could take it.
std::size_t ReadBody(char* buffer, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  if (t.stopBody || t.MailWithoutAuth()) return CURL_READFUNC_ABORT;
  const std::size_t n = std::min(size * count, t.job.body.size() - t.bodyOffset);
  std::copy_n(t.job.body.data() + t.bodyOffset, n, buffer);
  t.bodyOffset += n;
  return n;
}

int SeekBody(void* user, curl_off_t offset, int origin) {
  auto& t = *static_cast<Transfer*>(user);
  if (origin != SEEK_SET || offset < 0 || static_cast<std::size_t>(offset) > t.job.body.size()) {
    return CURL_SEEKFUNC_FAIL;
  }
  t.bodyOffset = static_cast<std::size_t>(offset);
  return CURL_SEEKFUNC_OK;
}

std::string Basename(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Non-ASCII names go as encoded words, all on one line inside the quotes.
std::string AttachmentName(const std::string& path) {
  std::string name = MailText::EncodeHeaderValue(Basename(path), 0);
  for (auto at = name.find("\r\n"); at != std::string::npos; at = name.find("\r\n"))
    name.erase(at, 2);
  return name;
}

struct CurlDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
  void operator()(curl_mime* mime) const { curl_mime_free(mime); }
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct MultiDeleter {  // CURLM and CURL are both void
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
template <typename T>
using CurlPtr = std::unique_ptr<T, CurlDeleter>;

curl_slist* Append(CurlPtr<curl_slist>& list, const std::string& item) {
  curl_slist* grown = curl_slist_append(list.get(), item.c_str());
  if (grown != nullptr) {
    (void)list.release();
    list.reset(grown);
  }
  return grown;
}

MailError Error(int number, std::string description) {
  return {static_cast<std::int16_t>(number), std::move(description)};
}

MailError MapFailure(CURLcode code, Abort abort, const Transfer& t, const char* detail) {
  using namespace SmtpErrors;
  const auto& d = t.dialogue;
  const std::string& server = t.job.serverLabel;
  const std::string why = detail[0] != '\0' ? detail : curl_easy_strerror(code);
  if (abort == Abort::TimedOut || code == CURLE_OPERATION_TIMEDOUT) {
    return Error(kTimedOut, "No answer from " + server + " within " +
                                std::to_string(t.job.timeoutMs) + " ms while waiting for " +
                                d.Waiting() + ".");
  }
  if (abort == Abort::AuthNotOffered ||
      (code == CURLE_ABORTED_BY_CALLBACK && t.MailWithoutAuth())) {
    return Error(kAuthNotOffered, server + " offers no AUTH, so user " + t.job.user +
                                      " cannot log in; the message was not sent.");
  }
  if (code == CURLE_USE_SSL_FAILED) {
    return Error(kTlsRequired, server +
                                   " offers no STARTTLS; the password is not sent unencrypted, "
                                   "so nothing was sent.");
  }
  if (d.LastCode() >= 400) {
    return Error(d.LastCode(), d.LastText().empty() ? why : d.LastText());
  }
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
      return Error(kHostNotFound, "Host not found: " + server + " (" + why + ").");
    case CURLE_COULDNT_CONNECT:
      return Error(kConnectionRefused, "Could not connect to " + server + " (" + why + ").");
    case CURLE_PEER_FAILED_VERIFICATION:
      return Error(kCertificateRejected,
                   "The certificate of " + server + " is not trusted: " + why + ".");
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
      return Error(kTlsFailed, "TLS with " + server + " failed: " + why + ".");
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_PARTIAL_FILE:
      return Error(kConnectionLost, "The connection to " + server + " was lost while waiting for " +
                                        d.Waiting() + " (" + why + ").");
    case CURLE_READ_ERROR:
      return Error(kAttachmentUnreadable,
                   "An attachment could not be read while sending: " + why + ".");
    default:
      return Error(kOtherFailure, "Sending through " + server + " failed: " + why + ".");
  }
}

std::string InfoText(const Transfer& t, bool sent) {
  const auto& d = t.dialogue;
  std::string tls = d.TlsVersion().empty() ? "none"
                                           : d.TlsVersion() + (t.job.implicitTls ? " (implicit)"
                                                               : d.StartTls()    ? " (STARTTLS)"
                                                                                 : "");
  std::string info = "Server: " + t.job.serverLabel + "\r\nTLS: " + tls + "\r\nAuthentication: " +
                     (d.AuthSent() ? d.AuthMechanism() + " as " + t.job.user : "none") +
                     "\r\nRecipients accepted: " + std::to_string(d.Accepted()) + " of " +
                     std::to_string(t.job.recipients.size());
  if (!d.FinalReply().empty()) info += "\r\nServer reply: " + d.FinalReply();
  if (sent) info += "\r\nMessage-ID: " + t.job.messageId;
  return info;
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

TransferOutcome Run(const OutgoingMail& job, const std::atomic<bool>& cancel,
                    const StatusFn& status) {
  GlobalInit();
  Transfer t(job, status);
  TransferOutcome outcome;
  CurlPtr<CURL> easy(curl_easy_init());
  CurlPtr<curl_mime> mime(curl_mime_init(easy.get()));
  CurlPtr<curl_slist> recipients;
  CurlPtr<curl_slist> headers;
  if (!easy || !mime) {
    outcome.failure = Error(SmtpErrors::kOtherFailure, "libcurl could not start a transfer.");
    return outcome;
  }
  for (const auto& r : job.recipients) Append(recipients, r);
  for (const auto& h : job.headers) Append(headers, h);

  curl_mimepart* body = curl_mime_addpart(mime.get());
  curl_mime_data_cb(body, static_cast<curl_off_t>(job.body.size()), ReadBody, SeekBody, nullptr,
                    &t);
  curl_mime_type(body, job.bodyType.c_str());
  CurlPtr<curl_slist> bodyHeaders;
  if (job.bodyEncoder == "7bit") {
    // libcurl's 7bit encoder only checks, in 256-byte steps that each become
    // a write; the text is known to be 7-bit already, so label it instead.
    Append(bodyHeaders, "Content-Transfer-Encoding: 7bit");
    curl_mime_headers(body, bodyHeaders.release(), 1);
  } else {
    curl_mime_encoder(body, job.bodyEncoder.c_str());
  }
  for (const auto& path : job.attachments) {
    curl_mimepart* part = curl_mime_addpart(mime.get());
    curl_mime_filedata(part, path.c_str());  // streamed from disk while sending
    curl_mime_filename(part, AttachmentName(path).c_str());
    curl_mime_type(part, "application/octet-stream");
    curl_mime_encoder(part, "base64");
  }

  std::array<char, CURL_ERROR_SIZE> detail{};
  CURL* e = easy.get();
  curl_easy_setopt(e, CURLOPT_URL, job.url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, detail.data());
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
  // No CURLOPT_CONNECTTIMEOUT: for SMTP it spans greeting, EHLO, STARTTLS
  // and AUTH, so a slow but lively dialogue would time out. The watchdog
  // below times silence instead; libcurl's reply time-out is a backstop.
  curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, job.timeoutMs / 1000 + 2);
  curl_easy_setopt(e, CURLOPT_MAIL_FROM, job.mailFrom.c_str());
  curl_easy_setopt(e, CURLOPT_MAIL_RCPT, recipients.get());
  curl_easy_setopt(e, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(e, CURLOPT_MIMEPOST, mime.get());
  curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
  if (!job.implicitTls) {
    // TRY would fall back to plain text with the password; ALL refuses.
    curl_easy_setopt(e, CURLOPT_USE_SSL, job.requireTls ? CURLUSESSL_ALL : CURLUSESSL_TRY);
  }
  if (!job.caFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, job.caFile.c_str());
  if (!job.user.empty()) {
    curl_easy_setopt(e, CURLOPT_USERNAME, job.user.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, job.password.c_str());
  }
  curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, OnDebug);
  curl_easy_setopt(e, CURLOPT_DEBUGDATA, &t);
  curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, OnSocketOpened);
  curl_easy_setopt(e, CURLOPT_SOCKOPTDATA, &t);
  curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, OnSocketClose);
  curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, &t);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, &t);

  std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  curl_multi_add_handle(multi.get(), e);
  status("Connecting to " + job.serverLabel);
  Abort abort = Abort::None;
  CURLcode result = CURLE_OK;
  const auto timeout = std::chrono::milliseconds(job.timeoutMs);
  for (;;) {
    int running = 0;
    curl_multi_perform(multi.get(), &running);
    if (running == 0) {
      int left = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi.get(), &left)) {
        if (msg->msg == CURLMSG_DONE) result = msg->data.result;
      }
      break;
    }
    if (cancel.load()) {
      abort = Abort::Cancelled;
    } else if (t.MailWithoutAuth()) {
      abort = Abort::AuthNotOffered;
    } else if (Clock::now() - t.lastActivity > timeout) {
      abort = Abort::TimedOut;
    }
    if (abort != Abort::None) break;
    curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr);
  }
  t.stopBody = true;
  if (abort != Abort::None) ShutDownSockets(t);
  curl_multi_remove_handle(multi.get(), e);

  if (abort == Abort::Cancelled) {
    outcome.cancelled = true;
    return outcome;
  }
  outcome.sent = abort == Abort::None && result == CURLE_OK;
  if (t.dialogue.Accepted() > 0) {
    for (const auto& refusal : t.dialogue.Refused()) {
      outcome.nonFinal.push_back(Error(SmtpErrors::kRecipientRefused,
                                       "Recipient " + refusal.recipient + " refused: " +
                                           std::to_string(refusal.code) + " " + refusal.text));
    }
  }
  if (!outcome.sent) outcome.failure = MapFailure(result, abort, t, detail.data());
  outcome.info = InfoText(t, outcome.sent);
  return outcome;
}

}  // namespace SmtpTransfer
