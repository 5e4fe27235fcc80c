#pragma once
// The program's icon, on every window's title bar and in the about box.
#include <QIcon>

namespace ProgramIcon {

QIcon Get();

}  // namespace ProgramIcon
