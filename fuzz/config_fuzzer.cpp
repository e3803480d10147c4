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
#include <memory>
#include <utility>

#include "app/settings.h"
#include "config/ini_file.h"
#include "fuzz/fuzz_file.h"
#include "scene/groups.h"
#include "scene/scene.h"

namespace {

const int kMaxSide = 64;
const int kMaxTrail = 64;
const long kMaxParticles = 400;
const int kFrames = 4;

void check(bool condition) {
  if (!condition) abort();
}

// The particles the scene's groups will hold, counted as the groups are
// read; -1 when there would be more than the harness allows.
long particlesAsked(IniFile& ini) {
  long total = 0;
  IniSection* first = ini.sections();
  if (!first) return 0;
  for (IniSection* section = first->next; section; section = section->next) {
    Group group;
    if (!readGroup(ini, section, &group)) continue;
    total += group.count;
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

  const long particles = particlesAsked(ini);
  if (particles < 0) return 0;

  Settings settings = {};
  SceneStart start = startScene(ini, [&settings](Settings& checked) {
    check(checked.width >= 1 && checked.height >= 1 && checked.trailLength >= 1);
    checked.width = std::min(checked.width, kMaxSide);
    checked.height = std::min(checked.height, kMaxSide);
    checked.trailLength = std::min(checked.trailLength, kMaxTrail);
    if (!fullScreenDepthServed(static_cast<int16_t>(checked.depth))) checked.fullscreen = 0;
    settings = checked;
  });
  if (!start.scene) {
    // Only an invalid setting refuses a file that could be read.
    check(!start.refusal.empty());
    return 0;
  }
  std::unique_ptr<Scene> scene = std::move(start.scene);
  check(static_cast<long>(scene->particles().size()) == particles);
  SDL_Surface* screen = SDL_GetVideoSurface();
  const uint32_t background = SDL_MapRGB(screen->format, 255, 255, 255);
  for (int frame = 0; frame < kFrames; ++frame) {
    scene->frame();
    // Every head lies on the grid and shows there, if not itself then a
    // point that covers it.
    const CellGrid& cells = *Particle::shared.cells;
    for (const Particle* particle : scene->particles()) {
      check(particle->x() >= 0 && particle->x() < settings.width);
      check(particle->y() >= 0 && particle->y() < settings.height);
      check(cells.pixelValue(particle->x(), particle->y()) != EMPTY_CELL);
    }
    // Every pixel shows what its cell holds, or the background where it
    // holds nothing.
    if (particles == 0) continue;
    const int bytes = screen->format->BytesPerPixel;
    for (int y = 0; y < settings.height && y < screen->h; ++y) {
      for (int x = 0; x < settings.width && x < screen->w; ++x) {
        const uint32_t value = cells.pixelValue(x, y);
        const uint32_t expected = value == EMPTY_CELL ? background : value;
        const Uint8* pixel =
            static_cast<const Uint8*>(screen->pixels) + y * screen->pitch + x * bytes;
        for (int i = 0; i < bytes; ++i) check(pixel[i] == static_cast<Uint8>(expected >> (8 * i)));
      }
    }
  }
  scene.reset();
  check(Particle::shared.cells == nullptr);
  return 0;
}
