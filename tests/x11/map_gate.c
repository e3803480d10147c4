/* Holds back the first top-level window that asks to be mapped, the way a
 * window manager gets to see a window before it appears. It redirects map and
 * configure requests on the root window, honours configure requests as they
 * come, and on the first map request prints the window's id (0x hex) on
 * standard output and waits for a line on standard input before mapping the
 * window and leaving. A client that waits for its window to be mapped stays
 * blocked meanwhile, so its properties can be read exactly as they were when
 * the window asked to appear.
 * Prints "ready" once the redirection is in place. Gives up after SECONDS
 * (default 20). Usage: map_gate [SECONDS] */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static int refused = 0;

static int noteError(Display* display, XErrorEvent* error) {
  (void)display;
  if (error->error_code == BadAccess) refused = 1;
  return 0;
}

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? atoi(argv[1]) : 20;
  alarm(seconds > 0 ? (unsigned)seconds : 20u); /* SIGALRM ends us */

  Display* display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "map_gate: cannot open display\n");
    return 1;
  }
  XSetErrorHandler(noteError);
  XSelectInput(display, DefaultRootWindow(display), SubstructureRedirectMask);
  XSync(display, False);
  if (refused) {
    fprintf(stderr, "map_gate: another client already manages the windows\n");
    return 1;
  }
  printf("ready\n");
  fflush(stdout);

  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == ConfigureRequest) {
      const XConfigureRequestEvent* request = &event.xconfigurerequest;
      XWindowChanges changes;
      changes.x = request->x;
      changes.y = request->y;
      changes.width = request->width;
      changes.height = request->height;
      changes.border_width = request->border_width;
      changes.sibling = request->above;
      changes.stack_mode = request->detail;
      XConfigureWindow(display, request->window, (unsigned)request->value_mask, &changes);
      XFlush(display);
    } else if (event.type == MapRequest) {
      const Window window = event.xmaprequest.window;
      printf("0x%lx\n", window);
      fflush(stdout);
      char line[64];
      const int released = fgets(line, sizeof line, stdin) != NULL;
      XMapWindow(display, window);
      XSync(display, False);
      XCloseDisplay(display);
      return released ? 0 : 1;
    }
  }
}
