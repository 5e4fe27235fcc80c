#include "MailSender.h"

#include <functional>
#include <mutex>
#include <utility>
#include <variant>

#include "SmtpErrors.h"
#include "SmtpSession.h"
#include "TransferControl.h"

// Lets a worker post to the sender only while the sender lives; a call
// still queued when it goes finds the gate closed and does nothing.
class EventGate : public std::enable_shared_from_this<EventGate> {
 public:
  explicit EventGate(MailSender* owner) : owner_(owner) {}
  void Post(std::function<void(MailSender&)> call) {
    const std::lock_guard lock(mutex_);
    if (owner_ == nullptr) return;
    owner_->Post([gate = shared_from_this(), call = std::move(call)] {
      if (MailSender* owner = gate->Owner()) call(*owner);
    });
  }
  MailSender* Owner() {
    const std::lock_guard lock(mutex_);
    return owner_;
  }
  void Close() {
    const std::lock_guard lock(mutex_);
    owner_ = nullptr;
  }

 private:
  std::mutex mutex_;
  MailSender* owner_;
};

namespace {
// At destruction: what a send past its outcome gets to finish QUIT before
// it is cancelled (which ends it at once).
constexpr auto kQuitPatience = std::chrono::milliseconds(200);
}  // namespace

MailSender::MailSender() : gate_(std::make_shared<EventGate>(this)) {}

void MailSender::CloseEvents() { gate_->Close(); }

MailSender::~MailSender() {
  gate_->Close();
  Cancel();
  for (auto& worker : workers_) {
    if (!worker.control->WaitFinished(kQuitPatience)) worker.control->Cancel();
    worker.thread.join();
  }
}

std::variant<OutgoingMail, MailError> MailSender::Build() const {
  MailSettings settings = settings_;
  settings.attachments = attachments_.Paths();
  return BuildOutgoingMail(settings);
}

bool MailSender::Send() {
  if (busy_) return false;
  ReapWorkers();
  const std::uint64_t generation = ++generation_;
  infoText_.clear();
  lastOutcome_ = SmtpOutcome{};
  auto built = Build();
  if (auto* refused = std::get_if<MailError>(&built)) {
    // Queued, so the caller's handler never runs inside its own Send call.
    gate_->Post([generation, error = *refused](MailSender& sender) {
      if (generation != sender.generation_) return;
      sender.infoText_ = error.description;
      sender.lastOutcome_ = {};
      sender.lastOutcome_.kind = SmtpOutcome::Kind::BadInput;
      sender.lastOutcome_.number = error.number;
      sender.lastOutcome_.text = error.description;
      sender.OnError(error.number, error.description);
    });
    return true;
  }
  busy_ = true;
  current_ = std::make_shared<TransferControl>();
  auto job = std::make_shared<OutgoingMail>(std::get<OutgoingMail>(std::move(built)));
  std::thread thread([gate = gate_, generation, control = current_, job] {
    const auto status = [&gate, generation](const std::string& text) {
      gate->Post([generation, text](MailSender& sender) {
        if (generation == sender.generation_) sender.SetStatus(text);
      });
    };
    SmtpSession session(job->session, *control, status);
    SmtpOutcome outcome = session.Send(*job);
    // Posted before QUIT: the reply to the message decides, not the goodbye.
    gate->Post([generation, outcome = std::move(outcome)](MailSender& sender) {
      sender.Finish(generation, outcome);
    });
    session.Quit();
    control->MarkFinished();
  });
  workers_.push_back({std::move(thread), current_});
  return true;
}

void MailSender::Cancel() {
  ++generation_;
  if (current_) current_->Cancel();
  current_.reset();
  busy_ = false;
}

void MailSender::ReapWorkers() {
  std::erase_if(workers_, [](Worker& worker) {
    if (!worker.control->Finished()) return false;
    worker.thread.join();
    return true;
  });
}

std::chrono::milliseconds MailSender::Silence() const {
  return current_ ? current_->Silence() : std::chrono::milliseconds::max();
}

std::uint64_t MailSender::BytesSent() const { return current_ ? current_->BytesSent() : 0; }

std::uint64_t MailSender::BytesTotal() const { return current_ ? current_->BytesTotal() : 0; }

void MailSender::SetStatus(const std::string& status) {
  statusText_ = status;
  OnStatus(statusText_);
}

void MailSender::Finish(std::uint64_t generation, const SmtpOutcome& outcome) {
  if (generation != generation_) return;
  busy_ = false;
  current_.reset();
  infoText_ = outcome.info;
  lastOutcome_ = outcome;
  if (outcome.kind == SmtpOutcome::Kind::Cancelled) return;
  if (outcome.kind == SmtpOutcome::Kind::SentWithRefusals) {
    for (const auto& refusal : outcome.refused) {
      OnError(static_cast<std::int16_t>(SmtpErrors::kRecipientRefused),
              "Recipient " + refusal.recipient + " refused: " + std::to_string(refusal.code) + " " +
                  refusal.text);
      if (generation != generation_) return;  // a handler cancelled or sent again
    }
  }
  if (outcome.Delivered()) {
    OnSent();
  } else {
    OnError(static_cast<std::int16_t>(outcome.number), outcome.text);
  }
}
