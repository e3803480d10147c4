#ifndef FLIMMERWERK_SCENE_CELL_GRID_H_
#define FLIMMERWERK_SCENE_CELL_GRID_H_

#include <cstddef>
#include <cstdint>
#include <vector>

// The pixel value of a cell that shows no trail point.
const uint32_t EMPTY_CELL = 0xFFFFFFFFu;

// One cell per pixel of the display, each holding what the display shows
// there -- not as a pixel value but as a 16-bit code: the colour of the
// particle whose trail point the cell shows and that point's slot in its
// trail ring, or the empty code. pixelValue() gives a cell's pixel value.
//
// Every trail is a ring of slots, and all rings turn in step: in a frame
// the head of every trail sits in the same slot, the frame's head slot,
// and the point in slot s is (s - head slot) mod trail length frames old.
// So a point keeps its code for as long as it lives, while the table of
// the frame, turned along with the rings, gives the code the shade of the
// point's age.
//
// The cells lie in tiles of 4 x 4, each tile row after row, the tiles of a
// band of four rows side by side and the bands one after the other: a
// trail moving a few cells a frame stays in the same tile far more often
// than in rows, where every step up or down leaves one. The grid is padded
// to whole tiles; the padding stays empty.
class CellGrid {
 public:
  typedef uint16_t Code;

  CellGrid();
  ~CellGrid();

  CellGrid(const CellGrid&) = delete;
  CellGrid& operator=(const CellGrid&) = delete;

  // Room for width x height cells, all empty, and the table for these
  // ramps: rampCount ramps of trailLength pixel values, ramp after ramp.
  // False without memory.
  bool allocate(int width, int height, int trailLength, const uint32_t* ramps, int rampCount);

  // All cells, padding included, in storage order.
  size_t cellCount() const { return cellCount_; }

  // Where cell (x, y) lies in storage order.
  size_t index(int x, int y) const {
    return (static_cast<size_t>(y >> 2) * tileColumns_ + (x >> 2)) * 16 + (y & 3) * 4 + (x & 3);
  }
  // The column and row of the cell at storage index i (below 2^32, as a
  // trail slot holds it), as index() lays them out.
  void position(uint32_t i, int* x, int* y) const {
    const uint32_t tile = i >> 4, columns = static_cast<uint32_t>(tileColumns_);
    const uint32_t band = tile / columns;
    *x = static_cast<int>((tile - band * columns) * 4 + (i & 3));
    *y = static_cast<int>(band * 4 + (i >> 2 & 3));
  }
  // Row y, as rowCell() and rowQuad() read it.
  const Code* row(int y) const { return codes_ + index(0, y); }
  // Cell x of a row.
  static Code rowCell(const Code* row, int x) { return row[4 * (x & ~3) + (x & 3)]; }
  // Cells x ... x + 3 of a row, side by side; x a multiple of four.
  static const Code* rowQuad(const Code* row, int x) { return row + 4 * x; }
  Code* codes() { return codes_; }
  const Code* codes() const { return codes_; }

  Code emptyCode() const { return emptyCode_; }
  // The code of slot s of a trail of colour c (a ramp number).
  Code code(int colour, int slot) const {
    return static_cast<Code>(colour * 2 * agedSlots_ + (slot & agedSlotMask_));
  }

  // Every cell empty.
  void clear();
  // The table of the frame whose heads lie in headSlot.
  void turn(int headSlot) { frameTable_ = table_.data() + agedSlots_ - (headSlot & agedSlotMask_); }
  // The pixel value the display has where no point lies.
  void setBackground(uint32_t pixel);

  // Pixel values by code for the frame at hand; the empty code's is the
  // background.
  const uint32_t* pixels() const { return frameTable_; }
  // The pixel value cell (x, y) shows in this frame, or EMPTY_CELL.
  uint32_t pixelValue(int x, int y) const {
    const Code code = codes_[index(x, y)];
    return code == emptyCode_ ? EMPTY_CELL : frameTable_[code];
  }

 private:
  size_t tileColumns_;
  // Owned; a tile of codes takes half a cache line, and two tiles side by
  // side share one.
  Code* codes_;
  size_t cellCount_;
  // Slots that differ in their pixel values: all of a ring's, or, where
  // every ramp is one colour throughout, one; then the slot mask is 0.
  int agedSlots_;
  int agedSlotMask_;
  Code emptyCode_;
  // For colour c, entries c * 2 * agedSlots_ ... + 2 * agedSlots_ - 1:
  // the ramp twice, so that entry agedSlots_ - head slot + s is the ramp
  // entry of the age of slot s. Then the background, as often as any slot
  // and head slot need.
  std::vector<uint32_t> table_;
  const uint32_t* frameTable_;
};

#endif  // FLIMMERWERK_SCENE_CELL_GRID_H_
