#include "scene/groups.h"

#include <cstdio>

#include "config/ini_file.h"
#include "scene/scene.h"

void createGroups(IniFile& ini, Scene& scene, const PlaceGroup& place) {
  // The first section holds the settings, whatever its name.
  IniSection* section = ini.sections();
  if (!section) return;
  for (section = section->next; section; section = section->next) {
    ini.setCurrentSection(section);
    int x = ini.getInt(nullptr, "x");
    int y = ini.getInt(nullptr, "y");
    const int count = ini.getInt(nullptr, "anz");
    const int colour = ini.getInt(nullptr, "farbe");
    if (count <= 0) continue;
    if (colour < 0 || colour >= RAMP_COUNT) {
      fprintf(stderr,
              "Farbe %d in Gruppe %s ist ung\xFCltig! Die Gruppe wird \xFC"
              "bersprungen.\n",
              colour, section->name);
      continue;
    }
    if (place) place(&x, &y);
    scene.addParticles(x, y, count, colour);
  }
}
