#ifndef FLIMMERWERK_APP_SCREENSAVER_H_
#define FLIMMERWERK_APP_SCREENSAVER_H_

// Running as a display mode of a screensaver daemon. The daemon creates a
// window, names it in XSCREENSAVER_WINDOW, starts the program and ends it
// with SIGTERM, destroying the window right away. The program then draws
// into that window, on a field of the window's size.
struct SaverWindow {
  bool active;  // the program was started as a display mode
  int width;    // the window's size in pixels, at most 32767 each
  int height;
};

// Without XSCREENSAVER_WINDOW (or with it empty) returns an inactive
// SaverWindow and does nothing else. With it, asks the X server for the
// size of the window it names and has SDL draw into that window
// (SDL_WINDOWID); ends the process with status 1 when there is no such
// window or no X server. Call it before SDL_Init. Builds without Xlib
// ignore the variable.
SaverWindow findSaverWindow();

// Where a start position the file gives on its own field of fileSize cells
// (fileSize >= 1) lies on a field of fieldSize cells: the position is
// narrowed and kept on the file's field as a particle would do it, then
// scaled and rounded down, so it stays on the new field.
int placeOnField(int position, int fileSize, int fieldSize);

#endif  // FLIMMERWERK_APP_SCREENSAVER_H_
