/* Asks a window to close the way a window manager does: a ClientMessage of
 * type WM_PROTOCOLS carrying WM_DELETE_WINDOW. The window must have listed
 * WM_DELETE_WINDOW in its WM_PROTOCOLS, as a window manager checks too.
 * Usage: send_close WINDOW-ID (decimal or 0x hex). Status 0 when sent. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: send_close WINDOW-ID\n");
    return 2;
  }
  char* end = NULL;
  const Window window = (Window)strtoul(argv[1], &end, 0);
  if (*argv[1] == '\0' || *end != '\0' || window == 0) {
    fprintf(stderr, "send_close: bad window id '%s'\n", argv[1]);
    return 2;
  }
  Display* display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "send_close: cannot open display\n");
    return 1;
  }
  const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);

  Atom* listed = NULL;
  int count = 0;
  int accepts = 0;
  if (XGetWMProtocols(display, window, &listed, &count)) {
    for (int i = 0; i < count; ++i) accepts |= listed[i] == deleteWindow;
    XFree(listed);
  }
  if (!accepts) {
    fprintf(stderr, "send_close: window 0x%lx does not accept WM_DELETE_WINDOW\n", window);
    XCloseDisplay(display);
    return 1;
  }

  XEvent event;
  memset(&event, 0, sizeof event);
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = protocols;
  event.xclient.format = 32;
  event.xclient.data.l[0] = (long)deleteWindow;
  event.xclient.data.l[1] = CurrentTime;
  const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  XCloseDisplay(display);
  if (!sent) {
    fprintf(stderr, "send_close: XSendEvent failed\n");
    return 1;
  }
  return 0;
}
