#include "frmConfig.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <utility>

#include "ButtonKeys.h"
#include "CommandLine.h"
#include "IniFile.h"
#include "MessageBoxes.h"
#include "ProgramIcon.h"
#include "SettingsFile.h"
#include "StoredPassword.h"
#include "Twips.h"
#include "WindowRun.h"
#include "WindowText.h"

namespace {

// Masks typed text with "*". A style sheet rule cannot do it here: the
// frame around the box has a style sheet of its own, which wins.
class StarMask : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* answer) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, answer);
  }
};
constexpr const char* kSection = "Options";

constexpr const char* kInstructions =
    "Enter the default values that you want to use with Tarnwick.  Any time you run Tarnwick from "
    "a "
    "command line, these values will be used for any options that you do NOT specify on the "
    "command line.  "
    "Note that you can always override any of these default values by simply specifying a "
    "particular "
    "option with one of the available command line switches.";

template <typename T>
T* Place(T* widget, const char* name, QRect geometry) {
  widget->setObjectName(name);
  widget->setGeometry(geometry);
  return widget;
}
}  // namespace

frmConfig::frmConfig(std::function<void(QWidget*)> openAbout, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      openAbout_(std::move(openAbout)) {
  setObjectName("frmConfig");
  setWindowTitle("Tarnwick Configuration");
  setWindowIcon(ProgramIcon::Get());
  setFixedSize(Twips::Px(6900), Twips::Px(6285));

  auto* frame1 = Place(new QGroupBox(this), "Frame1", Twips::Rect(240, 240, 6375, 1455));
  auto* instructions =
      Place(new QLabel(frame1), "lblInstructions", Twips::Rect(240, 240, 5895, 975));
  instructions->setWordWrap(true);
  instructions->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* smtp = Place(new QGroupBox("SMTP ", this), "fraSMTP", Twips::Rect(240, 3840, 6375, 1575));
  // A frame's caption sits on its top border, and the border runs half a
  // line down, clear of the boxes inside, as these frames were designed.
  for (QGroupBox* frame : {frame1, smtp}) {
    frame->setStyleSheet(
        "QGroupBox { border: 1px solid palette(mid); margin-top: 0.5em; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 1px; }");
  }

  struct Row {
    QWidget* parent;
    const char* label;
    const char* caption;
    QRect labelPlace;
    const char* box;
    QRect boxPlace;
    const char* key;
  };
  const Row rows[] = {
      {this, "lblFrom", "From:", Twips::Rect(360, 1920, 1095, 255), "txtFrom",
       Twips::Rect(1440, 1920, 5175, 285), "From"},
      {this, "lblTo", "To:", Twips::Rect(360, 2280, 975, 255), "txtTo",
       Twips::Rect(1440, 2280, 5175, 285), "To"},
      {this, "lblSubject", "Subject:", Twips::Rect(360, 2640, 975, 255), "txtSubject",
       Twips::Rect(1440, 2640, 5175, 285), "Subject"},
      {this, "lblMessage", "Message:", Twips::Rect(360, 3000, 975, 255), "txtMessage",
       Twips::Rect(1440, 3000, 5175, 285), "Message"},
      {this, "lblAttachment", "Attachment:", Twips::Rect(360, 3360, 975, 255), "txtAttachment",
       Twips::Rect(1440, 3360, 5175, 285), "Attachment"},
      {smtp, "lblServer", "Server:", Twips::Rect(240, 240, 1215, 255), "txtSMTPServer",
       Twips::Rect(1320, 240, 4815, 285), "SMTPServer"},
      {smtp, "lblUserName", "UserName:", Twips::Rect(240, 600, 1215, 255), "txtSMTPUserName",
       Twips::Rect(1320, 600, 4815, 285), "SMTPUserName"},
      {smtp, "lblPassword", "Password:", Twips::Rect(240, 960, 1335, 255), "txtSMTPPassword",
       Twips::Rect(1320, 960, 4815, 285), "SMTPPassword"},
  };
  for (const auto& row : rows) {
    Place(new QLabel(row.caption, row.parent), row.label, row.labelPlace);
    fields_.push_back({Place(new QLineEdit(row.parent), row.box, row.boxPlace), row.key});
  }
  txtSMTPPassword = fields_.back().box;
  txtSMTPPassword->setEchoMode(QLineEdit::Password);
  auto* mask = new StarMask;  // "*", not the style's dot
  mask->setParent(txtSMTPPassword);
  txtSMTPPassword->setStyle(mask);
  txtSMTPPassword->setAttribute(Qt::WA_InputMethodEnabled, false);

  auto* cmdOK = Place(new QPushButton("&OK", this), "cmdOK", Twips::Rect(2363, 5640, 855, 375));
  auto* cmdCancel =
      Place(new QPushButton("&Cancel", this), "cmdCancel", Twips::Rect(3683, 5640, 855, 375));
  auto* cmdAbout =
      Place(new QPushButton("&About", this), "cmdAbout", Twips::Rect(5760, 5640, 855, 375));
  QWidget* previous = nullptr;
  for (const auto& field : fields_) {
    if (previous != nullptr) setTabOrder(previous, field.box);
    previous = field.box;
  }
  for (QPushButton* button : {cmdOK, cmdCancel, cmdAbout}) {
    button->setAutoDefault(false);  // Enter and Escape press nothing
    setTabOrder(previous, button);
    previous = button;
  }
  connect(cmdOK, &QPushButton::clicked, this, &frmConfig::cmdOK_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &frmConfig::cmdCancel_Click);
  connect(cmdAbout, &QPushButton::clicked, this, &frmConfig::cmdAbout_Click);
  instructions->setText(kInstructions);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  Form_Load();
  ButtonKeys::EnterPressesFocusedButton(*this);
  fields_.front().box->setFocus();
}

void frmConfig::Form_Load() {
  iniPath_ = SettingsFile::ForReading();
  loadProblem_ = SettingsFile::ReadProblem(iniPath_);
  for (const auto& field : fields_) {
    std::string value;
    ProcLib::ReadIni(iniPath_, kSection, field.key, value);
    if (field.box != txtSMTPPassword) {
      field.box->setText(WindowText::FromBytes(value));
      continue;
    }
    // A hand-edited password that is not hex: say so, and start it empty.
    const auto password = StoredPassword::Decipher(value, CommandLine::CipherKey);
    if (password) {
      field.box->setText(WindowText::FromBytes(*password));
    } else {
      field.box->clear();
      loadProblem_ = StoredPassword::NotHexMessage(iniPath_, StoredPassword::Reader::ConfigWindow);
    }
  }
}

void frmConfig::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (loadProblem_.empty()) return;
  QTimer::singleShot(0, this, [this] {
    MessageBoxes::Show(this, {std::exchange(loadProblem_, {}), "", MessageBoxes::Icon::Warning});
  });
}

void frmConfig::cmdOK_Click() {
  // Saved where the next run reads: the user's own file once installed.
  std::string problem;
  const std::string savePath = SettingsFile::ForSaving(problem);
  if (savePath.empty()) {
    MessageBoxes::Show(this, {problem, "", MessageBoxes::Icon::Error});
    return;
  }
  for (const auto& field : fields_) {
    const std::string text = WindowText::ToBytes(field.box->text());
    const std::string value = field.box == txtSMTPPassword
                                  ? StoredPassword::Encipher(text, CommandLine::CipherKey)
                                  : text;
    if (!ProcLib::WriteIni(savePath, kSection, field.key, value)) {
      // Closing as if saved would lose the edits without a word.
      MessageBoxes::Show(this,
                         {"The settings could not be saved to " + savePath +
                              ". Check that the folder can be written to, then press OK again.",
                          "", MessageBoxes::Icon::Error});
      return;
    }
  }
  close();
}

void frmConfig::cmdCancel_Click() { close(); }

void frmConfig::cmdAbout_Click() {
  if (openAbout_) openAbout_(this);
}

int RunConfigWindow(std::function<void(QWidget*)> openAbout) {
  return WindowRun::Run([&] { return std::make_unique<frmConfig>(std::move(openAbout)); });
}
