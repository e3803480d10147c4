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
// A screensaver runs for hours on an idle machine: it is held to the rate
// of a common display rather than drawing as fast as the processor can.
const int kSaverFramesPerSecond = 60;

// Runs until Escape is pressed or the window is closed; a screensaver also
// until its window is gone, and full screen until the user comes back.
// Every tenth frame the caption is set to the average frame rate; only the
// scene's frame is timed, not the event handling nor a saver's pause.
void mainLoop(Scene& scene, const SaverWindow& saver) {
  // From here on Ctrl-C and SIGTERM end the program as a closed window does.
  // A screensaver's daemon destroys the window right after its SIGTERM, so
  // there the signal keeps ending the process before another frame.
  if (!saver.active) sdlQuitSignals();
  bool running = true;
  FrameRate rate(kTitle);
  // The desktop window's SDL calls stay as they were: no clock reading.
  FramePacer pacer(kSaverFramesPerSecond, saver.active ? SDL_GetTicks() : 0);
  PointerRest pointer = saver.pointer;
  do {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      if (event.type == SDL_QUIT ||
          (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) ||
          (saver.fullScreen && wakesSaver(event, &pointer)))
        running = false;
    }
    // A window that is gone takes no more frames.
    if (saverWindowGone()) break;
    // The iteration that sees the quit request still draws and counts.
    const Uint32 start = SDL_GetTicks();
    scene.frame();
    if (rate.count(SDL_GetTicks() - start) && saver.captions)
      SDL_WM_SetCaption(rate.caption(), rate.caption());
    waitForDisplay();
    if (saver.active) SDL_Delay(pacer.pause(SDL_GetTicks()));
  } while (running);
}

}  // namespace

int runProgram(int argc, char** argv) {
  // Before anything opens a file: whatever would get the number of a closed
  // standard error (SDL's display connection) would get the messages too.
  openStandardStreams();
  // SDL_Init must see which window to draw in.
  const SaverWindow saver = findSaverWindow(argc, argv);
  presentWithoutOpenGl();
  if (SDL_Init(SDL_INIT_VIDEO) < 0)
    fatal(1, "SDL konnte nicht initialisiert werden: %s\n", SDL_GetError());
  // Until the main loop runs, nothing reads SDL's quit event.
  defaultQuitSignals();
  if (saver.captions) SDL_WM_SetCaption(kTitle, kTitle);

  // Further arguments are ignored. The IniFile outlives the scene.
  const char* config = !saver.config.empty() ? saver.config.c_str()
                       : argc > 1            ? argv[1]
                                             : kDefaultConfig;
  IniFile ini(config);
  SceneStart start = startScene(ini, nullptr, &saver);
  // A file that could not be read has been reported by the IniFile.
  if (!start.scene) fatal(1, "%s", start.refusal.c_str());

  if (saver.fullScreen) blankSaverPointer();
  mainLoop(*start.scene, saver);
  if (saver.fullScreen) freeSaverPointer();
  // The scene's teardown touches no SDL object, so SDL goes first.
  SDL_Quit();
  start.scene.reset();
  return 0;
}
