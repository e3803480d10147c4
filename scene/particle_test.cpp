#include "scene/particle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

namespace {

// A grid and ramps of its own, published the way the scene does it. Ramp
// r entry i holds 100 * r + i, so a cell tells who marked it.
class ParticleTest : public testing::Test {
 protected:
  void configure(int width, int height, int trail, int range, bool bounce, bool turns) {
    cells_.assign(static_cast<size_t>(width) * height, EMPTY_CELL);
    ramps_.resize(static_cast<size_t>(RAMP_COUNT) * trail);
    for (int r = 0; r < RAMP_COUNT; ++r)
      for (int i = 0; i < trail; ++i) ramps_[static_cast<size_t>(r) * trail + i] = 100 * r + i;
    SharedState& shared = Particle::shared;
    shared.fieldWidth = static_cast<int16_t>(width);
    shared.fieldHeight = static_cast<int16_t>(height);
    shared.trailLength = static_cast<int16_t>(trail);
    shared.speedRange = static_cast<int16_t>(range);
    shared.bounce = bounce;
    shared.randomTurns = turns;
    shared.cells = CellGrid{cells_.data(), width, height};
    shared.ramps = ColourRamps{ramps_.data(), trail};
    srand(1);
  }

  void clear() { cells_.assign(cells_.size(), EMPTY_CELL); }
  uint32_t cell(int x, int y) { return Particle::shared.cells.at(x, y); }
  // The marked cells as (x, y) -> value.
  std::vector<std::pair<std::pair<int, int>, uint32_t>> marked() {
    std::vector<std::pair<std::pair<int, int>, uint32_t>> result;
    for (int y = 0; y < Particle::shared.fieldHeight; ++y)
      for (int x = 0; x < Particle::shared.fieldWidth; ++x)
        if (cell(x, y) != EMPTY_CELL) result.push_back({{x, y}, cell(x, y)});
    return result;
  }

  std::vector<uint32_t> cells_;
  std::vector<uint32_t> ramps_;
};

using Marks = std::vector<std::pair<std::pair<int, int>, uint32_t>>;

TEST_F(ParticleTest, TrailShiftsAndMarksFromItsEndToTheHead) {
  configure(20, 20, 3, 1, false, false);
  Particle particle(5, 5, 2);
  particle.setVelocity(1, 0);

  particle.update();
  // Points 2 and 1 still lie on the start cell; the older one wins it.
  EXPECT_EQ(marked(), (Marks{{{5, 5}, 202}, {{6, 5}, 200}}));
  clear();
  particle.update();
  EXPECT_EQ(marked(), (Marks{{{5, 5}, 202}, {{6, 5}, 201}, {{7, 5}, 200}}));
  EXPECT_EQ(particle.point(0).x, 7);
  EXPECT_EQ(particle.point(2).x, 5);
}

TEST_F(ParticleTest, OneTrailPointIsTheHeadAlone) {
  configure(20, 20, 1, 1, false, false);
  Particle particle(5, 5, 4);
  particle.setVelocity(-1, 1);
  particle.update();
  clear();
  particle.update();
  EXPECT_EQ(marked(), (Marks{{{3, 7}, 400}}));
}

TEST_F(ParticleTest, FirstWriterOfACellWins) {
  configure(20, 20, 2, 1, false, false);
  Particle first(5, 5, 1);
  Particle second(5, 5, 3);
  first.setVelocity(1, 0);
  second.setVelocity(1, 0);
  first.update();
  second.update();
  EXPECT_EQ(marked(), (Marks{{{5, 5}, 101}, {{6, 5}, 100}}));
}

TEST_F(ParticleTest, StartOutsideTheGridIsClampedToItsBorder) {
  configure(640, 480, 4, 3, false, false);
  struct Case {
    int x, y, expectedX, expectedY;
  };
  const Case cases[] = {
      {-5, 1000, 0, 479},
      {640, -1, 639, 0},
      {65536 + 7, 9, 7, 9},  // positions are 16-bit
      {32768, 3, 0, 3},      // -32768 as 16 bits
  };
  for (const Case& c : cases) {
    Particle particle(c.x, c.y, 0);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(particle.point(i).x, c.expectedX) << c.x;
      EXPECT_EQ(particle.point(i).y, c.expectedY) << c.y;
    }
    EXPECT_GE(particle.turnCountdown(), 10);
    EXPECT_LE(particle.turnCountdown(), 109);
  }
}

TEST_F(ParticleTest, ConstructionDrawsVelocityThenCountdown) {
  configure(64, 64, 2, 5, false, false);
  srand(77);
  int16_t vx, vy;
  Particle::randomVelocity(vx, vy);
  const int countdown = rand() % 100 + 10;
  srand(77);
  Particle particle(10, 10, 1);
  EXPECT_EQ(particle.vx(), vx);
  EXPECT_EQ(particle.vy(), vy);
  EXPECT_EQ(particle.turnCountdown(), countdown);
}

TEST_F(ParticleTest, BounceReflectsAndCostsTheMove) {
  configure(20, 20, 2, 3, true, false);
  Particle particle(0, 10, 1);
  particle.setVelocity(-2, 1);
  particle.update();
  EXPECT_EQ(particle.point(0).x, 0);
  EXPECT_EQ(particle.point(0).y, 11);
  EXPECT_EQ(particle.vx(), 2);
  particle.update();
  EXPECT_EQ(particle.point(0).x, 2);

  // Both axes blocked at a corner.
  Particle corner(19, 19, 1);
  corner.setVelocity(1, 3);
  corner.update();
  EXPECT_EQ(corner.point(0).x, 19);
  EXPECT_EQ(corner.point(0).y, 19);
  EXPECT_EQ(corner.vx(), -1);
  EXPECT_EQ(corner.vy(), -3);
}

TEST_F(ParticleTest, WithoutBounceABlockedAxisDrawsAVelocityThatDrivesY) {
  configure(20, 100, 2, 3, false, false);
  for (unsigned seed = 1; seed <= 50; ++seed) {
    Particle particle(19, 50, 1);
    particle.setVelocity(1, 0);
    srand(seed);
    particle.update();
    EXPECT_EQ(particle.point(0).x, 19) << seed;
    // The y move of this frame already uses the new vy.
    EXPECT_EQ(particle.point(0).y, 50 + particle.vy()) << seed;
    EXPECT_FALSE(particle.vx() == 0 && particle.vy() == 0);
  }
}

TEST_F(ParticleTest, WithoutRandomTurnsTheCountdownNeverChanges) {
  configure(50, 50, 3, 2, true, false);
  Particle particle(25, 25, 1);
  const int16_t countdown = particle.turnCountdown();
  srand(99);
  for (int frame = 0; frame < 500; ++frame) {
    particle.update();
    ASSERT_EQ(particle.turnCountdown(), countdown);
  }
  // No random number was drawn in all those frames.
  const int next = rand();
  srand(99);
  EXPECT_EQ(next, rand());
}

TEST_F(ParticleTest, RandomTurnCountsDownAndRedraws) {
  configure(50, 50, 3, 2, true, true);
  Particle particle(25, 25, 1);
  particle.setTurnCountdown(3);
  particle.update();
  particle.update();
  EXPECT_EQ(particle.turnCountdown(), 1);
  srand(5);
  const int countdown = rand() % 100;
  int16_t vx, vy;
  Particle::randomVelocity(vx, vy);
  srand(5);
  particle.update();
  EXPECT_EQ(particle.turnCountdown(), countdown);
  EXPECT_EQ(particle.vx(), vx);
  EXPECT_EQ(particle.vy(), vy);
}

TEST_F(ParticleTest, CountdownSetToZeroWrapsThroughSixteenBits) {
  configure(50, 50, 2, 2, true, true);
  unsigned seed = 1;
  for (;; ++seed) {  // a seed whose first draw sets the countdown to 0
    srand(seed);
    if (rand() % 100 == 0) break;
  }
  Particle particle(25, 25, 1);
  particle.setTurnCountdown(1);
  srand(seed);
  particle.update();
  ASSERT_EQ(particle.turnCountdown(), 0);
  for (int frame = 1; frame <= 65535; ++frame) {
    particle.update();
    ASSERT_EQ(particle.turnCountdown(), static_cast<int16_t>(-frame)) << frame;
  }
  EXPECT_EQ(particle.turnCountdown(), 1);
  particle.update();  // the 65,536th frame after: a new turn
  EXPECT_GE(particle.turnCountdown(), 0);
  EXPECT_LE(particle.turnCountdown(), 99);
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
    configure(4, 4, 1, c.range, false, false);
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
