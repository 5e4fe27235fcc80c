// Help and about windows and the hyperlink label, under offscreen.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "AboutBox.h"
#include "Contrast.h"
#include "HyperText.h"
#include "MessageBoxes.h"
#include "MousePointer.h"
#include "ProgramStart.h"
#include "ShellOpen.h"
#include "TempFolder.h"
#include "VersionString.h"
#include "WindowTestApp.h"
#include "frmAbout.h"
#include "frmSignIn.h"
#include "frmTarnwickHelp.h"

namespace {

struct Recorder {
  Recorder() {
    WindowTestApp();
    MessageBoxes::SetHandlerForTesting([this](const MessageBoxes::Box& b) { boxes.push_back(b); });
    ShellOpen::SetOpenerForTesting([this](const std::string& t) {
      opened.push_back(t);
      return openWorks;
    });
    ProgramStart::SetStarterForTesting([this](const std::string& c) {
      started.push_back(c);
      return startResult;
    });
  }
  ~Recorder() {
    MessageBoxes::SetHandlerForTesting(nullptr);
    ShellOpen::SetOpenerForTesting(nullptr);
    ProgramStart::SetStarterForTesting(nullptr);
  }
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;
  std::vector<MessageBoxes::Box> boxes;
  std::vector<std::string> opened;
  std::vector<std::string> started;
  bool openWorks = true;
  bool startResult = true;
};

TEST(HelpWindow, TextsAndLayout) {
  WindowTestApp();
  frmTarnwickHelp w;
  EXPECT_EQ(w.windowTitle(), "Tarnwick [options]");
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  const auto text = [&](const char* name) {
    return w.findChild<QLabel*>(name)->text().toStdString();
  };
  EXPECT_EQ(text("lblVerInfo"), VersionString::Text() + " " + VersionInfo{}.fileDescription);
  EXPECT_EQ(text("lblUsage"), "Usage:  TARNWICK [options]");
  EXPECT_EQ(text("lblNoParms"),
            "TARNWICK with no parameters will bring up the configuration window");
  EXPECT_EQ(
      text("lblOptions"),
      "-f ADDRESS\r\n-t ADDRESS [ADDRESS ...]\r\n-s SUBJECT\r\n-m MESSAGE\r\n-x SMTP SERVER\r\n"
      "-xu USERNAME\r\n-xp PASSWORD\r\n-a FILE [FILE ...]\r\n\r\n-config\r\n-log\r\n-help");
  EXPECT_EQ(text("lblOptionsDesc"),
            "from (sender) address\r\nto address(es)\r\nmessage subject\r\nmessage body\r\nSMTP "
            "server\r\n"
            "SMTP username for authentication\r\nSMTP password for authentication\r\nfile "
            "attachment(s)\r\n\r\n"
            "open configuration dialog window\r\nlog results to Tarnwick.log\r\ndisplay this Help "
            "screen");
  ExpectTidyLayout(w);
  EXPECT_EQ(w.findChild<QPushButton*>("cmdOK")->text(), "&OK");
  EXPECT_EQ(w.findChild<QPushButton*>("cmdAbout")->text(), "&About");
  EXPECT_FALSE(w.findChild<QPushButton*>("cmdOK")->autoDefault());
  EXPECT_EQ(FocusChain(w.findChild<QWidget*>("cmdOK"), 2),
            (std::vector<std::string>{"cmdOK", "cmdAbout"}));
}

TEST(HelpWindow, OkEndsTheProgram) {
  WindowTestApp();
  frmTarnwickHelp w;
  w.show();
  QTimer::singleShot(0, &w, [&] { w.findChild<QPushButton*>("cmdOK")->click(); });
  QTimer::singleShot(3000, [] { QCoreApplication::exit(99); });
  EXPECT_EQ(QApplication::exec(), 0);
}

TEST(AboutBox, VersionStrings) {
  struct Case {
    std::int16_t major, minor, revision;
    const char* text;
  };
  const Case cases[] = {{1, 2, 4, "Version 1.2 build 004"},
                        {1, 2, 0, "Version 1.2"},
                        {1, 2, 12, "Version 1.2 build 012"},
                        {1, 2, 1234, "Version 1.2 build 1234"},
                        {1, 0, 0, "Version 1.0"},
                        {3, 10, 7, "Version 3.10 build 007"}};
  for (const auto& c : cases) {
    VersionInfo info;
    info.major = c.major;
    info.minor = c.minor;
    info.revision = c.revision;
    EXPECT_EQ(VersionString::Text(info), c.text);
  }
}

TEST(AboutBox, FillAboutBoxRules) {
  WindowTestApp();
  struct Case {
    const char* product;
    const char* description;
    const char* company;
    const char* title;
    const char* descriptionLabel;
  };
  const Case cases[] = {
      {"Tarnwick", "Mail sender", "Tarnwick Ltd", "Tarnwick - Mail sender",
       "Tarnwick Ltd\r\n\r\n(c) 2026"},
      {"Tarnwick", "Tarnwick", "", "Tarnwick", "(c) 2026"},
      {"Tarnwick", "TARNWICK", "   ", "Tarnwick - TARNWICK", "(c) 2026"},
      {"Tarnwick", "", " Co ", "Tarnwick - ", " Co \r\n\r\n(c) 2026"},
  };
  for (const auto& c : cases) {
    QWidget w;
    for (const char* name : {"lblTitle", "lblVersion", "lblDescription"})
      (new QLabel(&w))->setObjectName(name);
    VersionInfo info;
    info.productName = c.product;
    info.fileDescription = c.description;
    info.companyName = c.company;
    info.copyright = "(c) 2026";
    AboutBox::FillAboutBox(w, info);
    EXPECT_EQ(w.windowTitle(), "About Tarnwick");
    EXPECT_EQ(w.findChild<QLabel*>("lblTitle")->text().toStdString(), c.title);
    EXPECT_TRUE(w.findChild<QLabel*>("lblTitle")->font().bold());
    EXPECT_EQ(w.findChild<QLabel*>("lblVersion")->text().toStdString(), VersionString::Text(info));
    EXPECT_EQ(w.findChild<QLabel*>("lblDescription")->text().toStdString(), c.descriptionLabel);
  }
}

// System Info starts the first information tool on PATH, or says that
// there is none; a tool that will not start says the same.
TEST(AboutWindow, SystemInfoStartsTheToolOnPath) {
  TempFolder bin;
  bin.Write("kinfocenter", "#!/bin/sh\n");
  std::filesystem::permissions(bin.path() / "kinfocenter", std::filesystem::perms::owner_all);
  std::filesystem::create_directory(bin.path() / "hardinfo");  // a folder is no program
  const std::string oldPath = std::getenv("PATH");
  struct Case {
    std::string path;
    bool startWorks;
    std::vector<std::string> started;
    bool message;
  };
  const Case cases[] = {{bin.path().string(), true, {bin.File("kinfocenter")}, false},
                        {bin.path().string(), false, {bin.File("kinfocenter")}, true},
                        {"/nonexistent", true, {}, true}};
  for (const auto& c : cases) {
    Recorder rec;
    rec.startResult = c.startWorks;
    ::setenv("PATH", c.path.c_str(), 1);
    frmAbout about;
    about.findChild<QPushButton*>("cmdSysInfo")->click();
    EXPECT_EQ(rec.started, c.started) << c.path;
    ASSERT_EQ(rec.boxes.size(), c.message ? 1U : 0U) << c.path;
    if (c.message) {
      EXPECT_EQ(rec.boxes[0].text, "System Information Is Unavailable At This Time");
      EXPECT_EQ(rec.boxes[0].title, "Tarnwick");
      EXPECT_EQ(rec.boxes[0].icon, MessageBoxes::Icon::None);
    }
  }
  ::setenv("PATH", oldPath.c_str(), 1);
}

TEST(AboutWindow, Layout) {
  Recorder rec;
  frmAbout about;
  EXPECT_EQ(about.windowTitle(), "About Tarnwick");
  auto* ok = about.findChild<QPushButton*>("cmdOK");
  EXPECT_TRUE(ok->isDefault());
  ExpectTidyLayout(about);
  for (const char* link : {"lblEmailLink", "lblWebLink"}) {
    EXPECT_EQ(about.findChild<QLabel*>(link)->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(about.findChild<QLabel*>(link)->font().underline());
  }
  EXPECT_EQ(about.findChild<QPushButton*>("cmdSysInfo")->text(), "&System Info...");
}

void Click(QLabel* label) {
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), label->mapToGlobal(QPointF(2, 2)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), label->mapToGlobal(QPointF(2, 2)),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(label, &press);
  QApplication::sendEvent(label, &release);
}

QColor TextColor(QLabel* label) { return label->palette().color(QPalette::WindowText); }

TEST(HyperText, OpensAndColours) {
  struct Case {
    const char* caption;
    bool openWorks;
    const char* opened;
    const char* message;  // nullptr: none
  };
  const Case cases[] = {
      {"support@tarnwick.example", true, "mailto:support@tarnwick.example", nullptr},
      {"www.tarnwick.example/mail", true, "www.tarnwick.example/mail", nullptr},
      {"mailto:a@b.example", false, "mailto:mailto:a@b.example", "Could not start e-mail program!"},
      {"www.example.com", false, "www.example.com", "Could not start browser!"},
      {"MAILTO:list", false, "MAILTO:list", "Could not start browser!"},
  };
  for (const auto& c : cases) {
    Recorder rec;
    rec.openWorks = c.openWorks;
    QWidget window;
    auto* label = new QLabel(c.caption, &window);
    HyperText link;
    link.LinkColor = QColor(0, 255, 0);  // set before binding
    link.CreateHyper(label);
    link.LinkColor = QColor(0x12, 0x34, 0x56);  // changes no label
    EXPECT_EQ(TextColor(label), QColor(0, 255, 0)) << c.caption;
    EXPECT_TRUE(label->font().underline());
    Click(label);
    ASSERT_EQ(rec.opened.size(), 1U) << c.caption;
    EXPECT_EQ(rec.opened[0], c.opened);
    if (c.message == nullptr) {
      EXPECT_TRUE(rec.boxes.empty()) << c.caption;
      EXPECT_EQ(TextColor(label), QColor(255, 0, 0)) << "visited is red";
    } else {
      ASSERT_EQ(rec.boxes.size(), 1U) << c.caption;
      EXPECT_EQ(rec.boxes[0].text, c.message);
      EXPECT_EQ(rec.boxes[0].title, "Error");
      EXPECT_EQ(rec.boxes[0].icon, MessageBoxes::Icon::Error);
      EXPECT_EQ(TextColor(label), QColor(0, 255, 0)) << "a failed open changes no colour";
    }
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), label->mapToGlobal(QPointF(3, 3)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    MousePointer::Set(MousePointer::Shape::Busy);
    QApplication::sendEvent(label, &move);
    EXPECT_EQ(MousePointer::Current(), MousePointer::Shape::Default) << "the link's own pointer";
  }
}

// Under a dark theme the designed black and blue would vanish; under a
// light one they stay exactly as designed.
TEST(AboutWindow, ReadableOnLightAndDarkPalettes) {
  Recorder rec;
  const QPalette original = QApplication::palette();
  struct Case {
    const char* name;
    QColor window, text;
  };
  const Case cases[] = {{"light", QColor(240, 240, 240), Qt::black},
                        {"dark", QColor(50, 50, 50), QColor(220, 220, 220)}};
  for (const auto& c : cases) {
    QPalette palette = original;
    palette.setColor(QPalette::Window, c.window);
    palette.setColor(QPalette::WindowText, c.text);
    QApplication::setPalette(palette);
    frmAbout about;
    for (const char* name : {"lblTitle", "lblDescription", "lblEmailLink", "lblWebLink",
                             "lblVersion", "lblTechSupport"}) {
      const auto* label = about.findChild<QLabel*>(name);
      const QColor fg = label->palette().color(QPalette::WindowText);
      const QColor bg = label->palette().color(QPalette::Window);
      EXPECT_GE(Contrast::Ratio(fg, bg), Contrast::kReadable) << c.name << " " << name;
    }
    if (std::string(c.name) == "light") {
      EXPECT_EQ(TextColor(about.findChild<QLabel*>("lblTitle")), QColor(Qt::black));
      EXPECT_EQ(TextColor(about.findChild<QLabel*>("lblWebLink")), QColor(0, 0, 255));
    }
  }
  QApplication::setPalette(original);
}

// Enter presses the focused button; in About, with System Info focused, it
// starts the tool instead of closing the window.
TEST(AboutWindow, EnterPressesTheFocusedButton) {
  Recorder rec;
  frmAbout about;
  about.show();
  auto* sysInfo = about.findChild<QPushButton*>("cmdSysInfo");
  sysInfo->setFocus();
  for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
    QKeyEvent press(QEvent::KeyPress, key,
                    key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    QApplication::sendEvent(sysInfo, &press);
  }
  EXPECT_EQ(rec.started.size() + rec.boxes.size(), 2U) << "each Enter ran System Info";
  EXPECT_TRUE(about.isVisible()) << "Enter on System Info closed the window";
  EXPECT_EQ(about.result(), 0);
  auto* ok = about.findChild<QPushButton*>("cmdOK");
  ok->setFocus();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(ok, &enter);
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

// The sign-in window shows the code its sign-in reports, copies it, and a
// Cancel ends the sign-in's wait rather than leaving it polling.
TEST(SignInWindow, ShowsAndCopiesTheCodeAndCancelEndsTheWait) {
  WindowTestApp();
  std::atomic<bool> ended{false};
  frmSignIn window([&ended](const OAuthLogin::Watcher& watcher) {
    watcher.showCode({"https://microsoft.com/devicelogin", "WDJB-MJHT", ""});
    while (!*watcher.cancelled) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ended = true;
    return 1;
  });
  window.show();
  auto* code = window.findChild<QLineEdit*>("txtCode");
  auto* copy = window.findChild<QPushButton*>("cmdCopy");
  auto* cancel = window.findChild<QPushButton*>("cmdCancel");
  ASSERT_TRUE(code != nullptr && copy != nullptr && cancel != nullptr);
  QElapsedTimer waited;
  waited.start();
  while (code->text().isEmpty() && waited.elapsed() < 5000) QApplication::processEvents();
  EXPECT_EQ(code->text(), "WDJB-MJHT");
  EXPECT_TRUE(copy->isEnabled());
  EXPECT_TRUE(window.findChild<QLabel*>("lblAddress")->text().contains("devicelogin"));
  copy->click();
  EXPECT_EQ(QApplication::clipboard()->text(), "WDJB-MJHT");
  cancel->click();
  while (!ended && waited.elapsed() < 5000) QApplication::processEvents();
  EXPECT_TRUE(ended) << "the sign-in still waits after Cancel";
}

}  // namespace
