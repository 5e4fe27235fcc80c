#pragma once
// The about window: title, version, company and copyright, two links, and a
// button that starts the system-information tool. Modal over its opener.
#include <QDialog>
#include <memory>
#include <string>

#include "HyperText.h"

class QLabel;
class QPushButton;

class frmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit frmAbout(QWidget* parent = nullptr);

  // Fills the texts and binds the links again.
  void loadTexts();

 public slots:
  void onOkClicked();
  // Starts the system-information tool, or says there is none.
  void onSysInfoClicked();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QPushButton* cmdOK;
  QLabel* picIcon;
  QPushButton* cmdSysInfo;
  QLabel* lblDescription;
  QLabel* lblTitle;
  QLabel* lblVersion;
  QLabel* lblEmailLink;
  QLabel* lblWebLink;
  std::unique_ptr<HyperText> webLink_;
  std::unique_ptr<HyperText> emailLink_;
};

// Opens the about window modally over `owner`; one window object per run.
void ShowAbout(QWidget* owner);
