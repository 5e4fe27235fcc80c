#include "frmTarnwickHelp.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <array>
#include <iostream>

#include "AboutBox.h"
#include "ProgramIcon.h"
#include "Twips.h"
#include "WindowRun.h"
#include "WindowSystem.h"
#include "WindowText.h"
#include "frmAbout.h"

namespace {

std::string JoinLines(const std::array<const char*, 12>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines.at(i);
  }
  return text;
}
}  // namespace

HelpTexts MakeHelpTexts() {
  const VersionInfo info;
  return {"Tarnwick [options]",
          AboutBox::GetVersionString(info) + " " + info.fileDescription,
          "Usage:  TARNWICK [options]",
          "TARNWICK with no parameters will bring up the configuration window",
          JoinLines({"-f ADDRESS", "-t ADDRESS [ADDRESS ...]", "-s SUBJECT", "-m MESSAGE",
                     "-x SMTP SERVER", "-xu USERNAME", "-xp PASSWORD", "-a FILE [FILE ...]", "",
                     "-config", "-log", "-help"}),
          JoinLines({"from (sender) address", "to address(es)", "message subject", "message body",
                     "SMTP server", "SMTP username for authentication",
                     "SMTP password for authentication", "file attachment(s)", "",
                     "open configuration dialog window", "log results to Tarnwick.log",
                     "display this Help screen"})};
}

frmTarnwickHelp::frmTarnwickHelp(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      lblVerInfo(new QLabel(this)),
      cmdOK(new QPushButton("&OK", this)),
      lblOptions(new QLabel(this)),
      lblOptionsDesc(new QLabel(this)),
      lblUsage(new QLabel(this)),
      lblNoParms(new QLabel(this)),
      cmdAbout(new QPushButton("&About", this)) {
  setObjectName("frmTarnwickHelp");
  setWindowTitle("Tarnwick Help");
  setWindowIcon(ProgramIcon::Get());
  setFixedSize(Twips::Px(5850), Twips::Px(5115));
  const std::pair<QWidget*, QRect> places[] = {
      {lblVerInfo, Twips::Rect(240, 240, 5295, 255)},
      {cmdOK, Twips::Rect(1898, 4320, 855, 375)},
      {lblOptions, Twips::Rect(480, 1560, 2175, 2535)},
      {lblOptionsDesc, Twips::Rect(2880, 1560, 2655, 2535)},
      {lblUsage, Twips::Rect(240, 600, 5415, 255)},
      {lblNoParms, Twips::Rect(240, 960, 5415, 255)},
      {cmdAbout, Twips::Rect(3098, 4320, 855, 375)}};
  const char* names[] = {"lblVerInfo", "cmdOK",      "lblOptions", "lblOptionsDesc",
                         "lblUsage",   "lblNoParms", "cmdAbout"};
  for (std::size_t i = 0; i < std::size(places); ++i) {
    places[i].first->setObjectName(names[i]);
    places[i].first->setGeometry(places[i].second);
  }
  for (QLabel* label : {lblVerInfo, lblOptions, lblOptionsDesc, lblUsage, lblNoParms}) {
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }
  for (QPushButton* button : {cmdOK, cmdAbout}) button->setAutoDefault(false);
  setTabOrder(cmdOK, cmdAbout);
  connect(cmdOK, &QPushButton::clicked, this, &frmTarnwickHelp::cmdOK_Click);
  connect(cmdAbout, &QPushButton::clicked, this, &frmTarnwickHelp::cmdAbout_Click);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  Form_Load();
  cmdOK->setFocus();
}

void frmTarnwickHelp::Form_Load() {
  const HelpTexts texts = MakeHelpTexts();
  setWindowTitle(WindowText::FromBytes(texts.title));
  lblVerInfo->setText(WindowText::FromBytes(texts.verInfo));
  lblUsage->setText(WindowText::FromBytes(texts.usage));
  lblNoParms->setText(WindowText::FromBytes(texts.noParms));
  lblOptions->setText(WindowText::FromBytes(texts.options));
  lblOptionsDesc->setText(WindowText::FromBytes(texts.optionsDesc));
}

// Ends the program at once: no other window's close handling runs.
void frmTarnwickHelp::cmdOK_Click() { QCoreApplication::exit(0); }

void frmTarnwickHelp::cmdAbout_Click() { ShowAbout(this); }

int RunHelpWindow() {
  if (!WindowSystem::Available()) {
    const HelpTexts t = MakeHelpTexts();
    auto noCr = [](std::string text) {
      for (auto at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
      return text;
    };
    std::cout << t.title << "\n\n" << t.verInfo << "\n" << t.usage << "\n" << t.noParms << "\n\n";
    std::string options = noCr(t.options) + "\n";
    std::string descriptions = noCr(t.optionsDesc) + "\n";
    for (std::size_t o = 0, d = 0; o < options.size();) {
      const auto oe = options.find('\n', o);
      const auto de = descriptions.find('\n', d);
      const std::string left = options.substr(o, oe - o);
      std::cout << "  " << left << std::string(left.size() < 28 ? 28 - left.size() : 1, ' ')
                << descriptions.substr(d, de - d) << "\n";
      o = oe + 1;
      d = de + 1;
    }
    return 0;
  }
  return WindowRun::Run([] { return std::make_unique<frmTarnwickHelp>(); });
}
