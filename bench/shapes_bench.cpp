// Wall-clock frame times of the real scene in the shapes of scene that
// tell frames apart: small, large, many short trails, dense, long trails,
// and the start, when every group still sits on its start cell. Each run
// measures one case and prints one line of key=value fields, so that a
// case that runs out of memory ends only its own process, and the peak
// memory of a start-up case is its own.
//
//   shapes_bench steady T          median frame once the trails have spread
//   shapes_bench start T           mean of the first trail length + 10 frames
//   shapes_bench startup 64x64:5000x4000
//                                  one group on the centre cell: the time to
//                                  build the scene and add the group, the
//                                  first ten frames (mean and total), the
//                                  peak memory
//   shapes_bench frames CLOUD      610 frames of a user's file: the
//                                  median, 99th percentile and longest of
//                                  frames 10 to 609, and the mean of the
//                                  first ten
//   shapes_bench list              the cases of each mode
//
// It uses only the part of the scene's interface that every frame design
// of the program has had (the constructor, addParticles, frame and the
// shared motion switches), so that bench/compare_designs.sh can compile
// this one file against older revisions and set their frames side by side.
// SHAPES_STEADY_SECONDS (default 1) sets how long the steady frames are
// timed.
#include <SDL.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <numeric>
#include <vector>

#include "scene/scene.h"

namespace {

// Where a scene's eight groups start.
enum Placement {
  kLattice,   // on a 4 x 2 lattice over the field
  kCorners,   // two to each corner cell
  kDiagonal,  // evenly along the diagonal, from an eighth to seven eighths
  kGrid,      // on a grid of columns x rows over the field
};

struct Shape {
  const char* name;
  int width;
  int height;
  int particles;
  int trail;
  // The motion: richtungen, const_geschw and zuf_richtungswechsel.
  int range = 3;
  bool bounce = false;
  bool turns = true;
  Placement placement = kLattice;
  // Groups, and the columns of a grid (its rows follow).
  int groups = 8;
  int columns = 0;
};

// The scenes of the steady and start modes: eight groups each. The last
// ones are shapes a file can force, where points pile onto a few cells.
const Shape kScenes[] = {
    {"S", 640, 480, 2000, 20},       // the default window
    {"L", 1920, 1080, 20000, 50},    // full HD, many particles
    {"XL", 1920, 1080, 200000, 20},  // many short trails
    {"D", 640, 480, 50000, 20},      // dense: many points per cell
    {"T", 1920, 1080, 5000, 400},    // long trails
    {"T2", 1920, 1080, 20000, 200},  // many long trails
    {"M", 1280, 720, 5000, 100},     // medium
    // Speeds beyond the field, bouncing, from the corners: the particles
    // hop between a few border cells for ever.
    {"C", 640, 480, 2500, 200, -300, true, false, kCorners},
    // Whole groups on one cell each, speed 1, bouncing in step: a group
    // splits into eight bundles that never part.
    {"P", 1280, 720, 8000, 200, 1, true, false},
    // A tiny field under long trails.
    {"Y", 16, 12, 400, 1000, 2, true, true},
};

// The files of the frames mode: users' files, where the way a frame
// settles once went wrong, and shapes that change their way as they run.
const Shape kFiles[] = {
    // Speeds beyond the field from four corner groups, with and without
    // random turns.
    {"CORNERS100", 640, 480, 2456, 100, -300, true, true, kCorners, 4},
    {"CORNERS64", 640, 480, 2456, 64, -300, true, false, kCorners, 4},
    // A grid of small groups, speed 1, no bounce.
    {"GRID", 1920, 1080, 20736, 100, 1, false, true, kGrid, 5184, 96},
    {"TINY", 16, 12, 400, 1000, 1, true, true},
    // Eight groups of 3,420 on the diagonal: slow particles, near two
    // points a cell.
    {"CLOUD", 1280, 720, 27360, 64, 1, false, true, kDiagonal},
    // Groups that pile up and break up again as random turns part them.
    {"PILES", 1280, 720, 8000, 200, 1, true, true},
    // Two groups on one row bouncing towards each other: they meet every
    // trail length.
    {"MEET", 200, 1, 400, 100, 1, true, false, kCorners, 2},
    {"ROW", 1920, 1, 200, 64, 2, true, true},
    // A huge field with long trails, and the start-up file split into 1,000
    // groups.
    {"HUGE", 3840, 2160, 20000, 400, 3, false, true},
    {"SPLIT", 1920, 1080, 20736, 200, 3, false, true, kGrid, 1000, 40},
};

// The start-up cases: one group, all of it on one cell.
const Shape kStartups[] = {
    {"640x480:1000000x20", 640, 480, 1000000, 20},
    {"64x64:5000x4000", 64, 64, 5000, 4000},
    {"1920x1080:20000x400", 1920, 1080, 20000, 400},
};

const unsigned kSeed = 20240607;  // as the frame benchmarks
const int kStartupFrames = 10;

double seconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec + now.tv_nsec * 1e-9;
}

double peakMegabytes() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

// Full screen at 32 bits, as the measurements are quoted for. The Scene
// seeds rand with the time; the fixed seed after it makes every run and
// every design draw the same motion.
std::unique_ptr<Scene> newScene(const Shape& shape) {
  auto scene =
      std::make_unique<Scene>(shape.width, shape.height, shape.trail, shape.range, 32, true);
  Particle::shared.randomTurns = shape.turns;
  Particle::shared.bounce = shape.bounce;
  srand(kSeed);
  return scene;
}

// The groups, colours in turn: on the lattice as the frame benchmarks
// place them, in the corners, on the diagonal or on a grid.
void addGroups(Scene& scene, const Shape& shape) {
  const int groups = shape.groups;
  for (int g = 0; g < groups; ++g) {
    int x = shape.width * (2 * (g % 4) + 1) / 8;
    int y = shape.height * (2 * (g / 4) + 1) / 4;
    if (shape.placement == kCorners) {
      x = g % 2 ? shape.width - 1 : 0;
      y = g % 4 >= 2 ? shape.height - 1 : 0;
    } else if (shape.placement == kDiagonal) {
      x = shape.width * (g + 1) / (groups + 1);
      y = shape.height * (g + 1) / (groups + 1);
    } else if (shape.placement == kGrid) {
      const int rows = (groups + shape.columns - 1) / shape.columns;
      x = shape.width * (2 * (g % shape.columns) + 1) / (2 * shape.columns);
      y = shape.height * (2 * (g / shape.columns) + 1) / (2 * rows);
    }
    const int count = shape.particles / groups + (g < shape.particles % groups ? 1 : 0);
    scene.addParticles(x, y, count, g % RAMP_COUNT);
  }
}

void printShape(const char* mode, const char* name, const Shape& shape) {
  printf("mode=%s case=%s size=%dx%d load=%dx%d", mode, name, shape.width, shape.height,
         shape.particles, shape.trail);
}

// Frames drawn before the steady frames are timed. A trail holds points
// of the start cell for its first trail-length frames, and the frames
// right after still find the groups bunched where they began: in T, the
// frame that keeps each cell's claims still took 1.7 times its later time
// around frame 410 (trail + 10) and had settled by frame 500. So: 300
// frames as the frame benchmarks, which lets short trails spread over the
// field, or twice the trail length when that is more.
int warmUpFrames(const Shape& shape) { return std::max(300, 2 * shape.trail); }

int steady(const Shape& shape) {
  const char* text = getenv("SHAPES_STEADY_SECONDS");
  const double budget = text ? atof(text) : 1.0;
  auto scene = newScene(shape);
  addGroups(*scene, shape);
  const int warmUp = warmUpFrames(shape);
  for (int i = 0; i < warmUp; ++i) scene->frame();

  // Timed until the budget is spent, at least 20 frames.
  std::vector<double> frames;
  const double end = seconds() + budget;
  while (frames.size() < 20 || seconds() < end) {
    const double start = seconds();
    scene->frame();
    frames.push_back(seconds() - start);
  }
  std::vector<double> sorted = frames;
  std::sort(sorted.begin(), sorted.end());
  const size_t n = sorted.size();
  const double median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  printShape("steady", shape.name, shape);
  printf(" warmup=%d frames=%zu median_ms=%.4f p10_ms=%.4f p90_ms=%.4f peak_mb=%.1f\n", warmUp, n,
         median * 1e3, sorted[n / 10] * 1e3, sorted[n * 9 / 10] * 1e3, peakMegabytes());
  return 0;
}

int start(const Shape& shape) {
  auto scene = newScene(shape);
  addGroups(*scene, shape);
  const int count = shape.trail + 10;
  const double begin = seconds();
  for (int i = 0; i < count; ++i) scene->frame();
  const double total = seconds() - begin;
  printShape("start", shape.name, shape);
  printf(" frames=%d mean_ms=%.4f peak_mb=%.1f\n", count, total / count * 1e3, peakMegabytes());
  return 0;
}

int frames(const Shape& shape) {
  auto scene = newScene(shape);
  const double begin = seconds();
  addGroups(*scene, shape);
  const double added = seconds() - begin;
  std::vector<double> times;
  for (int i = 0; i < 610; ++i) {
    const double start = seconds();
    scene->frame();
    times.push_back(seconds() - start);
  }
  const double first = std::accumulate(times.begin(), times.begin() + 10, 0.0) / 10;
  std::vector<double> sorted(times.begin() + 10, times.end());
  std::sort(sorted.begin(), sorted.end());
  const size_t n = sorted.size();
  printShape("frames", shape.name, shape);
  printf(
      " groups=%d setup_ms=%.3f first10_ms=%.4f median_ms=%.4f p99_ms=%.4f max_ms=%.4f "
      "peak_mb=%.1f\n",
      shape.groups, added * 1e3, first * 1e3, (sorted[n / 2 - 1] + sorted[n / 2]) / 2 * 1e3,
      sorted[n * 99 / 100] * 1e3, sorted[n - 1] * 1e3, peakMegabytes());
  return 0;
}

int startup(const Shape& shape) {
  const double begin = seconds();
  auto scene = newScene(shape);
  scene->addParticles(shape.width / 2, shape.height / 2, shape.particles, 0);
  const double built = seconds();
  for (int i = 0; i < kStartupFrames; ++i) scene->frame();
  const double drawn = seconds();
  printShape("startup", shape.name, shape);
  printf(" setup_ms=%.3f frames=%d frames_mean_ms=%.3f frames_total_ms=%.3f peak_mb=%.1f\n",
         (built - begin) * 1e3, kStartupFrames, (drawn - built) / kStartupFrames * 1e3,
         (drawn - built) * 1e3, peakMegabytes());
  return 0;
}

template <size_t N>
const Shape* find(const Shape (&shapes)[N], const char* name) {
  for (const Shape& shape : shapes)
    if (strcmp(shape.name, name) == 0) return &shape;
  return nullptr;
}

int usage() {
  fprintf(stderr,
          "usage: shapes_bench steady|start SCENE\n"
          "       shapes_bench startup CASE\n"
          "       shapes_bench frames FILE\n"
          "       shapes_bench list\n");
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "list") == 0) {
    printf("steady");
    for (const Shape& shape : kScenes) printf(" %s", shape.name);
    printf("\nstart");
    for (const Shape& shape : kScenes) printf(" %s", shape.name);
    printf("\nstartup");
    for (const Shape& shape : kStartups) printf(" %s", shape.name);
    printf("\nframes");
    for (const Shape& shape : kFiles) printf(" %s", shape.name);
    printf("\n");
    return 0;
  }
  if (argc != 3) return usage();
  const bool isStartup = strcmp(argv[1], "startup") == 0;
  const bool isFile = strcmp(argv[1], "frames") == 0;
  const Shape* shape = isStartup ? find(kStartups, argv[2])
                       : isFile  ? find(kFiles, argv[2])
                                 : find(kScenes, argv[2]);
  if (!shape) return usage();

  setenv("SDL_VIDEODRIVER", "dummy", 1);
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
    return 1;
  }
  int status = 64;
  if (isStartup)
    status = startup(*shape);
  else if (strcmp(argv[1], "steady") == 0)
    status = steady(*shape);
  else if (strcmp(argv[1], "start") == 0)
    status = start(*shape);
  else if (isFile)
    status = frames(*shape);
  else
    return usage();
  fflush(stdout);
  // The scene is gone before SDL, as in the program.
  SDL_Quit();
  return status;
}
