#ifndef FLIMMERWERK_SCENE_PARTICLE_H_
#define FLIMMERWERK_SCENE_PARTICLE_H_

#include <cstdint>

#include "scene/shared_state.h"

// A particle that moves over the cell grid by whole cells. Its trail, the
// cells of its last trailLength positions, is kept and turned by the scene
// (see CellGrid); the particle reads everything but its own state from the
// class-wide SharedState.
class Particle {
 public:
  // Written by the Scene and the driver before the first particle exists.
  static SharedState shared;

  // Starts at (x, y), or the nearest cell of the grid; colour names a
  // ramp (below RAMP_COUNT). Draws the velocity, then the turn countdown.
  Particle(int x, int y, int colour);
  virtual ~Particle();

  Particle(const Particle&) = delete;
  Particle& operator=(const Particle&) = delete;

  // The motion of one frame: maybe turn, then move along x, then y: every
  // random number a frame draws for this particle.
  void move();

  // The cell a start position names on a side of size cells: narrowed to
  // 16 bits, as positions are (65543 names 7), then kept on the side.
  static int16_t startCell(int position, int size);

  // Draws a new, never zero velocity from -speedRange ... +speedRange.
  static void randomVelocity(int16_t& vx, int16_t& vy);

  // The head's cell.
  int16_t x() const { return x_; }
  int16_t y() const { return y_; }
  // Where the next move goes when it is neither blocked nor turned: a
  // guess, good for asking the cache early.
  int nextX() const { return x_ + vx_; }
  int nextY() const { return y_ + vy_; }
  int16_t colour() const { return colour_; }

 private:
  int16_t vx_;  // cells per frame along x
  int16_t vy_;  // cells per frame along y
  int16_t x_;
  int16_t y_;
  int16_t colour_;         // ramp number
  int16_t turnCountdown_;  // frames left until the next random turn
};

#endif  // FLIMMERWERK_SCENE_PARTICLE_H_
