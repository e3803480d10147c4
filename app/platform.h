#ifndef FLIMMERWERK_APP_PLATFORM_H_
#define FLIMMERWERK_APP_PLATFORM_H_

// What the program asks of the operating system beyond SDL and the C
// library: open standard descriptors, the handling of Ctrl-C and SIGTERM
// during start-up, and, in a web browser, giving control back between
// frames.

// Opens every one of standard input, output and error that the program was
// started without on the null device, so that no file or connection the
// program opens later takes its number and receives its messages. Call it
// first, before anything opens a file. Does nothing on Windows, where
// SDLmain has given them files already.
void openStandardStreams();

// sdl12-compat presents every frame through SDL 2's renderer, by default
// with OpenGL; where OpenGL is drawn in software (virtual machines, remote
// desktops) a frame then takes two to three times the processor time.
// These hints make it present on the processor, as the classic SDL 1.2
// always does; the classic library ignores them. A value the user set
// stays. Call it before SDL_Init. Does nothing on Windows and in the
// browser.
void presentWithoutOpenGl();

// SDL_Init turns SIGINT and SIGTERM into a quit event that only the main
// loop reads. Until that loop runs they should end the program as they end
// any program: this gives both their default action back (a signal that
// was ignored when the program started stays ignored). Call it right after
// SDL_Init.
void defaultQuitSignals();

// Gives SIGINT and SIGTERM back to SDL's handlers, which
// defaultQuitSignals() put aside. Call it right before the main loop.
void sdlQuitSignals();

// In a web browser the program runs on the page's only thread: nothing is
// drawn and no key press arrives until it gives control back. This waits
// there until the browser is about to paint the page again, so that frames
// follow the display and stop while the page is hidden. Elsewhere the loop
// runs as fast as it can and this does nothing. Call it once a frame.
#ifdef __EMSCRIPTEN__
void waitForDisplay();
#else
inline void waitForDisplay() {}
#endif

#endif  // FLIMMERWERK_APP_PLATFORM_H_
