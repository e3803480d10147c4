#include "scene/cell_claims.h"

#include <algorithm>
#include <new>
#include <stdexcept>

CellClaims::CellClaims()
    : trailLength_(1),
      slotBits_(0),
      slotMask_(0),
      headSlot_(0),
      agedSlots_(1),
      agedSlotMask_(0),
      emptyCode_(0),
      codes_(nullptr),
      nodeStride_(1),
      frameTable_(nullptr) {}

bool CellClaims::allocate(Code* codes, size_t cellCount, int trailLength, const uint32_t* ramps,
                          int rampCount) {
  const size_t length = static_cast<size_t>(trailLength);
  bool aged = false;
  for (size_t c = 0; c < static_cast<size_t>(rampCount); ++c)
    for (size_t i = 1; i < length; ++i) aged = aged || ramps[c * length + i] != ramps[c * length];
  trailLength_ = trailLength;
  slotBits_ = 0;
  while ((1 << slotBits_) < trailLength) ++slotBits_;
  slotMask_ = (1u << slotBits_) - 1;
  headSlot_ = 0;
  agedSlots_ = aged ? trailLength : 1;
  agedSlotMask_ = aged ? -1 : 0;
  const size_t aged2 = 2 * static_cast<size_t>(agedSlots_);
  if ((rampCount + 1) * aged2 > size_t{1} << 16) return false;
  codes_ = codes;
  emptyCode_ = static_cast<Code>(rampCount * aged2);
  std::fill(codes, codes + cellCount, emptyCode_);
  try {
    firsts_.assign(cellCount, kNone);
    table_.assign((rampCount + 1) * aged2, 0);
    colourBases_.assign(1, emptyCode_);
    nodes_.resize(size_t{1} << slotBits_);
    nodeStride_ = 1;
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (size_t c = 0; c < static_cast<size_t>(rampCount); ++c) {
    const uint32_t* ramp = ramps + c * length;
    uint32_t* entries = table_.data() + c * aged2;
    std::copy(ramp, ramp + agedSlots_, entries);
    std::copy(ramp, ramp + agedSlots_, entries + agedSlots_);
  }
  frameTable_ = table_.data() + agedSlots_;
  return true;
}

bool CellClaims::reserve(size_t particleCount) {
  // Node numbers, particle -1's among them, stay below kUnsettled.
  if (particleCount >= (static_cast<size_t>(kUnsettled) >> slotBits_)) return false;
  try {
    if (particleCount + 1 > nodeStride_) {
      // Twofold at least, the rows of slots moved apart.
      const size_t stride = std::max(particleCount + 1, 2 * nodeStride_);
      std::vector<Node> moved(stride << slotBits_);
      for (size_t slot = 0; slot < (size_t{1} << slotBits_); ++slot)
        std::copy(nodes_.begin() + slot * nodeStride_, nodes_.begin() + (slot + 1) * nodeStride_,
                  moved.begin() + slot * stride);
      nodes_.swap(moved);
      nodeStride_ = stride;
    }
    if (colourBases_.capacity() < particleCount + 1) {
      // Growing twofold at least, so that many small groups stay linear.
      const size_t room = std::max(particleCount + 1, 2 * colourBases_.capacity());
      colourBases_.reserve(room);
      unsettled_.reserve(room);
    }
    colourBases_.resize(particleCount + 1);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

void CellClaims::clear() {
  std::fill(firsts_.begin(), firsts_.end(), kNone);
  std::fill(codes_, codes_ + firsts_.size(), emptyCode_);
  unsettled_.clear();
}

bool CellClaims::precedes(uint32_t a, uint32_t b) const {
  if (a >> slotBits_ != b >> slotBits_) return a < b;
  // Two points of one particle: the older one.
  const auto age = [this](uint32_t node) {
    const int slot = static_cast<int>(node & slotMask_);
    return slot >= headSlot_ ? slot - headSlot_ : slot - headSlot_ + trailLength_;
  };
  return age(a) > age(b);
}

void CellClaims::settle() {
  // The lists of several cells are walked side by side, one step of each
  // in turn, so that their nodes come from memory at the same time.
  struct Walk {
    uint32_t cell;
    uint32_t front;
    uint32_t shown;  // the best claim so far
    uint32_t at;     // the next to look at
  };
  const size_t kWalks = 8;
  Walk walks[kWalks];
  size_t walking = 0;
  size_t next = 0;
  while (true) {
    while (walking < kWalks && next < unsettled_.size()) {
      const uint32_t cell = unsettled_[next++];
      const uint32_t first = firsts_[cell];
      // A cell listed twice, or emptied since, is settled.
      if (!(first & kUnsettled)) continue;
      const uint32_t front = first & ~kUnsettled;
      firsts_[cell] = front;
      walks[walking++] = Walk{cell, front, front, linksOf(front).next};
    }
    if (walking == 0) break;
    for (size_t w = 0; w < walking;) {
      Walk& walk = walks[w];
      if (walk.at != kNone) {
        if (precedes(walk.at, walk.shown)) walk.shown = walk.at;
        walk.at = linksOf(walk.at).next;
        ++w;
        continue;
      }
      show(walk.cell, walk.front, walk.shown);
      walk = walks[--walking];
    }
  }
  unsettled_.clear();
}

void CellClaims::show(uint32_t cell, uint32_t front, uint32_t shown) {
  if (shown != front) {
    Node& moved = linksOf(shown);
    linksOf(moved.previous).next = moved.next;
    if (moved.next != kNone) linksOf(moved.next).previous = moved.previous;
    moved.previous = kNone;
    moved.next = front;
    linksOf(front).previous = shown;
  }
  firsts_[cell] = shown;
  codes_[cell] =
      static_cast<Code>(colourBases_[shown >> slotBits_] + (shown & slotMask_ & agedSlotMask_));
}

void CellClaims::setEmptyPixel(uint32_t pixel) {
  std::fill(table_.begin() + emptyCode_, table_.end(), pixel);
}
