#include "frmCommandLine.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include "LabelText.h"
#include "MousePointer.h"
#include "SmtpClient.h"
#include "Twips.h"
#include "WindowRun.h"
#include "WindowText.h"

frmCommandLine::frmCommandLine(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      lblInfo(new QLabel("info", this)),
      lblStatus(new QLabel("status", this)) {
  setObjectName("frmCommandLine");
  setWindowTitle("Tarnwick");
  setFixedSize(Twips::Px(4680), Twips::Px(1650));
  lblInfo->setObjectName("lblInfo");
  lblInfo->setGeometry(Twips::Px(240), Twips::Px(240), Twips::Px(4095), Twips::Px(495));
  lblInfo->setWordWrap(true);
  lblInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblStatus->setObjectName("lblStatus");
  lblStatus->setGeometry(Twips::Px(120), Twips::Px(960), Twips::Px(4335), Twips::Px(375));
  lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblStatus->setWordWrap(true);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  lblInfo->setText("from = ");
}

frmCommandLine::~frmCommandLine() = default;

void frmCommandLine::startRunOnce() {
  if (activated_) return;
  activated_ = true;
  smtp_ = std::make_unique<SmtpClient>();
  connect(smtp_.get(), &SmtpClient::ErrorSMTP, this, &frmCommandLine::onSmtpError);
  connect(smtp_.get(), &SmtpClient::SendSMTP, this, &frmCommandLine::onSmtpSent);
  connect(smtp_.get(), &SmtpClient::StatusChanged, this, &frmCommandLine::onSmtpStatusChanged);
  run_.Run(*smtp_);
}

void frmCommandLine::onSmtpError(std::int16_t number, const std::string& description) {
  run_.onSmtpError(number, description);
}

void frmCommandLine::onSmtpSent() { run_.onSmtpSent(); }

void frmCommandLine::onSmtpStatusChanged(const std::string& /*status*/) {
  run_.onSmtpStatusChanged(smtp_->StatusText());
}

void frmCommandLine::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // After the window is on screen; offscreen there may be no activation.
  QTimer::singleShot(0, this, &frmCommandLine::startRunOnce);
}

void frmCommandLine::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    QTimer::singleShot(0, this, &frmCommandLine::startRunOnce);
  }
}

void frmCommandLine::closeEvent(QCloseEvent* event) {
  if (run_.CloseRequested()) {
    event->accept();
    QCoreApplication::exit(run_.ExitStatus());
  } else {
    event->ignore();
  }
}

// The labels are small: a long text shows what fits, whole lines ending in
// "…", and the whole text is the tooltip (standard error and the log have
// it too).
void frmCommandLine::SetInfo(const std::string& text) {
  LabelText::SetFitted(*lblInfo, WindowText::FromBytes(text));
  lblInfo->repaint();
}

void frmCommandLine::SetStatus(const std::string& text) {
  LabelText::SetFitted(*lblStatus, WindowText::FromBytes(text));
  lblStatus->repaint();
}

void frmCommandLine::SetBusy(bool busy) {
  MousePointer::Set(busy ? MousePointer::Shape::Busy : MousePointer::Shape::Default);
}

void frmCommandLine::Unload() { close(); }

int RunDeliveryWindow() {
  return WindowRun::Run([] { return std::make_unique<frmCommandLine>(); });
}
