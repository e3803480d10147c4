// Fuzzes the whole way from configuration text to drawn frames: the
// reader, the settings and their checks, the scene on SDL's dummy driver,
// the groups and a few frames, then the teardown.
//
// The program ends the process where it cannot go on (an invalid setting,
// a display mode SDL refuses, no memory); those endings are the driver's
// and the scene's own business and are tested end to end. This harness
// stays clear of them: it stops after an invalid setting, and it shrinks a
// run to a small grid, short trails and few particles, so that every input
// is quick. The program itself is used as it is.
#include <SDL.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/settings.h"
#include "config/ini_file.h"
#include "fuzz/fuzz_file.h"
#include "scene/groups.h"
#include "scene/particle.h"
#include "scene/scene.h"

namespace {

const int kMaxSide = 64;
const int kMaxTrail = 64;
const long kMaxParticles = 400;
const int kFrames = 4;

void check(bool condition) {
  if (!condition) abort();
}

// The particles createGroups will make, counted the way it reads the
// groups; -1 when there would be more than the harness allows.
long particlesAsked(IniFile& ini) {
  long total = 0;
  IniSection* first = ini.sections();
  if (!first) return 0;
  for (IniSection* section = first->next; section; section = section->next) {
    ini.setCurrentSection(section);
    const int count = ini.getInt(nullptr, "anz");
    const int colour = ini.getInt(nullptr, "farbe");
    if (count <= 0 || colour < 0 || colour >= RAMP_COUNT) continue;
    total += count;
    if (total > kMaxParticles) return -1;
  }
  return total;
}

// Depths SDL serves in full screen; outside 8 ... 32 (0 asks for the
// display's own) it refuses them and the program ends.
bool fullScreenDepthServed(int16_t depth) { return depth == 0 || (depth >= 8 && depth <= 32); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  if (SDL_Init(SDL_INIT_VIDEO) < 0) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  IniFile ini(FuzzFile::write(data, size).c_str());
  check(!ini.failed());

  Settings settings = readSettings(ini);
  int value = 0;
  if (invalidSetting(settings, &value)) return 0;
  check(settings.width >= 1 && settings.height >= 1 && settings.trailLength >= 1);

  const long particles = particlesAsked(ini);
  if (particles < 0) return 0;

  const int width = std::min(settings.width, kMaxSide);
  const int height = std::min(settings.height, kMaxSide);
  const int trail = std::min(settings.trailLength, kMaxTrail);
  const bool fullscreen =
      settings.fullscreen != 0 && fullScreenDepthServed(static_cast<int16_t>(settings.depth));
  {
    Scene scene(width, height, trail, settings.speedRange, settings.depth, fullscreen);
    Particle::shared.randomTurns = settings.randomTurns != 0;
    Particle::shared.bounce = settings.bounce != 0;
    createGroups(ini, scene);
    check(static_cast<long>(scene.particles().size()) == particles);

    for (int frame = 0; frame < kFrames; ++frame) scene.frame();

    // Every trail point stays on the grid.
    for (const Particle* particle : scene.particles()) {
      check(particle->colour() >= 0 && particle->colour() < RAMP_COUNT);
      for (int i = 0; i < trail; ++i) {
        const TrailPoint point = particle->point(i);
        check(point.x >= 0 && point.x < width && point.y >= 0 && point.y < height);
      }
    }
  }
  check(Particle::shared.cells.cells == nullptr);
  return 0;
}
