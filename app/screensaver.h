#ifndef FLIMMERWERK_APP_SCREENSAVER_H_
#define FLIMMERWERK_APP_SCREENSAVER_H_

#include <cstdint>
#include <string>

union SDL_Event;

// Where the pointer rested when a full-screen saver started; moves within
// a few pixels of it are jitter, not the user.
struct PointerRest {
  bool known;  // false until the first position is seen
  int x;
  int y;
};

// Running as a screensaver. On X11 a daemon creates a window, names it in
// XSCREENSAVER_WINDOW, starts the program and ends it with SIGTERM,
// destroying the window right away. On Windows a program whose file name
// ends in .scr is started with arguments: full screen, or drawing into
// the preview window of the settings dialog. Either way the program draws
// on a field of the window's or the screen's size.
struct SaverWindow {
  bool active;  // the program runs as a screensaver
  int width;    // the window's or screen's size in pixels, at most 32767 each
  int height;
  bool fullScreen = false;              // the whole screen, ended by the user's input
  int depth = 0;                        // the screen's bits per pixel, for full screen
  bool captions = true;                 // false where a caption would name another's window
  PointerRest pointer = {false, 0, 0};  // where the pointer is at the start
  std::string config = "";              // the configuration to read; empty: the argument's
};

// On X11, without XSCREENSAVER_WINDOW (or with it empty) returns an
// inactive SaverWindow and does nothing else. With it, asks the X server
// for the size of the window it names and has SDL draw into that window
// (SDL_WINDOWID); ends the process with status 1 when there is no such
// window or no X server. Builds without Xlib ignore the variable.
// On Windows, a program not named .scr gets an inactive SaverWindow; a
// screensaver does what its arguments ask (readSaverArguments): it returns
// for full screen and for the preview, whose window SDL is then told to
// draw into, and ends the process after the settings, on /a, on arguments
// it does not know and on a preview window that does not exist.
// Call it before SDL_Init.
SaverWindow findSaverWindow(int argc, char** argv);

// True once the window a saver draws into belongs to no one any more:
// Windows' preview window sends the saver nothing when it goes, so the
// program asks once a frame. False everywhere else.
bool saverWindowGone();

// Full screen, SDL 1.2 on Windows reports a hidden pointer's moves from
// the screen's centre, and the first would wake the saver: a blank pointer
// keeps the moves where the pointer is. blankSaverPointer() shows one,
// freeSaverPointer() gives it back before SDL_Quit. Only Windows runs a
// saver full screen; elsewhere both do nothing.
void blankSaverPointer();
void freeSaverPointer();

// What Windows asks of a screensaver, by its first argument: "/" or "-",
// a letter in either case, and a window number glued on with ":" or as
// the next argument.
enum class SaverCommand {
  kSettings,    // /c, /c:N or no argument: let the user change the settings
  kFullScreen,  // /s: run full screen until the user comes back
  kPreview,     // /p N or /p:N: draw into window N
  kNothing,     // /a N: a password dialog of old Windows; nothing to do
  kUnknown,     // anything else, or /p without a number
};
struct SaverArguments {
  SaverCommand command;
  const char* window;  // the window number's text for kPreview, else null
};
SaverArguments readSaverArguments(int argc, char** argv);

// True when the file name ends in ".scr", in any case: Windows starts
// only such programs as screensavers.
bool isSaverFileName(const char* path);

// True when the event ends a full-screen saver: a key, a mouse button,
// the loss of the input focus, or the pointer more than kPointerJitter
// pixels away from where it rested in either direction. A move while
// the resting place is unknown makes that the resting place.
const int kPointerJitter = 4;
bool wakesSaver(const SDL_Event& event, PointerRest* rest);

// Keeps a saver at most framesPerSecond frames a second. Frame n (from 1)
// may end no sooner than n / framesPerSecond seconds (whole milliseconds,
// rounded down) after the pacer was made, so the rate holds on average
// though the clock counts whole milliseconds; a frame that ends later than
// that starts the count again from its end, rather than hurrying frames
// to catch up.
class FramePacer {
 public:
  FramePacer(int framesPerSecond, uint32_t now);

  // The milliseconds to sleep after a frame that ended at now (SDL's
  // ticks).
  uint32_t pause(uint32_t now);

 private:
  int framesPerSecond_;
  uint32_t start_;  // when frame 0 ended: a whole second ago at most
  int frames_;      // frames since then
};

// Where a start position the file gives on its own field of fileSize cells
// (fileSize >= 1) lies on a field of fieldSize cells: the position is
// narrowed and kept on the file's field as a particle would do it, then
// scaled and rounded down, so it stays on the new field.
int placeOnField(int position, int fileSize, int fieldSize);

#endif  // FLIMMERWERK_APP_SCREENSAVER_H_
