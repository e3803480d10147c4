/*
 * A test-side probe, preloaded into the program under test with
 * LD_PRELOAD. It sits between the program and SDL and the C library and is
 * steered by its own PROBE_* environment variables:
 *
 *   PROBE_LOG=path        log every SDL call (with its arguments) and the
 *                         number of rand() calls, one line each
 *   PROBE_QUIT_AFTER=n    after the n-th SDL_Flip, the next SDL_PollEvent
 *                         delivers the events in PROBE_EVENTS
 *   PROBE_EVENTS=list     comma-separated, one per SDL_PollEvent call: esc
 *                         (Escape down), escup (Escape up), space (space
 *                         down), quit, or wait (no event: the program
 *                         draws a frame); default esc
 *   PROBE_DUMP=path       write the screen as a binary PPM at every flip
 *                         (so the file holds the last frame shown)
 *   PROBE_DUMP_AT=n       dump only at the n-th flip
 *   PROBE_TIME=t          time() returns t
 *   PROBE_TICK_STEP=ms    SDL_GetTicks advances by ms at each call
 *   PROBE_FAIL=what[:n]   make a call fail: init, video, fill or lock
 *                         (fill and lock at their n-th call, default 1)
 */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <SDL.h>
#include <dlfcn.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

static FILE* logFile;
static long flips, fills, locks, randCalls;
static Uint32 ticks;
static int eventsSent;
/* Calls SDL makes to itself while serving the program are passed on
 * untouched: only the program's own calls are logged and steered. */
static int depth;
#define INNER(name, ...)                       \
  do {                                         \
    if (depth) return NEXT(name)(__VA_ARGS__); \
  } while (0)

static void note(const char* format, ...) {
  static int opened;
  if (!opened) {
    const char* path = getenv("PROBE_LOG");
    opened = 1;
    if (path) logFile = fopen(path, "w");
  }
  if (!logFile) return;
  va_list args;
  va_start(args, format);
  vfprintf(logFile, format, args);
  va_end(args);
  fputc('\n', logFile);
  fflush(logFile);
}

static long envLong(const char* name, long fallback) {
  const char* text = getenv(name);
  return text ? atol(text) : fallback;
}

/* Whether PROBE_FAIL names this call at its count-th use. */
static int failing(const char* what, long count) {
  const char* failure = getenv("PROBE_FAIL");
  size_t length = strlen(what);
  if (!failure || strncmp(failure, what, length) != 0) return 0;
  if (failure[length] == '\0') return count == 1;
  return failure[length] == ':' && atol(failure + length + 1) == count;
}

int rand(void) {
  ++randCalls;
  return NEXT(rand)();
}

time_t time(time_t* out) {
  const char* fixed = getenv("PROBE_TIME");
  time_t now = fixed ? (time_t)atoll(fixed) : NEXT(time)(NULL);
  if (out) *out = now;
  return now;
}

int SDL_Init(Uint32 flags) {
  INNER(SDL_Init, flags);
  note("SDL_Init %#x", flags);
  if (failing("init", 1)) {
    SDL_SetError("probe refuses to start");
    return -1;
  }
  ++depth;
  __auto_type result = NEXT(SDL_Init)(flags);
  --depth;
  return result;
}

void SDL_WM_SetCaption(const char* title, const char* icon) {
  INNER(SDL_WM_SetCaption, title, icon);
  note("SDL_WM_SetCaption %s|%s", title, icon);
  ++depth;
  NEXT(SDL_WM_SetCaption)(title, icon);
  --depth;
}

SDL_Surface* SDL_SetVideoMode(int width, int height, int bpp, Uint32 flags) {
  INNER(SDL_SetVideoMode, width, height, bpp, flags);
  note("SDL_SetVideoMode %d %d %d %#x rand=%ld", width, height, bpp, flags, randCalls);
  if (failing("video", 1)) {
    SDL_SetError("probe refuses the mode");
    return NULL;
  }
  ++depth;
  __auto_type result = NEXT(SDL_SetVideoMode)(width, height, bpp, flags);
  --depth;
  return result;
}

Uint32 SDL_MapRGB(const SDL_PixelFormat* format, Uint8 r, Uint8 g, Uint8 b) {
  INNER(SDL_MapRGB, format, r, g, b);
  note("SDL_MapRGB %d %d %d", r, g, b);
  ++depth;
  __auto_type result = NEXT(SDL_MapRGB)(format, r, g, b);
  --depth;
  return result;
}

int SDL_FillRect(SDL_Surface* surface, SDL_Rect* rect, Uint32 colour) {
  INNER(SDL_FillRect, surface, rect, colour);
  note("SDL_FillRect %s %#x", rect ? "rect" : "all", colour);
  ++depth;
  int result = NEXT(SDL_FillRect)(surface, rect, colour);
  --depth;
  if (failing("fill", ++fills)) {
    SDL_SetError("probe refuses to fill");
    return -1;
  }
  return result;
}

int SDL_LockSurface(SDL_Surface* surface) {
  INNER(SDL_LockSurface, surface);
  note("SDL_LockSurface");
  if (failing("lock", ++locks)) return -1;
  ++depth;
  __auto_type result = NEXT(SDL_LockSurface)(surface);
  --depth;
  return result;
}

void SDL_UnlockSurface(SDL_Surface* surface) {
  INNER(SDL_UnlockSurface, surface);
  note("SDL_UnlockSurface");
  ++depth;
  NEXT(SDL_UnlockSurface)(surface);
  --depth;
}

static void dump(SDL_Surface* surface) {
  const char* path = getenv("PROBE_DUMP");
  long at = envLong("PROBE_DUMP_AT", 0);
  if (!path || (at && at != flips)) return;
  FILE* out = fopen(path, "wb");
  if (!out) return;
  fprintf(out, "P6\n%d %d\n255\n", surface->w, surface->h);
  int bpp = surface->format->BytesPerPixel;
  for (int y = 0; y < surface->h; ++y) {
    for (int x = 0; x < surface->w; ++x) {
      const Uint8* p = (const Uint8*)surface->pixels + y * surface->pitch + x * bpp;
      Uint32 v = 0;
      switch (bpp) {
        case 1:
          v = *p;
          break;
        case 2:
          v = *(const Uint16*)p;
          break;
        case 3:
          v = p[0] | p[1] << 8 | p[2] << 16;
          break;
        case 4:
          v = *(const Uint32*)p;
          break;
      }
      Uint8 rgb[3];
      SDL_GetRGB(v, surface->format, &rgb[0], &rgb[1], &rgb[2]);
      fwrite(rgb, 1, 3, out);
    }
  }
  fclose(out);
}

int SDL_Flip(SDL_Surface* surface) {
  INNER(SDL_Flip, surface);
  ++flips;
  note("SDL_Flip rand=%ld", randCalls);
  dump(surface);
  ++depth;
  __auto_type result = NEXT(SDL_Flip)(surface);
  --depth;
  return result;
}

Uint32 SDL_GetTicks(void) {
  if (depth) return NEXT(SDL_GetTicks)();
  note("SDL_GetTicks");
  const char* step = getenv("PROBE_TICK_STEP");
  if (!step) return NEXT(SDL_GetTicks)();
  ticks += (Uint32)atol(step);
  return ticks;
}

/* 1 with the next event of PROBE_EVENTS, -1 for a wait, 0 when they are
 * all sent. */
static int scriptedEvent(SDL_Event* event) {
  const char* list = getenv("PROBE_EVENTS");
  if (!list) list = "esc";
  int index = 0;
  for (const char* item = list; item; item = strchr(item, ','), item = item ? item + 1 : NULL) {
    if (index++ < eventsSent) continue;
    ++eventsSent;
    memset(event, 0, sizeof *event);
    size_t length = strcspn(item, ",");
    if (length == 4 && strncmp(item, "wait", 4) == 0) return -1;
    if (length == 4 && strncmp(item, "quit", 4) == 0) {
      event->type = SDL_QUIT;
    } else {
      int up = length == 5 && strncmp(item, "escup", 5) == 0;
      int space = length == 5 && strncmp(item, "space", 5) == 0;
      event->type = up ? SDL_KEYUP : SDL_KEYDOWN;
      event->key.type = event->type;
      event->key.state = up ? SDL_RELEASED : SDL_PRESSED;
      event->key.keysym.sym = space ? SDLK_SPACE : SDLK_ESCAPE;
    }
    return 1;
  }
  return 0;
}

int SDL_PollEvent(SDL_Event* event) {
  INNER(SDL_PollEvent, event);
  long after = envLong("PROBE_QUIT_AFTER", -1);
  if (after >= 0 && flips >= after && event) {
    int scripted = scriptedEvent(event);
    if (scripted) {
      note("SDL_PollEvent -> %d", scripted > 0 ? event->type : 0);
      return scripted > 0;
    }
  }
  ++depth;
  int result = NEXT(SDL_PollEvent)(event);
  --depth;
  note("SDL_PollEvent -> %d", result ? event->type : 0);
  return result;
}

void SDL_Quit(void) {
  if (depth) return NEXT(SDL_Quit)();
  note("SDL_Quit rand=%ld flips=%ld", randCalls, flips);
  ++depth;
  NEXT(SDL_Quit)();
  --depth;
}
