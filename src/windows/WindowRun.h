#pragma once
// Runs one top-level window of the program to its end: a QApplication that
// sees only the program's name (the switches are ours), the program's icon,
// and Qt's own set-up notes kept off standard error. Returns the exit status.
#include <QWidget>
#include <functional>
#include <memory>

namespace WindowRun {

// The layouts are in twips for an 8-point system font; the larger desktop
// default would cut their texts off.
inline constexpr double kLayoutPointSize = 7.5;

int Run(const std::function<std::unique_ptr<QWidget>()>& makeWindow);

// When the window system cannot start, run the program (`argv`, as it was
// started) again without a display rather than let Qt abort.
void RestartWithoutDisplayOnFailure(char** argv);

}  // namespace WindowRun
