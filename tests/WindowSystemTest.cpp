#include "WindowSystem.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowSystem, X11SocketOfDisplayName) {
  struct Case {
    const char* display;
    const char* socket;
  };
  const Case cases[] = {
      {":0", "unix:/tmp/.X11-unix/X0"},
      {":1.0", "unix:/tmp/.X11-unix/X1"},
      {"unix:12", "unix:/tmp/.X11-unix/X12"},
      {"localhost:10.0", "tcp:localhost:6010"},
      {"[::1]:2", "tcp:::1:6002"},
      {"host.example:0", "tcp:host.example:6000"},
      {"", ""},
      {":", ""},
      {":x", ""},
      {"wayland-0", ""},
      {":99999", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(WindowSystem::X11Socket(c.display), c.socket) << c.display;
}

}  // namespace
