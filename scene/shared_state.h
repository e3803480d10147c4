#ifndef FLIMMERWERK_SCENE_SHARED_STATE_H_
#define FLIMMERWERK_SCENE_SHARED_STATE_H_

#include <cstddef>
#include <cstdint>

class CellGrid;

// RAMP_COUNT ramps of trailLength pixel values each: ramp r, entry i colours
// trail point i of a particle of colour r; entry 0 is the head.
struct ColourRamps {
  uint32_t* entries;  // owned by the Scene, ramp after ramp
  int length;

  const uint32_t* ramp(int r) const { return entries + static_cast<size_t>(r) * length; }
};

// The pure colour each ramp starts from, in the order the groups' farbe
// numbers them: whether red, green and blue are full (255); the others
// rise along the ramp, so every trail fades towards white. The test
// scripts read this table back (tests/program_facts), a colour a line.
const bool kRampColours[][3] = {
    {false, false, false},  // black
    {true, false, false},   // red
    {false, true, false},   // green
    {false, false, true},   // blue
    {true, true, false},    // yellow
    {true, false, true},    // magenta
    {false, true, true},    // cyan
};
const int RAMP_COUNT = sizeof kRampColours / sizeof kRampColours[0];

// The settings every particle reads. The scene writes all but the two
// flags, which the driver sets right after; nothing changes them later.
struct SharedState {
  int16_t fieldWidth;
  int16_t fieldHeight;
  int16_t trailLength;    // trail points per particle and entries per ramp
  int16_t speedRange;     // velocity components lie in -speedRange ... +speedRange
  bool bounce;            // reflect at the borders instead of re-aiming
  bool randomTurns;       // draw a new velocity at random times
  const CellGrid* cells;  // the grid the scene draws from; owned by it
  ColourRamps ramps;
};

#endif  // FLIMMERWERK_SCENE_SHARED_STATE_H_
