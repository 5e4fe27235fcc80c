#pragma once
// The SMTP component without any toolkit: set the message up, call Send,
// and let the owner's loop run what Post hands it; the events then come as
// OnError, OnSent and OnStatus on the owner's thread, never from inside a
// call. Each send runs its own session on a worker thread. A further Send
// delivers the same message again; Cancel (and destruction) ends a running
// send at once and raises nothing after.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "OutgoingMail.h"
#include "SmtpOutcome.h"

class TransferControl;
class EventGate;

class MailSender {
 public:
  class Attachments {
   public:
    void Add(const std::string& path) { paths_.push_back(path); }
    const std::vector<std::string>& Paths() const { return paths_; }

   private:
    std::vector<std::string> paths_;
  };

  MailSender();
  virtual ~MailSender();
  MailSender(const MailSender&) = delete;
  MailSender& operator=(const MailSender&) = delete;

  Attachments& AttachmentList() { return attachments_; }
  void AuthMode(int mode) { settings_.authMode = mode; }  // 0 none, 2 user name + password
  void SenderAddress(const std::string& address) { settings_.sender = address; }
  void SubjectText(const std::string& subject) { settings_.subject = subject; }
  void BodyText(const std::string& body) { settings_.body = body; }
  void AuthPassword(const std::string& password) { settings_.password = password; }
  // "XOAUTH2" or "OAUTHBEARER": the password is an OAuth2 access token.
  void BearerMechanism(const std::string& mechanism) { settings_.bearerMechanism = mechanism; }
  void ServerHost(const std::string& host) { settings_.serverHost = host; }
  // Used when the server text names no port; 465 means implicit TLS. An int,
  // not 16 bits: ports above 32767 are common.
  void ServerPort(int port) { settings_.serverPort = port; }
  void RecipientList(const std::string& list) { settings_.recipients = list; }
  std::string InfoText() const { return infoText_; }
  void ServerName(const std::string& name) { settings_.serverName = name; }
  std::string StatusText() const { return statusText_; }
  void TimeoutMs(std::int32_t ms) { settings_.timeoutMs = ms; }
  void AuthUserName(const std::string& user) { settings_.user = user; }
  const std::string& UserName() const { return settings_.user; }
  // Delivery status notifications (RFC 3461), used when the server offers
  // them: NOTIFY ("FAILURE,DELAY", "NEVER"...) and RET ("HDRS" or "FULL").
  void DsnNotify(const std::string& notify) { settings_.dsnNotify = notify; }
  void DsnReturn(const std::string& ret) { settings_.dsnReturn = ret; }

  // A message already written whole, CR LF and all, sent as it stands under
  // its own Message-ID instead of one made from subject, body and
  // attachments. `eightBit`: it holds 8-bit text.
  void ReadyMessage(const std::string& path, const std::string& messageId, bool eightBit) {
    settings_.rawMessagePath = path;
    settings_.rawMessageId = messageId;
    settings_.rawEightBit = eightBit;
  }

  // The message as Send would deliver it, checked, with a fresh Date and
  // Message-ID: what the outbox keeps.
  std::variant<OutgoingMail, MailError> Build() const;

  // Starts delivery; the outcome comes as OnSent or a final OnError.
  // Returns false, doing nothing, while a send is running.
  bool Send();
  void Cancel();
  bool Busy() const { return busy_; }
  // How long no byte of the running send has moved either way; the largest
  // duration when no send is running.
  std::chrono::milliseconds Silence() const;
  // The message's bytes handed to the connection so far, and its size.
  std::uint64_t BytesSent() const;
  std::uint64_t BytesTotal() const;
  // How the last finished send ended, as data (valid once its event came).
  const SmtpOutcome& LastOutcome() const { return lastOutcome_; }

  // A private CA (a company server, the tests' own) instead of the system store.
  void TrustedCaFile(const std::string& path) { settings_.caFile = path; }
  // Lets tests treat their loopback server as the remote one it stands for.
  void TreatServerAsRemoteForTesting(bool remote) { settings_.treatAsRemote = remote; }

 protected:
  // Runs `call` later on the owner's thread; called from any thread.
  virtual void Post(std::function<void()> call) = 0;
  virtual void OnError(std::int16_t number, const std::string& description) = 0;
  virtual void OnSent() = 0;
  virtual void OnStatus(const std::string& status) = 0;
  // The first step of a derived destructor: nothing is posted after it.
  void CloseEvents();

 private:
  friend class EventGate;
  struct Worker {
    std::thread thread;
    std::shared_ptr<TransferControl> control;
  };

  void Finish(std::uint64_t generation, const SmtpOutcome& outcome);
  void SetStatus(const std::string& status);
  void ReapWorkers();

  MailSettings settings_;
  Attachments attachments_;
  std::string statusText_;
  std::string infoText_;
  SmtpOutcome lastOutcome_;
  bool busy_ = false;
  std::uint64_t generation_ = 0;  // events of older sends are dropped
  std::shared_ptr<TransferControl> current_;
  std::vector<Worker> workers_;  // a decided send may still be saying QUIT
  std::shared_ptr<EventGate> gate_;
};
