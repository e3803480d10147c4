#include "app/screensaver.h"

#include <cstdint>
#include <cstdlib>

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

SaverWindow findSaverWindow() {
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

int placeOnField(int position, int fileSize, int fieldSize) {
  const int16_t cell = Particle::startCell(position, fileSize);
  return static_cast<int>(static_cast<int64_t>(cell) * fieldSize / fileSize);
}
