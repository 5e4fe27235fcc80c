// The configuration window under offscreen, against a real INI file.
#include "frmConfig.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <filesystem>

#include "IniFile.h"
#include "MessageBoxes.h"
#include "ProgramFolder.h"
#include "StoredPassword.h"
#include "TempFolder.h"
#include "WindowTestApp.h"

namespace {

class ConfigWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    WindowTestApp();
    ProgramFolder::OverrideForTesting(folder_.path().string());
    MessageBoxes::SetHandlerForTesting([this](const MessageBoxes::Box& b) { boxes_.push_back(b); });
  }
  void TearDown() override { MessageBoxes::SetHandlerForTesting(nullptr); }

  std::string Ini() const { return folder_.File("Tarnwick.ini"); }
  std::string Read(const char* key) const { return IniFile::Read(Ini(), "Options", key); }
  static QLineEdit* Box(QWidget& w, const char* name) { return w.findChild<QLineEdit*>(name); }
  static void Press(QWidget& w, const char* name) { w.findChild<QPushButton*>(name)->click(); }

  TempFolder folder_;
  std::vector<MessageBoxes::Box> boxes_;
  int aboutOpened_ = 0;
};

TEST_F(ConfigWindowTest, ControlsCaptionsAndTabOrder) {
  frmConfig w([](QWidget*) {});
  EXPECT_EQ(w.windowTitle(), "Tarnwick Configuration");
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  const std::pair<const char*, const char*> captions[] = {{"lblFrom", "From:"},
                                                          {"lblTo", "To:"},
                                                          {"lblSubject", "Subject:"},
                                                          {"lblMessage", "Message:"},
                                                          {"lblAttachment", "Attachment:"},
                                                          {"lblServer", "Server:"},
                                                          {"lblUserName", "UserName:"},
                                                          {"lblPassword", "Password:"}};
  for (const auto& [name, caption] : captions)
    EXPECT_EQ(w.findChild<QLabel*>(name)->text().toStdString(), caption) << name;
  EXPECT_EQ(w.findChild<QGroupBox*>("fraSMTP")->title(), "SMTP ");
  for (const auto& [name, caption] : {std::pair{"cmdOK", "&OK"}, std::pair{"cmdCancel", "&Cancel"},
                                      std::pair{"cmdAbout", "&About"}}) {
    auto* button = w.findChild<QPushButton*>(name);
    EXPECT_EQ(button->text().toStdString(), caption);
    EXPECT_FALSE(button->isDefault() || button->autoDefault())
        << name << ": Enter must press nothing";
  }
  ExpectTidyLayout(w);
  EXPECT_EQ(w.findChild<QWidget*>("lblInstructions")->parent(), w.findChild<QWidget*>("Frame1"));
  EXPECT_EQ(w.findChild<QWidget*>("txtSMTPPassword")->parent(), w.findChild<QWidget*>("fraSMTP"));
  EXPECT_EQ(
      w.findChild<QLabel*>("lblInstructions")->text().toStdString(),
      "Enter the default values that you want to use with Tarnwick.  Any time you run Tarnwick "
      "from a "
      "command line, these values will be used for any options that you do NOT specify on the "
      "command "
      "line.  Note that you can always override any of these default values by simply specifying a "
      "particular option with one of the available command line switches.");
  EXPECT_EQ(Box(w, "txtSMTPPassword")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(FocusChain(Box(w, "txtFrom"), 11),
            (std::vector<std::string>{"txtFrom", "txtTo", "txtSubject", "txtMessage",
                                      "txtAttachment", "txtSMTPServer", "txtSMTPUserName",
                                      "txtSMTPPassword", "cmdOK", "cmdCancel", "cmdAbout"}));
}

TEST_F(ConfigWindowTest, LoadShowsStoredValuesAndOkWritesThemBack) {
  const std::string longValue(300, 'm');
  folder_.Write("Tarnwick.ini", "; mine\n[Options]\nFrom=\"  alice@example.com  \"\nMessage=" +
                                    longValue + "\nPort=587\nTimeOutSecs=30\nSMTPPassword=" +
                                    StoredPassword::Encipher("p\xC3\xA4ss", "plomvaderskiturne") +
                                    "\n[Other]\nx=1\n");
  frmConfig w([](QWidget*) {});
  EXPECT_EQ(Box(w, "txtFrom")->text(), "  alice@example.com  ");
  EXPECT_EQ(Box(w, "txtMessage")->text().size(), 259);
  EXPECT_EQ(Box(w, "txtSMTPPassword")->text(), QString::fromUtf8("p\xC3\xA4ss"));
  Box(w, "txtSubject")->setText(" Weekly report ");
  Box(w, "txtSMTPPassword")->setText("n3w secret");
  Press(w, "cmdOK");
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(Read("From"), "  alice@example.com  ");
  EXPECT_EQ(Read("Subject"), " Weekly report ");
  EXPECT_EQ(Read("Message"), std::string(259, 'm')) << "the cut value is written back";
  EXPECT_EQ(Read("Port"), "587");
  EXPECT_EQ(Read("TimeOutSecs"), "30");
  const std::string stored = Read("SMTPPassword");
  EXPECT_EQ(stored.size(), 20U);
  EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos) << stored;
  EXPECT_EQ(StoredPassword::Decipher(stored, "plomvaderskiturne"), "n3w secret");
  const std::string text = TempFolder::Read(Ini());
  EXPECT_EQ(text.rfind("; mine\n", 0), 0U);
  EXPECT_NE(text.find("[Other]\nx=1\n"), std::string::npos);
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(ConfigWindowTest, NoFileThenOkCreatesEmptyKeys) {
  frmConfig w([](QWidget*) {});
  for (const char* name : {"txtFrom", "txtTo", "txtSMTPPassword"})
    EXPECT_EQ(Box(w, name)->text(), "") << name;
  Press(w, "cmdOK");
  ASSERT_TRUE(std::filesystem::exists(Ini()));
  for (const char* key : {"From", "To", "Subject", "Message", "Attachment", "SMTPServer",
                          "SMTPUserName", "SMTPPassword"}) {
    EXPECT_EQ(Read(key), "") << key;
  }
}

TEST_F(ConfigWindowTest, PasswordFromElsewhereIsReadOnlyAndLeftAlone) {
  const std::string stored = StoredPassword::Encipher("old");
  folder_.Write("Tarnwick.ini", "[Options]\nSMTPPassword=" + stored +
                                    "\nSMTPPasswordFrom=command pass show smtp\n");
  frmConfig w([](QWidget*) {});
  QLineEdit* password = Box(w, "txtSMTPPassword");
  EXPECT_TRUE(password->isReadOnly());
  EXPECT_EQ(password->text(), "") << "never the stored one, which is not used";
  EXPECT_NE(password->toolTip().indexOf("the command pass"), -1)
      << password->toolTip().toStdString();
  EXPECT_TRUE(Box(w, "txtFrom")->isEnabled() && !Box(w, "txtFrom")->isReadOnly());
  Box(w, "txtFrom")->setText("new@example.com");
  Press(w, "cmdOK");
  EXPECT_EQ(Read("From"), "new@example.com");
  EXPECT_EQ(Read("SMTPPassword"), "") << "an unused enciphered copy is still readable";
  EXPECT_EQ(Read("SMTPPasswordFrom"), "command pass show smtp");
}

TEST_F(ConfigWindowTest, CancelAndCloseBoxWriteNothing) {
  const std::string before = "[Options]\nFrom=a@x\n";
  folder_.Write("Tarnwick.ini", before);
  for (int how = 0; how < 2; ++how) {
    frmConfig w([](QWidget*) {});
    w.show();
    Box(w, "txtFrom")->setText("changed@x");
    if (how == 0) {
      Press(w, "cmdCancel");
    } else {
      w.close();
    }
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(TempFolder::Read(Ini()), before);
  }
}

TEST_F(ConfigWindowTest, AboutKeepsTheFields) {
  frmConfig w([this](QWidget* owner) {
    ++aboutOpened_;
    EXPECT_NE(owner, nullptr);
  });
  Box(w, "txtTo")->setText("typed@x");
  Press(w, "cmdAbout");
  EXPECT_EQ(aboutOpened_, 1);
  EXPECT_EQ(Box(w, "txtTo")->text(), "typed@x");
}

TEST_F(ConfigWindowTest, PasswordNotHexIsReportedAndLeftEmpty) {
  folder_.Write("Tarnwick.ini", "[Options]\nSMTPPassword=hunter2\n");
  frmConfig w([](QWidget*) {});
  EXPECT_EQ(Box(w, "txtSMTPPassword")->text(), "");
  w.show();
  QApplication::processEvents();
  ASSERT_EQ(boxes_.size(), 1U);
  EXPECT_NE(boxes_[0].text.find("SMTPPassword"), std::string::npos);
  EXPECT_NE(boxes_[0].text.find(Ini()), std::string::npos);
  EXPECT_EQ(boxes_[0].text.find("hunter2"), std::string::npos);
  // The user is in the window already: it says what to do here.
  EXPECT_EQ(boxes_[0].text.find("tarnwick -config"), std::string::npos) << boxes_[0].text;
  EXPECT_NE(boxes_[0].text.find("Password box"), std::string::npos) << boxes_[0].text;
}

TEST_F(ConfigWindowTest, FailedSaveSaysSoAndKeepsTheWindow) {
  std::filesystem::create_directory(folder_.path() /
                                    "Tarnwick.ini");  // cannot be replaced by a file
  frmConfig w([](QWidget*) {});
  w.show();
  Box(w, "txtFrom")->setText("edited@x");
  Press(w, "cmdOK");
  ASSERT_EQ(boxes_.size(), 1U);
  EXPECT_NE(boxes_[0].text.find(Ini()), std::string::npos);
  EXPECT_TRUE(w.isVisible()) << "the edits would be lost";
}

TEST_F(ConfigWindowTest, PasswordMaskFrameCaptionAndEnter) {
  frmConfig w([](QWidget*) {});
  w.show();
  auto* password = Box(w, "txtSMTPPassword");
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
  password->setText("secret");
  EXPECT_EQ(password->displayText(), "******");
  // The caption sits on the frame's top border, and the border passes
  // above the first box inside.
  auto* frame = w.findChild<QGroupBox*>("fraSMTP");
  QStyleOptionGroupBox option;
  option.initFrom(frame);
  option.text = frame->title();
  option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
  const QRect label =
      frame->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
  const QRect border =
      frame->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, frame);
  EXPECT_LE(label.top(), border.top()) << "caption above the border";
  EXPECT_GE(label.bottom(), border.top()) << "caption clear of the border";
  for (auto* box : frame->findChildren<QLineEdit*>()) {
    EXPECT_GT(box->geometry().top(), border.top() + 1) << box->objectName().toStdString();
  }
  // Enter on a focused button presses it: Cancel closes without saving.
  auto* cancel = w.findChild<QPushButton*>("cmdCancel");
  cancel->setFocus();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(cancel, &enter);
  EXPECT_FALSE(w.isVisible());
  EXPECT_FALSE(std::filesystem::exists(Ini()));
}

}  // namespace
