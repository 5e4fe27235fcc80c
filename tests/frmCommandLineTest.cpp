// The delivery window under the offscreen platform: its layout, and what a
// close request does while the run waits.
#include "frmCommandLine.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <chrono>

#include "ArgumentText.h"
#include "CommandLine.h"
#include "ProgramFolder.h"
#include "SmtpTestServer.h"
#include "WindowTestApp.h"

namespace {

TEST(frmCommandLine, Layout) {
  WindowTestApp();
  frmCommandLine form;
  EXPECT_EQ(form.windowTitle(), "Tarnwick");
  EXPECT_EQ(form.size(), QSize(312, 110));  // 4680 x 1650 twips
  EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "fixed border";
  struct Control {
    const char* name;
    QRect geometry;
    const char* text;
  };
  const Control controls[] = {
      {"lblInfo", QRect(16, 16, 273, 33), "from = "},
      {"lblStatus", QRect(8, 64, 289, 25), "status"},
  };
  for (const auto& c : controls) {
    const auto* label = form.findChild<QLabel*>(c.name);
    ASSERT_NE(label, nullptr) << c.name;
    EXPECT_EQ(label->geometry(), c.geometry) << c.name;
    EXPECT_EQ(label->text(), c.text) << c.name;
  }
}

// A close while the run waits cancels the send: the outcome is an error,
// never a success; a second activation starts nothing.
TEST(frmCommandLine, CloseDuringWaitCancels) {
  WindowTestApp();
  SmtpTestServer server({"--fault", "no-greeting"});
  TempFolder folder;
  folder.Write("Tarnwick.ini", "[Options]\nSMTPServer=" + server.HostPort() + "\nTimeOutSecs=20\n");
  ProgramFolder::OverrideForTesting(folder.path().string());
  ArgumentText::Set("-f alice@example.com -t bob@example.com -log");
  CommandLine::CipherKey = CommandLine::kCipherKeyText;

  frmCommandLine form;
  form.show();
  QTimer::singleShot(800, &form, [&] { form.Form_Activate(); });
  QTimer::singleShot(1000, &form, [&] { form.close(); });
  const auto start = std::chrono::steady_clock::now();
  const int status = QApplication::exec();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(status, 1);
  EXPECT_EQ(form.findChild<QLabel*>("lblInfo")->text(), "SMTP Error Tarnwick cancelled.");
  EXPECT_LT(seconds, 1.0 + 3.0 + 1.0) << "the close did not end the wait";
  EXPECT_EQ(server.Events(), "CONNECT\n") << "one run, one connection";
  const std::string log = TempFolder::Read(folder.File("Tarnwick.log"));
  EXPECT_NE(log.find(" error: Tarnwick cancelled.\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("*** Tarnwick started"), log.rfind("*** Tarnwick started"));
}

}  // namespace
