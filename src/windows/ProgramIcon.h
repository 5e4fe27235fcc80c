#pragma once
// The program's icon, on every window's title bar and in the about box.
#include <QIcon>

namespace ProgramIcon {

// The sizes the icon is drawn in.
inline constexpr int kSizes[] = {16, 24, 32, 48, 64, 256};

QIcon Get();

}  // namespace ProgramIcon
