#pragma once
// The application-wide mouse pointer by its old numbers: 0 default,
// 11 hourglass, 13 arrow with hourglass, 99 custom (the caller's own cursor).
namespace MousePointer {

void Set(int code);
int Current();

}  // namespace MousePointer
