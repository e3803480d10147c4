#ifndef FLIMMERWERK_SCENE_GROUPS_H_
#define FLIMMERWERK_SCENE_GROUPS_H_

#include <functional>

class IniFile;
class Scene;

// Every section after the first describes one group of particles: start
// cell x, y, count anz and colour ramp farbe. Walks those sections in file
// order and has the scene create each group's particles. Moves the
// IniFile's current section. A place function, when given, moves each
// group's start cell from where the file puts it to where it starts.
using PlaceGroup = std::function<void(int* x, int* y)>;
void createGroups(IniFile& ini, Scene& scene, const PlaceGroup& place = nullptr);

#endif  // FLIMMERWERK_SCENE_GROUPS_H_
