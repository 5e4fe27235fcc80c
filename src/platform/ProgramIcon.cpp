#include "ProgramIcon.h"

// Outside any namespace: the macro declares the resource's own function.
static void LoadIconResource() { Q_INIT_RESOURCE(tarnwick); }

namespace ProgramIcon {

QIcon Get() {
  LoadIconResource();
  return QIcon(":/tarnwick.png");
}

}  // namespace ProgramIcon
