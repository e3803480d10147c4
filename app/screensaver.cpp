#include "app/screensaver.h"

#include <SDL.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if FLIMMER_X11
#include <X11/Xlib.h>

#include <cerrno>
#include <cstdio>

#include "scene/fatal.h"
#endif

#include "scene/particle.h"

#if FLIMMER_X11
namespace {

// The scene keeps its sizes in 16 bits.
const int kLargestField = 32767;

int limitField(int size) { return size > kLargestField ? kLargestField : size; }

bool windowMissing = false;

int noteMissingWindow(Display*, XErrorEvent*) {
  windowMissing = true;
  return 0;
}

// The window the daemon named, asked for without letting Xlib's default
// error handler end the process on an id that names no window.
bool windowSize(Display* display, unsigned long window, int* width, int* height) {
  XWindowAttributes attributes;
  windowMissing = false;
  const XErrorHandler previous = XSetErrorHandler(noteMissingWindow);
  const Status found = XGetWindowAttributes(display, window, &attributes);
  XSync(display, False);
  XSetErrorHandler(previous);
  if (!found || windowMissing) return false;
  *width = attributes.width;
  *height = attributes.height;
  return true;
}

}  // namespace
#endif

// Windows' screensavers are in platform_windows.cpp.
#ifndef _WIN32
SaverWindow findSaverWindow(int, char**) {
  SaverWindow saver = {false, 0, 0};
#if FLIMMER_X11
  const char* id = getenv("XSCREENSAVER_WINDOW");
  if (!id || !*id) return saver;

  char* end = nullptr;
  errno = 0;
  const unsigned long window = strtoul(id, &end, 0);
  const bool readable = *end == '\0' && errno == 0 && window != 0;

  Display* display = XOpenDisplay(nullptr);
  if (!display) fatal(1, "Ohne X-Server gibt es kein Fenster f\xFCr den Bildschirmschoner.\n");
  int width = 0;
  int height = 0;
  const bool found = readable && windowSize(display, window, &width, &height);
  XCloseDisplay(display);
  if (!found) fatal(1, "Das Fenster %s f\xFCr den Bildschirmschoner gibt es nicht.\n", id);

  // Both SDL 1.2s read the id with strtol and base 0.
  char number[24];
  snprintf(number, sizeof number, "%lu", window);
  setenv("SDL_WINDOWID", number, 1);
  saver.active = true;
  saver.width = limitField(width);
  saver.height = limitField(height);
#endif
  return saver;
}

bool saverWindowGone() { return false; }
void blankSaverPointer() {}
void freeSaverPointer() {}
#endif

int placeOnField(int position, int fileSize, int fieldSize) {
  const int16_t cell = Particle::startCell(position, fileSize);
  return static_cast<int>(static_cast<int64_t>(cell) * fieldSize / fileSize);
}

SaverArguments readSaverArguments(int argc, char** argv) {
  SaverArguments arguments = {SaverCommand::kUnknown, nullptr};
  if (argc < 2) {
    arguments.command = SaverCommand::kSettings;
    return arguments;
  }
  const char* text = argv[1];
  if (text[0] != '/' && text[0] != '-') return arguments;
  const char* rest = text + 2;
  if (text[1] == '\0' || (*rest != '\0' && *rest != ':')) return arguments;
  const char* glued = *rest == ':' ? rest + 1 : nullptr;
  switch (tolower(static_cast<unsigned char>(text[1]))) {
    case 'c':
      arguments.command = SaverCommand::kSettings;
      break;
    case 's':
      arguments.command = SaverCommand::kFullScreen;
      break;
    case 'a':
      arguments.command = SaverCommand::kNothing;
      break;
    case 'p':
      arguments.window = glued ? glued : argc > 2 ? argv[2] : nullptr;
      if (arguments.window && *arguments.window)
        arguments.command = SaverCommand::kPreview;
      else
        arguments.window = nullptr;
      break;
  }
  return arguments;
}

bool isSaverFileName(const char* path) {
  const size_t length = strlen(path);
  if (length < 4) return false;
  const char* ending = path + length - 4;
  for (int i = 0; i < 4; ++i)
    if (tolower(static_cast<unsigned char>(ending[i])) != ".scr"[i]) return false;
  return true;
}

bool wakesSaver(const SDL_Event& event, PointerRest* rest) {
  switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_MOUSEBUTTONDOWN:
      return true;
    case SDL_ACTIVEEVENT:
      return !event.active.gain && (event.active.state & SDL_APPINPUTFOCUS);
    case SDL_MOUSEMOTION:
      if (!rest->known) {
        *rest = {true, event.motion.x, event.motion.y};
        return false;
      }
      return abs(event.motion.x - rest->x) > kPointerJitter ||
             abs(event.motion.y - rest->y) > kPointerJitter;
    default:
      return false;
  }
}

FramePacer::FramePacer(int framesPerSecond, uint32_t now)
    : framesPerSecond_(framesPerSecond), start_(now), frames_(0) {}

uint32_t FramePacer::pause(uint32_t now) {
  ++frames_;
  const uint32_t due = start_ + static_cast<uint32_t>(frames_ * 1000 / framesPerSecond_);
  if (frames_ == framesPerSecond_) {
    start_ = due;
    frames_ = 0;
  }
  // The difference, not a comparison: SDL's ticks wrap after 49 days.
  const int32_t early = static_cast<int32_t>(due - now);
  if (early >= 0) return static_cast<uint32_t>(early);
  start_ = now;
  frames_ = 0;
  return 0;
}
