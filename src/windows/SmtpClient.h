#pragma once
// The SMTP component as a window drives it: a MailSender whose events are
// Qt signals, delivered through the Qt event queue of the object's thread.
#include <QObject>
#include <cstdint>
#include <string>

#include "MailSender.h"

class SmtpClient : public QObject, public MailSender {
  Q_OBJECT

 public:
  explicit SmtpClient(QObject* parent = nullptr);
  ~SmtpClient() override;
  SmtpClient(const SmtpClient&) = delete;
  SmtpClient& operator=(const SmtpClient&) = delete;

 signals:
  void ErrorSMTP(std::int16_t number, const std::string& description);
  void SendSMTP();
  void StatusChanged(const std::string& status);

 protected:
  void Post(std::function<void()> call) override;
  void OnError(std::int16_t number, const std::string& description) override;
  void OnSent() override;
  void OnStatus(const std::string& status) override;
};
