#include "app/platform.h"

#include <csignal>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

const int kQuitSignals[] = {SIGINT, SIGTERM};

#ifdef _WIN32
using Handler = void (*)(int);
Handler sdlHandlers[2];
#else
struct sigaction sdlHandlers[2];
#endif

}  // namespace

void openStandardStreams() {
#ifndef _WIN32
  // open() takes the lowest free number, which is the closed one.
  for (int fd = 0; fd <= 2; ++fd)
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) open("/dev/null", O_RDWR);
#endif
}

void defaultQuitSignals() {
  for (int i = 0; i < 2; ++i) {
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
  for (int i = 0; i < 2; ++i) {
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
