#include "frmSignIn.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "WindowRun.h"

frmSignIn::frmSignIn(std::function<int(const OAuthLogin::Watcher&)> signIn, QWidget* parent)
    : QDialog(parent),
      lblInstructions(new QLabel(tr("Signing in..."), this)),
      txtCode(new QLineEdit(this)),
      lblAddress(new QLabel(this)),
      cmdCopy(new QPushButton(tr("&Copy"), this)),
      cmdCancel(new QPushButton(tr("Cancel"), this)) {
  setObjectName("frmSignIn");
  setWindowTitle(tr("Tarnwick sign-in"));
  lblInstructions->setObjectName("lblInstructions");
  txtCode->setObjectName("txtCode");
  lblAddress->setObjectName("lblAddress");
  cmdCopy->setObjectName("cmdCopy");
  cmdCancel->setObjectName("cmdCancel");
  txtCode->setReadOnly(true);
  txtCode->setVisible(false);
  cmdCopy->setEnabled(false);
  lblAddress->setOpenExternalLinks(true);
  lblAddress->setTextInteractionFlags(Qt::TextBrowserInteraction);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdCopy);
  buttons->addWidget(cmdCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblInstructions);
  layout->addWidget(lblAddress);
  layout->addWidget(txtCode);
  layout->addLayout(buttons);
  connect(cmdCopy, &QPushButton::clicked, this, &frmSignIn::onCopyClicked);
  connect(cmdCancel, &QPushButton::clicked, this, &frmSignIn::onCancelClicked);
  if (!signIn) return;
  worker_ = std::thread([this, signIn = std::move(signIn)] {
    OAuthLogin::Watcher watcher;
    watcher.cancelled = &cancelled_;
    watcher.showCode = [this](const OAuthLogin::DeviceCode& shown) {
      QMetaObject::invokeMethod(this, "showCode", Qt::QueuedConnection,
                                Q_ARG(QString, QString::fromStdString(shown.uri)),
                                Q_ARG(QString, QString::fromStdString(shown.code)),
                                Q_ARG(QString, QString::fromStdString(shown.complete)));
    };
    const int status = signIn(watcher);
    QMetaObject::invokeMethod(this, "onSignInFinished", Qt::QueuedConnection, Q_ARG(int, status));
  });
}

frmSignIn::~frmSignIn() {
  cancelled_ = true;
  if (worker_.joinable()) worker_.join();
}

void frmSignIn::showCode(const QString& uri, const QString& code, const QString& complete) {
  lblInstructions->setText(tr("Open this address, enter the code below and sign in:"));
  const QString link = complete.isEmpty() ? uri : complete;
  lblAddress->setText("<a href=\"" + link.toHtmlEscaped() + "\">" + uri.toHtmlEscaped() + "</a>");
  txtCode->setText(code);
  txtCode->setVisible(true);
  cmdCopy->setEnabled(true);
  cmdCopy->setFocus();
}

void frmSignIn::onCopyClicked() { QApplication::clipboard()->setText(txtCode->text()); }

void frmSignIn::onCancelClicked() { close(); }

void frmSignIn::onSignInFinished(int status) {
  cancelled_ = true;
  QApplication::exit(status);
}

void frmSignIn::closeEvent(QCloseEvent* event) {
  // The wait ends; the sign-in reports it and the run ends with its status.
  cancelled_ = true;
  lblInstructions->setText(tr("Cancelling..."));
  event->ignore();
}

int RunSignInWindow() {
  return WindowRun::Run([] {
    return std::make_unique<frmSignIn>(
        [](const OAuthLogin::Watcher& watcher) { return OAuthLogin::Run(watcher); });
  });
}
