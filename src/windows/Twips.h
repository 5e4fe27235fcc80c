#pragma once
// Window layouts are given in twips: 15 to a pixel at 96 dots per inch.
#include <QRect>

namespace Twips {

constexpr int Px(int twips) { return twips / 15; }

inline QRect Rect(int left, int top, int width, int height) {
  return {Px(left), Px(top), Px(width), Px(height)};
}

}  // namespace Twips
