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

namespace {
QColor FromBgr(std::int32_t bgr) {
  const auto v = static_cast<std::uint32_t>(bgr);
  return {static_cast<int>(v & 0xFFU), static_cast<int>((v >> 8U) & 0xFFU),
          static_cast<int>((v >> 16U) & 0xFFU)};
}
}  // namespace

HyperText::HyperText(QObject* parent) : QObject(parent) { MousePointer::Set(0); }

void HyperText::CreateHyper(QLabel* obj) {
  if (mlblTarget != nullptr) mlblTarget->removeEventFilter(this);
  mlblTarget = obj;
  mlblTarget->installEventFilter(this);
  mlblTarget->setMouseTracking(true);
  QFont font = mlblTarget->font();
  font.setUnderline(true);
  mlblTarget->setFont(font);
  SetColor(LinkColor);
}

void HyperText::SetColor(std::int32_t bgr) {
  QPalette palette = mlblTarget->palette();
  palette.setColor(QPalette::WindowText,
                   Contrast::Readable(FromBgr(bgr), palette.color(QPalette::Window)));
  mlblTarget->setPalette(palette);
}

void HyperText::mlblTarget_Click() {
  std::string target = WindowText::ToBytes(mlblTarget->text());
  if (target.find('@') != std::string::npos) target = "mailto:" + target;
  if (ShellOpen::Open(target) > 32) {
    SetColor(VisitedColor);
    return;
  }
  const bool mail = target.find("mailto:") != std::string::npos;
  MessageBoxes::Show(mlblTarget->window(),
                     {mail ? "Could not start e-mail program!" : "Could not start browser!",
                      "Error", MessageBoxes::Icon::Error});
}

void HyperText::mlblTarget_MouseMove() { MousePointer::Set(99); }

bool HyperText::eventFilter(QObject* watched, QEvent* event) {
  if (watched == mlblTarget) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      mlblTarget_Click();
      return true;
    }
    if (event->type() == QEvent::MouseMove) mlblTarget_MouseMove();
  }
  return QObject::eventFilter(watched, event);
}
