/*
 * Times whole frames of the real program in a real window: preloaded with
 * LD_PRELOAD, it notes the time of every SDL_Flip (monotonic clock), and
 * after FLIP_TIMER_FRAMES flips (default 300) it writes the median and the
 * quartiles of the flip-to-flip times, leaving out the first
 * FLIP_TIMER_SKIP (default 30), and the processor time the process (all
 * its threads) spent per frame over the same frames, to standard error,
 * and ends the process. A flip-to-flip time is one frame as the user sees
 * it: moving the particles, drawing and presenting; the processor time
 * tells the cost apart from waiting on a machine shared with other work.
 * Works on both SDL 1.2s.
 *
 *   cc -O2 -shared -fPIC bench/flip_timer.c -o flip_timer.so -ldl
 *   LD_PRELOAD=./flip_timer.so build/flimmerwerk big.ini
 */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <SDL.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

static double* stamps;
static long flips;
static double cpuAtSkip;

static double cpuMs(void) {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

static long setting(const char* name, long otherwise) {
  const char* text = getenv(name);
  return text && *text ? atol(text) : otherwise;
}

static int byValue(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

static void report(long skip, long frames) {
  const long n = frames - skip - 1;
  double* times = malloc((size_t)n * sizeof *times);
  if (!times || n < 4) _exit(1);
  for (long i = 0; i < n; ++i) times[i] = stamps[skip + i + 1] - stamps[skip + i];
  qsort(times, (size_t)n, sizeof *times, byValue);
  fprintf(stderr, "frames %ld  median %.2f ms  quartiles %.2f .. %.2f ms  cpu %.2f ms/frame\n", n,
          times[n / 2], times[n / 4], times[3 * n / 4], (cpuMs() - cpuAtSkip) / n);
  _exit(0);
}

int SDL_Flip(SDL_Surface* screen) {
  static int (*next)(SDL_Surface*);
  if (!next) next = (int (*)(SDL_Surface*))dlsym(RTLD_NEXT, "SDL_Flip");
  const int result = next(screen);
  const long frames = setting("FLIP_TIMER_FRAMES", 300);
  const long skip = setting("FLIP_TIMER_SKIP", 30);
  if (!stamps) stamps = calloc((size_t)frames, sizeof *stamps);
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  if (stamps && flips < frames) stamps[flips] = now.tv_sec * 1e3 + now.tv_nsec / 1e6;
  if (flips == skip) cpuAtSkip = cpuMs();
  if (++flips == frames) report(skip, frames);
  return result;
}
