#pragma once
// The configuration window: the message defaults of Tarnwick.ini that the
// settings table gives a field, shown when it opens and written back on OK
// (the password enciphered). Cancel and the close box write nothing.
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "ConfigFields.h"

class QGroupBox;
class QLineEdit;
class QPushButton;

class frmConfig : public QWidget {
  Q_OBJECT

 public:
  // `openAbout` shows the about window modally over the given owner.
  explicit frmConfig(std::function<void(QWidget*)> openAbout, QWidget* parent = nullptr);

  // Fills the fields from the file a run reads.
  void loadSettings();

 public slots:
  void onOkClicked();
  void onCancelClicked();
  void onAboutClicked();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QGroupBox* addFrames();
  void addFields(QGroupBox* smtpFrame);
  void addButtons();

  std::function<void(QWidget*)> openAbout_;
  std::string loadProblem_;         // shown once the window is up
  ConfigFields::Loaded loaded_;     // what the fields started as; saving compares
  std::vector<QLineEdit*> fields_;  // one per field of the settings table
};

// Configuration mode: the window until it closes.
int RunConfigWindow(std::function<void(QWidget*)> openAbout);
