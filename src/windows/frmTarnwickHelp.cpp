#include "frmTarnwickHelp.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "ButtonKeys.h"
#include "HelpTexts.h"
#include "ProgramIcon.h"
#include "Twips.h"
#include "WindowRun.h"
#include "WindowText.h"
#include "frmAbout.h"

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
  connect(cmdOK, &QPushButton::clicked, this, &frmTarnwickHelp::onOkClicked);
  connect(cmdAbout, &QPushButton::clicked, this, &frmTarnwickHelp::onAboutClicked);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  loadTexts();
  cmdOK->setFocus();
  ButtonKeys::EnterPressesFocusedButton(*this);
}

void frmTarnwickHelp::loadTexts() {
  const HelpTexts texts = MakeHelpTexts();
  setWindowTitle(WindowText::FromBytes(texts.title));
  lblVerInfo->setText(WindowText::FromBytes(texts.verInfo));
  lblUsage->setText(WindowText::FromBytes(texts.usage));
  lblNoParms->setText(WindowText::FromBytes(texts.noParms));
  lblOptions->setText(WindowText::FromBytes(texts.options));
  lblOptionsDesc->setText(WindowText::FromBytes(texts.optionsDesc));
}

// Ends the program at once: no other window's close handling runs.
void frmTarnwickHelp::onOkClicked() { QCoreApplication::exit(0); }

void frmTarnwickHelp::onAboutClicked() { ShowAbout(this); }

int RunHelpWindow() {
  return WindowRun::Run([] { return std::make_unique<frmTarnwickHelp>(); });
}
