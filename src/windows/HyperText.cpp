#include "HyperText.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>

#include "Contrast.h"
#include "MessageBoxes.h"
#include "MousePointer.h"
#include "ShellOpen.h"
#include "WindowText.h"

HyperText::HyperText(QObject* parent) : QObject(parent) {
  MousePointer::Set(MousePointer::Shape::Default);
}

void HyperText::CreateHyper(QLabel* label) {
  if (label_ != nullptr) label_->removeEventFilter(this);
  label_ = label;
  label_->installEventFilter(this);
  label_->setMouseTracking(true);
  QFont font = label_->font();
  font.setUnderline(true);
  label_->setFont(font);
  SetColor(LinkColor);
}

void HyperText::SetColor(const QColor& color) {
  QPalette palette = label_->palette();
  palette.setColor(QPalette::WindowText,
                   Contrast::Readable(color, palette.color(QPalette::Window)));
  label_->setPalette(palette);
}

void HyperText::onLabelClicked() {
  std::string target = WindowText::ToBytes(label_->text());
  if (target.find('@') != std::string::npos) target = "mailto:" + target;
  if (ShellOpen::Open(target)) {
    SetColor(VisitedColor);
    return;
  }
  const bool mail = target.find("mailto:") != std::string::npos;
  MessageBoxes::Show(label_->window(),
                     {mail ? "Could not start e-mail program!" : "Could not start browser!",
                      "Error", MessageBoxes::Icon::Error});
}

// The label's own pointer (the hand) shows over it, whatever was set before.
void HyperText::onMouseMoved() { MousePointer::Set(MousePointer::Shape::Default); }

bool HyperText::eventFilter(QObject* watched, QEvent* event) {
  if (watched == label_) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      onLabelClicked();
      return true;
    }
    if (event->type() == QEvent::MouseMove) onMouseMoved();
  }
  return QObject::eventFilter(watched, event);
}
