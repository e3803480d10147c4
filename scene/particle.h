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
// cells of its last trailLength positions with its colour ramp. Reads
// everything but its own state from the class-wide SharedState. A particle
// made with the public constructor owns its trail; the scene keeps its
// particles and their trails in blocks of its own.
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
  // mark its cells. For a particle on its own grid; the scene moves its
  // particles itself and keeps count of which point each cell shows.
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
  TrailPoint point(int i) const;

 private:
  friend class Scene;

  // A particle whose trail lives in trail, slot s at trail[s * stride],
  // which the caller owns and keeps until the particle is gone; its head
  // starts in slot head.
  Particle(int x, int y, int colour, uint32_t* trail, int stride, int head);
  // The start at (x, y) and the random draws of both constructors.
  void start(int x, int y, int colour);
  uint32_t& slot(int s) const { return trail_[static_cast<size_t>(s) * stride_]; }

  // update() in three steps, for the scene. move(): the turn and the
  // moves of the head -- every random number update() draws -- leaving
  // the trail as it was. shiftTrail(): the trail takes the new head,
  // dropping its oldest point. Then markIntoEmpty(). (The scene keeps its
  // own account of which point each cell shows instead of marking.)
  void move();
  void shiftTrail();
  // From the oldest trail point to the head, each into its cell if that
  // cell is still empty, so the oldest point on a cell gives it its colour.
  void markIntoEmpty() const;

  int16_t vx_;  // cells per frame along x
  int16_t vy_;  // cells per frame along y
  int16_t x_;   // the head's column
  int16_t y_;   // the head's row
  // A ring of trailLength points, each kept as its cell's index in the
  // grid (CellGrid::index), which is all marking needs; head_ is the slot
  // of point 0, and point i sits i slots after it. Shifting the trail
  // moves head_ back by one.
  uint32_t* trail_;
  int stride_;  // between the slots of trail_
  int head_;
  int16_t colour_;         // ramp number
  int16_t turnCountdown_;  // frames left until the next random turn
  bool ownsTrail_;
};

#endif  // FLIMMERWERK_SCENE_PARTICLE_H_
