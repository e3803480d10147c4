#include "app/screensaver.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "app/settings.h"
#include "config/ini_file.h"
#include "scene/scene.h"
#include "tests/test_support.h"

namespace {

TEST(Screensaver, StartPositionsScaleToTheWindowRoundingDown) {
  struct Case {
    int position;
    int fileSize;
    int fieldSize;
    int placed;
  };
  const Case cases[] = {
      {0, 640, 1920, 0},
      {320, 640, 1920, 960},
      {639, 640, 1920, 1917},
      {213, 640, 1366, 454},  // 454.6
      {320, 640, 100, 50},
      {32766, 32767, 32767, 32766},
      // Outside the file's field: its border cell, as a particle takes it.
      {640, 640, 1920, 1917},
      {-5, 640, 1920, 0},
      // Narrowed to 16 bits first: 65546 is cell 10.
      {65546, 640, 1920, 30},
      {0, 1, 1, 0},
      {7, 1, 32767, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(placeOnField(c.position, c.fileSize, c.fieldSize), c.placed)
        << c.position << " of " << c.fileSize << " on " << c.fieldSize;
}

TEST(Screensaver, SceneFillsTheSaverWindowWithGroupsInPlace) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  TempFile file(
      "[FLIM]\nbreite=640\nhoehe=480\nschweiflaenge=3\nrichtungen=2\nfarbtiefe=16\n"
      "fullscreen=1\nzuf_richtungswechsel=0\nconst_geschw=0\n"
      "[mitte]\nx=320\ny=240\nanz=1\nfarbe=1\n[ecke]\nx=639\ny=479\nanz=1\nfarbe=2\n"
      "[draussen]\nx=-9\ny=9999\nanz=1\nfarbe=3\n");
  IniFile ini(file.c_str());
  const SaverWindow saver = {true, 1280, 720};
  ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
  SceneStart start = startScene(ini, nullptr, &saver);
  ASSERT_NE(start.scene, nullptr) << start.refusal;
  const std::unique_ptr<Scene>& scene = start.scene;
  const SDL_Surface* screen = SDL_GetVideoSurface();
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(screen->w, 1280);
  EXPECT_EQ(screen->h, 720);
  EXPECT_EQ(screen->flags & SDL_FULLSCREEN, 0u);
  std::vector<std::vector<int>> starts;
  for (const Particle* p : scene->particles()) starts.push_back({p->x(), p->y()});
  EXPECT_EQ(starts, (std::vector<std::vector<int>>{{640, 360}, {1278, 718}, {0, 718}}));
  SDL_Quit();
}

TEST(Screensaver, WindowsArgumentsAskForTheirCommand) {
  using C = SaverCommand;
  struct Case {
    std::vector<const char*> arguments;  // after the program's name
    SaverCommand command;
    const char* window;
  };
  const Case cases[] = {
      {{}, C::kSettings, nullptr},           {{"/c"}, C::kSettings, nullptr},
      {{"-C:4711"}, C::kSettings, nullptr},  {{"/S", "extra"}, C::kFullScreen, nullptr},
      {{"/p", "1234"}, C::kPreview, "1234"}, {{"-P:1234"}, C::kPreview, "1234"},
      {{"/p:abc"}, C::kPreview, "abc"},      {{"/p"}, C::kUnknown, nullptr},
      {{"/p", ""}, C::kUnknown, nullptr},    {{"/a", "1234"}, C::kNothing, nullptr},
      {{"/x"}, C::kUnknown, nullptr},        {{"/save"}, C::kUnknown, nullptr},
      {{"/"}, C::kUnknown, nullptr},         {{"flimmer.ini"}, C::kUnknown, nullptr},
  };
  for (const Case& c : cases) {
    std::vector<char*> argv = {const_cast<char*>("flimmerwerk.scr")};
    for (const char* argument : c.arguments) argv.push_back(const_cast<char*>(argument));
    const SaverArguments read = readSaverArguments(static_cast<int>(argv.size()), argv.data());
    const std::string first = c.arguments.empty() ? "(none)" : c.arguments[0];
    EXPECT_EQ(read.command, c.command) << first;
    EXPECT_STREQ(read.window, c.window) << first;
  }
  const char* names[] = {"flimmerwerk.scr", "C:\\Windows\\FLIMMERWERK.SCR", "a.Scr"};
  for (const char* name : names) EXPECT_TRUE(isSaverFileName(name)) << name;
  const char* others[] = {"flimmerwerk.exe", "scr", ".sc", "flimmerwerk.scr.exe", ""};
  for (const char* name : others) EXPECT_FALSE(isSaverFileName(name)) << name;
}

TEST(Screensaver, FullScreenWakesOnInputButNotOnJitter) {
  struct Case {
    Uint8 type;
    int x;  // a move's position, or an activation's gain
    int y;  // a move's position, or an activation's state
    bool wakes;
  };
  // The pointer rests at (100, 100).
  const Case cases[] = {
      {SDL_KEYDOWN, 0, 0, true},
      {SDL_KEYUP, 0, 0, false},
      {SDL_MOUSEBUTTONDOWN, 0, 0, true},
      {SDL_MOUSEMOTION, 100, 100, false},
      {SDL_MOUSEMOTION, 104, 96, false},
      {SDL_MOUSEMOTION, 105, 100, true},
      {SDL_MOUSEMOTION, 100, 95, true},
      {SDL_ACTIVEEVENT, 0, SDL_APPINPUTFOCUS, true},
      {SDL_ACTIVEEVENT, 0, SDL_APPMOUSEFOCUS, false},
      {SDL_ACTIVEEVENT, 1, SDL_APPINPUTFOCUS, false},
      {SDL_VIDEOEXPOSE, 0, 0, false},
  };
  for (const Case& c : cases) {
    SDL_Event event = {};
    event.type = c.type;
    event.motion.x = static_cast<Uint16>(c.x);
    event.motion.y = static_cast<Uint16>(c.y);
    if (c.type == SDL_ACTIVEEVENT) {
      event.active.gain = static_cast<Uint8>(c.x);
      event.active.state = static_cast<Uint8>(c.y);
    }
    PointerRest rest = {true, 100, 100};
    EXPECT_EQ(wakesSaver(event, &rest), c.wakes) << int(c.type) << " " << c.x << "," << c.y;
  }
  // Unknown, the first place seen is where the pointer rests.
  PointerRest rest = {false, 0, 0};
  SDL_Event move = {};
  move.type = SDL_MOUSEMOTION;
  move.motion.x = 700;
  move.motion.y = 500;
  EXPECT_FALSE(wakesSaver(move, &rest));
  move.motion.x = 703;
  EXPECT_FALSE(wakesSaver(move, &rest));
  move.motion.x = 690;
  EXPECT_TRUE(wakesSaver(move, &rest));
}

TEST(Screensaver, PacedFramesKeepToSixtyASecond) {
  struct Case {
    uint32_t start;                // the ticks when the pacer is made
    std::vector<uint32_t> costs;   // each frame's milliseconds
    std::vector<uint32_t> pauses;  // the pause after each
  };
  const Case cases[] = {
      // Quick frames end their pauses 16, 33, 50 and 66 ms after the start.
      {1000, {2, 2, 5, 1}, {14, 15, 12, 15}},
      // A frame that ends late starts the count again from its end.
      {1000, {2, 2, 20, 1, 1}, {14, 15, 0, 15, 16}},
      // Across the wrap of the ticks.
      {0xFFFFFFF8u, {2, 2}, {14, 15}},
  };
  for (const Case& c : cases) {
    FramePacer pacer(60, c.start);
    std::vector<uint32_t> pauses;
    uint32_t now = c.start;
    for (uint32_t cost : c.costs) {
      pauses.push_back(pacer.pause(now + cost));
      now += cost + pauses.back();
    }
    EXPECT_EQ(pauses, c.pauses) << c.start;
  }
  // Frames of 1 ms: sixty in each second.
  FramePacer pacer(60, 0);
  uint32_t now = 0;
  int frames = 0;
  for (; now < 3000; ++frames) now += 1 + pacer.pause(now + 1);
  EXPECT_EQ(frames, 180);
}
}  // namespace
