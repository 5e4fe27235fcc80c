#pragma once
// One QApplication for a window test binary, on the offscreen platform.
#include <QApplication>
#include <QWidget>
#include <string>
#include <vector>

inline QApplication& WindowTestApp() {
  static int argc = 1;
  static char name[] = "windowtest";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Object names along the focus chain from `first`, up to `count` of them.
inline std::vector<std::string> FocusChain(QWidget* first, std::size_t count) {
  std::vector<std::string> names;
  QWidget* w = first;
  while (w != nullptr && names.size() < count) {
    if (w->focusPolicy() & Qt::TabFocus) names.push_back(w->objectName().toStdString());
    w = w->nextInFocusChain();
    if (w == first) break;
  }
  return names;
}
