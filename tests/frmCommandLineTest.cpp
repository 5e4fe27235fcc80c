// The delivery window under the offscreen platform: its layout, and what a
// close request does while the run waits.
#include "frmCommandLine.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QTimer>
#include <chrono>
#include <functional>

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
  EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "fixed border";
  EXPECT_EQ(form.findChild<QLabel*>("lblInfo")->text(), "from = ");
  EXPECT_EQ(form.findChild<QLabel*>("lblStatus")->text(), "status");
  ExpectTidyLayout(form);
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

  frmCommandLine form;
  form.show();
  QTimer::singleShot(800, &form, [&] { form.startRunOnce(); });
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

struct WindowRunResult {
  int status = -1;
  double seconds = 0;
};

// Shows the window for a run with `args` and settings `ini`; `during` runs
// at the given time into the run.
WindowRunResult RunWindow(frmCommandLine& form, const TempFolder& folder, const std::string& args,
                          const std::string& ini, int atMs, const std::function<void()>& during) {
  folder.Write("Tarnwick.ini", "[Options]\n" + ini);
  ProgramFolder::OverrideForTesting(folder.path().string());
  ArgumentText::Set(args);
  form.show();
  QTimer::singleShot(atMs, &form, during);
  const auto start = std::chrono::steady_clock::now();
  WindowRunResult result;
  result.status = QApplication::exec();
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

void ExpectFitted(const QLabel* label) {
  // Drawn lines are as high as the real (not rounded) line spacing.
  const QFontMetricsF metrics(label->font());
  const QStringList lines = label->text().split('\n');
  EXPECT_LE(lines.size() * metrics.lineSpacing(), label->height()) << label->text().toStdString();
  for (const auto& line : lines)
    EXPECT_LE(metrics.horizontalAdvance(line), label->width()) << line.toStdString();
}

// Six recipients, then a long time-out error: the labels show whole lines
// ending in "…", and the tooltip holds the whole text.
TEST(frmCommandLine, LongTextsAreFittedWithTheWholeTextAsTooltip) {
  WindowTestApp();
  SmtpTestServer server({"--fault", "no-greeting"});
  TempFolder folder;
  std::string to;
  for (const char* name : {"alice", "bob", "carol", "dave", "erin", "frank"})
    to += std::string(name) + ".longname@example.com ";
  frmCommandLine form;
  const auto* info = form.findChild<QLabel*>("lblInfo");
  QString sending;
  const auto run =
      RunWindow(form, folder, "-f x@example.com -t " + to,
                "SMTPServer=" + server.HostPort() + "\nTimeOutSecs=1\nTotalAttempts=1\n", 500, [&] {
                  sending = info->toolTip();
                  EXPECT_TRUE(info->text().endsWith(QChar(0x2026))) << info->text().toStdString();
                  ExpectFitted(info);
                });
  EXPECT_EQ(run.status, 75);
  EXPECT_TRUE(sending.startsWith("Sending email to alice.longname@example.com"))
      << sending.toStdString();
  EXPECT_TRUE(sending.endsWith("frank.longname@example.com ...")) << sending.toStdString();
  EXPECT_TRUE(info->toolTip().startsWith("SMTP Error SMTP Error 10060: No answer from"))
      << info->toolTip().toStdString();
  EXPECT_TRUE(info->text().startsWith("SMTP Error SMTP Error 10060:"))
      << info->text().toStdString();
  ExpectFitted(info);
}

// Closed while it counts down to the next attempt: the run ends at once and
// says it was cancelled.
TEST(frmCommandLine, CloseDuringCountdownReportsCancel) {
  WindowTestApp();
  SmtpTestServer server({"--fault", "no-greeting"});
  TempFolder folder;
  frmCommandLine form;
  QString status;
  const auto run = RunWindow(
      form, folder, "-f alice@example.com -t bob@example.com -log",
      "SMTPServer=" + server.HostPort() + "\nTimeOutSecs=1\nTotalAttempts=2\nRetryWaitSecs=5\n",
      1900, [&] {
        status = form.findChild<QLabel*>("lblStatus")->text();
        form.close();
      });
  EXPECT_TRUE(status.startsWith("SMTP timeout error -- re-try in")) << status.toStdString();
  EXPECT_EQ(run.status, 1);
  EXPECT_LT(run.seconds, 3.0);
  const std::string log = TempFolder::Read(folder.File("Tarnwick.log"));
  EXPECT_NE(log.find(" error: Tarnwick cancelled.\r\n"), std::string::npos) << log;
}

}  // namespace
