#include "frmAbout.h"

#include <QLabel>
#include <QPushButton>

#include "AboutBox.h"
#include "ButtonKeys.h"
#include "Contrast.h"
#include "MessageBoxes.h"
#include "ProgramIcon.h"
#include "ProgramStart.h"
#include "SystemInfoTool.h"
#include "Twips.h"

namespace {

constexpr const char* kSupportEmail = "support@tarnwick.example";
constexpr const char* kWebAddress = "www.tarnwick.example/mail";

QLabel* Label(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setGeometry(geometry);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

// An etched separator is two lines: grey above, white below.
void Line(QWidget* parent, const char* name, QRect geometry, QColor color) {
  auto* line = new QWidget(parent);
  line->setObjectName(name);
  line->setGeometry(geometry);
  line->setAutoFillBackground(true);
  QPalette palette = line->palette();
  palette.setColor(QPalette::Window, color);
  line->setPalette(palette);
}
}  // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      cmdOK(new QPushButton("OK", this)),
      picIcon(Label(this, "picIcon", {}, Twips::Rect(240, 240, 480, 480))),
      cmdSysInfo(new QPushButton("&System Info...", this)),
      lblDescription(Label(this, "lblDescription", {}, Twips::Rect(1050, 1125, 3885, 930))),
      lblTitle(Label(this, "lblTitle", {}, Twips::Rect(1050, 240, 4365, 480))),
      lblVersion(Label(this, "lblVersion", {}, Twips::Rect(1050, 780, 3885, 225))),
      lblEmailLink(nullptr),
      lblWebLink(nullptr) {
  setObjectName("frmAbout");
  setModal(true);
  setFixedSize(Twips::Px(5730), Twips::Px(3690));
  cmdOK->setObjectName("cmdOK");
  cmdOK->setGeometry(Twips::Rect(4245, 2625, 1260, 345));
  cmdOK->setDefault(true);  // Enter; Esc rejects the dialog, which closes it too
  cmdSysInfo->setObjectName("cmdSysInfo");
  cmdSysInfo->setGeometry(Twips::Rect(4260, 3075, 1245, 345));
  cmdSysInfo->setAutoDefault(false);
  picIcon->setPixmap(ProgramIcon::Get().pixmap(32, 32));
  lblDescription->setWordWrap(true);
  lblTitle->setWordWrap(true);
  // Black as designed on a light theme; a dark theme gets a light enough grey.
  for (QLabel* black : {lblDescription, lblTitle}) {
    QPalette palette = black->palette();
    palette.setColor(QPalette::WindowText,
                     Contrast::Readable(Qt::black, palette.color(QPalette::Window)));
    black->setPalette(palette);
  }
  Label(this, "lblTechSupport", "Tech Support:", Twips::Rect(240, 2400, 1095, 255));
  Label(this, "lblEmail", "E-Mail:", Twips::Rect(480, 2760, 495, 255));
  lblEmailLink = Label(this, "lblEmailLink", kSupportEmail, Twips::Rect(1200, 2760, 2295, 255));
  Label(this, "lblWeb", "Web:", Twips::Rect(480, 3120, 615, 255));
  lblWebLink = Label(this, "lblWebLink", kWebAddress, Twips::Rect(1200, 3120, 2415, 255));
  for (QLabel* link : {lblEmailLink, lblWebLink}) link->setCursor(Qt::PointingHandCursor);
  Line(this, "Line1_1",
       QRect(Twips::Px(90), Twips::Px(2205), Twips::Px(5654) - Twips::Px(90) + 1, 1),
       QColor(0x80, 0x80, 0x80));
  Line(this, "Line1_0",
       QRect(Twips::Px(105), Twips::Px(2220), Twips::Px(5654) - Twips::Px(105) + 1, 2), Qt::white);
  setTabOrder(cmdOK, cmdSysInfo);
  connect(cmdOK, &QPushButton::clicked, this, &frmAbout::onOkClicked);
  connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::onSysInfoClicked);
  ButtonKeys::EnterPressesFocusedButton(*this);
  loadTexts();
}

void frmAbout::loadTexts() {
  AboutBox::FillAboutBox(*this);
  if (!webLink_) webLink_ = std::make_unique<HyperText>();
  if (!emailLink_) emailLink_ = std::make_unique<HyperText>();
  webLink_->CreateHyper(lblWebLink);
  emailLink_->CreateHyper(lblEmailLink);
}

void frmAbout::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  cmdOK->setFocus();
}

void frmAbout::onOkClicked() { accept(); }

void frmAbout::onSysInfoClicked() {
  const std::string tool = SystemInfoTool::Find();
  if (!tool.empty() && ProgramStart::Start(tool)) return;
  MessageBoxes::Show(this, {"System Information Is Unavailable At This Time", "Tarnwick",
                            MessageBoxes::Icon::None});
}

void ShowAbout(QWidget* owner) {
  static frmAbout* about = nullptr;  // lives as long as its first owner
  if (about == nullptr) {
    about = new frmAbout(owner);
    QObject::connect(about, &QObject::destroyed, [] { about = nullptr; });
  } else {
    about->loadTexts();
  }
  if (owner != nullptr) about->move(owner->geometry().center() - about->rect().center());
  about->exec();
}
