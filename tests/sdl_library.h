#ifndef FLIMMERWERK_TESTS_SDL_LIBRARY_H_
#define FLIMMERWERK_TESTS_SDL_LIBRARY_H_

/*
 * Which SDL 1.2 the loader gives this process, and with it the program
 * started from it with the same environment: the classic library (1.2.15
 * and before) or sdl12-compat, the SDL 1.2 interface over SDL 2 that
 * current distributions ship, which reports itself as 1.2.50 or later.
 * Tests ask this where the two libraries differ (window size limits, the
 * icon title, their own leaks) and check what the library at hand
 * guarantees.
 */
#include <SDL.h>

static inline int onSdl12Compat(void) {
  const SDL_version* version = SDL_Linked_Version();
  return version->major == 1 && version->minor == 2 && version->patch >= 50;
}

#endif /* FLIMMERWERK_TESTS_SDL_LIBRARY_H_ */
