#pragma once
// The configuration window: the eight message defaults of Tarnwick.ini,
// shown when it opens and written back on OK (the password enciphered).
// Cancel and the close box write nothing.
#include <QWidget>
#include <functional>
#include <string>

class QLineEdit;
class QPushButton;

class frmConfig : public QWidget {
  Q_OBJECT

 public:
  // `openAbout` shows the about window modally over the given owner.
  explicit frmConfig(std::function<void(QWidget*)> openAbout, QWidget* parent = nullptr);

  void Form_Load();
  void cmdOK_Click();
  void cmdCancel_Click();
  void cmdAbout_Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct Field {
    QLineEdit* box;
    const char* key;
  };

  std::function<void(QWidget*)> openAbout_;
  std::string iniPath_;
  std::string loadProblem_;  // shown once the window is up
  std::vector<Field> fields_;
  QLineEdit* txtSMTPPassword = nullptr;
};

// Configuration mode: the window until it closes.
int RunConfigWindow(std::function<void(QWidget*)> openAbout);
