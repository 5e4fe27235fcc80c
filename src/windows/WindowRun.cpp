#include "WindowRun.h"

#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <iostream>

#include "ProgramIcon.h"

namespace WindowRun {
namespace {
char** restartArgv = nullptr;
bool starting = false;

// A display that answered but whose platform cannot start (a missing
// plugin library, say) would end in Qt's abort: start the program again
// without a display instead, before anything has been done.
void StartAgainWithoutDisplay(const QString& why) {
  std::cerr << "Tarnwick: the display cannot be used (" << qPrintable(why.simplified())
            << "); working without it.\n";
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    ::unsetenv(name);  // NOLINT(concurrency-mt-unsafe): Qt has not started a thread yet
  ::execv("/proc/self/exe", restartArgv);
}

// Notes such as a missing XDG_RUNTIME_DIR are not the run's business.
void QuietQtNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg && starting && restartArgv != nullptr) StartAgainWithoutDisplay(message);
  // What the platform says while it tries to start is summed up above, or
  // was no obstacle.
  if (starting && type == QtWarningMsg) return;
  if (type == QtDebugMsg || type == QtInfoMsg || message.startsWith("QStandardPaths:")) return;
  std::cerr << qPrintable(qFormatLogMessage(type, context, message)) << "\n";
}
}  // namespace

void RestartWithoutDisplayOnFailure(char** argv) { restartArgv = argv; }

int Run(const std::function<std::unique_ptr<QWidget>()>& makeWindow) {
  qInstallMessageHandler(QuietQtNotes);
  static char name[] = "tarnwick";
  static char* argv[] = {name, nullptr};
  static int argc = 1;
  starting = true;
  QApplication app(argc, argv);
  starting = false;
  QApplication::setWindowIcon(ProgramIcon::Get());
  QFont font = QApplication::font();
  font.setPointSizeF(kLayoutPointSize);
  QApplication::setFont(font);
  const std::unique_ptr<QWidget> window = makeWindow();
  window->show();
  return QApplication::exec();
}

}  // namespace WindowRun
