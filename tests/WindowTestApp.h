#pragma once
// One QApplication for a window test binary, on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <string>
#include <vector>

#include "WindowRun.h"

inline QApplication& WindowTestApp() {
  static int argc = 1;
  static char name[] = "windowtest";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    auto* application = new QApplication(argc, argv);
    QFont font = QApplication::font();  // as the program sets it
    font.setPointSizeF(WindowRun::kLayoutPointSize);
    QApplication::setFont(font);
    return application;
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

// The slips a layout can make, checked on every named control of `window`:
// a control outside its parent, two controls (other than labels) on top of
// each other, or a label's text running under a control or out of its parent.
inline void ExpectTidyLayout(QWidget& window) {
  const auto named = window.findChildren<QWidget*>();
  for (QWidget* w : named) {
    if (w->objectName().isEmpty() || w->objectName().startsWith("qt_")) continue;
    QWidget* parent = w->parentWidget();
    const std::string name = w->objectName().toStdString();
    EXPECT_TRUE(parent->rect().contains(w->geometry())) << name << " leaves its parent";
    const bool label = qobject_cast<QLabel*>(w) != nullptr;
    for (QObject* o : parent->children()) {
      auto* other = qobject_cast<QWidget*>(o);
      if (other == nullptr || other == w || other->objectName().isEmpty() ||
          qobject_cast<QLabel*>(other) != nullptr) {
        continue;
      }
      const QRect g = w->geometry();
      const QRect h = other->geometry();
      if (!label) {
        EXPECT_FALSE(g.intersects(h)) << name << " overlaps " << other->objectName().toStdString();
        continue;
      }
      const auto* l = qobject_cast<QLabel*>(w);
      if (l->wordWrap() || l->text().isEmpty() || g.bottom() < h.top() || h.bottom() < g.top())
        continue;
      const int textRight = g.left() + l->fontMetrics().horizontalAdvance(l->text().split('\n')[0]);
      if (h.left() >= g.left()) {
        EXPECT_LE(textRight, h.left())
            << name << "'s text runs under " << other->objectName().toStdString();
      }
    }
  }
}
