#pragma once
// The simple mail sender: one message typed by hand, sent to the recipient
// box, or to every address of testlist.txt next to the program when the box
// holds exactly "testlist.txt". Each outcome is shown in a message box.
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Waiter.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class SmtpClient;

// The addresses of a test list: non-blank lines, untouched. Nothing, with
// `problem` set, when the file cannot be read.
std::optional<std::vector<std::string>> ReadTestList(const std::string& path, std::string& problem);

class frmTarnwick : public QWidget {
  Q_OBJECT

 public:
  explicit frmTarnwick(QWidget* parent = nullptr);
  ~frmTarnwick() override;

  bool Running() const { return running_; }

 public slots:
  void onSendClicked();
  void onNewClicked();
  void onCloseClicked();
  void onSmtpSent();
  void onSmtpError(std::int16_t number, const std::string& description);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void clearAll();
  std::string Text(const char* box) const;
  // Sends to each address in turn, a box for each outcome.
  void sendToEach(const std::vector<std::string>& list, bool fromTestList);

  std::vector<QLineEdit*> boxes_;
  QPlainTextEdit* txtMessage;
  QPushButton* cmdSend;
  QPushButton* cmdNew;
  QPushButton* cmdClose;
  std::unique_ptr<SmtpClient> smtp_;
  Waiter waiter_;
  bool running_ = false;
  bool done_ = false;    // the current send has its outcome
  bool failed_ = false;  // ... an error, errorText_
  std::string errorText_;
};

// Simple sender mode: the window until it closes.
int RunSimpleSenderWindow();
