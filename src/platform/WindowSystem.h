#pragma once
// Whether a window system is there to show windows on: DISPLAY or
// WAYLAND_DISPLAY set, or a Qt platform named. Without one, runs that can
// work unseen use Qt's offscreen platform.
namespace WindowSystem {

bool Available();

// Names the offscreen platform unless a display or platform is there.
void UseOffscreenWhenNone();

}  // namespace WindowSystem
