#include "ProgramIcon.h"

// Outside any namespace: the macro declares the resource's own function.
static void LoadIconResource() { Q_INIT_RESOURCE(tarnwick); }

namespace ProgramIcon {

QIcon Get() {
  LoadIconResource();
  // Each size drawn from the SVG: a title bar takes 16 px as drawn, not a
  // larger picture shrunk.
  QIcon icon;
  for (const int size : kSizes) {
    icon.addFile(QString(":/icons/tarnwick-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace ProgramIcon
