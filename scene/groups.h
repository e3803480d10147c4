#ifndef FLIMMERWERK_SCENE_GROUPS_H_
#define FLIMMERWERK_SCENE_GROUPS_H_

class IniFile;
class Scene;

// Every section after the first describes one group of particles: start
// cell x, y, count anz and colour ramp farbe. Walks those sections in file
// order and has the scene create each group's particles. Moves the
// IniFile's current section.
void createGroups(IniFile& ini, Scene& scene);

#endif  // FLIMMERWERK_SCENE_GROUPS_H_
