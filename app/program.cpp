#include "app/program.h"

#include <SDL.h>

#include <memory>

#include "app/frame_rate.h"
#include "app/platform.h"
#include "app/screensaver.h"
#include "app/settings.h"
#include "config/ini_file.h"
#include "scene/fatal.h"
#include "scene/scene.h"

namespace {

const char kTitle[] = "Flimmerwerk";
const char kDefaultConfig[] = "flimmer.ini";

// Runs until Escape is pressed or the window is closed. Every tenth frame
// the caption is set to the average frame rate; only the scene's frame is
// timed, not the event handling.
void mainLoop(Scene& scene, const SaverWindow& saver) {
  // From here on Ctrl-C and SIGTERM end the program as a closed window does.
  // A screensaver's daemon destroys the window right after its SIGTERM, so
  // there the signal keeps ending the process before another frame.
  if (!saver.active) sdlQuitSignals();
  bool running = true;
  FrameRate rate(kTitle);
  do {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      if (event.type == SDL_QUIT ||
          (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE))
        running = false;
    }
    // The iteration that sees the quit request still draws and counts.
    const Uint32 start = SDL_GetTicks();
    scene.frame();
    if (rate.count(SDL_GetTicks() - start)) SDL_WM_SetCaption(rate.caption(), rate.caption());
    waitForDisplay();
  } while (running);
}

}  // namespace

int runProgram(int argc, char** argv) {
  // Before anything opens a file: whatever would get the number of a closed
  // standard error (SDL's display connection) would get the messages too.
  openStandardStreams();
  // SDL_Init must see which window to draw in.
  const SaverWindow saver = findSaverWindow();
  presentWithoutOpenGl();
  if (SDL_Init(SDL_INIT_VIDEO) < 0)
    fatal(1, "SDL konnte nicht initialisiert werden: %s\n", SDL_GetError());
  // Until the main loop runs, nothing reads SDL's quit event.
  defaultQuitSignals();
  SDL_WM_SetCaption(kTitle, kTitle);

  // Further arguments are ignored. The IniFile outlives the scene.
  IniFile ini(argc > 1 ? argv[1] : kDefaultConfig);
  SceneStart start = startScene(ini, nullptr, &saver);
  // A file that could not be read has been reported by the IniFile.
  if (!start.scene) fatal(1, "%s", start.refusal.c_str());

  mainLoop(*start.scene, saver);
  // The scene's teardown touches no SDL object, so SDL goes first.
  SDL_Quit();
  start.scene.reset();
  return 0;
}
