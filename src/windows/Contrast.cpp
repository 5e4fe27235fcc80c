#include "Contrast.h"

#include <algorithm>
#include <cmath>

namespace Contrast {
namespace {

double Linear(double channel) {
  return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& c) {
  return 0.2126 * Linear(c.redF()) + 0.7152 * Linear(c.greenF()) + 0.0722 * Linear(c.blueF());
}

}  // namespace

double Ratio(const QColor& a, const QColor& b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor Readable(const QColor& wanted, const QColor& background) {
  const bool dark = Ratio(background, Qt::white) > Ratio(background, Qt::black);
  if (!dark) return wanted;
  QColor mixed = wanted;
  for (int step = 1; step <= 20 && Ratio(mixed, background) < kComfortable; ++step) {
    const double w = step / 20.0;
    mixed.setRgbF(static_cast<float>(wanted.redF() * (1 - w) + w),
                  static_cast<float>(wanted.greenF() * (1 - w) + w),
                  static_cast<float>(wanted.blueF() * (1 - w) + w));
  }
  return mixed;
}

}  // namespace Contrast
