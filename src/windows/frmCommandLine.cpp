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
  Form_Load();
}

frmCommandLine::~frmCommandLine() = default;

void frmCommandLine::Form_Load() { lblInfo->setText("from = "); }

void frmCommandLine::Form_Activate() {
  // The run serves the queue, so the window can be activated again meanwhile.
  if (activated_) return;
  activated_ = true;
  oSMTP = std::make_unique<SmtpClient>();
  connect(oSMTP.get(), &SmtpClient::ErrorSMTP, this, &frmCommandLine::oSMTP_ErrorSMTP);
  connect(oSMTP.get(), &SmtpClient::SendSMTP, this, &frmCommandLine::oSMTP_SendSMTP);
  connect(oSMTP.get(), &SmtpClient::StatusChanged, this, &frmCommandLine::oSMTP_StatusChanged);
  run_.Run(*oSMTP);
}

void frmCommandLine::Form_QueryUnload(QCloseEvent* event) {
  if (run_.QueryUnload()) {
    event->accept();
    QCoreApplication::exit(run_.ExitStatus());
  } else {
    event->ignore();
  }
}

void frmCommandLine::oSMTP_ErrorSMTP(std::int16_t number, const std::string& description) {
  run_.oSMTP_ErrorSMTP(number, description);
}

void frmCommandLine::oSMTP_SendSMTP() { run_.oSMTP_SendSMTP(); }

void frmCommandLine::oSMTP_StatusChanged(const std::string& /*status*/) {
  run_.oSMTP_StatusChanged(oSMTP->StatusText());
}

void frmCommandLine::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // After the window is on screen; offscreen there may be no activation.
  QTimer::singleShot(0, this, &frmCommandLine::Form_Activate);
}

void frmCommandLine::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    QTimer::singleShot(0, this, &frmCommandLine::Form_Activate);
  }
}

void frmCommandLine::closeEvent(QCloseEvent* event) { Form_QueryUnload(event); }

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

void frmCommandLine::SetBusy(bool busy) { MousePointer::Set(busy ? 13 : 0); }

void frmCommandLine::Unload() { close(); }

int RunDeliveryWindow() {
  return WindowRun::Run([] { return std::make_unique<frmCommandLine>(); });
}
