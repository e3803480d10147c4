/* Plays the screensaver settings dialog for the Wine test: makes its
 * little monitor, a black 320 x 240 window titled "Vorschau" at the
 * screen's top left, starts the saver on it as Windows does ("SAVER /p N",
 * or "SAVER /p:N" with STYLE colon), keeps it for SECONDS, then destroys it
 * and waits a second for the saver to end (counted from when the window
 * is gone: Wine takes 2 s to destroy a top-level window without a window
 * manager). Prints the window's number, and
 * how and when the saver ended. Status 0 when it ran the whole time and
 * ended within the second with status 0, else 1.
 * The monitor is a window of its own, not a child of the dialog as in
 * Windows: Wine shows no other process's drawing in a child window.
 * Usage: saver_host.exe SAVER space|colon SECONDS */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static LRESULT CALLBACK handle(HWND window, UINT message, WPARAM w, LPARAM l) {
  return DefWindowProcA(window, message, w, l);
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: saver_host SAVER space|colon SECONDS\n");
    return 2;
  }
  WNDCLASSA type = {0};
  type.lpfnWndProc = handle;
  type.hInstance = GetModuleHandleA(NULL);
  type.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
  type.lpszClassName = "Vorschau";
  RegisterClassA(&type);
  /* Without a frame: the X window is the picture. */
  HWND window = CreateWindowA("Vorschau", "Vorschau", WS_POPUP | WS_VISIBLE, 0, 0, 320, 240, NULL,
                              NULL, type.hInstance, NULL);
  if (!window) {
    printf("no window\n");
    return 1;
  }
  unsigned long long number = (unsigned long long)(UINT_PTR)window;
  printf("window %llu\n", number);
  fflush(stdout);

  char command[MAX_PATH + 64];
  snprintf(command, sizeof command,
           strcmp(argv[2], "colon") == 0 ? "\"%s\" /p:%llu" : "\"%s\" /p %llu", argv[1], number);
  STARTUPINFOA start = {0};
  start.cb = sizeof start;
  PROCESS_INFORMATION saver;
  if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &start, &saver)) {
    printf("cannot start %s: error %lu\n", command, GetLastError());
    return 1;
  }

  /* The window lives on its messages while the saver draws into it. */
  const DWORD until = GetTickCount() + (DWORD)(atof(argv[3]) * 1000);
  for (;;) {
    const LONG left = (LONG)(until - GetTickCount());
    if (left <= 0) break;
    if (MsgWaitForMultipleObjects(1, &saver.hProcess, FALSE, (DWORD)left, QS_ALLINPUT) ==
        WAIT_OBJECT_0) {
      DWORD status = 0;
      GetExitCodeProcess(saver.hProcess, &status);
      printf("the saver ended early with status %lu\n", status);
      return 1;
    }
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }

  DestroyWindow(window);
  const DWORD gone = GetTickCount();
  if (WaitForSingleObject(saver.hProcess, 1000) != WAIT_OBJECT_0) {
    printf("the saver still runs a second after its window went\n");
    TerminateProcess(saver.hProcess, 1);
    return 1;
  }
  DWORD status = 0;
  GetExitCodeProcess(saver.hProcess, &status);
  printf("the saver ended %lu ms after its window went, with status %lu\n", GetTickCount() - gone,
         status);
  return status == 0 ? 0 : 1;
}
