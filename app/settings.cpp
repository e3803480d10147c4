#include "app/settings.h"

#include <cstdio>

#include "app/screensaver.h"
#include "config/ini_file.h"
#include "scene/groups.h"
#include "scene/scene.h"

Settings readSettings(IniFile& ini) {
  Settings settings;
  settings.width = ini.getInt("FLIM", "breite");
  settings.height = ini.getInt("FLIM", "hoehe");
  settings.trailLength = ini.getInt("FLIM", "schweiflaenge");
  settings.speedRange = ini.getInt("FLIM", "richtungen");
  settings.depth = ini.getInt("FLIM", "farbtiefe");
  settings.fullscreen = ini.getInt("FLIM", "fullscreen");
  settings.randomTurns = ini.getInt("FLIM", "zuf_richtungswechsel");
  settings.bounce = ini.getInt("FLIM", "const_geschw");
  return settings;
}

const char* invalidSetting(const Settings& settings, int* value) {
  // Sizes and trail lengths are kept in 16 bits and must be at least 1; a
  // range of 0 admits only the zero velocity, which is never drawn.
  struct Limit {
    const char* key;
    int value;
    int lowest;
  };
  const Limit limits[] = {
      {"breite", settings.width, 1},
      {"hoehe", settings.height, 1},
      {"schweiflaenge", settings.trailLength, 1},
      {"richtungen", settings.speedRange, -32768},
  };
  for (const Limit& limit : limits) {
    if (limit.value < limit.lowest || limit.value > 32767 ||
        (limit.lowest < 0 && limit.value == 0)) {
      *value = limit.value;
      return limit.key;
    }
  }
  return nullptr;
}

SceneStart startScene(IniFile& ini, const SettingsAdjustment& adjust, const SaverWindow* saver) {
  SceneStart start;
  if (ini.failed()) return start;
  Settings settings = readSettings(ini);
  int value = 0;
  if (const char* key = invalidSetting(settings, &value)) {
    char message[64];
    snprintf(message, sizeof message, "Ung\xFCltiger Wert f\xFCr %s: %d\n", key, value);
    start.refusal = message;
    return start;
  }
  if (adjust) adjust(settings);
  const bool inSaverWindow = saver && saver->active;
  const int width = inSaverWindow ? saver->width : settings.width;
  const int height = inSaverWindow ? saver->height : settings.height;
  const int depth = inSaverWindow && saver->fullScreen ? saver->depth : settings.depth;
  const bool fullscreen = inSaverWindow ? saver->fullScreen : settings.fullscreen != 0;
  start.scene.reset(
      new Scene(width, height, settings.trailLength, settings.speedRange, depth, fullscreen));
  Particle::shared.randomTurns = settings.randomTurns != 0;
  Particle::shared.bounce = settings.bounce != 0;
  PlaceGroup place;
  if (inSaverWindow) {
    place = [&](int* x, int* y) {
      *x = placeOnField(*x, settings.width, width);
      *y = placeOnField(*y, settings.height, height);
    };
  }
  createGroups(ini, *start.scene, place);
  return start;
}
