#pragma once
// The usage window: version line, usage, the two columns of switches, OK
// (ends the program at once) and About.
#include <QWidget>
#include <string>

class QLabel;
class QPushButton;

class frmTarnwickHelp : public QWidget {
  Q_OBJECT

 public:
  explicit frmTarnwickHelp(QWidget* parent = nullptr);

  void loadTexts();

 public slots:
  void onOkClicked();
  void onAboutClicked();

 private:
  QLabel* lblVerInfo;
  QPushButton* cmdOK;
  QLabel* lblOptions;
  QLabel* lblOptionsDesc;
  QLabel* lblUsage;
  QLabel* lblNoParms;
  QPushButton* cmdAbout;
};

// Help mode: the window until OK or its close.
int RunHelpWindow();
