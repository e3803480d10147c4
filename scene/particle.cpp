#include "scene/particle.h"

#include <cstdlib>

SharedState Particle::shared;

Particle::Particle(int x, int y, int colour) {
  x_ = startCell(x, shared.fieldWidth);
  y_ = startCell(y, shared.fieldHeight);

  // The velocity draws come before the countdown draw.
  randomVelocity(vx_, vy_);
  colour_ = static_cast<int16_t>(colour);
  turnCountdown_ = static_cast<int16_t>(rand() % 100 + 10);
}

Particle::~Particle() {}

int16_t Particle::startCell(int position, int size) {
  // Positions are 16-bit; a start outside the grid goes to its border.
  int16_t cell = static_cast<int16_t>(position);
  if (cell < 0) cell = 0;
  if (cell >= size) cell = static_cast<int16_t>(size - 1);
  return cell;
}

void Particle::randomVelocity(int16_t& vx, int16_t& vy) {
  const int range = shared.speedRange;
  const int span = 2 * range + 1;
  // C's remainder truncates, so a negative range still gives non-zero
  // components (3 * range + 2 ... range).
  do {
    vx = static_cast<int16_t>(range - rand() % span);
    vy = static_cast<int16_t>(range - rand() % span);
  } while (vx == 0 && vy == 0);
}

void Particle::move() {
  if (shared.randomTurns) {
    // A countdown set to 0 here comes back to 0 only after wrapping
    // through the whole 16-bit range; that long pause is intended.
    turnCountdown_ = static_cast<int16_t>(turnCountdown_ - 1);
    if (turnCountdown_ == 0) {
      turnCountdown_ = static_cast<int16_t>(rand() % 100);
      randomVelocity(vx_, vy_);
    }
  }

  // A blocked axis costs the particle its move along that axis for this
  // frame; a velocity drawn because x was blocked already drives y.
  int16_t newX = x_;
  const int nx = x_ + vx_;
  if (nx >= 0 && nx < shared.fieldWidth) {
    newX = static_cast<int16_t>(nx);
  } else if (shared.bounce) {
    vx_ = static_cast<int16_t>(-vx_);
  } else {
    randomVelocity(vx_, vy_);
  }
  int16_t newY = y_;
  const int ny = y_ + vy_;
  if (ny >= 0 && ny < shared.fieldHeight) {
    newY = static_cast<int16_t>(ny);
  } else if (shared.bounce) {
    vy_ = static_cast<int16_t>(-vy_);
  } else {
    randomVelocity(vx_, vy_);
  }

  x_ = newX;
  y_ = newY;
}
