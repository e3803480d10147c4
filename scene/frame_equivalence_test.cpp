// Scene::frame against a plain model of what a frame shows, kept here and
// written for clarity, not speed: its own cell grid (a column per x), its
// own particles with their trails as lists, head first, and its own
// picture of the surface. Both draw from the C library's rand(), seeded
// alike, one after the other: the model's run is recorded first (every
// picture, every grid and, after each frame, the next random number),
// then the scene is run from the same seed and must show the same
// pictures, hold the same grids and leave rand() at the same place.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "scene/scene.h"
#include "tests/test_support.h"

// Every allocation through operator new, counted while a frame runs.
namespace {
bool countingAllocations = false;
unsigned long allocationsCounted = 0;

void* allocate(size_t size) {
  if (countingAllocations) ++allocationsCounted;
  return malloc(size ? size : 1);
}
// Kept out of line, so the compiler does not pair an inlined new with a
// free and warn about it.
__attribute__((noinline)) void release(void* block) { free(block); }
}  // namespace

void* operator new(size_t size) {
  if (void* block = allocate(size)) return block;
  throw std::bad_alloc();
}
void* operator new[](size_t size) {
  if (void* block = allocate(size)) return block;
  throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, size_t) noexcept { release(block); }
void operator delete[](void* block, size_t) noexcept { release(block); }

namespace {

struct Group {
  int x, y, count, colour;
};

// How a scene's frames settle their cells: every frame by drawing every
// trail, every frame by the claims, or some frames each way (the claims
// pause where points pile up, or stop when particles are added).
enum Way { kRedraws, kClaims, kBothWays };

struct Case {
  std::string name;
  int width, height, trail, range, depth;
  bool bounce, turns;
  std::vector<Group> groups;
  int frames;
  // A clip rectangle for the surface (w = 0: none). The background fill
  // covers only the rectangle; marked cells are copied wherever they lie.
  SDL_Rect clip;
  // From frame emptyFrom on (-1: never) the scene has no particles; from
  // frame refillFrom on (-1: never) it has the groups again, as new
  // particles.
  int emptyFrom, refillFrom;
  Way way;
  // The scene's clock is the test's: a frame by the redraw costs 40, by
  // the claims 20, or 60 in frames dearFrom to dearTo; a frame that makes
  // the lists anew costs as a redraw, or 100 there when dearRebuild.
  int dearFrom = -1, dearTo = -1;
  bool dearRebuild = false;
  // Changes of the way frames settle the scene must go through, as pairs
  // of Settling's states: R (redraw), P (paused), B (rebuilding), T
  // (trying), C (claims).
  std::string transitions = "";
  // The redraw a trial times beside the claims costs 40, as a frame by
  // the redraw, or 10 from frame cheapBesideFrom on (-1: never).
  int cheapBesideFrom = -1;
};

// A failing case is named by its name.
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

const uint32_t kEmpty = 0xFFFFFFFFu;

// ---------------------------------------------------------------------------
// The model.

struct Point {
  int x, y;
};

struct ModelParticle {
  std::vector<Point> trail;  // trail[0] is the head
  int16_t vx, vy;
  int colour;
  int16_t countdown;
};

class Model {
 public:
  Model(const Case& c, SDL_Surface* screen)
      : c_(c),
        columns_(c.width, std::vector<uint32_t>(c.height, kEmpty)),
        surfaceWidth_(screen->w),
        surfaceHeight_(screen->h),
        clip_(screen->clip_rect) {
    // Ramp r, entry i: the pure colour fading towards white in even steps.
    const int step = c.trail > 1 ? 255 / (c.trail - 1) : 0;
    for (int r = 0; r < RAMP_COUNT; ++r) {
      const bool* full = kRampColours[r];
      for (int i = 0; i < c.trail; ++i) {
        const Uint8 f = static_cast<Uint8>(i * step);
        ramps_[r].push_back(
            SDL_MapRGB(screen->format, full[0] ? 255 : f, full[1] ? 255 : f, full[2] ? 255 : f));
      }
    }
    background_ = SDL_MapRGB(screen->format, 255, 255, 255);
    bytesPerPixel_ = screen->format->BytesPerPixel;
    picture_ = readPicture(screen);
  }

  void add(const Group& g) {
    for (int n = 0; n < g.count; ++n) {
      ModelParticle p;
      const int16_t x = Particle::startCell(g.x, c_.width);
      const int16_t y = Particle::startCell(g.y, c_.height);
      p.trail.assign(c_.trail, Point{x, y});
      drawVelocity(p);
      p.colour = g.colour;
      p.countdown = static_cast<int16_t>(rand() % 100 + 10);
      particles_.push_back(p);
    }
  }

  void removeAll() { particles_.clear(); }

  void frame() {
    if (particles_.empty()) {
      fillBackground();
      return;
    }
    for (auto& column : columns_) column.assign(c_.height, kEmpty);
    for (ModelParticle& p : particles_) {
      if (c_.turns) {
        p.countdown = static_cast<int16_t>(p.countdown - 1);
        if (p.countdown == 0) {
          p.countdown = static_cast<int16_t>(rand() % 100);
          drawVelocity(p);
        }
      }
      Point head = p.trail[0];
      if (head.x + p.vx >= 0 && head.x + p.vx < c_.width)
        head.x += p.vx;
      else if (c_.bounce)
        p.vx = static_cast<int16_t>(-p.vx);
      else
        drawVelocity(p);
      if (head.y + p.vy >= 0 && head.y + p.vy < c_.height)
        head.y += p.vy;
      else if (c_.bounce)
        p.vy = static_cast<int16_t>(-p.vy);
      else
        drawVelocity(p);
      p.trail.insert(p.trail.begin(), head);
      p.trail.pop_back();
      for (int i = c_.trail - 1; i >= 0; --i) {
        uint32_t& cell = columns_[p.trail[i].x][p.trail[i].y];
        if (cell == kEmpty) cell = ramps_[p.colour][i];
      }
    }
    fillBackground();
    for (int x = 0; x < c_.width && x < surfaceWidth_; ++x)
      for (int y = 0; y < c_.height && y < surfaceHeight_; ++y)
        if (columns_[x][y] != kEmpty) picture_[y][x] = truncate(columns_[x][y]);
  }

  const std::vector<std::vector<uint32_t>>& picture() const { return picture_; }
  const std::vector<std::vector<uint32_t>>& columns() const { return columns_; }
  const std::vector<ModelParticle>& particles() const { return particles_; }

  // The surface as rows of pixel values.
  static std::vector<std::vector<uint32_t>> readPicture(SDL_Surface* screen) {
    std::vector<std::vector<uint32_t>> rows(screen->h, std::vector<uint32_t>(screen->w));
    for (int y = 0; y < screen->h; ++y)
      for (int x = 0; x < screen->w; ++x) rows[y][x] = pixelAt(screen, x, y);
    return rows;
  }

 private:
  void drawVelocity(ModelParticle& p) const {
    const int span = 2 * c_.range + 1;
    do {
      p.vx = static_cast<int16_t>(c_.range - rand() % span);
      p.vy = static_cast<int16_t>(c_.range - rand() % span);
    } while (p.vx == 0 && p.vy == 0);
  }

  uint32_t truncate(uint32_t value) const {
    return bytesPerPixel_ == 4 ? value : value & ((1u << (8 * bytesPerPixel_)) - 1);
  }

  void fillBackground() {
    for (int y = clip_.y; y < clip_.y + clip_.h; ++y)
      for (int x = clip_.x; x < clip_.x + clip_.w; ++x) picture_[y][x] = truncate(background_);
  }

  const Case& c_;
  std::vector<uint32_t> ramps_[RAMP_COUNT];
  std::vector<std::vector<uint32_t>> columns_;  // columns_[x][y]
  std::vector<ModelParticle> particles_;
  std::vector<std::vector<uint32_t>> picture_;  // picture_[y][x]
  int surfaceWidth_, surfaceHeight_;
  SDL_Rect clip_;
  uint32_t background_ = 0;
  int bytesPerPixel_ = 4;
};

// ---------------------------------------------------------------------------
// The comparison.

// What the model showed and held after each frame.
struct Recording {
  std::vector<std::vector<std::vector<uint32_t>>> pictures;
  std::vector<std::vector<std::vector<uint32_t>>> grids;
  std::vector<int> nextRandom;  // rand() right after the frame
  int randomAfterCreation = 0;
  std::vector<ModelParticle> finalParticles;
};

void addGroups(const Case& c, Model& model) {
  for (const Group& g : c.groups) model.add(g);
}
void addGroups(const Case& c, Scene& scene) {
  for (const Group& g : c.groups) scene.addParticles(g.x, g.y, g.count, g.colour);
}

Recording recordModel(const Case& c, SDL_Surface* screen, unsigned seed) {
  Recording r;
  srand(seed);
  Model model(c, screen);
  addGroups(c, model);
  r.randomAfterCreation = rand();
  for (int f = 0; f < c.frames; ++f) {
    if (f == c.emptyFrom) model.removeAll();
    if (f == c.refillFrom) addGroups(c, model);
    model.frame();
    r.pictures.push_back(model.picture());
    r.grids.push_back(model.columns());
    r.nextRandom.push_back(rand());
  }
  r.finalParticles = model.particles();
  return r;
}

// A scene whose clock reads tick nanoseconds more at every reading: a
// frame reads it three times while it moves and twice while it draws, so
// its work costs two ticks and a share of the lists one; a sixth reading,
// after the redraw a trial times beside the claims, adds beside.
class ScriptedScene : public Scene {
 public:
  using Scene::Scene;
  void script(uint64_t tick, uint64_t beside) {
    tick_ = tick;
    beside_ = beside;
    reads_ = 0;
  }

 protected:
  uint64_t nanoseconds() const override { return now_ += ++reads_ == 6 ? beside_ : tick_; }

 private:
  uint64_t tick_ = 0, beside_ = 0;
  mutable int reads_ = 0;
  mutable uint64_t now_ = 0;
};

uint64_t tickFor(const Case& c, int frame, Settling::State state) {
  const bool dear = frame >= c.dearFrom && frame < c.dearTo;
  if (state == Settling::kTrying || state == Settling::kClaims) return dear ? 30 : 10;
  return state == Settling::kRebuilding && dear && c.dearRebuild ? 50 : 20;
}

class FrameEquivalenceTest : public WithDummyDisplay<testing::TestWithParam<Case>> {};

TEST_P(FrameEquivalenceTest, SameFramesSameGridsSameRandomNumbers) {
  const Case& c = GetParam();
  const unsigned seed = 4711;
  ScriptedScene scene(c.width, c.height, c.trail, c.range, c.depth, true);
  SDL_Surface* screen = SDL_GetVideoSurface();
  ASSERT_EQ(screen->format->BitsPerPixel, c.depth);
  if (c.clip.w > 0) SDL_SetClipRect(screen, &c.clip);
  Particle::shared.bounce = c.bounce;
  Particle::shared.randomTurns = c.turns;

  const Recording expected = recordModel(c, screen, seed);

  srand(seed);
  addGroups(c, scene);
  ASSERT_EQ(rand(), expected.randomAfterCreation)
      << "random numbers drawn by the particles' creation";
  std::string ways, transitions;
  char last = 'R';
  const auto noteTransition = [&] {
    const char now = "RPBTC"[scene.settling()];
    if (now != last) transitions += {last, now, ' '};
    last = now;
  };
  for (int f = 0; f < c.frames; ++f) {
    if (f == c.emptyFrom) scene.deleteParticles();
    if (f == c.refillFrom) addGroups(c, scene);
    noteTransition();
    scene.script(tickFor(c, f, scene.settling()),
                 c.cheapBesideFrom >= 0 && f >= c.cheapBesideFrom ? 10 : 40);
    countingAllocations = true;
    allocationsCounted = 0;
    scene.frame();
    countingAllocations = false;
    if (!scene.particles().empty()) ways += scene.settledByClaims() ? 'c' : 'r';
    noteTransition();
    ASSERT_EQ(allocationsCounted, 0u) << "frame " << f;
    ASSERT_EQ(rand(), expected.nextRandom[f]) << "random numbers drawn up to frame " << f;

    const auto picture = Model::readPicture(screen);
    for (int y = 0; y < screen->h; ++y)
      for (int x = 0; x < screen->w; ++x)
        ASSERT_EQ(picture[y][x], expected.pictures[f][y][x])
            << "pixel (" << x << ", " << y << ") of frame " << f;
    for (int x = 0; x < c.width; ++x)
      for (int y = 0; y < c.height; ++y)
        ASSERT_EQ(Particle::shared.cells->pixelValue(x, y), expected.grids[f][x][y])
            << "cell (" << x << ", " << y << ") after frame " << f;
  }

  // c for a frame by the claims, r for one that drew every trail.
  EXPECT_EQ(ways.find('c') != std::string::npos, c.way != kRedraws) << ways;
  EXPECT_EQ(ways.find('r') != std::string::npos, c.way != kClaims) << ways;
  for (size_t at = 0; at < c.transitions.size(); at += 3)
    EXPECT_NE(transitions.find(c.transitions.substr(at, 2)), std::string::npos)
        << c.transitions.substr(at, 2) << " not among " << transitions;

  ASSERT_EQ(scene.particles().size(), expected.finalParticles.size());
  for (size_t n = 0; n < expected.finalParticles.size(); ++n) {
    const Particle& p = *scene.particles()[n];
    const ModelParticle& m = expected.finalParticles[n];
    EXPECT_EQ(p.x(), m.trail[0].x) << n;
    EXPECT_EQ(p.y(), m.trail[0].y) << n;
    EXPECT_EQ(p.colour(), m.colour) << n;
  }
}

// Every colour in each scene; groups on the borders, in the corners and
// outside the grid, so trails cross each other and the borders.
std::vector<Group> busyGroups(int width, int height, int count) {
  return {{width / 2, height / 2, count, 0}, {0, 0, count, 1},
          {width - 1, height - 1, count, 2}, {-40, height / 3, count, 3},
          {width / 3, 100000, count, 4},     {width / 2 + 1, height / 2, count, 5},
          {width - 1, 0, count, 6},          {width / 4, height / 4, count / 2 + 1, 1}};
}

const SDL_Rect kNoClip = {0, 0, 0, 0};
const std::vector<Group> kLoneParticle = {{10, 0, 1, 1}};
const std::vector<Group> kTwoOnAShortRow = {{1, 0, 1, 1}, {8, 0, 1, 2}};

const Case kCases[] = {
    {"trail1_depth32", 61, 47, 1, 3, 32, false, true, busyGroups(61, 47, 20), 200, kNoClip, -1, -1,
     kRedraws},
    {"trail3_depth8_bounce", 64, 48, 3, 2, 8, true, true, busyGroups(64, 48, 15), 200, kNoClip, -1,
     -1, kRedraws},
    {"trail20_depth16", 97, 61, 20, 3, 16, false, true, busyGroups(97, 61, 12), 200, kNoClip, -1,
     -1, kRedraws},
    {"trail300_depth24_bounce", 80, 50, 300, 4, 24, true, true, busyGroups(80, 50, 6), 200, kNoClip,
     -1, -1, kRedraws},
    {"trail20_depth32_bounce", 123, 77, 20, 3, 32, true, true, busyGroups(123, 77, 40), 200,
     kNoClip, -1, -1, kRedraws},
    // Velocities of -4 ... -2 only: every particle keeps running into the
    // top and left borders.
    {"negative_range_depth32", 70, 40, 9, -2, 32, false, true, busyGroups(70, 40, 10), 200, kNoClip,
     -1, -1, kRedraws},
    {"no_turns_depth32", 50, 50, 5, 1, 32, false, false, busyGroups(50, 50, 8), 200, kNoClip, -1,
     -1, kRedraws},
    // Many particles and long trails on a larger grid.
    {"crowd_depth32", 160, 100, 40, 3, 32, false, true, busyGroups(160, 100, 150), 100, kNoClip, -1,
     -1, kRedraws},
    // Few particles for the size of the grid.
    {"sparse_depth32", 256, 160, 20, 3, 32, false, true, busyGroups(256, 160, 20), 150, kNoClip, -1,
     -1, kRedraws},
    // Whole groups running in step over a small grid, bouncing: many
    // points on a cell, of one particle and of many, the one shown often
    // dropped while the others stay.
    {"in_step_depth32",
     24,
     18,
     37,
     1,
     32,
     true,
     false,
     {{12, 9, 90, 2}, {12, 9, 90, 5}, {0, 0, 40, 1}, {23, 17, 40, 6}},
     150,
     kNoClip,
     -1,
     -1,
     kRedraws},
    // Long trails and room for them: the scene keeps each cell's claims.
    // Whole groups in step cover one another's points cell by cell.
    {"claims_in_step_depth32",
     64,
     48,
     96,
     1,
     32,
     true,
     false,
     {{32, 24, 10, 2}, {32, 24, 10, 5}, {1, 1, 6, 1}, {62, 46, 6, 6}},
     250,
     kNoClip,
     -1,
     -1,
     kRedraws,
     -1,
     -1,
     false,
     "RB BP"},
    // Keeping the lists costs more than the redraw even while they are
    // made; the groups come again later, too many for the lists.
    {"claims_turns_added_later_depth16", 96, 64, 70, 3, 16, false, true, busyGroups(96, 64, 10),
     200, kNoClip, -1, 150, kRedraws, 0, 150, true, "RB BR"},
    // Trails that no longer fade, one code a colour; plotted cell by cell.
    // The claims lose their trial.
    {"claims_trail300_depth24", 120, 90, 300, 2, 24, true, true, busyGroups(120, 90, 4), 360,
     kNoClip, -1, -1, kBothWays, 0, 360, false, "RB BT TR"},
    // The longest trail whose ramps still fade, and the groups added once
    // more to the running scene, which then draws every trail again.
    {"trail256_added_later_depth32", 70, 50, 256, 2, 32, true, true, busyGroups(70, 50, 3), 340,
     kNoClip, -1, 300, kBothWays, -1, -1, false, "TC CR"},
    {"sparse_emptied_and_refilled_depth32", 256, 160, 12, 3, 32, true, true,
     busyGroups(256, 160, 20), 150, kNoClip, 60, 70, kRedraws},
    // Frames without particles in between, then new particles.
    {"emptied_and_refilled_depth32", 90, 60, 20, 3, 32, false, true, busyGroups(90, 60, 10), 200,
     kNoClip, 80, 90, kRedraws},
    {"emptied_and_refilled_depth16", 90, 60, 20, 3, 16, true, true, busyGroups(90, 60, 10), 200,
     kNoClip, 80, 90, kRedraws},
    // The background covers only part of the surface.
    {"clipped_depth32",
     90,
     60,
     12,
     3,
     32,
     false,
     true,
     busyGroups(90, 60, 10),
     150,
     {10, 7, 50, 40},
     -1,
     -1,
     kRedraws},
    {"clipped_depth8",
     90,
     60,
     12,
     3,
     8,
     true,
     true,
     busyGroups(90, 60, 10),
     150,
     {0, 0, 89, 60},
     -1,
     -1,
     kRedraws},
    // Few points on a large field, copied point by point, at every pixel
    // size, with and without a clip rectangle.
    {"sparse_depth24_clipped",
     200,
     150,
     6,
     3,
     24,
     true,
     true,
     busyGroups(200, 150, 3),
     120,
     {5, 5, 150, 120},
     -1,
     -1,
     kRedraws},
    {"sparse_depth16", 200, 150, 6, 3, 16, false, true, busyGroups(200, 150, 3), 120, kNoClip, -1,
     -1, kRedraws},
    {"sparse_depth8", 200, 150, 6, 3, 8, true, true, busyGroups(200, 150, 3), 120, kNoClip, -1, -1,
     kRedraws},
    // Shapes a file can force, where points pile onto a few cells. Speeds
    // beyond the field, bouncing, from the corners: the particles hop
    // between a few border cells, mostly staying where they were.
    {"claims_corners_depth32",
     80,
     60,
     100,
     -300,
     32,
     true,
     false,
     {{0, 0, 30, 2}, {79, 0, 30, 6}, {0, 59, 20, 3}, {79, 59, 16, 1}},
     320,
     kNoClip,
     -1,
     -1,
     kBothWays,
     250,
     320,
     false,
     "TC CT TR"},
    // Whole groups on one cell each, speed 1, bouncing in step: the
    // claims pause.
    {"claims_pause_one_cell_depth16",
     64,
     48,
     64,
     1,
     16,
     true,
     false,
     {{5, 5, 40, 4}, {5, 5, 40, 5}, {60, 40, 10, 0}},
     250,
     kNoClip,
     -1,
     -1,
     kRedraws,
     -1,
     -1,
     false,
     "RB BP"},
    // A tiny field under long trails.
    {"tiny_field_depth32", 5, 3, 700, 2, 32, true, true, busyGroups(5, 3, 6), 120, kNoClip, -1, -1,
     kRedraws},
    // One row, long enough for the claims to win their trial, pause where
    // the trails pile, and turn dear.
    {"one_row_trials_depth32",
     64,
     1,
     64,
     2,
     32,
     true,
     true,
     {{10, 0, 1, 1}, {50, 0, 1, 2}},
     1250,
     kNoClip,
     -1,
     -1,
     kBothWays,
     1100,
     1250,
     false,
     "RB BT TC CP PB CT TR"},
    // A lone particle, whose claims never walk: they try again after 1,024
    // frames and after 2,048 more, when the redraw has turned cheap.
    {"lone_particle_tries_again_depth16", 64, 1, 64, 2, 16, true, true, kLoneParticle, 3300,
     kNoClip, -1, -1, kBothWays, -1, -1, false, "TC CT TR", 2000},
    // Two particles on a short row: the walks overrun while the claims are
    // tried.
    {"one_row_piles_in_trial_depth8", 16, 1, 16, 2, 8, true, true, kTwoOnAShortRow, 1100, kNoClip,
     -1, -1, kBothWays, -1, -1, false, "BT TP"},
    // Short trails try the claims only after a long wait; these are
    // shorter than the claims look ahead.
    {"short_trails_trial_depth16",
     16,
     8,
     12,
     1,
     16,
     true,
     true,
     {{3, 3, 2, 4}, {12, 4, 2, 5}},
     1100,
     kNoClip,
     -1,
     -1,
     kBothWays,
     -1,
     -1,
     false,
     "RB BT TC CP PB"},
};

INSTANTIATE_TEST_SUITE_P(Scenes, FrameEquivalenceTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
