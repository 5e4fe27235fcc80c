#include "SmtpClient.h"

#include <QMetaObject>
#include <utility>

SmtpClient::SmtpClient(QObject* parent) : QObject(parent) {}

SmtpClient::~SmtpClient() { CloseEvents(); }

void SmtpClient::Post(std::function<void()> call) {
  // Qt drops what is still queued when the object goes.
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void SmtpClient::OnError(std::int16_t number, const std::string& description) {
  emit ErrorSMTP(number, description);
}

void SmtpClient::OnSent() { emit SendSMTP(); }

void SmtpClient::OnStatus(const std::string& status) { emit StatusChanged(status); }
