#pragma once
// The usage window: version line, usage, the two columns of switches, OK
// (ends the program at once) and About.
#include <QWidget>
#include <string>

class QLabel;
class QPushButton;

struct HelpTexts {
  std::string title, verInfo, usage, noParms, options, optionsDesc;
};

// The texts the window shows; printed instead when there is no display.
HelpTexts MakeHelpTexts();

class frmTarnwickHelp : public QWidget {
  Q_OBJECT

 public:
  explicit frmTarnwickHelp(QWidget* parent = nullptr);

  void Form_Load();
  void cmdOK_Click();
  void cmdAbout_Click();

 private:
  QLabel* lblVerInfo;
  QPushButton* cmdOK;
  QLabel* lblOptions;
  QLabel* lblOptionsDesc;
  QLabel* lblUsage;
  QLabel* lblNoParms;
  QPushButton* cmdAbout;
};

// Help mode: the window, or the texts on standard output without a display.
int RunHelpWindow();
