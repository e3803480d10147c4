#ifndef FLIMMERWERK_APP_SETTINGS_H_
#define FLIMMERWERK_APP_SETTINGS_H_

#include <functional>
#include <memory>
#include <string>

class IniFile;
class Scene;
struct SaverWindow;

// The eight settings of section FLIM, as read (full integers).
struct Settings {
  int width;        // breite: window and grid width in pixels
  int height;       // hoehe
  int trailLength;  // schweiflaenge: trail points per particle
  int speedRange;   // richtungen: velocity components lie in -range ... +range
  int depth;        // farbtiefe: bits per pixel, full screen only
  int fullscreen;   // non-zero: full screen
  int randomTurns;  // zuf_richtungswechsel: non-zero turns at random times
  int bounce;       // const_geschw: non-zero reflects at the borders
};

// Reads the settings in their fixed order; a missing one is reported by
// the IniFile and counts as 0.
Settings readSettings(IniFile& ini);

// The key of the first setting the program cannot run with, or null. The
// offending value is stored in *value.
const char* invalidSetting(const Settings& settings, int* value);

// What a start from a configuration file gave: the scene, or why the
// program refuses the file.
struct SceneStart {
  std::unique_ptr<Scene> scene;  // null when the file is refused
  // When refused, the message the program ends with: empty when the file
  // could not be read (the IniFile has said why), else the invalid setting.
  std::string refusal;
};

// Changes the checked settings before the scene is built from them.
using SettingsAdjustment = std::function<void(Settings&)>;

// The way from a configuration file to a running scene, for the program
// and its tests alike: the settings of a file that could be read, checked
// (a missing one is reported and counts as 0), then the scene they
// describe -- display, ramps, grid and the two motion switches -- holding
// the groups of every section of the file after the first. A given
// adjustment sees the settings between the check and the scene. In a
// screensaver's window (an active saver) the field takes the window's
// size, full screen (at the screen's depth) only where the saver asks for
// it, and each group starts where it would on the file's own field scaled
// to the window. Ends the process where the scene
// cannot be built. The IniFile must outlive the scene.
SceneStart startScene(IniFile& ini, const SettingsAdjustment& adjust = nullptr,
                      const SaverWindow* saver = nullptr);

#endif  // FLIMMERWERK_APP_SETTINGS_H_
