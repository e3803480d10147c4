#include "scene/scene.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <tuple>
#include <vector>

#include "tests/test_support.h"

namespace {

// Scenes on SDL's dummy display.
class SceneTest : public WithDummyDisplay<> {
 protected:
  static std::tuple<int, int, int> rgb(SDL_Surface* screen, uint32_t value) {
    Uint8 r, g, b;
    SDL_GetRGB(value, screen->format, &r, &g, &b);
    return {r, g, b};
  }
};

using Colour = std::tuple<int, int, int>;

// Bytes the C library's allocator has handed out and not had back.
size_t heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

TEST_F(SceneTest, RampsFadeFromThePureColourTowardsWhite) {
  struct Case {
    int trail;
    std::vector<int> shades;  // f of each entry
  };
  const Case cases[] = {
      {1, {0}},
      {2, {0, 255}},
      {4, {0, 85, 170, 255}},
      {10, {0, 28, 56, 84, 112, 140, 168, 196, 224, 252}},
      {300, std::vector<int>(300, 0)},  // no step left: the trail never fades
  };
  for (const Case& c : cases) {
    Scene scene(8, 8, c.trail, 1, 32, true);
    SDL_Surface* screen = SDL_GetVideoSurface();
    const ColourRamps& ramps = Particle::shared.ramps;
    ASSERT_EQ(ramps.length, c.trail);
    for (int r = 0; r < RAMP_COUNT; ++r) {
      const bool* full = kRampColours[r];
      for (int i = 0; i < c.trail; ++i) {
        const int f = c.shades[i];
        const Colour expected{full[0] ? 255 : f, full[1] ? 255 : f, full[2] ? 255 : f};
        ASSERT_EQ(rgb(screen, ramps.ramp(r)[i]), expected) << c.trail << " " << r << " " << i;
      }
    }
  }
}

TEST_F(SceneTest, PlotStoresTheLowBytesOfTheCell) {
  for (int depth : {8, 16, 24, 32}) {
    // Trail 4: the point one frame old shows ramp entry 1, (255, 85, 85),
    // whose bytes differ.
    Scene scene(10, 6, 4, 1, depth, true);
    SDL_Surface* screen = SDL_GetVideoSurface();
    ASSERT_EQ(screen->format->BitsPerPixel, depth);
    scene.addParticles(5, 3, 1, 1);
    scene.frame();
    // The head of the first frame is the point one frame old after the
    // second; a velocity of at most 1 is never blocked here.
    const Particle& particle = *scene.particles()[0];
    const struct { int x, y; } marked = {particle.x(), particle.y()};
    scene.frame();
    const uint32_t value = Particle::shared.cells->pixelValue(marked.x, marked.y);
    ASSERT_EQ(value, Particle::shared.ramps.ramp(1)[1]) << depth;

    const size_t size = static_cast<size_t>(screen->pitch) * screen->h;
    memset(screen->pixels, 0x5A, size);
    SDL_LockSurface(screen);
    scene.plot(marked.x, marked.y);
    // Outside the surface nothing is written.
    scene.plot(-1, 0);
    scene.plot(10, 0);
    scene.plot(0, 6);
    scene.plot(0, -1);
    SDL_UnlockSurface(screen);
    // The low bytes of the value, low byte first: at 3 bytes per pixel
    // whatever the machine's byte order, otherwise one store on this
    // little-endian machine.
    const Uint8* pixels = static_cast<Uint8*>(screen->pixels);
    const int bytes = screen->format->BytesPerPixel;
    const size_t at = marked.y * screen->pitch + marked.x * bytes;
    for (size_t i = 0; i < size; ++i) {
      if (i >= at && i < at + bytes)
        ASSERT_EQ(pixels[i], static_cast<Uint8>(value >> (8 * (i - at)))) << depth;
      else
        ASSERT_EQ(pixels[i], 0x5A) << depth << " byte " << i;
    }
  }
}

TEST_F(SceneTest, FrameWithoutParticlesIsWhite) {
  for (int depth : {8, 16, 24, 32}) {
    Scene scene(12, 9, 3, 2, depth, true);
    SDL_Surface* screen = SDL_GetVideoSurface();
    memset(screen->pixels, 0x5A, static_cast<size_t>(screen->pitch) * screen->h);
    scene.frame();
    const uint32_t white = SDL_MapRGB(screen->format, 255, 255, 255);
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 12; ++x) ASSERT_EQ(pixelAt(screen, x, y), white) << depth;
  }
}

TEST_F(SceneTest, FrameShowsTheMarkedCellsOnWhite) {
  for (int depth : {8, 16, 24, 32}) {
    Scene scene(40, 30, 3, 1, depth, true);
    scene.addParticles(10, 10, 1, 1);
    scene.addParticles(10, 10, 1, 3);
    scene.frame();
    SDL_Surface* screen = SDL_GetVideoSurface();
    const SharedState& shared = Particle::shared;
    int marked = 0;
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) {
        const uint32_t cell = Particle::shared.cells->pixelValue(x, y);
        const uint32_t expected =
            cell == EMPTY_CELL ? SDL_MapRGB(screen->format, 255, 255, 255) : cell;
        ASSERT_EQ(pixelAt(screen, x, y) & ((1ull << depth) - 1), expected & ((1ull << depth) - 1));
        marked += cell != EMPTY_CELL;
      }
    }
    // The red particle comes first: it owns the start cell and its head.
    const Particle& red = *scene.particles()[0];
    EXPECT_EQ(Particle::shared.cells->pixelValue(red.x(), red.y()), shared.ramps.ramp(1)[0])
        << depth;
    EXPECT_EQ(Particle::shared.cells->pixelValue(10, 10), shared.ramps.ramp(1)[2]) << depth;
    EXPECT_GE(marked, 2);
    EXPECT_LE(marked, 3);
  }
}

TEST_F(SceneTest, EveryParticleMovesAndShowsBeyond32768) {
  Scene scene(300, 300, 1, 1, 32, true);
  scene.addParticles(0, 0, 32768, 1);
  scene.addParticles(200, 200, 1, 3);
  ASSERT_EQ(scene.particles().size(), 32769u);
  const Particle* last = scene.particles().back();
  scene.frame();
  EXPECT_NE(last->x() * 1000 + last->y(), 200 * 1000 + 200);
  EXPECT_EQ(Particle::shared.cells->pixelValue(last->x(), last->y()),
            Particle::shared.ramps.ramp(3)[0]);
  EXPECT_EQ(pixelAt(SDL_GetVideoSurface(), last->x(), last->y()),
            Particle::shared.ramps.ramp(3)[0]);
}

TEST_F(SceneTest, ParticlesKeepTheirOrder) {
  Scene scene(20, 20, 4, 2, 32, true);
  scene.addParticles(1, 2, 3, 4);
  scene.addParticles(5, 6, 0, 1);
  scene.addParticles(5, 6, -2, 1);
  scene.addParticles(7, 8, 2, 6);
  ASSERT_EQ(scene.particles().size(), 5u);
  const int colours[] = {4, 4, 4, 6, 6};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(scene.particles()[i]->colour(), colours[i]);
}

TEST_F(SceneTest, TeardownGivesBackItsMemoryAndItsSettings) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator keeps its own books; its leak check covers this";
#endif
  // Far above what the heap's own books move by: 112 KB of ramps, a grid
  // of 240 KB, 800 KB of trails and more of claims (trails of 4,000
  // points on a grid with room for them).
  const size_t kNoise = 16 * 1024;
  const size_t before = heapInUse();
  {
    Scene scene(400, 300, 4000, 3, 32, true);
    const size_t withoutParticles = heapInUse();
    scene.addParticles(200, 150, 50, 1);
    scene.frame();
    scene.frame();
    ASSERT_GT(heapInUse(), withoutParticles + 800 * 1000);
    scene.deleteParticles();
    EXPECT_LT(heapInUse(), withoutParticles + kNoise);
    scene.addParticles(10, 10, 50, 2);
    scene.frame();
    // The program quits SDL, which frees the surface, before the scene
    // goes.
    SDL_Quit();
  }
  EXPECT_LT(heapInUse(), before + kNoise);
  EXPECT_EQ(Particle::shared.cells, nullptr);
  EXPECT_EQ(Particle::shared.ramps.entries, nullptr);
}

}  // namespace
