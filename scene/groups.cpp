#include "scene/groups.h"

#include <cstdio>

#include "config/ini_file.h"
#include "scene/scene.h"

bool readGroup(IniFile& ini, IniSection* section, Group* group) {
  ini.setCurrentSection(section);
  group->x = ini.getInt(nullptr, "x");
  group->y = ini.getInt(nullptr, "y");
  group->count = ini.getInt(nullptr, "anz");
  group->colour = ini.getInt(nullptr, "farbe");
  if (group->count <= 0) return false;
  if (group->colour < 0 || group->colour >= RAMP_COUNT) {
    fprintf(stderr,
            "Farbe %d in Gruppe %s ist ung\xFCltig! Die Gruppe wird \xFC"
            "bersprungen.\n",
            group->colour, section->name);
    return false;
  }
  return true;
}

void createGroups(IniFile& ini, Scene& scene, const PlaceGroup& place) {
  // The first section holds the settings, whatever its name.
  IniSection* section = ini.sections();
  if (!section) return;
  for (section = section->next; section; section = section->next) {
    Group group;
    if (!readGroup(ini, section, &group)) continue;
    if (place) place(&group.x, &group.y);
    scene.addParticles(group.x, group.y, group.count, group.colour);
  }
}
