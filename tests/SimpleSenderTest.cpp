// The simple mail sender under offscreen, against the real test server.
#include "frmTarnwick.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <chrono>

#include "MessageBoxes.h"
#include "ProgramFolder.h"
#include "SmtpTestServer.h"
#include "WindowTestApp.h"

namespace {

class SimpleSenderTest : public testing::Test {
 protected:
  void SetUp() override {
    WindowTestApp();
    w_ = std::make_unique<frmTarnwick>();
    ProgramFolder::OverrideForTesting(folder_.path().string());
    MessageBoxes::SetHandlerForTesting([this](const MessageBoxes::Box& b) {
      boxes_.push_back(b);
      closeEnabledAtBox_.push_back(w_->findChild<QPushButton*>("cmdClose")->isEnabled());
      if (onBox_) onBox_();
    });
  }
  void TearDown() override { MessageBoxes::SetHandlerForTesting(nullptr); }

  void Fill(const std::string& server, const std::string& to) {
    Box("txtSMTPServer")->setText(QString::fromStdString(server));
    Box("txtSender")->setText("alice@example.com");
    Box("txtRecipient")->setText(QString::fromStdString(to));
    Box("txtSubject")->setText("Hello");
    w_->findChild<QPlainTextEdit*>("txtMessage")->setPlainText("Line one\nLine two");
  }
  QLineEdit* Box(const char* name) { return w_->findChild<QLineEdit*>(name); }
  void Send() { w_->findChild<QPushButton*>("cmdSend")->click(); }

  TempFolder folder_;
  std::unique_ptr<frmTarnwick> w_;
  std::vector<MessageBoxes::Box> boxes_;
  std::vector<bool> closeEnabledAtBox_;
  std::function<void()> onBox_;
};

TEST_F(SimpleSenderTest, LayoutAndEmptyBoxes) {
  EXPECT_EQ(w_->windowTitle(), "Simple Mail Sender");
  ExpectTidyLayout(*w_);
  EXPECT_EQ(w_->findChild<QLabel*>("lblTo")->text(), "Email To:");
  EXPECT_EQ(w_->findChild<QPushButton*>("cmdSend")->text(), "&Send message");
  EXPECT_EQ(Box("txtSMTPPassword")->echoMode(), QLineEdit::Normal);
  for (const char* name : {"txtSMTPServer", "txtSMTPUserName", "txtSMTPPassword", "txtSender",
                           "txtRecipient", "txtSubject"}) {
    EXPECT_TRUE(Box(name)->text().isEmpty()) << name;
  }
  EXPECT_EQ(FocusChain(Box("txtSMTPServer"), 10),
            (std::vector<std::string>{"txtSMTPServer", "txtSMTPUserName", "txtSMTPPassword",
                                      "txtSender", "txtRecipient", "txtSubject", "txtMessage",
                                      "cmdSend", "cmdNew", "cmdClose"}));
}

TEST_F(SimpleSenderTest, NewMessageClearsOnlyItsThreeBoxes) {
  Fill("mail.example.com", "bob@example.com");
  Box("txtSMTPUserName")->setText("u");
  Box("txtSMTPPassword")->setText("p");
  w_->findChild<QPushButton*>("cmdNew")->click();
  EXPECT_TRUE(Box("txtRecipient")->text().isEmpty());
  EXPECT_TRUE(Box("txtSubject")->text().isEmpty());
  EXPECT_TRUE(w_->findChild<QPlainTextEdit*>("txtMessage")->toPlainText().isEmpty());
  EXPECT_EQ(Box("txtSMTPServer")->text(), "mail.example.com");
  EXPECT_EQ(Box("txtSMTPUserName")->text(), "u");
  EXPECT_EQ(Box("txtSMTPPassword")->text(), "p");
  EXPECT_EQ(Box("txtSender")->text(), "alice@example.com");
}

TEST_F(SimpleSenderTest, TestListSendsInOrderWithPause) {
  SmtpTestServer server;
  folder_.Write("testlist.txt", "bob@example.com\r\n\r\n   \r\ncarol@example.com\n");
  Fill(server.HostPort(), "testlist.txt");
  onBox_ = [this] {
    Send();       // a second press during the run starts nothing
    w_->close();  // and the title-bar close is refused
  };
  w_->show();
  const auto start = std::chrono::steady_clock::now();
  Send();
  EXPECT_TRUE(w_->isVisible()) << "the close during the run was not refused";
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(boxes_.size(), 2U);
  const char* const whose[] = {"bob@example.com", "carol@example.com"};
  for (std::size_t i = 0; i < boxes_.size(); ++i) {
    const auto& box = boxes_[i];
    EXPECT_EQ(box.title, "Success");
    EXPECT_NE(
        box.text.find("\r\n\r\nMail sent successfully!\r\n\r\nRecipient: " + std::string(whose[i])),
        std::string::npos)
        << box.text;
    EXPECT_EQ(box.text.rfind("Server: " + server.HostPort(), 0), 0U)
        << "InfoText first: " << box.text;
  }
  EXPECT_EQ(closeEnabledAtBox_, (std::vector<bool>{false, false}));
  EXPECT_TRUE(w_->findChild<QPushButton*>("cmdClose")->isEnabled());
  ASSERT_EQ(server.MessageCount(), 2);
  EXPECT_NE(server.Envelope(1).find("bob@example.com"), std::string::npos);
  EXPECT_NE(server.Envelope(2).find("carol@example.com"), std::string::npos);
  EXPECT_GE(seconds, 5.0) << "no pause between the sends";
  EXPECT_LT(seconds, 8.0) << "a pause after the last send";
}

TEST_F(SimpleSenderTest, ServerErrorShowsErrorBox) {
  SmtpTestServer server({"--fault", "greet-421"});
  Fill(server.HostPort(), "bob@example.com");
  Send();
  ASSERT_EQ(boxes_.size(), 1U);
  EXPECT_EQ(boxes_[0].title, "Error");
  EXPECT_NE(boxes_[0].text.find("\r\n\r\nSMTP Error SMTP Error 421: "), std::string::npos)
      << boxes_[0].text;
  EXPECT_EQ(boxes_[0].icon, MessageBoxes::Icon::Warning);
}

TEST_F(SimpleSenderTest, MissingOrEmptyTestListSendsNothing) {
  SmtpTestServer server;
  Fill(server.HostPort(), "testlist.txt");
  Send();
  ASSERT_EQ(boxes_.size(), 1U);
  EXPECT_NE(boxes_[0].text.find(folder_.File("testlist.txt")), std::string::npos) << boxes_[0].text;
  folder_.Write("testlist.txt", "\n   \n");
  Send();
  ASSERT_EQ(boxes_.size(), 2U) << "an empty list says so";
  EXPECT_NE(boxes_[1].text.find("holds no address; nothing was sent."), std::string::npos)
      << boxes_[1].text;
  EXPECT_TRUE(w_->findChild<QPushButton*>("cmdClose")->isEnabled());
  EXPECT_EQ(server.Events(), "");
}

TEST(ReadTestList, LinesKeptAsTheyStand) {
  TempFolder folder;
  const auto path = folder.Write("testlist.txt", " alice@x \r\n\r\n\t\r\nbob@x");
  std::string problem;
  EXPECT_EQ(ReadTestList(path, problem), (std::vector<std::string>{" alice@x ", "\t", "bob@x"}));
}

}  // namespace
