#pragma once
// Texts that must fit a fixed label: word-wrapped into the lines the label
// has room for, the last of them elided with "…", never a line cut in half.
// The label's tooltip then holds the whole text.
#include <QString>

class QFont;
class QLabel;

namespace LabelText {

// `text` wrapped at `width` pixels in `font`; when it needs more than
// `maxLines` lines, the lines that fit, the last one ending in "…".
// `elided` tells which.
QString Fit(const QString& text, const QFont& font, int width, int maxLines,
            bool* elided = nullptr);

// Sets a word-wrapping label's text to what fits it, and its tooltip to the
// whole text when something had to go (else to none).
void SetFitted(QLabel& label, const QString& text);

}  // namespace LabelText
