#include "MessageBoxes.h"

#include <QMessageBox>
#include <utility>

#include "WindowText.h"

namespace MessageBoxes {
namespace {
std::function<void(const Box&)>& Handler() {
  static std::function<void(const Box&)> handler;
  return handler;
}
}  // namespace

void Show(QWidget* parent, const Box& box) {
  Box shown = box;
  if (shown.title.empty()) shown.title = "Tarnwick";
  if (Handler()) {
    Handler()(shown);
    return;
  }
  QMessageBox message(parent);
  message.setWindowTitle(WindowText::FromBytes(shown.title));
  message.setText(WindowText::FromBytes(shown.text));
  message.setStandardButtons(QMessageBox::Ok);
  switch (shown.icon) {
    case Icon::Information:
      message.setIcon(QMessageBox::Information);
      break;
    case Icon::Warning:
      message.setIcon(QMessageBox::Warning);
      break;
    case Icon::Error:
      message.setIcon(QMessageBox::Critical);
      break;
    case Icon::None:
      break;
  }
  message.exec();
}

void SetHandlerForTesting(std::function<void(const Box&)> handler) {
  Handler() = std::move(handler);
}

}  // namespace MessageBoxes
