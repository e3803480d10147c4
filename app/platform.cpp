#include "app/platform.h"

#include <csignal>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#endif

namespace {

const int kQuitSignals[] = {SIGINT, SIGTERM};
const int kQuitSignalCount = sizeof kQuitSignals / sizeof kQuitSignals[0];

// SDL's handlers of the quit signals, in the same order, while they are
// put aside.
#ifdef _WIN32
using Handler = void (*)(int);
Handler sdlHandlers[kQuitSignalCount];
#else
struct sigaction sdlHandlers[kQuitSignalCount];
#endif

}  // namespace

void openStandardStreams() {
#ifndef _WIN32
  // open() takes the lowest free number, which is the closed one.
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) open("/dev/null", O_RDWR);
#endif
}

void presentWithoutOpenGl() {
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
  // Both are needed: the first picks SDL 2's software renderer, the second
  // keeps the window's own framebuffer off OpenGL too.
  setenv("SDL_RENDER_DRIVER", "software", 0);
  setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 0);
#endif
}

void defaultQuitSignals() {
  for (int i = 0; i < kQuitSignalCount; ++i) {
#ifdef _WIN32
    sdlHandlers[i] = signal(kQuitSignals[i], SIG_DFL);
    if (sdlHandlers[i] == SIG_IGN) signal(kQuitSignals[i], SIG_IGN);
#else
    struct sigaction defaultAction = {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(kQuitSignals[i], nullptr, &sdlHandlers[i]);
    if (sdlHandlers[i].sa_handler != SIG_IGN) sigaction(kQuitSignals[i], &defaultAction, nullptr);
#endif
  }
}

void sdlQuitSignals() {
  for (int i = 0; i < kQuitSignalCount; ++i) {
#ifdef _WIN32
    signal(kQuitSignals[i], sdlHandlers[i]);
#else
    sigaction(kQuitSignals[i], &sdlHandlers[i], nullptr);
#endif
  }
}

#ifdef __EMSCRIPTEN__
// The program's stack is put aside (Asyncify) while the browser runs and
// taken up again in its next animation frame; a runtime that has been
// stopped in the meantime is not taken up again.
// clang-format off
EM_ASYNC_JS(void, nextAnimationFrame, (), {
  await new Promise(function(resume) { requestAnimationFrame(resume); });
});
// clang-format on

void waitForDisplay() { nextAnimationFrame(); }
#endif
