/*
 * Prints which SDL 1.2 the loader resolves in this environment, for the
 * test scripts: "classic" or "sdl12-compat", then the version it reports.
 */
#include "tests/sdl_library.h"

#include <stdio.h>

int main(void) {
  const SDL_version* version = SDL_Linked_Version();
  printf("%s %d.%d.%d\n", onSdl12Compat() ? "sdl12-compat" : "classic", version->major,
         version->minor, version->patch);
  return 0;
}
