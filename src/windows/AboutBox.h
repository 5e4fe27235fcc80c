#pragma once
// The about window's texts from the program's version information.
#include "VersionInfo.h"

class QWidget;

namespace AboutBox {

// Sets the window's title and its labels lblTitle, lblVersion and
// lblDescription, found by name.
void FillAboutBox(QWidget& frm, const VersionInfo& info = VersionInfo{});

}  // namespace AboutBox
