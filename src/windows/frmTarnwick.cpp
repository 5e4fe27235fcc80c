#include "frmTarnwick.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <fstream>

#include "ButtonKeys.h"
#include "MessageBoxes.h"
#include "MousePointer.h"
#include "Places.h"
#include "SmtpClient.h"
#include "SwitchParser.h"
#include "Twips.h"
#include "WindowRun.h"
#include "WindowText.h"

namespace {
constexpr std::int32_t kTimeoutMs = 30000;
constexpr float kPauseSeconds = 5;
constexpr const char* kTestList = "testlist.txt";
}  // namespace

std::optional<std::vector<std::string>> ReadTestList(const std::string& path,
                                                     std::string& problem) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    problem = "The test list " + path + " cannot be opened; nothing was sent.";
    return std::nullopt;
  }
  std::vector<std::string> list;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!SwitchParser::IsBlank(line)) list.push_back(line);
  }
  if (in.bad()) {
    problem = "The test list " + path + " cannot be read; nothing was sent.";
    return std::nullopt;
  }
  return list;
}

frmTarnwick::frmTarnwick(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      txtMessage(new QPlainTextEdit(this)),
      cmdSend(new QPushButton("&Send message", this)),
      cmdNew(new QPushButton("&New Message", this)),
      cmdClose(new QPushButton("&Close", this)) {
  setObjectName("frmTarnwick");
  setWindowTitle("Simple Mail Sender");
  setFixedSize(Twips::Px(6765), Twips::Px(5385));
  struct Row {
    const char* label;
    const char* caption;
    const char* box;
    int top;
  };
  const Row rows[] = {{"lblSMTPServer", "SMTP Server:", "txtSMTPServer", 120},
                      {"lblSMTPUserName", "SMTP User Name:", "txtSMTPUserName", 480},
                      {"lblSMTPPassword", "SMTP Password:", "txtSMTPPassword", 840},
                      {"lblFrom", "Email From:", "txtSender", 1440},
                      {"lblTo", "Email To:", "txtRecipient", 1800},
                      {"lblSubject", "Email Subject:", "txtSubject", 2160}};
  for (const auto& row : rows) {
    auto* label = new QLabel(row.caption, this);
    label->setObjectName(row.label);
    label->setGeometry(Twips::Rect(165, row.top, 1605, 195));
    auto* box = new QLineEdit(this);  // the password too: shown as typed
    box->setObjectName(row.box);
    box->setGeometry(Twips::Rect(1920, row.top, 3015, 285));
    boxes_.push_back(box);
  }
  txtMessage->setObjectName("txtMessage");
  txtMessage->setGeometry(Twips::Rect(120, 2760, 6495, 2415));
  txtMessage->setLineWrapMode(QPlainTextEdit::NoWrap);
  txtMessage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtMessage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtMessage->setTabChangesFocus(true);
  const std::pair<QPushButton*, std::pair<const char*, int>> buttons[] = {
      {cmdSend, {"cmdSend", 120}}, {cmdNew, {"cmdNew", 600}}, {cmdClose, {"cmdClose", 1080}}};
  for (const auto& [button, place] : buttons) {
    button->setObjectName(place.first);
    button->setGeometry(Twips::Rect(5160, place.second, 1455, 375));
    button->setAutoDefault(false);
  }
  QWidget* previous = nullptr;
  std::vector<QWidget*> order(boxes_.begin(), boxes_.end());
  order.insert(order.end(), {txtMessage, cmdSend, cmdNew, cmdClose});
  for (QWidget* w : order) {
    if (previous != nullptr) setTabOrder(previous, w);
    previous = w;
  }
  connect(cmdSend, &QPushButton::clicked, this, &frmTarnwick::onSendClicked);
  connect(cmdNew, &QPushButton::clicked, this, &frmTarnwick::onNewClicked);
  connect(cmdClose, &QPushButton::clicked, this, &frmTarnwick::onCloseClicked);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  clearAll();
  boxes_.front()->setFocus();  // tab index 0
  ButtonKeys::EnterPressesFocusedButton(*this);
}

frmTarnwick::~frmTarnwick() = default;

void frmTarnwick::clearAll() {
  for (QLineEdit* box : boxes_) box->clear();
  txtMessage->clear();
  smtp_ = std::make_unique<SmtpClient>();
  connect(smtp_.get(), &SmtpClient::SendSMTP, this, &frmTarnwick::onSmtpSent);
  connect(smtp_.get(), &SmtpClient::ErrorSMTP, this, &frmTarnwick::onSmtpError);
}

std::string frmTarnwick::Text(const char* box) const {
  return WindowText::ToBytes(findChild<QLineEdit*>(box)->text());
}

void frmTarnwick::onSendClicked() {
  if (running_) return;  // a second press while a run waits starts nothing
  running_ = true;
  cmdClose->setEnabled(false);
  std::vector<std::string> list;
  const std::string recipient = Text("txtRecipient");
  if (recipient == kTestList) {
    std::string problem;
    const auto read = ReadTestList(Places::Find(kTestList), problem);
    if (!read) MessageBoxes::Show(this, {problem, "Error", MessageBoxes::Icon::Warning});
    list = read.value_or(std::vector<std::string>{});
    if (read && list.empty()) {
      MessageBoxes::Show(this, {Places::Find(kTestList) + " holds no address; nothing was sent.",
                                "Error", MessageBoxes::Icon::Warning});
    }
  } else {
    list.push_back(recipient);
  }
  smtp_->ServerName(Text("txtSMTPServer"));
  smtp_->TimeoutMs(kTimeoutMs);
  smtp_->AuthMode(2);
  smtp_->AuthUserName(Text("txtSMTPUserName"));
  smtp_->AuthPassword(Text("txtSMTPPassword"));
  smtp_->ServerHost(Text("txtSMTPServer"));
  smtp_->SenderAddress(Text("txtSender"));
  smtp_->SubjectText(Text("txtSubject"));
  smtp_->BodyText(WindowText::ToBytes(txtMessage->toPlainText()));
  sendToEach(list, recipient == kTestList);
  cmdClose->setEnabled(true);
  running_ = false;
}

void frmTarnwick::sendToEach(const std::vector<std::string>& list, bool fromTestList) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    done_ = false;
    failed_ = false;
    errorText_.clear();
    smtp_->RecipientList(list[i]);
    MousePointer::Set(MousePointer::Shape::Wait);
    smtp_->Send();
    // No time-out of our own: the component always reports within TimeoutMs.
    while (!done_) waiter_.Wait(1);
    MousePointer::Set(MousePointer::Shape::Default);
    const std::string info = smtp_->InfoText();
    // In a test-list run each box says whose it is, after the usual text.
    const std::string whose = fromTestList ? "\r\n\r\nRecipient: " + list[i] : "";
    if (failed_) {
      MessageBoxes::Show(this, {info + "\r\n\r\nSMTP Error " + errorText_ + whose, "Error",
                                MessageBoxes::Icon::Warning});
    } else {
      MessageBoxes::Show(this, {info + "\r\n\r\nMail sent successfully!" + whose, "Success",
                                MessageBoxes::Icon::Information});
    }
    if (i + 1 < list.size()) Waiter().Wait(kPauseSeconds);
  }
}

void frmTarnwick::onNewClicked() {
  findChild<QLineEdit*>("txtRecipient")->clear();
  findChild<QLineEdit*>("txtSubject")->clear();
  txtMessage->clear();
}

void frmTarnwick::onCloseClicked() { close(); }

void frmTarnwick::onSmtpSent() {
  done_ = true;
  waiter_.WakeEarly();
}

void frmTarnwick::onSmtpError(std::int16_t number, const std::string& description) {
  done_ = true;
  failed_ = true;
  errorText_ = "SMTP Error " + std::to_string(number) + ": " + description;
  waiter_.WakeEarly();
}

void frmTarnwick::closeEvent(QCloseEvent* event) {
  // Closing mid-run would leave the run's wait without its window.
  if (running_) {
    event->ignore();
    return;
  }
  event->accept();
}

int RunSimpleSenderWindow() {
  return WindowRun::Run([] { return std::make_unique<frmTarnwick>(); });
}
