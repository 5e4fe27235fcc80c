#pragma once
// The about texts from the program's version information.
#include <string>

#include "VersionInfo.h"

class QWidget;

namespace AboutBox {

// "Version 1.2", or "Version 1.2 build 004" when there is a revision.
std::string GetVersionString(const VersionInfo& info = VersionInfo{});

// Sets the window's title and its labels lblTitle, lblVersion and
// lblDescription, found by name.
void FillAboutBox(QWidget& frm, const VersionInfo& info = VersionInfo{});

}  // namespace AboutBox
