#pragma once
// Booleans that the program stores or passes are 16-bit: true is -1, false is 0.
#include <cstdint>

using Bool16 = std::int16_t;
inline constexpr Bool16 kTrue16 = -1;
inline constexpr Bool16 kFalse16 = 0;

constexpr Bool16 ToBool16(bool value) { return value ? kTrue16 : kFalse16; }
