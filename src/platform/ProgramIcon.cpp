#include "ProgramIcon.h"

namespace ProgramIcon {

QIcon Get() { return QIcon(":/tarnwick.png"); }

}  // namespace ProgramIcon
