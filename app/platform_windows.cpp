// Windows' screensavers: every call into Windows the program makes beyond
// SDL and the C library. Built only for Windows.
#include <windows.h>
// After windows.h, which it needs.
#include <SDL.h>
#include <shlobj.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/screensaver.h"
#include "scene/fatal.h"

namespace {

// The scene keeps its sizes in 16 bits, and needs one cell at least.
int limitField(long size) { return size < 1 ? 1 : size > 32767 ? 32767 : static_cast<int>(size); }

// The preview window the saver draws into, or null.
HWND previewWindow = nullptr;

bool fileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The folder of a file, with its closing backslash.
std::string folderOf(const std::string& file) {
  return file.substr(0, file.find_last_of("\\/") + 1);
}

// The user's own settings, which survive an update of the program and
// need no administrator to change them; empty where Windows names no
// folder for application data.
std::string userSettings() {
  char folder[MAX_PATH];
  if (SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
    return "";
  return std::string(folder) + "\\Flimmerwerk\\flimmer.ini";
}

// The user's settings in Notepad; a first copy comes from the file beside
// the saver.
[[noreturn]] void openSettings(const std::string& shipped, const std::string& user) {
  if (user.empty()) fatal(1, "Windows nennt keinen Ordner f\xFCr die Einstellungen.\n");
  if (!fileExists(user)) {
    const std::string folder = folderOf(user);
    CreateDirectoryA(folder.substr(0, folder.size() - 1).c_str(), nullptr);
    if (!CopyFileA(shipped.c_str(), user.c_str(), TRUE) && !fileExists(user))
      fatal(1, "Die Einstellungen %s konnten nicht angelegt werden.\n", user.c_str());
  }
  const std::string quoted = "\"" + user + "\"";
  const HINSTANCE opened =
      ShellExecuteA(nullptr, "open", "notepad.exe", quoted.c_str(), nullptr, SW_SHOWNORMAL);
  // Values up to 32 are errors.
  if (reinterpret_cast<intptr_t>(opened) <= 32)
    fatal(1,
          "Notepad konnte die Einstellungen %s nicht \xF6"
          "ffnen.\n",
          user.c_str());
  exit(0);
}

// The settings dialog's preview window, given by its number; SDL draws
// into it. SDL's own handling of the window would need its messages,
// which Windows keeps within the process that made it; a child window of
// our own would tie the dialog's input to this process, so that a saver
// that hangs would hang the dialog too. So the saver draws straight into
// the window and asks each frame whether it is still there.
void usePreviewWindow(const char* number, SaverWindow* saver) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long id = strtoull(number, &end, 10);
  const HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(id));
  RECT client;
  if (*end != '\0' || errno != 0 || id == 0 || !IsWindow(window) || !GetClientRect(window, &client))
    fatal(1, "Das Fenster %s f\xFCr den Bildschirmschoner gibt es nicht.\n", number);
  // SDL and the program share the C runtime, whose getenv does not see
  // what SetEnvironmentVariable sets.
  char variable[40];
  snprintf(variable, sizeof variable, "SDL_WINDOWID=%llu", id);
  _putenv(variable);
  previewWindow = window;
  saver->width = limitField(client.right - client.left);
  saver->height = limitField(client.bottom - client.top);
}

// The primary screen at its current size and depth, and where the pointer
// rests on it.
void useScreen(SaverWindow* saver) {
  saver->fullScreen = true;
  saver->width = limitField(GetSystemMetrics(SM_CXSCREEN));
  saver->height = limitField(GetSystemMetrics(SM_CYSCREEN));
  const HDC screen = GetDC(nullptr);
  saver->depth = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  POINT pointer;
  if (GetCursorPos(&pointer))
    saver->pointer = {true, static_cast<int>(pointer.x), static_cast<int>(pointer.y)};
}

}  // namespace

SaverWindow findSaverWindow(int argc, char** argv) {
  SaverWindow saver = {false, 0, 0};
  char module[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || !isSaverFileName(module)) return saver;

  // Windows starts a saver in any folder, often its system folder: its
  // files are found by their full paths only.
  const std::string shipped = folderOf(module) + "flimmer.ini";
  const std::string user = userSettings();
  const SaverArguments arguments = readSaverArguments(argc, argv);
  switch (arguments.command) {
    case SaverCommand::kSettings:
      openSettings(shipped, user);
    case SaverCommand::kNothing:
      exit(0);
    case SaverCommand::kUnknown:
      fatal(1, "Unbekannte Argumente f\xFCr den Bildschirmschoner: %s\n", argc > 1 ? argv[1] : "");
    case SaverCommand::kFullScreen:
      useScreen(&saver);
      break;
    case SaverCommand::kPreview:
      usePreviewWindow(arguments.window, &saver);
      break;
  }
  saver.active = true;
  saver.captions = false;
  saver.config = !user.empty() && fileExists(user) ? user : shipped;
  return saver;
}

bool saverWindowGone() { return previewWindow && !IsWindow(previewWindow); }

namespace {
SDL_Cursor* blankPointer = nullptr;
}  // namespace

void blankSaverPointer() {
  Uint8 nothing[8] = {};
  blankPointer = SDL_CreateCursor(nothing, nothing, 8, 8, 0, 0);
  if (blankPointer) SDL_SetCursor(blankPointer);
}

void freeSaverPointer() {
  if (blankPointer) SDL_FreeCursor(blankPointer);
  blankPointer = nullptr;
}
