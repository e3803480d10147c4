#include "app/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// The variable's value, or "(unset)".
std::string value(const char* name) {
  const char* text = getenv(name);
  return text ? text : "(unset)";
}

TEST(Platform, PresentingWithoutOpenGlKeepsWhatTheUserSet) {
  struct Case {
    const char* renderDriver;  // as the user set it, or null
    const char* acceleration;
    const char* renderDriverAfter;
    const char* accelerationAfter;
  };
  const Case cases[] = {
      {nullptr, nullptr, "software", "0"},
      {"opengl", nullptr, "opengl", "0"},
      {nullptr, "1", "software", "1"},
      {"opengles2", "1", "opengles2", "1"},
      {"", "", "", ""},
  };
  for (const Case& c : cases) {
    unsetenv("SDL_RENDER_DRIVER");
    unsetenv("SDL_FRAMEBUFFER_ACCELERATION");
    if (c.renderDriver) setenv("SDL_RENDER_DRIVER", c.renderDriver, 1);
    if (c.acceleration) setenv("SDL_FRAMEBUFFER_ACCELERATION", c.acceleration, 1);
    presentWithoutOpenGl();
    EXPECT_EQ(value("SDL_RENDER_DRIVER"), c.renderDriverAfter);
    EXPECT_EQ(value("SDL_FRAMEBUFFER_ACCELERATION"), c.accelerationAfter);
  }
  unsetenv("SDL_RENDER_DRIVER");
  unsetenv("SDL_FRAMEBUFFER_ACCELERATION");
}

}  // namespace
