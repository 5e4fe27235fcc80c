#include "SmtpClient.h"

#include <QMetaObject>
#include <utility>
#include <variant>

#include "SmtpTransfer.h"

SmtpClient::SmtpClient(QObject* parent) : QObject(parent) {}

SmtpClient::~SmtpClient() { Cancel(); }

bool SmtpClient::Send() {
  if (busy_) return false;
  JoinWorker();
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
  cancel_ = std::make_shared<std::atomic<bool>>(false);
  worker_ = std::thread(
      [this, generation, cancel = cancel_, job = std::get<OutgoingMail>(std::move(built))] {
        const auto status = [this, generation](const std::string& text) {
          QMetaObject::invokeMethod(
              this,
              [this, generation, text] {
                if (generation == generation_) SetStatus(text);
              },
              Qt::QueuedConnection);
        };
        TransferOutcome outcome = SmtpTransfer::Run(job, *cancel, status);
        QMetaObject::invokeMethod(
            this, [this, generation, outcome = std::move(outcome)] { Finish(generation, outcome); },
            Qt::QueuedConnection);
      });
  return true;
}

void SmtpClient::Cancel() {
  ++generation_;
  if (cancel_) cancel_->store(true);
  JoinWorker();
  busy_ = false;
}

void SmtpClient::JoinWorker() {
  if (worker_.joinable()) worker_.join();
}

void SmtpClient::SetStatus(const std::string& status) {
  statusText_ = status;
  emit StatusChanged(statusText_);
}

void SmtpClient::Finish(std::uint64_t generation, const TransferOutcome& outcome) {
  if (generation != generation_) return;
  JoinWorker();
  busy_ = false;
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
