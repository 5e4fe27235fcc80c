// Readability helpers of the windows: contrast, texts fitted to small
// labels with the rest in a tooltip, the icon's sizes.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>

#include "Contrast.h"
#include "LabelText.h"
#include "ProgramIcon.h"
#include "WindowTestApp.h"

namespace {

TEST(Contrast, RatiosAndReadableColours) {
  WindowTestApp();
  EXPECT_NEAR(Contrast::Ratio(Qt::black, Qt::white), 21.0, 0.01);
  EXPECT_NEAR(Contrast::Ratio(Qt::white, Qt::black), 21.0, 0.01);
  EXPECT_NEAR(Contrast::Ratio(QColor(0, 0, 255), Qt::white), 8.59, 0.01);
  EXPECT_NEAR(Contrast::Ratio(QColor(50, 50, 50), Qt::black), 1.64, 0.01);
  struct Case {
    QColor wanted, background;
    bool kept;  // unchanged: a light background keeps the designed colour
  };
  const Case cases[] = {
      {Qt::black, QColor(240, 240, 240), true},
      {QColor(0, 0, 255), QColor(240, 240, 240), true},
      {QColor(255, 0, 0), QColor(240, 240, 240), true},
      {Qt::black, QColor(50, 50, 50), false},
      {QColor(0, 0, 255), QColor(50, 50, 50), false},
      {QColor(255, 0, 0), QColor(30, 30, 30), false},
      {Qt::white, QColor(50, 50, 50), true},
  };
  for (const auto& c : cases) {
    const QColor got = Contrast::Readable(c.wanted, c.background);
    EXPECT_EQ(got == c.wanted, c.kept)
        << c.wanted.name().toStdString() << " on " << c.background.name().toStdString();
    if (!c.kept) {
      EXPECT_GE(Contrast::Ratio(got, c.background), Contrast::kReadable);
    }
  }
}

TEST(LabelText, LongTextsEndInAnEllipsisOnWholeLines) {
  WindowTestApp();
  const QFont font = QLabel().font();
  const QFontMetrics metrics(font);
  const int width = 273;
  struct Case {
    QString text;
    int lines;
    bool elided;
  };
  const QString six =
      "Sending email to alice.longname@example.com bob.longname@example.com "
      "carol.longname@example.com dave.longname@example.com "
      "erin.longname@example.com frank.longname@example.com ...";
  const Case cases[] = {
      {"Mail sent successfully!", 2, false},
      {six, 2, true},
      {six, 20, false},
      {"one\r\ntwo\r\nthree", 2, true},
      {"one\r\ntwo", 2, false},
      {QString(400, 'x'), 2, true},  // no space at all: cut between characters, not lost
  };
  for (const auto& c : cases) {
    bool elided = false;
    const QString fitted = LabelText::Fit(c.text, font, width, c.lines, &elided);
    EXPECT_EQ(elided, c.elided) << c.text.toStdString();
    if (!c.elided) {
      EXPECT_EQ(fitted, c.text);
      continue;
    }
    const QStringList lines = fitted.split('\n');
    EXPECT_LE(lines.size(), c.lines) << fitted.toStdString();
    for (const auto& line : lines)
      EXPECT_LE(metrics.horizontalAdvance(line), width) << line.toStdString();
    EXPECT_TRUE(fitted.endsWith(QChar(0x2026))) << fitted.toStdString();
  }
  QLabel label;
  label.setWordWrap(true);
  label.resize(width, 33);
  LabelText::SetFitted(label, six);
  EXPECT_EQ(label.toolTip(), six);
  LabelText::SetFitted(label, "short");
  EXPECT_EQ(label.toolTip(), "");
  EXPECT_EQ(label.text(), "short");
}

TEST(ProgramIcon, DrawnAtEverySize) {
  WindowTestApp();
  const QIcon icon = ProgramIcon::Get();
  for (const int size : {16, 24, 32, 48, 64, 256}) {
    EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
    EXPECT_EQ(icon.pixmap(size, size).size(), QSize(size, size)) << size;
  }
}

}  // namespace
