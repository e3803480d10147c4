// How long a frame takes, next to the least a frame of that size could
// take. Scene::frame runs on a real SDL surface (the dummy driver, 32 bits
// per pixel); the floor of a W x H scene is what any frame that shows a
// grid of 16-bit cells must at least move through memory: the surface
// filled with the background, the grid read once and every pixel of the
// surface written once more. Frames and
// floor passes run in alternating blocks of about 0.1 s within the same
// benchmark, so that a busy machine weighs on both alike; the figures are
// the counters (thread CPU time per frame), not the Time columns, which
// cover a whole pair of blocks. A summary table with the medians of the
// run follows the usual output: the three scenes, the steps of their
// frames, and sweeps over particles x trail and W x H.
//
//   flimmer_bench                          everything (a few minutes)
//   flimmer_bench --benchmark_filter=/S$   only the small scene
//
// Without a --benchmark_repetitions argument every benchmark runs five
// times.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "scene/scene.h"

// Every malloc, calloc and realloc of the process -- the scene's, the C++
// library's and SDL's -- is counted, so a frame that allocates shows up.
// (Not in sanitizer builds, whose runtime owns malloc.)
namespace {
unsigned long allocations = 0;
}
#ifndef FLIMMER_BENCH_NO_ALLOCATION_COUNT
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* malloc(size_t size) {
  ++allocations;
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  ++allocations;
  return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) {
  ++allocations;
  return __libc_realloc(block, size);
}
}
#endif

namespace {

// The scenes the figures are quoted for.
struct SceneSize {
  const char* name;
  int width;
  int height;
  int particles;
  int trail;
};

const SceneSize kScenes[] = {
    {"S", 640, 480, 2000, 20},
    {"L", 1920, 1080, 20000, 50},
    {"XL", 1920, 1080, 200000, 20},
};

const unsigned kSeed = 20240607;
const int kGroups = 8;
// Frames drawn before timing, so the groups have spread from their start
// cells instead of sitting on them.
const int kWarmUpFrames = 300;

// One scene at a time: a new display mode takes the last scene's surface.
// Successive benchmarks of the same size share the scene and its history.
Scene& sceneFor(int width, int height, int particles, int trail) {
  static std::unique_ptr<Scene> scene;
  static std::vector<int> key;
  const std::vector<int> wanted = {width, height, particles, trail};
  if (scene && key == wanted) return *scene;
  scene.reset();
  scene = std::make_unique<Scene>(width, height, trail, 3, 32, true);
  key = wanted;
  Particle::shared.randomTurns = true;
  Particle::shared.bounce = false;
  srand(kSeed);
  // Eight groups on a 4 x 2 lattice over the field, colours in turn.
  for (int g = 0; g < kGroups; ++g) {
    const int x = width * (2 * (g % 4) + 1) / 8;
    const int y = height * (2 * (g / 4) + 1) / 4;
    const int count = particles / kGroups + (g < particles % kGroups ? 1 : 0);
    scene->addParticles(x, y, count, g % RAMP_COUNT);
  }
  for (int i = 0; i < kWarmUpFrames; ++i) scene->frame();
  return *scene;
}

// The steps of a frame, in frame order.
const char* const kPartNames[] = {"move us", "fill us", "draw us", "copy us", "flip us"};

double threadSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec * 1e-9;
}

// The floor of a W x H frame: a memset of the W x H x 4 bytes of the
// surface, then a pass that reads W x H 16-bit cells and writes the
// surface again.
class Floor {
 public:
  Floor(int width, int height)
      : cells_(static_cast<size_t>(width) * height), grid_(cells_), surface_(cells_) {}
  void pass() {
    memset(surface_.data(), 0xFF, cells_ * sizeof(uint32_t));
    benchmark::ClobberMemory();
    for (size_t i = 0; i < cells_; ++i) surface_[i] = grid_[i] + static_cast<uint32_t>(i);
    benchmark::ClobberMemory();
  }

 private:
  size_t cells_;
  std::vector<uint16_t> grid_;
  std::vector<uint32_t> surface_;
};

// Blocks of frames of about this length take turns with blocks of floor
// passes as long, so that what else runs on the machine weighs on both
// alike; within a block, frames follow each other as in the program, and
// only the first of a block finds the cache holding the other's data.
const double kBlockSeconds = 0.1;

// How many calls of step() take about kBlockSeconds, from one timed call.
template <class Step>
int callsPerBlock(Step step) {
  const double start = threadSeconds();
  step();
  return std::max(1, static_cast<int>(kBlockSeconds / std::max(threadSeconds() - start, 1e-6)));
}

// Scene::frame against the floor of its size, in alternating blocks; one
// iteration is a block of each. Counters (per frame, thread CPU time):
// frame and floor in milliseconds, their ratio, trail points per second
// and the allocations made inside frames.
void frameBench(benchmark::State& state, int width, int height, int particles, int trail) {
  Scene& scene = sceneFor(width, height, particles, trail);
  Floor floor(width, height);
  const int frameBlock = callsPerBlock([&] { scene.frame(); });
  const int floorBlock = callsPerBlock([&] { floor.pass(); });
  double frameSeconds = 0, floorSeconds = 0;
  unsigned long frameAllocations = 0;
  long frames = 0, passes = 0;
  for (auto _ : state) {
    const double t0 = threadSeconds();
    const unsigned long before = allocations;
    for (int i = 0; i < frameBlock; ++i) scene.frame();
    frameAllocations += allocations - before;
    const double t1 = threadSeconds();
    for (int i = 0; i < floorBlock; ++i) floor.pass();
    frameSeconds += t1 - t0;
    floorSeconds += threadSeconds() - t1;
    frames += frameBlock;
    passes += floorBlock;
  }
  const double frameTime = frameSeconds / frames, floorTime = floorSeconds / passes;
  state.counters["frame ms"] = frameTime * 1e3;
  state.counters["floor ms"] = floorTime * 1e3;
  state.counters["ratio"] = frameTime / floorTime;
  state.counters["points/s"] = static_cast<double>(particles) * trail / frameTime;
  state.counters["allocs/frame"] = static_cast<double>(frameAllocations) / frames;
}

// The steps of Scene::frame one by one, each with its own thread CPU time
// per frame (in microseconds), and the particle steps per particle.
void partsBench(benchmark::State& state, int width, int height, int particles, int trail) {
  Scene& scene = sceneFor(width, height, particles, trail);
  SDL_Surface* screen = SDL_GetVideoSurface();
  const Uint32 white = SDL_MapRGB(screen->format, 255, 255, 255);
  enum { kMove, kFill, kDraw, kCopy, kFlip, kParts };
  double spent[kParts] = {};
  for (auto _ : state) {
    double t0 = threadSeconds();
    scene.moveParticles();
    double t1 = threadSeconds();
    spent[kMove] += t1 - t0;
    SDL_FillRect(screen, nullptr, white);
    SDL_LockSurface(screen);
    t0 = threadSeconds();
    spent[kFill] += t0 - t1;
    scene.drawTrails();
    t1 = threadSeconds();
    spent[kDraw] += t1 - t0;
    scene.copyCellsToSurface();
    SDL_UnlockSurface(screen);
    t0 = threadSeconds();
    spent[kCopy] += t0 - t1;
    SDL_Flip(screen);
    spent[kFlip] += threadSeconds() - t0;
  }
  for (int i = 0; i < kParts; ++i)
    state.counters[kPartNames[i]] =
        benchmark::Counter(spent[i] * 1e6, benchmark::Counter::kAvgIterations);
  state.counters["particles ns/particle"] = benchmark::Counter(
      (spent[kMove] + spent[kDraw]) * 1e9 / particles, benchmark::Counter::kAvgIterations);
}

// Moving and drawing against particles x trail at a fixed size, the rest
// of the frame against W x H at a fixed particle load.
const int kSweepWidth = 1920;
const int kSweepHeight = 1080;
const std::pair<int, int> kSweepLoads[] = {  // particles, trail
    {5000, 20},  {10000, 20}, {20000, 20}, {40000, 20},
    {80000, 20}, {10000, 10}, {10000, 40}, {10000, 80}};
const std::pair<int, int> kSweepSizes[] = {{320, 240},   {640, 480},   {1280, 720},
                                           {1920, 1080}, {2560, 1440}, {3840, 2160}};
const int kSweepSizeParticles = 2000;
const int kSweepSizeTrail = 20;

std::string sizeName(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// The summary: the medians of each benchmark's counters, by name. Times
// are thread CPU time, which a busy machine disturbs less than wall time.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!single && !(run.run_type == Run::RT_Aggregate && run.aggregate_name == "median"))
        continue;
      Figures& figures = results_[run.run_name.function_name];
      figures.counters.clear();
      for (const auto& counter : run.counters)
        figures.counters[counter.first] = counter.second.value;
    }
  }

  void printSummary() const {
    printf("\nMedians of this run; thread CPU time per frame.\n");
    if (any("frame/")) {
      printf("\nFrame against floor (alternating blocks):\n");
      printf("%-6s %10s %10s %7s %15s %13s\n", "scene", "frame ms", "floor ms", "ratio",
             "trail points/s", "allocs/frame");
      for (const SceneSize& s : kScenes) {
        const Figures* frame = find(std::string("frame/") + s.name);
        if (!frame) continue;
        printf("%-6s %10.3f %10.3f %7.2f %15.3e %13.1f\n", s.name, frame->counter("frame ms"),
               frame->counter("floor ms"), frame->counter("ratio"), frame->counter("points/s"),
               frame->counter("allocs/frame"));
      }
    }

    if (any("parts/")) {
      printf("\nThe steps of a frame, in frame order (us):\n%-6s", "scene");
      for (const char* part : kPartNames) printf(" %10s", part);
      printf("\n");
      for (const SceneSize& s : kScenes) {
        const Figures* figures = find(std::string("parts/") + s.name);
        if (!figures) continue;
        printf("%-6s", s.name);
        for (const char* part : kPartNames) printf(" %10.1f", figures->counter(part));
        printf("\n");
      }
    }

    if (any("sweep/points/")) {
      printf("\nMove and draw at %dx%d, against particles x trail:\n", kSweepWidth, kSweepHeight);
      printf("%10s %6s %14s %16s %13s\n", "particles", "trail", "trail points", "move+draw us",
             "ns/particle");
      for (const auto& load : kSweepLoads) {
        const Figures* figures =
            find("sweep/points/" + std::to_string(load.first) + "x" + std::to_string(load.second));
        if (!figures) continue;
        printf("%10d %6d %14d %16.1f %13.2f\n", load.first, load.second, load.first * load.second,
               figures->counter("move us") + figures->counter("draw us"),
               figures->counter("particles ns/particle"));
      }
    }

    if (any("sweep/size/")) {
      printf(
          "\nBy size, %d particles with trail %d, against W x H (fill and copy per pixel\n"
          "from the steps):\n",
          kSweepSizeParticles, kSweepSizeTrail);
      printf("%10s %10s %10s %10s %7s %16s\n", "size", "pixels", "frame ms", "floor ms", "ratio",
             "fill+copy");
      for (const auto& size : kSweepSizes) {
        const std::string name = sizeName(size.first, size.second);
        const Figures* frame = find("sweep/size/frame/" + name);
        const Figures* parts = find("sweep/size/parts/" + name);
        if (!frame || !parts) continue;
        const double pixels = static_cast<double>(size.first) * size.second;
        const double perPixel =
            (parts->counter("fill us") + parts->counter("copy us")) * 1e3 / pixels;
        printf("%10s %10.0f %10.3f %10.3f %7.2f %13.3f ns\n", name.c_str(), pixels,
               frame->counter("frame ms"), frame->counter("floor ms"), frame->counter("ratio"),
               perPixel);
      }
    }
  }

 private:
  struct Figures {
    std::map<std::string, double> counters;
    double counter(const std::string& name) const {
      auto it = counters.find(name);
      return it == counters.end() ? 0 : it->second;
    }
  };
  bool any(const std::string& prefix) const {
    for (const auto& result : results_)
      if (result.first.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
  }
  const Figures* find(const std::string& name) const {
    auto it = results_.find(name);
    return it == results_.end() ? nullptr : &it->second;
  }

  std::map<std::string, Figures> results_;
};

void registerBenchmarks() {
  for (const SceneSize& s : kScenes) {
    benchmark::RegisterBenchmark((std::string("frame/") + s.name).c_str(), frameBench, s.width,
                                 s.height, s.particles, s.trail)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("parts/") + s.name).c_str(), partsBench, s.width,
                                 s.height, s.particles, s.trail)
        ->Unit(benchmark::kMicrosecond);
  }
  for (const auto& load : kSweepLoads) {
    const std::string name =
        "sweep/points/" + std::to_string(load.first) + "x" + std::to_string(load.second);
    benchmark::RegisterBenchmark(name.c_str(), partsBench, kSweepWidth, kSweepHeight, load.first,
                                 load.second)
        ->Unit(benchmark::kMicrosecond);
  }
  for (const auto& size : kSweepSizes) {
    const std::string name = sizeName(size.first, size.second);
    benchmark::RegisterBenchmark(("sweep/size/frame/" + name).c_str(), frameBench, size.first,
                                 size.second, kSweepSizeParticles, kSweepSizeTrail)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("sweep/size/parts/" + name).c_str(), partsBench, size.first,
                                 size.second, kSweepSizeParticles, kSweepSizeTrail)
        ->Unit(benchmark::kMicrosecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Off any screen, and full screen so the 32 bits are honoured.
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
    return 1;
  }

  std::vector<char*> args(argv, argv + argc);
  bool repetitionsGiven = false;
  for (int i = 1; i < argc; ++i)
    repetitionsGiven |= strncmp(argv[i], "--benchmark_repetitions", 23) == 0;
  char repetitions[] = "--benchmark_repetitions=5";
  if (!repetitionsGiven) args.push_back(repetitions);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

  registerBenchmarks();
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printSummary();
  benchmark::Shutdown();
  SDL_Quit();
  return 0;
}
