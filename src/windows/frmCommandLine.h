#pragma once
// The delivery window of a command-line run: two labels that follow the run,
// which starts once, when the window is first shown.
#include <QWidget>
#include <memory>

#include "DeliveryRun.h"
#include "Waiter.h"

class QLabel;
class SmtpClient;

class frmCommandLine : public QWidget, private DeliveryRun::View {
  Q_OBJECT

 public:
  explicit frmCommandLine(QWidget* parent = nullptr);
  ~frmCommandLine() override;

  int ExitStatus() const { return run_.ExitStatus(); }

  // Starts the run, once: the run serves the queue, so the window can be
  // activated again meanwhile.
  void startRunOnce();

 public slots:
  void onSmtpError(std::int16_t number, const std::string& description);
  void onSmtpSent();
  void onSmtpStatusChanged(const std::string& status);

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void SetInfo(const std::string& text) override;
  void SetStatus(const std::string& text) override;
  void SetBusy(bool busy) override;
  bool Watched() const override { return true; }
  void Unload() override;

  QLabel* lblInfo;
  QLabel* lblStatus;
  std::unique_ptr<SmtpClient> smtp_;
  Waiter waiter_;
  DeliveryRun run_{*this, waiter_};
  bool activated_ = false;
};

// Shows the window and serves the queue until the run ends; the exit status.
// Only where a display answers: without one the run is a ConsoleRun.
int RunDeliveryWindow();
