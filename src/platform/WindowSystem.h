#pragma once
// Whether windows can be shown: a Qt platform named, or a Wayland or X11
// display that answers. A DISPLAY left over from a closed session must not
// send the program into Qt's abort, so the display's socket is tried first.
#include <string>

namespace WindowSystem {

// A display named in DISPLAY or WAYLAND_DISPLAY whose socket takes a
// connection within a second; a named Qt platform is taken at its word.
bool Usable();

// The socket an X11 DISPLAY value stands for: "unix:/tmp/.X11-unix/X0" or
// "tcp:host:6010"; empty when the value is no display name.
std::string X11Socket(const std::string& display);

}  // namespace WindowSystem
