#include "scene/particle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "scene/scene.h"
#include "tests/test_support.h"

namespace {

// Particles in a scene on SDL's dummy display, the way the program has
// them. The frame equivalence test checks their motion against a model
// over many frames; these pin down single rules.
class ParticleTest : public WithDummyDisplay<> {
 protected:
  // A seed whose first two draws give the velocity (vx, vy) in range.
  static unsigned seedFor(int range, int vx, int vy) {
    for (unsigned seed = 1;; ++seed) {
      srand(seed);
      const int x = range - rand() % (2 * range + 1);
      const int y = range - rand() % (2 * range + 1);
      if (x == vx && y == vy) return seed;
    }
  }
  static uint32_t cell(int x, int y) { return Particle::shared.cells->pixelValue(x, y); }
  static uint32_t ramp(int colour, int i) { return Particle::shared.ramps.ramp(colour)[i]; }
};

TEST_F(ParticleTest, TrailShiftsAndShowsItsOldestPointOnACell) {
  // Trail 3 from (5, 5) with velocity (1, 0): after the first frame the
  // start cell shows the oldest point and the head is one cell on; after
  // the second the trail runs (5, 5), (6, 5), (7, 5).
  Scene scene(20, 10, 3, 1, 32, true);
  Particle::shared.randomTurns = false;
  Particle::shared.bounce = false;
  srand(seedFor(1, 1, 0));
  scene.addParticles(5, 5, 1, 1);
  scene.frame();
  EXPECT_EQ(cell(5, 5), ramp(1, 2));
  EXPECT_EQ(cell(6, 5), ramp(1, 0));
  scene.frame();
  EXPECT_EQ(cell(5, 5), ramp(1, 2));
  EXPECT_EQ(cell(6, 5), ramp(1, 1));
  EXPECT_EQ(cell(7, 5), ramp(1, 0));
  EXPECT_EQ(cell(8, 5), EMPTY_CELL);
}

TEST_F(ParticleTest, StartOutsideTheGridIsClampedToItsBorder) {
  struct Case {
    int x, y, expectedX, expectedY;
  };
  const Case cases[] = {
      {-5, 1000, 0, 479},
      {640, -1, 639, 0},
      {639, 479, 639, 479},
      {0, 0, 0, 0},
      // Positions are 16-bit: 70000 is 4464, -70000 is -4464, 65543 is 7.
      {70000, 5, 639, 5},
      {-70000, 5, 0, 5},
      {65543, 3, 7, 3},
  };
  Scene scene(640, 480, 4, 2, 32, true);
  for (const Case& c : cases) {
    scene.addParticles(c.x, c.y, 1, 2);
    const Particle& particle = *scene.particles().back();
    EXPECT_EQ(particle.x(), c.expectedX) << c.x << ", " << c.y;
    EXPECT_EQ(particle.y(), c.expectedY) << c.x << ", " << c.y;
  }
}

TEST_F(ParticleTest, WithoutRandomTurnsAFrameDrawsNoRandomNumber) {
  // One cell, bouncing: every move is blocked and reflected, and nothing
  // but a turn could draw.
  Scene scene(1, 1, 2, 2, 32, true);
  Particle::shared.bounce = true;
  Particle::shared.randomTurns = false;
  scene.addParticles(0, 0, 3, 1);
  srand(99);
  for (int frame = 0; frame < 500; ++frame) scene.frame();
  const int next = rand();
  srand(99);
  EXPECT_EQ(next, rand());
}

TEST_F(ParticleTest, CountdownSetToZeroWrapsThroughSixteenBits) {
  // One cell, bouncing: every move is blocked and reflected, so only turns
  // draw. A turn that sets the countdown to 0 brings the next turn 65,536
  // moves later, not within 100. (The scene publishes the settings; the
  // particle is moved on its own, as the scene moves it, without 65,536
  // frames of display work.)
  Scene scene(1, 1, 1, 1, 32, true);
  Particle::shared.bounce = true;
  Particle::shared.randomTurns = true;
  // A seed whose creation draws (velocity, then countdown) are followed
  // by a turn that draws 0.
  unsigned seed = 1;
  int firstTurn = 0;
  for (;; ++seed) {
    srand(seed);
    int16_t vx, vy;
    Particle::randomVelocity(vx, vy);
    firstTurn = rand() % 100 + 10;
    if (rand() % 100 == 0) break;
  }
  srand(seed);
  Particle particle(0, 0, 1);
  for (int move = 0; move < firstTurn; ++move) particle.move();

  // Whether the next moves draw shows in where rand() stands after them.
  const auto draws = [&particle](int moves) {
    srand(4242);
    for (int move = 0; move < moves; ++move) particle.move();
    const int next = rand();
    srand(4242);
    return next != rand();
  };
  EXPECT_FALSE(draws(65535));
  EXPECT_TRUE(draws(1));
}

TEST_F(ParticleTest, VelocitiesCoverTheRangeAndAreNeverZero) {
  struct Case {
    int range, lowest, highest;
    bool zeroComponents;
  };
  const Case cases[] = {
      {1, -1, 1, true},
      {3, -3, 3, true},
      {-1, -1, -1, false},
      {-2, -4, -2, false},  // 3R + 2 ... R
      {32767, -32767, 32767, true},
  };
  for (const Case& c : cases) {
    Particle::shared.speedRange = static_cast<int16_t>(c.range);
    srand(3);
    std::set<int> seen;
    for (int i = 0; i < 4000; ++i) {
      int16_t vx, vy;
      Particle::randomVelocity(vx, vy);
      ASSERT_FALSE(vx == 0 && vy == 0);
      for (int v : {static_cast<int>(vx), static_cast<int>(vy)}) {
        ASSERT_GE(v, c.lowest) << c.range;
        ASSERT_LE(v, c.highest) << c.range;
        seen.insert(v);
      }
    }
    if (c.highest - c.lowest < 10) {
      EXPECT_EQ(seen.size(), static_cast<size_t>(c.highest - c.lowest + 1));
    }
    EXPECT_EQ(seen.count(0) > 0, c.zeroComponents) << c.range;
  }
}

}  // namespace
