#include "MousePointer.h"

#include <QCursor>
#include <QGuiApplication>

namespace MousePointer {
namespace {
Shape& Stored() {
  static Shape shape = Shape::Default;
  return shape;
}
}  // namespace

void Set(Shape shape) {
  while (QGuiApplication::overrideCursor() != nullptr) QGuiApplication::restoreOverrideCursor();
  Stored() = shape;
  if (shape == Shape::Wait) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  if (shape == Shape::Busy) QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
}

Shape Current() { return Stored(); }

}  // namespace MousePointer
