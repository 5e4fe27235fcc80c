#pragma once
// Turns a label into a link: underlined in LinkColor; a click opens its text
// (as mailto: when it holds an "@") and turns it VisitedColor, or says why
// not. Colours are 0x00BBGGRR.
#include <QObject>
#include <cstdint>

class QLabel;

class HyperText : public QObject {
  Q_OBJECT

 public:
  explicit HyperText(QObject* parent = nullptr);

  std::int32_t LinkColor = 0xFF0000;     // blue
  std::int32_t VisitedColor = 0x0000FF;  // red

  void CreateHyper(QLabel* obj);

  void mlblTarget_Click();
  void mlblTarget_MouseMove();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetColor(std::int32_t bgr);

  QLabel* mlblTarget = nullptr;
};
