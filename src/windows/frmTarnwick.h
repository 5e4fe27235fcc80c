#pragma once
// The simple mail sender: one message typed by hand, sent to the recipient
// box, or to every address of testlist.txt next to the program when the box
// holds exactly "testlist.txt". Each outcome is shown in a message box.
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Bool16.h"
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

  void Form_Load();
  void cmdSend_Click();
  void cmdNew_Click();
  void cmdClose_Click();
  void oSMTP_SendSMTP();
  void oSMTP_ErrorSMTP(std::int16_t number, const std::string& description);

  bool Running() const { return running_; }

  Bool16 DoneFlag = kFalse16;
  Bool16 ErrorFlag = kFalse16;
  std::string ErrorText;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::string Text(const char* box) const;

  std::vector<QLineEdit*> boxes_;
  QPlainTextEdit* txtMessage;
  QPushButton* cmdSend;
  QPushButton* cmdNew;
  QPushButton* cmdClose;
  std::unique_ptr<SmtpClient> oSMTP;
  Waiter waiter_;
  bool running_ = false;
};

// Simple sender mode: the window until it closes.
int RunSimpleSenderWindow();
