#ifndef FLIMMERWERK_SCENE_GROUPS_H_
#define FLIMMERWERK_SCENE_GROUPS_H_

#include <functional>

class IniFile;
struct IniSection;
class Scene;

// One group of particles as its section describes it.
struct Group {
  int x, y;    // start cell
  int count;   // anz: number of particles
  int colour;  // farbe: colour ramp number
};

// Reads x, y, anz and farbe from the section, which becomes the IniFile's
// current section, and says whether the group creates particles: it does
// when its count is at least 1 and its colour names a ramp. A group that
// has particles but a colour outside the ramps is reported and skipped.
bool readGroup(IniFile& ini, IniSection* section, Group* group);

// Every section after the first describes one group of particles. Walks
// those sections in file order and has the scene create each group's
// particles. Moves the IniFile's current section. A place function, when
// given, moves each group's start cell from where the file puts it to
// where it starts.
using PlaceGroup = std::function<void(int* x, int* y)>;
void createGroups(IniFile& ini, Scene& scene, const PlaceGroup& place = nullptr);

#endif  // FLIMMERWERK_SCENE_GROUPS_H_
