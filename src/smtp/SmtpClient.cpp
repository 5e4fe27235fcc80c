#include "SmtpClient.h"

#include <QMetaObject>
#include <functional>
#include <mutex>
#include <utility>
#include <variant>

#include "SmtpTransfer.h"
#include "TransferControl.h"

// Lets a worker post to the client only while the client lives; events
// already queued go with the client, as Qt drops them with their receiver.
class EventGate {
 public:
  explicit EventGate(SmtpClient* owner) : owner_(owner) {}
  void Post(std::function<void(SmtpClient&)> call) {
    const std::lock_guard lock(mutex_);
    if (owner_ == nullptr) return;
    QMetaObject::invokeMethod(
        owner_, [owner = owner_, call = std::move(call)] { call(*owner); }, Qt::QueuedConnection);
  }
  void Close() {
    const std::lock_guard lock(mutex_);
    owner_ = nullptr;
  }

 private:
  std::mutex mutex_;
  SmtpClient* owner_;
};

namespace {
// At destruction: what a send past its outcome gets to finish QUIT, and
// what a cut transfer gets to end before it is left to end alone.
constexpr auto kQuitPatience = std::chrono::milliseconds(200);
constexpr auto kEndPatience = std::chrono::milliseconds(1000);
}  // namespace

SmtpClient::SmtpClient(QObject* parent)
    : QObject(parent), gate_(std::make_shared<EventGate>(this)) {}

SmtpClient::~SmtpClient() {
  gate_->Close();
  Cancel();
  for (auto& worker : workers_) {
    if (!worker.control->WaitFinished(kQuitPatience)) {
      worker.control->CutConnection();
      (void)worker.control->WaitFinished(kEndPatience);
    }
    if (worker.control->Finished()) {
      worker.thread.join();
    } else {
      worker.thread.detach();  // it owns all it touches
    }
  }
}

bool SmtpClient::Send() {
  if (busy_) return false;
  ReapWorkers();
  const std::uint64_t generation = ++generation_;
  infoText_.clear();
  MailSettings settings = settings_;
  settings.attachments = attachments_.Paths();
  auto built = BuildOutgoingMail(settings);
  if (auto* refused = std::get_if<MailError>(&built)) {
    // Queued, so the caller's handler never runs inside its own Send call.
    QMetaObject::invokeMethod(
        this,
        [this, generation, error = *refused] {
          if (generation != generation_) return;
          infoText_ = error.description;
          emit ErrorSMTP(error.number, error.description);
        },
        Qt::QueuedConnection);
    return true;
  }
  busy_ = true;
  current_ = std::make_shared<TransferControl>();
  auto job = std::make_shared<OutgoingMail>(std::get<OutgoingMail>(std::move(built)));
  std::thread thread([gate = gate_, generation, control = current_, job] {
    const auto status = [&gate, generation](const std::string& text) {
      gate->Post([generation, text](SmtpClient& client) {
        if (generation == client.generation_) client.SetStatus(text);
      });
    };
    const auto outcome = [&gate, generation](TransferOutcome result) {
      gate->Post([generation, result = std::move(result)](SmtpClient& client) {
        client.Finish(generation, result);
      });
    };
    SmtpTransfer::Run(*job, *control, status, outcome);
    control->MarkFinished();
  });
  workers_.push_back({std::move(thread), current_});
  return true;
}

void SmtpClient::Cancel() {
  ++generation_;
  if (current_) current_->StopFor(TransferControl::Stop::Cancelled);
  current_.reset();
  busy_ = false;
}

void SmtpClient::ReapWorkers() {
  std::erase_if(workers_, [](Worker& worker) {
    if (!worker.control->Finished()) return false;
    worker.thread.join();
    return true;
  });
}

std::chrono::milliseconds SmtpClient::Silence() const {
  return current_ ? current_->Silence() : std::chrono::milliseconds::max();
}

void SmtpClient::SetStatus(const std::string& status) {
  statusText_ = status;
  emit StatusChanged(statusText_);
}

void SmtpClient::Finish(std::uint64_t generation, const TransferOutcome& outcome) {
  if (generation != generation_) return;
  busy_ = false;
  current_.reset();
  infoText_ = outcome.info;
  if (outcome.cancelled) return;
  for (const auto& error : outcome.nonFinal) {
    emit ErrorSMTP(error.number, error.description);
    if (generation != generation_) return;  // a handler cancelled or sent again
  }
  if (outcome.sent) {
    emit SendSMTP();
  } else {
    if (!outcome.failure.description.empty())
      infoText_ += "\r\nError: " + outcome.failure.description;
    emit ErrorSMTP(outcome.failure.number, outcome.failure.description);
  }
}
