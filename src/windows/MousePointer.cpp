#include "MousePointer.h"

#include <QCursor>
#include <QGuiApplication>

namespace MousePointer {
namespace {
int& Code() {
  static int code = 0;
  return code;
}
}  // namespace

void Set(int code) {
  // One override at a time, so setting twice and then 0 restores the default.
  while (QGuiApplication::overrideCursor() != nullptr) QGuiApplication::restoreOverrideCursor();
  Code() = code;
  if (code == 11) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  if (code == 13) QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
}

int Current() { return Code(); }

}  // namespace MousePointer
