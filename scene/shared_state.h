#ifndef FLIMMERWERK_SCENE_SHARED_STATE_H_
#define FLIMMERWERK_SCENE_SHARED_STATE_H_

#include <cstddef>
#include <cstdint>

// A cell that no trail point has marked in this frame.
const uint32_t EMPTY_CELL = 0xFFFFFFFFu;

// One cell per pixel of the display, addressed by column and row. A
// particle on its own marks cells into a grid of 32-bit cells that its
// owner provides: a cell holds EMPTY_CELL or the pixel value the display
// will show there. The scene publishes just the shape of its grid, with
// no cells: it keeps the trail point each cell shows as a code of its own
// (see CellClaims), and Scene::cellValue gives the pixel value.
//
// With tileColumns 0 the cells are stored row after row, the way the
// display surface keeps its pixels. Otherwise they lie in tiles of 4 x 4
// cells, each stored row after row; the tileColumns tiles of a band of
// four rows lie side by side, and the bands one after the other. A trail
// moving a few cells a frame then stays in the same tile, and on the same
// cache line, far more often than in rows, where every step up or down
// leaves it. The scene's grid is tiled (and padded to whole tiles, the
// padding never marked); a plain buffer of width x height cells, as in
// tests, is rows.
struct CellGrid {
  uint32_t* cells;  // owned by whoever made the grid; null for the scene's
  int width;
  int height;
  int tileColumns = 0;

  // Where cell (x, y) lies in cells, and back. Sides are at most 32767
  // cells, so an index fits 32 bits.
  size_t index(int x, int y) const {
    if (tileColumns == 0) return static_cast<size_t>(y) * width + x;
    return (static_cast<size_t>(y >> 2) * tileColumns + (x >> 2)) * 16 + (y & 3) * 4 + (x & 3);
  }
  void position(size_t index, int& x, int& y) const {
    if (tileColumns == 0) {
      x = static_cast<int>(index % width);
      y = static_cast<int>(index / width);
      return;
    }
    const size_t tile = index / 16;
    const int inTile = static_cast<int>(index % 16);
    x = static_cast<int>(tile % tileColumns) * 4 + inTile % 4;
    y = static_cast<int>(tile / tileColumns) * 4 + inTile / 4;
  }
  uint32_t& at(int x, int y) const { return cells[index(x, y)]; }
};

// Seven ramps of trailLength pixel values each: ramp r, entry i colours
// trail point i of a particle of colour r; entry 0 is the head.
struct ColourRamps {
  uint32_t* entries;  // owned by the Scene, ramp after ramp
  int length;

  const uint32_t* ramp(int r) const { return entries + static_cast<size_t>(r) * length; }
};

const int RAMP_COUNT = 7;

// The settings every particle reads. The scene writes all but the two
// flags, which the driver sets right after; nothing changes them later.
struct SharedState {
  int16_t fieldWidth;
  int16_t fieldHeight;
  int16_t trailLength;  // trail points per particle and entries per ramp
  int16_t speedRange;   // velocity components lie in -speedRange ... +speedRange
  bool bounce;          // reflect at the borders instead of re-aiming
  bool randomTurns;     // draw a new velocity at random times
  CellGrid cells;
  ColourRamps ramps;
};

#endif  // FLIMMERWERK_SCENE_SHARED_STATE_H_
