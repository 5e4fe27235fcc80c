#pragma once
// A command-line run where nobody can see a window: no toolkit at all, the
// outcome on standard error and in the log, and the end as soon as the
// outcome is known. SIGINT and SIGTERM during the send cancel it the way
// closing the window does, so the outcome is still reported.
#include <string>

#include "ConsoleLoop.h"
#include "DeliveryRun.h"
#include "MailSender.h"

class ConsoleView : public DeliveryRun::View {
 public:
  explicit ConsoleView(ConsoleLoop& loop) : loop_(loop) {}
  void SetInfo(const std::string& /*text*/) override {}
  void SetStatus(const std::string& /*text*/) override {}
  void SetProgress(std::uint64_t sent, std::uint64_t total) override;
  void SetBusy(bool busy) override;  // while sending, a stop signal cancels
  bool Watched() const override { return false; }
  void Unload() override {}
  void Attach(DeliveryRun& run) { run_ = &run; }

 private:
  ConsoleLoop& loop_;
  DeliveryRun* run_ = nullptr;
  int lastTenth_ = -1;
};

// The component with its events handed to the run through the loop.
class ConsoleSender : public MailSender {
 public:
  ConsoleSender(ConsoleLoop& loop, DeliveryRun& run) : loop_(loop), run_(run) {}
  ~ConsoleSender() override { CloseEvents(); }
  ConsoleSender(const ConsoleSender&) = delete;
  ConsoleSender& operator=(const ConsoleSender&) = delete;

 protected:
  void Post(std::function<void()> call) override { loop_.Post(std::move(call)); }
  void OnError(std::int16_t number, const std::string& description) override {
    run_.onSmtpError(number, description);
  }
  void OnSent() override { run_.onSmtpSent(); }
  void OnStatus(const std::string& /*status*/) override { run_.onSmtpStatusChanged(StatusText()); }

 private:
  ConsoleLoop& loop_;
  DeliveryRun& run_;
};

// The run to its end; the exit status.
int RunDeliveryConsole(DeliveryRun::JobSource source = {});
