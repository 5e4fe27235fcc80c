#include "WindowRun.h"

#include <QApplication>
#include <iostream>

#include "ProgramIcon.h"

namespace WindowRun {
namespace {
constexpr double kLayoutPointSize = 7.5;

// Notes such as a missing XDG_RUNTIME_DIR are not the run's business.
void QuietQtNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtDebugMsg || type == QtInfoMsg || message.startsWith("QStandardPaths:")) return;
  std::cerr << qPrintable(qFormatLogMessage(type, context, message)) << "\n";
}
}  // namespace

int Run(const std::function<std::unique_ptr<QWidget>()>& makeWindow) {
  qInstallMessageHandler(QuietQtNotes);
  static char name[] = "tarnwick";
  static char* argv[] = {name, nullptr};
  static int argc = 1;
  QApplication app(argc, argv);
  QApplication::setWindowIcon(ProgramIcon::Get());
  // The layouts are in twips for an 8-point system font; the larger
  // desktop default would cut their texts off.
  QFont font = QApplication::font();
  font.setPointSizeF(kLayoutPointSize);
  QApplication::setFont(font);
  const std::unique_ptr<QWidget> window = makeWindow();
  window->show();
  return QApplication::exec();
}

}  // namespace WindowRun
