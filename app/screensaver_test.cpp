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

}  // namespace
