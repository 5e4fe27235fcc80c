#include "LabelText.h"

#include <QFontMetrics>
#include <QLabel>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace LabelText {

QString Fit(const QString& text, const QFont& font, int width, int maxLines, bool* elided) {
  if (elided != nullptr) *elided = false;
  // Line ends in the text are breaks of their own, as the label shows them.
  QString flowing = text;
  const QString breakMark = QString(QChar(QChar::LineSeparator));
  flowing.replace(QStringLiteral("\r\n"), breakMark).replace(QChar('\n'), breakMark);
  QTextLayout layout(flowing, font);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  QList<QTextLine> lines;
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    lines.append(line);
  }
  layout.endLayout();
  maxLines = std::max(maxLines, 1);
  if (lines.size() <= maxLines) return text;
  if (elided != nullptr) *elided = true;
  QStringList shown;
  auto lineText = [&](const QTextLine& line) {
    return flowing.mid(line.textStart(), line.textLength())
        .remove(QChar(QChar::LineSeparator))
        .trimmed();
  };
  for (int i = 0; i + 1 < maxLines; ++i) shown << lineText(lines[i]);
  // The last line holds what is left, cut at its end with "…".
  QString rest = flowing.mid(lines[maxLines - 1].textStart());
  rest.replace(QChar(QChar::LineSeparator), QChar(' '));
  const QFontMetrics metrics(font);
  const QChar ellipsis(0x2026);
  QString last = metrics.elidedText(rest.simplified(), Qt::ElideRight, width);
  // The rest may fit once its line breaks are gone; it still must not pass
  // for the whole text.
  if (!last.endsWith(ellipsis)) {
    last = metrics.elidedText(lineText(lines[maxLines - 1]) + ellipsis, Qt::ElideRight, width);
  }
  shown << last;
  return shown.join('\n');
}

void SetFitted(QLabel& label, const QString& text) {
  // Lines are drawn at their real height (11.6 px, not the rounded 11), so
  // count them that way, or the last would be cut off at the bottom.
  const QFontMetricsF metrics(label.font());
  const int lines = std::max(
      1, static_cast<int>(std::floor(label.contentsRect().height() / metrics.lineSpacing())));
  bool elided = false;
  label.setText(Fit(text, label.font(), label.contentsRect().width(), lines, &elided));
  label.setToolTip(elided ? text : QString());
}

}  // namespace LabelText
