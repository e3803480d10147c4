#include "scene/cell_grid.h"

#include <algorithm>
#include <new>

namespace {

const size_t kCacheLineBytes = 64;

}  // namespace

CellGrid::CellGrid()
    : tileColumns_(0),
      codes_(nullptr),
      cellCount_(0),
      agedSlots_(1),
      agedSlotMask_(0),
      emptyCode_(0),
      frameTable_(nullptr) {}

CellGrid::~CellGrid() { ::operator delete(codes_, std::align_val_t(kCacheLineBytes)); }

bool CellGrid::allocate(int width, int height, int trailLength, const uint32_t* ramps,
                        int rampCount) {
  const size_t length = static_cast<size_t>(trailLength);
  bool aged = false;
  for (size_t c = 0; c < static_cast<size_t>(rampCount); ++c)
    for (size_t i = 1; i < length; ++i) aged = aged || ramps[c * length + i] != ramps[c * length];
  // A ramp either has at most 256 entries or all alike, so the codes of
  // up to 127 ramps fit 16 bits.
  agedSlots_ = aged ? trailLength : 1;
  agedSlotMask_ = aged ? -1 : 0;
  const size_t aged2 = 2 * static_cast<size_t>(agedSlots_);
  if ((rampCount + 1) * aged2 > size_t{1} << 16) return false;
  emptyCode_ = static_cast<Code>(rampCount * aged2);

  ::operator delete(codes_, std::align_val_t(kCacheLineBytes));
  codes_ = nullptr;
  tileColumns_ = (static_cast<size_t>(width) + 3) / 4;
  cellCount_ = tileColumns_ * ((static_cast<size_t>(height) + 3) / 4) * 16;
  codes_ = static_cast<Code*>(
      ::operator new(cellCount_ * sizeof(Code), std::align_val_t(kCacheLineBytes), std::nothrow));
  if (!codes_) return false;
  clear();
  try {
    table_.assign((rampCount + 1) * aged2, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (size_t c = 0; c < static_cast<size_t>(rampCount); ++c) {
    const uint32_t* ramp = ramps + c * length;
    uint32_t* entries = table_.data() + c * aged2;
    std::copy(ramp, ramp + agedSlots_, entries);
    std::copy(ramp, ramp + agedSlots_, entries + agedSlots_);
  }
  turn(0);
  return true;
}

void CellGrid::clear() { std::fill(codes_, codes_ + cellCount_, emptyCode_); }

void CellGrid::setBackground(uint32_t pixel) {
  std::fill(table_.begin() + emptyCode_, table_.end(), pixel);
}
