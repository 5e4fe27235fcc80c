#include "SmtpTransfer.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "MailText.h"
#include "SmtpDialogue.h"
#include "SmtpErrors.h"

namespace SmtpTransfer {
namespace {

using Stop = TransferControl::Stop;
using Phase = TransferControl::Phase;
constexpr long kPollMs = 100;
constexpr auto kWatchInterval = std::chrono::milliseconds(50);
// Once the outcome is known, a QUIT that gets no answer is given this long.
constexpr auto kQuitGrace = std::chrono::milliseconds(2000);
constexpr long kUploadBuffer = 512L * 1024;

struct Transfer {
  OutgoingMail& job;
  TransferControl& control;
  const StatusFn& status;
  const OutcomeFn& outcome;
  SmtpDialogue dialogue;
  int lastTenth = -1;
  bool messageSent = false;  // every byte written; the end of data follows
  bool resetAfterMessage = false;
  bool outcomeGiven = false;

  Transfer(OutgoingMail& j, TransferControl& c, const StatusFn& s, const OutcomeFn& o)
      : job(j), control(c), status(s), outcome(o), dialogue(j.user, s) {}

  // libcurl skips AUTH silently when the server does not offer it.
  bool MailWithoutAuth() const {
    return !job.user.empty() && dialogue.MailStarted() && !dialogue.AuthSent();
  }

  void MessageSent() {
    messageSent = true;
    control.SetPhase(Phase::MessageSent);
  }

  void Give(TransferOutcome result) {
    if (outcomeGiven) return;
    outcomeGiven = true;
    control.SetPhase(Phase::Decided);
    outcome(std::move(result));
  }
};

TransferOutcome Decided(const Transfer& t);

void AfterCommand(Transfer& t, std::string_view line) {
  if (line.substr(0, 4) == "QUIT") {
    t.control.SetPhase(Phase::Decided);
  } else if (line.substr(0, 10) == "MAIL FROM:") {
    // Both are known only once the server has answered EHLO; the MAIL
    // command carries no message, and the cut keeps RCPT and DATA back.
    if (t.MailWithoutAuth()) {
      t.control.StopFor(Stop::AuthNotOffered);
    } else if (t.job.needsSmtpUtf8 && line.find(" SMTPUTF8") == std::string_view::npos) {
      t.control.StopFor(Stop::SmtpUtf8NotOffered);
    }
  }
}

int OnDebug(CURL* easy, curl_infotype type, char* data, std::size_t size, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const std::string_view text(data, size);
  switch (type) {
    case CURLINFO_TEXT:
      t.dialogue.Info(text);
      if (t.messageSent && !t.dialogue.FinalReplyIn()) {
        // Its failure notes come as text, with the system's error number
        // still set; later steps (QUIT) would overwrite it.
        long error = 0;
        curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &error);
        t.resetAfterMessage = t.resetAfterMessage || error == ECONNRESET;
      }
      // libcurl's word that every byte of the message is written; the end
      // of data follows at once.
      if (text.substr(0, 35) == "We are completely uploaded and fine") t.MessageSent();
      break;
    case CURLINFO_HEADER_IN:
      t.control.Touch();
      t.dialogue.ReplyLine(text);
      if (t.dialogue.FinalReplyIn()) t.Give(Decided(t));
      break;
    case CURLINFO_HEADER_OUT:
      t.control.Touch();
      t.dialogue.Command(text);
      AfterCommand(t, text);
      break;
    case CURLINFO_DATA_OUT:
    case CURLINFO_DATA_IN:
    case CURLINFO_SSL_DATA_IN:
    case CURLINFO_SSL_DATA_OUT:
      t.control.Touch();
      break;
    default:
      break;
  }
  return 0;
}

int OnSocketOpened(void* user, curl_socket_t fd, curlsocktype /*purpose*/) {
  static_cast<Transfer*>(user)->control.SocketOpened(fd);
  return CURL_SOCKOPT_OK;
}

int OnSocketClose(void* user, curl_socket_t fd) {
  return static_cast<Transfer*>(user)->control.CloseSocket(fd);
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

// The message's reader. Refusing here stops the message before its end, so
// the server never takes a message we could not send whole.
std::size_t ReadMessage(char* buffer, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  if (t.control.StoppedFor() != Stop::None) return CURL_READFUNC_ABORT;
  const std::size_t n = t.job.message.Read(buffer, size * count);
  if (!t.job.message.Problem().empty()) {
    t.control.StopFor(Stop::AttachmentChanged);
    return CURL_READFUNC_ABORT;
  }
  // libcurl asks again only once all it had is written.
  if (n == 0) t.MessageSent();
  return n;
}

int SeekMessage(void* user, curl_off_t offset, int origin) {
  auto& t = *static_cast<Transfer*>(user);
  if (origin != SEEK_SET || offset != 0) return CURL_SEEKFUNC_CANTSEEK;
  t.job.message.Rewind();
  return CURL_SEEKFUNC_OK;
}

struct CurlDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
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

MailError MapFailure(CURLcode code, Stop stop, const Transfer& t, const char* detail) {
  using namespace SmtpErrors;
  const auto& d = t.dialogue;
  const std::string& server = t.job.serverLabel;
  const std::string why =
      MailText::CleanServerText(detail[0] != '\0' ? detail : curl_easy_strerror(code));
  if (stop == Stop::AttachmentChanged) {
    return Error(kAttachmentUnreadable, t.job.message.Problem() + " The message was not sent.");
  }
  if (stop == Stop::SmtpUtf8NotOffered) {
    return Error(kSmtpUtf8NotOffered, server +
                                          " offers no SMTPUTF8, which an address with a "
                                          "non-ASCII local part needs; nothing was sent.");
  }
  // A reset means the server closed with our data unread: it cannot have
  // the whole message. A plain close after it may come after it took it.
  if (stop == Stop::NoFinalReply ||
      (t.messageSent && !d.FinalReplyIn() && stop == Stop::None && !t.resetAfterMessage)) {
    // Never a time-out number: a caller that retried could deliver it twice.
    return Error(kNoFinalReply, "The whole message went to " + server + " but no reply came (" +
                                    (stop == Stop::NoFinalReply
                                         ? "none within " + std::to_string(t.job.timeoutMs) + " ms"
                                         : why) +
                                    "); the server may already have it, so it was not sent again.");
  }
  if (stop == Stop::TimedOut || code == CURLE_OPERATION_TIMEDOUT) {
    return Error(kTimedOut, "No answer from " + server + " within " +
                                std::to_string(t.job.timeoutMs) + " ms while waiting for " +
                                d.Waiting() + ".");
  }
  if (stop == Stop::AuthNotOffered || t.MailWithoutAuth()) {
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

// The outcome once the server has answered the end of the message.
TransferOutcome Decided(const Transfer& t) {
  TransferOutcome result;
  result.sent = t.dialogue.FinalCode() >= 200 && t.dialogue.FinalCode() < 300;
  if (t.dialogue.Accepted() > 0) {
    for (const auto& refusal : t.dialogue.Refused()) {
      result.nonFinal.push_back(Error(SmtpErrors::kRecipientRefused,
                                      "Recipient " + refusal.recipient + " refused: " +
                                          std::to_string(refusal.code) + " " + refusal.text));
    }
  }
  if (!result.sent) {
    result.failure = Error(t.dialogue.FinalCode(), t.dialogue.LastText());
  }
  result.info = InfoText(t, result.sent);
  return result;
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Cuts the connection when nothing has moved for the time-out, or, once the
// outcome is known, when QUIT goes unanswered. Runs until told to end.
class Watchdog {
 public:
  Watchdog(TransferControl& control, long timeoutMs)
      : thread_([this, &control, timeout = std::chrono::milliseconds(timeoutMs)] {
          Watch(control, timeout);
        }) {}
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  ~Watchdog() {
    {
      const std::lock_guard lock(mutex_);
      done_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

 private:
  void Watch(TransferControl& control, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, kWatchInterval, [this] { return done_; })) {
      const auto silence = control.Silence();
      switch (control.CurrentPhase()) {
        case Phase::Dialogue:
          if (silence > timeout) control.StopFor(Stop::TimedOut);
          break;
        case Phase::MessageSent:
          if (silence > timeout) control.StopFor(Stop::NoFinalReply);
          break;
        case Phase::Decided:
          if (silence > std::min<std::chrono::milliseconds>(timeout, kQuitGrace))
            control.CutConnection();
          break;
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;  // last: it starts once the rest is there
};

}  // namespace

void Run(OutgoingMail& job, TransferControl& control, const StatusFn& status,
         const OutcomeFn& outcome) {
  GlobalInit();
  Transfer t(job, control, status, outcome);
  CurlPtr<CURL> easy(curl_easy_init());
  CurlPtr<curl_slist> recipients;
  if (!easy) {
    TransferOutcome failed;
    failed.failure = Error(SmtpErrors::kOtherFailure, "libcurl could not start a transfer.");
    t.Give(std::move(failed));
    return;
  }
  for (const auto& r : job.recipients) Append(recipients, r);

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
  // times silence instead; libcurl's reply time-out is a backstop.
  curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, job.timeoutMs / 1000 + 2);
  curl_easy_setopt(e, CURLOPT_MAIL_FROM, job.mailFrom.c_str());
  curl_easy_setopt(e, CURLOPT_MAIL_RCPT, recipients.get());
  curl_easy_setopt(e, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
  curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(job.message.Size()));
  curl_easy_setopt(e, CURLOPT_READFUNCTION, ReadMessage);
  curl_easy_setopt(e, CURLOPT_READDATA, &t);
  curl_easy_setopt(e, CURLOPT_SEEKFUNCTION, SeekMessage);
  curl_easy_setopt(e, CURLOPT_SEEKDATA, &t);
  curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBuffer);
  curl_easy_setopt(e, CURLOPT_SASL_IR, 1L);  // AUTH PLAIN in one round trip
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
  control.Touch();
  auto watchdog = std::make_unique<Watchdog>(control, job.timeoutMs);
  CURLcode result = CURLE_OK;
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
    // A stop while no socket is open yet (the name is being resolved).
    if (control.StoppedFor() != Stop::None) break;
    curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr);
  }
  const Stop stop = control.StoppedFor();
  if (stop != Stop::None) control.CutConnection();  // no QUIT on a dead dialogue
  curl_multi_remove_handle(multi.get(), e);
  watchdog.reset();

  if (t.outcomeGiven) return;
  TransferOutcome last;
  if (stop == Stop::Cancelled) {
    last.cancelled = true;
  } else if (stop == Stop::None && result == CURLE_OK && t.dialogue.FinalReplyIn()) {
    last = Decided(t);
  } else {
    last.failure = MapFailure(result, stop, t, detail.data());
    last.info = InfoText(t, false);
  }
  t.Give(std::move(last));
}

}  // namespace SmtpTransfer
