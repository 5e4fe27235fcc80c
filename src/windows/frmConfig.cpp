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
#include "ConfigFields.h"
#include "MessageBoxes.h"
#include "ProgramIcon.h"
#include "SettingsKeys.h"
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

constexpr const char* kInstructions =
    "Enter the default values that you want to use with Tarnwick.  Any time you run Tarnwick from "
    "a command line, these values will be used for any options that you do NOT specify on the "
    "command line.  Note that you can always override any of these default values by simply "
    "specifying a particular option with one of the available command line switches.";

// Where each field of the settings table sits, in twips: the first five in
// the window, the server's three in the SMTP frame.
struct FieldPlace {
  bool inSmtpFrame;
  int top;
  int labelWidth;
};
constexpr FieldPlace kPlaces[] = {{false, 1920, 1095}, {false, 2280, 975}, {false, 2640, 975},
                                  {false, 3000, 975},  {false, 3360, 975}, {true, 240, 1215},
                                  {true, 600, 1215},   {true, 960, 1335}};

template <typename T>
T* Place(T* widget, std::string_view name, QRect geometry) {
  widget->setObjectName(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
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
  addFields(addFrames());
  addButtons();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  loadSettings();
  ButtonKeys::EnterPressesFocusedButton(*this);
  fields_.front()->setFocus();
}

QGroupBox* frmConfig::addFrames() {
  auto* frame1 = Place(new QGroupBox(this), "Frame1", Twips::Rect(240, 240, 6375, 1455));
  auto* instructions =
      Place(new QLabel(kInstructions, frame1), "lblInstructions", Twips::Rect(240, 240, 5895, 975));
  instructions->setWordWrap(true);
  instructions->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* smtp = Place(new QGroupBox("SMTP ", this), "fraSMTP", Twips::Rect(240, 3840, 6375, 1575));
  // A frame's caption sits on its top border, and the border runs half a
  // line down, clear of the boxes inside.
  for (QGroupBox* frame : {frame1, smtp}) {
    frame->setStyleSheet(
        "QGroupBox { border: 1px solid palette(mid); margin-top: 0.5em; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 1px; }");
  }
  return smtp;
}

void frmConfig::addFields(QGroupBox* smtpFrame) {
  const auto keys = SettingsKeys::Fields();
  static_assert(std::size(kPlaces) == 8, "one place per field of the settings table");
  QWidget* previous = nullptr;
  for (std::size_t i = 0; i < keys.size() && i < std::size(kPlaces); ++i) {
    const FieldPlace& at = kPlaces[i];
    QWidget* parent = at.inSmtpFrame ? smtpFrame : static_cast<QWidget*>(this);
    const int labelLeft = at.inSmtpFrame ? 240 : 360;
    const int boxLeft = at.inSmtpFrame ? 1320 : 1440;
    const int boxWidth = at.inSmtpFrame ? 4815 : 5175;
    const std::string_view caption = keys[i].field.caption;
    Place(new QLabel(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                     parent),
          keys[i].field.label, Twips::Rect(labelLeft, at.top, at.labelWidth, 255));
    auto* box = Place(new QLineEdit(parent), keys[i].field.box,
                      Twips::Rect(boxLeft, at.top, boxWidth, 285));
    if (keys[i].name == ConfigFields::kPasswordKey) {
      box->setEchoMode(QLineEdit::Password);
      auto* mask = new StarMask;  // "*", not the style's dot
      mask->setParent(box);
      box->setStyle(mask);
      box->setAttribute(Qt::WA_InputMethodEnabled, false);
    }
    if (previous != nullptr) setTabOrder(previous, box);
    previous = box;
    fields_.push_back(box);
  }
}

void frmConfig::addButtons() {
  auto* cmdOK = Place(new QPushButton("&OK", this), "cmdOK", Twips::Rect(2363, 5640, 855, 375));
  auto* cmdCancel =
      Place(new QPushButton("&Cancel", this), "cmdCancel", Twips::Rect(3683, 5640, 855, 375));
  auto* cmdAbout =
      Place(new QPushButton("&About", this), "cmdAbout", Twips::Rect(5760, 5640, 855, 375));
  QWidget* previous = fields_.back();
  for (QPushButton* button : {cmdOK, cmdCancel, cmdAbout}) {
    button->setAutoDefault(false);  // Enter and Escape press nothing
    setTabOrder(previous, button);
    previous = button;
  }
  connect(cmdOK, &QPushButton::clicked, this, &frmConfig::onOkClicked);
  connect(cmdCancel, &QPushButton::clicked, this, &frmConfig::onCancelClicked);
  connect(cmdAbout, &QPushButton::clicked, this, &frmConfig::onAboutClicked);
}

void frmConfig::loadSettings() {
  loaded_ = ConfigFields::Load(StoredPassword::Reader::ConfigWindow);
  for (std::size_t i = 0; i < fields_.size() && i < loaded_.values.size(); ++i)
    fields_[i]->setText(WindowText::FromBytes(loaded_.values[i]));
  loadProblem_ = !loaded_.passwordProblem.empty() ? loaded_.passwordProblem : loaded_.readProblem;
  // A password another source supplies is not ours to edit; the tooltip
  // says where to change it.
  const ConfigFields::PasswordPlace place = ConfigFields::WherePasswordIs(loaded_);
  QLineEdit* password = fields_.at(ConfigFields::PasswordIndex());
  password->setReadOnly(!place.editable);
  if (!place.editable) {
    password->setToolTip(WindowText::FromBytes("The password comes from " + place.where +
                                               " (SMTPPasswordFrom); change it there."));
  } else if (place.keyring) {
    password->setToolTip(QStringLiteral("Kept in the keyring."));
  }
}

void frmConfig::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (loadProblem_.empty()) return;
  QTimer::singleShot(0, this, [this] {
    MessageBoxes::Show(this, {std::exchange(loadProblem_, {}), "", MessageBoxes::Icon::Warning});
  });
}

void frmConfig::onOkClicked() {
  std::vector<std::string> values;
  for (const QLineEdit* box : fields_) values.push_back(WindowText::ToBytes(box->text()));
  // Saved where the next run reads: the user's own file once installed.
  const ConfigFields::Saved saved = ConfigFields::Save(values, loaded_);
  if (saved.path.empty() || (!saved.written && !saved.problem.empty())) {
    MessageBoxes::Show(this, {saved.problem, "", MessageBoxes::Icon::Error});
    return;
  }
  if (!saved.written) {
    // Closing as if saved would lose the edits without a word.
    MessageBoxes::Show(this, {"The settings could not be saved to " + saved.path +
                                  ". Check that the folder can be written to, then press OK again.",
                              "", MessageBoxes::Icon::Error});
    return;
  }
  close();
}

void frmConfig::onCancelClicked() { close(); }

void frmConfig::onAboutClicked() {
  if (openAbout_) openAbout_(this);
}

int RunConfigWindow(std::function<void(QWidget*)> openAbout) {
  return WindowRun::Run([&] { return std::make_unique<frmConfig>(std::move(openAbout)); });
}
