#pragma once
// Turns a label into a link: underlined in LinkColor; a click opens its text
// (as mailto: when it holds an "@") and turns it VisitedColor, or says why
// not. On a dark theme both colours are lightened until they read well.
#include <QColor>
#include <QObject>

class QLabel;

class HyperText : public QObject {
  Q_OBJECT

 public:
  explicit HyperText(QObject* parent = nullptr);

  QColor LinkColor{0, 0, 255};
  QColor VisitedColor{255, 0, 0};

  // Binds the label, in LinkColor as it is now.
  void CreateHyper(QLabel* label);

 public slots:
  void onLabelClicked();
  void onMouseMoved();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetColor(const QColor& color);

  QLabel* label_ = nullptr;
};
