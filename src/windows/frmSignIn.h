#pragma once
// The sign-in window of tarnwick -login: while the sign-in runs on its own
// thread, it shows the address and the code to enter there, with a Copy
// button, and ends the run with the sign-in's exit status. Closing it
// cancels the wait.
#include <QDialog>
#include <atomic>
#include <thread>

#include "OAuthLogin.h"

class QLabel;
class QLineEdit;
class QPushButton;

class frmSignIn : public QDialog {
  Q_OBJECT

 public:
  // `signIn` runs on a thread of its own; the window shows what it reports.
  explicit frmSignIn(std::function<int(const OAuthLogin::Watcher&)> signIn,
                     QWidget* parent = nullptr);
  ~frmSignIn() override;
  frmSignIn(const frmSignIn&) = delete;
  frmSignIn& operator=(const frmSignIn&) = delete;

 public slots:
  void showCode(const QString& uri, const QString& code, const QString& complete);
  void onCopyClicked();
  void onCancelClicked();
  void onSignInFinished(int status);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QLabel* lblInstructions;
  QLineEdit* txtCode;
  QLabel* lblAddress;
  QPushButton* cmdCopy;
  QPushButton* cmdCancel;
  std::atomic<bool> cancelled_{false};
  std::thread worker_;
};

int RunSignInWindow();
