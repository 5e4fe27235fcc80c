#pragma once
// The about window: title, version, company and copyright, two links, and a
// button that starts the system-information tool. Modal over its opener.
#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>

#include "HyperText.h"

class QLabel;
class QPushButton;

class frmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit frmAbout(QWidget* parent = nullptr);

  void Form_Load();
  void cmdOK_Click();
  void cmdSysInfo_Click();
  void StartSysInfo();

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
