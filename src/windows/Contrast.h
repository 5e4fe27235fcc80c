#pragma once
// Text colours that stay readable: the contrast ratio of two colours (as
// WCAG measures it), and a described colour kept on a light background but
// lightened on a dark one until it reaches 4.5:1.
#include <QColor>

namespace Contrast {

inline constexpr double kReadable = 4.5;
// What Readable aims at: a dark theme's own text is about this far off.
inline constexpr double kComfortable = 7.0;

double Ratio(const QColor& a, const QColor& b);

// `wanted` itself where the background is light, so the described look
// stays; on a dark background, `wanted` mixed with white until it stands
// kComfortable off the background.
QColor Readable(const QColor& wanted, const QColor& background);

}  // namespace Contrast
