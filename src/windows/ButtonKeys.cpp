#include "ButtonKeys.h"

#include <QKeyEvent>
#include <QPushButton>

namespace ButtonKeys {
namespace {

class EnterFilter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const auto modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        modifiers != Qt::NoModifier) {
      return false;
    }
    auto* button = qobject_cast<QPushButton*>(watched);
    if (button == nullptr || !button->isEnabled()) return false;
    button->click();
    return true;
  }
};

}  // namespace

void EnterPressesFocusedButton(QWidget& window) {
  auto* filter = new EnterFilter(&window);
  for (QPushButton* button : window.findChildren<QPushButton*>())
    button->installEventFilter(filter);
}

}  // namespace ButtonKeys
