#ifndef FLIMMERWERK_SCENE_CELL_CLAIMS_H_
#define FLIMMERWERK_SCENE_CELL_CLAIMS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

// Which trail point each cell of the grid shows, kept up to date point by
// point instead of being worked out anew for every point of every frame.
// Owns, per cell, the claims of the points that lie on it, and the table
// that gives a point its pixel value of the frame.
//
// Every trail point is a node: node ((p + 1) << slotBits) + s is slot s of
// the trail ring of particle p, counted in list order from 0 (so node 0
// stands for none). A node claims the cell its point lies on, and the
// claims on a cell form a list. The cell shows the claim of the earliest
// particle and, of that particle's points, the oldest -- what marking
// still-empty cells particle after particle, each from its oldest point to
// its head, leaves there. That claim is kept at the front of the cell's
// list. A frame, in which every trail drops its
// oldest point and takes a new head, touches only the cells of those two
// points; a cell's list has to be searched only when the point it shows
// is dropped while others still lie on it.
//
// The rings of all trails turn in step: in every frame the head of every
// trail sits in the same slot, the frame's head slot. So a node's age
// follows from its slot alone, and its pixel value from its slot and its
// particle's colour. A cell keeps that as a 16-bit code: where the
// pixel value lies in the table of the frame.
class CellClaims {
 public:
  typedef uint16_t Code;

  // A cell no point lies on, and a node that is none: the first node of
  // particle -1, which no particle is.
  static constexpr uint32_t kNone = 0;

  // No cells until allocate().
  CellClaims();

  // Room for cellCount cells, all empty, with their codes in codes, and
  // the pixel table for these ramps (rampCount ramps of trailLength
  // entries each, ramp after ramp). A ramp either has at most 256 entries
  // or all alike, so that the codes fit. False without memory.
  bool allocate(Code* codes, size_t cellCount, int trailLength, const uint32_t* ramps,
                int rampCount);
  // The pixel value the table gives the empty code.
  void setEmptyPixel(uint32_t pixel);
  Code emptyCode() const { return emptyCode_; }
  // Room for particleCount particles. False without memory (or beyond
  // what nodes can number), leaving what there was.
  bool reserve(size_t particleCount);

  // Forgets every particle: every cell empty.
  void clear();

  // The slot of every trail's head in the frame at hand; a new trail
  // starts with its head there.
  int headSlot() const { return headSlot_; }
  // The next frame: its heads go into the slot of the oldest points.
  void nextFrame() {
    headSlot_ = headSlot_ == 0 ? trailLength_ - 1 : headSlot_ - 1;
    frameTable_ = table_.data() + (agedSlots_ - (headSlot_ & agedSlotMask_));
  }

  // The first node of particle p; its slot s is node firstNode(p) + s.
  uint32_t firstNode(size_t p) const { return static_cast<uint32_t>((p + 1) << slotBits_); }

  // Particle p, the next in list order, of this colour (a ramp number).
  void addParticle(size_t p, int colour) {
    colourBases_[p + 1] = static_cast<Code>(colour * 2 * agedSlots_);
  }

  // Node claims cell. The nodes of one particle must claim in the order
  // of their points from the oldest to the head, and a node claims only
  // after it has released its earlier claim; nodesAfter is the first node
  // of the next particle.
  void claim(uint32_t node, uint32_t cell, Code code, uint32_t nodesAfter) {
    Node& added = linksOf(node);
    uint32_t& first = firsts_[cell];
    if (first == kNone) {
      added.previous = added.next = kNone;
      first = node;
      codes_[cell] = code;
    } else if (first >= nodesAfter && !(first & kUnsettled)) {
      // The cell showed a later particle; now it shows this one.
      added.previous = kNone;
      added.next = first;
      linksOf(first).previous = node;
      first = node;
      codes_[cell] = code;
    } else {
      // Behind the front claim: the one shown, or, on a cell whose claim
      // shown is still to be found, any.
      const uint32_t frontNode = first & ~kUnsettled;
      Node& front = linksOf(frontNode);
      added.previous = frontNode;
      added.next = front.next;
      if (front.next != kNone) linksOf(front.next).previous = node;
      front.next = node;
    }
  }

  // Node gives up its claim on cell.
  void release(uint32_t node, uint32_t cell) {
    const Node& dropped = linksOf(node);
    if (dropped.previous != kNone) {
      linksOf(dropped.previous).next = dropped.next;
      if (dropped.next != kNone) linksOf(dropped.next).previous = dropped.previous;
      return;
    }
    uint32_t& first = firsts_[cell];
    if (dropped.next == kNone) {
      // A store only, on the common path. A cell that was waiting for
      // settle() is settled with it.
      first = kNone;
      codes_[cell] = emptyCode_;
      return;
    }
    // The next claim is not necessarily the one to show now.
    linksOf(dropped.next).previous = kNone;
    if (first == node) unsettled_.push_back(cell);
    first = dropped.next | kUnsettled;
  }

  // Brings what release() and claim() will touch for a particle ahead into
  // the cache, in two steps: first its node and the cell it will claim;
  // then, once those are there, the cell it will release and the nodes
  // its node and the claimed cell link to.
  void prefetch(uint32_t node, uint32_t claimedCell) const {
    __builtin_prefetch(&linksOf(node), 1);
    __builtin_prefetch(&firsts_[claimedCell], 1);
    __builtin_prefetch(&codes_[claimedCell], 1);
  }
  void prefetchLinks(uint32_t node, uint32_t releasedCell, uint32_t claimedCell) const {
    __builtin_prefetch(&firsts_[releasedCell], 1);
    __builtin_prefetch(&codes_[releasedCell], 1);
    const Node& own = linksOf(node);
    if (own.previous != kNone) __builtin_prefetch(&linksOf(own.previous), 1);
    if (own.next != kNone) __builtin_prefetch(&linksOf(own.next), 1);
    const uint32_t front = firsts_[claimedCell] & ~kUnsettled;
    if (front != kNone) __builtin_prefetch(&linksOf(front), 1);
  }

  // Finds the claim to show on every cell whose shown point was released
  // while others stayed on it; claims and releases must have paired off.
  void settle();

  // The code of particle p's slot s.
  Code code(size_t p, int slot) const {
    return static_cast<Code>(colourBases_[p + 1] + (slot & agedSlotMask_));
  }
  // Pixel values by code for the frame at hand.
  const uint32_t* pixels() const { return frameTable_; }

 private:
  // Set in a cell's front node while the claim shown is still to be
  // found; node numbers stay below it.
  static constexpr uint32_t kUnsettled = 0x80000000u;

  struct Node {
    uint32_t previous;  // on the same cell; kNone at the front
    uint32_t next;      // kNone at the end
  };

  // Node n's links. They lie slot by slot: slot s of every particle, from
  // particle -1 on, then slot s + 1.
  Node& linksOf(uint32_t n) { return nodes_[(n & slotMask_) * nodeStride_ + (n >> slotBits_)]; }
  const Node& linksOf(uint32_t n) const {
    return nodes_[(n & slotMask_) * nodeStride_ + (n >> slotBits_)];
  }

  // Moves shown to the front of the list of cell, whose front is front,
  // and gives the cell its code.
  void show(uint32_t cell, uint32_t front, uint32_t shown);
  // Whether node a shows rather than node b, both on one cell.
  bool precedes(uint32_t a, uint32_t b) const;

  int trailLength_;
  int slotBits_;  // a ring of trailLength_ slots fits 1 << slotBits_
  uint32_t slotMask_;
  int headSlot_;
  // Slots that differ in their pixel values: all of a ring's, or, where
  // every ramp is one colour throughout, one; then the slot mask is 0.
  int agedSlots_;
  int agedSlotMask_;
  Code emptyCode_;
  Code* codes_;  // per cell, owned by the caller
  // Per cell: the front node (with kUnsettled while the claim to show is
  // still to be found), or kNone.
  std::vector<uint32_t> firsts_;
  std::vector<Node> nodes_;
  size_t nodeStride_;  // particles there is room for, particle -1 among them
  // Per particle, from particle -1 on, where its colour's entries start in
  // table_.
  std::vector<Code> colourBases_;
  std::vector<uint32_t> unsettled_;  // cells for settle(); never grows in a frame
  // For colour c, entries c * 2 * agedSlots_ ... + 2 * agedSlots_ - 1:
  // the ramp twice, so that entry agedSlots_ - headSlot + s is the ramp
  // entry of the age of slot s. Then the empty pixel, as often as any
  // slot and head slot need.
  std::vector<uint32_t> table_;
  const uint32_t* frameTable_;
};

#endif  // FLIMMERWERK_SCENE_CELL_CLAIMS_H_
