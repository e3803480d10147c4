#ifndef FLIMMERWERK_SCENE_PARTICLE_H_
#define FLIMMERWERK_SCENE_PARTICLE_H_

#include <cstdint>

#include "scene/shared_state.h"

// A column and a row of the grid.
struct TrailPoint {
  int16_t x;
  int16_t y;
};

// A particle that moves over the cell grid by whole cells and marks the
// cells of its last trailLength positions with its colour ramp. Owns its
// trail. Reads everything else from the class-wide SharedState.
class Particle {
 public:
  // Written by the Scene and the driver before the first particle exists.
  static SharedState shared;

  // colour must name a ramp (0 ... 6); the group loader checks it.
  Particle(int x, int y, int colour);
  virtual ~Particle();

  Particle(const Particle&) = delete;
  Particle& operator=(const Particle&) = delete;

  // One frame: maybe turn, move along x, then y, then shift the trail and
  // mark its cells.
  void update();

  // Draws a new, never zero velocity from -speedRange ... +speedRange.
  static void randomVelocity(int16_t& vx, int16_t& vy);

  int16_t vx() const { return vx_; }
  int16_t vy() const { return vy_; }
  void setVelocity(int16_t vx, int16_t vy) {
    vx_ = vx;
    vy_ = vy;
  }
  int16_t colour() const { return colour_; }
  int16_t turnCountdown() const { return turnCountdown_; }
  void setTurnCountdown(int16_t frames) { turnCountdown_ = frames; }
  // Point 0 is the head; higher indices are older positions.
  TrailPoint point(int i) const { return trail_[(head_ + i) % shared.trailLength]; }

 private:
  int16_t vx_;  // cells per frame along x
  int16_t vy_;  // cells per frame along y
  // A ring of trailLength points; head_ is the slot of point 0, and point
  // i sits i slots after it. Shifting the trail moves head_ back by one.
  TrailPoint* trail_;
  int head_;
  int16_t colour_;         // ramp number
  int16_t turnCountdown_;  // frames left until the next random turn
};

#endif  // FLIMMERWERK_SCENE_PARTICLE_H_
