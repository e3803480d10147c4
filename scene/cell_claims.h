#ifndef FLIMMERWERK_SCENE_CELL_CLAIMS_H_
#define FLIMMERWERK_SCENE_CELL_CLAIMS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Which trail points lie on each cell, in the order in which they cover
// one another, so that a frame need not draw every point of every trail
// to know what a cell shows. Owns, per cell, the two ends of a list of
// the points on it, and per point its links in that list.
//
// A point is a node, numbered by its particle's place p in the list and
// its slot s in the particle's trail ring: node (p << slotBits) | s, where
// 1 << slotBits is the least power of two that holds a ring. A cell
// shows the point of the particle that comes first in the list and, of
// that particle's points, the oldest -- what drawing every trail from the
// last particle to the first, each from its head to its oldest point,
// leaves there. A cell's list keeps its nodes in that order: by particle,
// and a particle's nodes from the oldest to the youngest. Its front node
// is the one shown.
//
// A frame drops each trail's oldest point, which is the first of its
// particle's nodes on its cell, and adds a new head, which goes after its
// particle's other nodes on its cell: right after the last head where
// that lies there, else walking back from the list's end past the nodes
// of later particles. Lists mostly hold a few nodes; where points pile up
// anyway, finishClaims() bounds the walks of a frame. Settling (below)
// decides when the scene keeps them.
class CellClaims {
 public:
  // No node: the end of a list, or an empty cell.
  static constexpr uint32_t kNone = 0xFFFFFFFFu;

  // Whether the nodes of particleCount trails of trailLength slots can be
  // numbered in 32 bits.
  static bool numbers(size_t particleCount, int trailLength) {
    return (static_cast<uint64_t>(particleCount) << slotBitsFor(trailLength)) < kNone;
  }

  // Room for the lists of cellCount cells and the nodes of particleCount
  // trails of trailLength slots, growing it at least twofold, so that many
  // small groups added one by one stay linear. The lists' contents are
  // left undefined: clear() empties them. False without memory, or beyond
  // numbers(); nothing is kept then.
  bool makeRoom(size_t cellCount, int trailLength, size_t particleCount);
  // Cells first to end empty again; the memory is kept.
  void clear(size_t first, size_t end);
  size_t cellCount() const { return cellCount_; }
  // Gives all memory back.
  void free();
  bool allocated() const { return ends_ != nullptr; }

  // Slot s of particle p's trail.
  uint32_t node(size_t p, int s) const {
    return static_cast<uint32_t>(p << slotBits_) | static_cast<uint32_t>(s);
  }
  size_t particleOf(uint32_t node) const { return node >> slotBits_; }
  int slotOf(uint32_t node) const { return static_cast<int>(node & slotMask_); }

  // Node claims cell, as the youngest node of its particle there;
  // laterNodes is the first node of the next particle, and younger, if not
  // kNone, the particle's youngest node so far, which lies on cell. True
  // when the node is now shown there. A claim that would have to walk back
  // past later particles' nodes waits for finishClaims() instead, and is
  // not shown yet.
  bool claim(uint32_t node, uint32_t cell, uint32_t laterNodes, uint32_t younger = kNone) {
    Link& added = linksOf(node);
    Ends& ends = ends_[cell];
    if (ends.first == kNone) {
      added.previous = added.next = kNone;
      ends.first = ends.last = node;
      return true;
    }
    if (ends.first >= laterNodes) {
      // Every node on the cell is a later particle's.
      added.previous = kNone;
      added.next = ends.first;
      linksOf(ends.first).previous = node;
      ends.first = node;
      return true;
    }
    // At the end of the list, unless later particles' nodes end it; then
    // right after the particle's youngest node, where that is known.
    if (ends.last >= laterNodes) {
      if (younger != kNone)
        linkAfter(younger, node, cell);
      else
        pending_.push_back(Claim{node, cell, laterNodes});
      return false;
    }
    linkAfter(ends.last, node, cell);
    return false;
  }

  // Makes the claims that wait, with their lists fetched ahead. A claim
  // that waits is a node missing from its list for a while: a later
  // particle's claim there still goes after it, a release there is still
  // of its particle's first node, so the lists end as they would have.
  // Calls shown(node, cell) for every claim that waited and is shown now.
  //
  // A walk costs a step for every later particle's node it passes; where
  // particles pile onto a few cells, that is thousands a claim. Past
  // budget steps in all it stops and returns false: the lists then no
  // longer say what the cells show, and are to be freed.
  template <class Shown>
  bool finishClaims(size_t budget, Shown shown) {
    const size_t count = pending_.size();
    size_t steps = 0;
    for (size_t i = 0; i < count; ++i) {
      if (i + 2 * kFetchAhead < count) prefetchCell(pending_[i + 2 * kFetchAhead].cell);
      if (i + kFetchAhead < count) {
        const uint32_t last = ends_[pending_[i + kFetchAhead].cell].last;
        if (last != kNone) prefetchNode(last);
      }
      if (i + 1 < count) {
        // The first step of its walk.
        const uint32_t last = ends_[pending_[i + 1].cell].last;
        if (last != kNone) prefetchNode(linksOf(last).previous);
      }
      const Claim waiting = pending_[i];
      const Ends& ends = ends_[waiting.cell];
      if (ends.first == kNone || ends.first >= waiting.laterNodes) {
        // Releases since have left no earlier particle's node there.
        claim(waiting.node, waiting.cell, waiting.laterNodes);
        shown(waiting.node, waiting.cell);
        continue;
      }
      uint32_t before = ends.last;
      while (before >= waiting.laterNodes) {
        if (++steps > budget) {
          pending_.clear();
          return false;
        }
        before = linksOf(before).previous;
      }
      linkAfter(before, waiting.node, waiting.cell);
    }
    pending_.clear();
    return true;
  }

  // Node, the oldest of its particle, gives up its claim on cell. True
  // when it was shown there; front(cell) is then shown instead.
  bool release(uint32_t node, uint32_t cell) {
    const Link dropped = linksOf(node);
    Ends& ends = ends_[cell];
    if (dropped.previous == kNone) {
      ends.first = dropped.next;
      if (dropped.next != kNone)
        linksOf(dropped.next).previous = kNone;
      else
        ends.last = kNone;
      return true;
    }
    linksOf(dropped.previous).next = dropped.next;
    if (dropped.next != kNone)
      linksOf(dropped.next).previous = dropped.previous;
    else
      ends.last = dropped.previous;
    return false;
  }

  // The node cell shows, or kNone.
  uint32_t front(uint32_t cell) const { return ends_[cell].first; }

  // Brings a node's links, or a cell's front node, into the cache.
  void prefetchNode(uint32_t node) const { __builtin_prefetch(&linksOf(node), 1); }
  void prefetchCell(uint32_t cell) const { __builtin_prefetch(&ends_[cell], 1); }
  // Once cell's ends are in the cache: the links of its list's end.
  void prefetchEnd(uint32_t cell) const {
    const uint32_t last = ends_[cell].last;
    if (last != kNone) __builtin_prefetch(&linksOf(last), 1);
  }
  // Once node's links and cell's front are in the cache: the links that
  // releasing node and claiming cell will go on to.
  void prefetchNeighbours(uint32_t node, uint32_t cell) const {
    const Link& own = linksOf(node);
    if (own.previous != kNone) __builtin_prefetch(&linksOf(own.previous), 1);
    if (own.next != kNone) __builtin_prefetch(&linksOf(own.next), 1);
    const Ends& ends = ends_[cell];
    if (ends.last != kNone) __builtin_prefetch(&linksOf(ends.last), 1);
  }

 private:
  // How many waiting claims ahead finishClaims() asks for a list's end,
  // and twice as far ahead for the cell. About a quarter of the claims
  // wait in 20,000 x 200 on 1920 x 1080, with two steps of walk each;
  // 1, 4 and 16 ahead took alike there (3.99, 3.93 and 4.02 ms a frame,
  // Intel Xeon).
  static const size_t kFetchAhead = 4;

  struct Claim {
    uint32_t node;
    uint32_t cell;
    uint32_t laterNodes;
  };

  struct Link {
    uint32_t previous;  // on the same cell; kNone at the front
    uint32_t next;      // kNone at the end
  };
  struct Ends {
    uint32_t first;  // the node shown, or kNone
    uint32_t last;   // the list's end, or kNone
  };

  // Node goes right after before in cell's list.
  void linkAfter(uint32_t before, uint32_t node, uint32_t cell) {
    Link& added = linksOf(node);
    Link& previous = linksOf(before);
    added.previous = before;
    added.next = previous.next;
    if (previous.next != kNone)
      linksOf(previous.next).previous = node;
    else
      ends_[cell].last = node;
    previous.next = node;
  }

  static int slotBitsFor(int trailLength) {
    int bits = 0;
    while ((1 << bits) < trailLength) ++bits;
    return bits;
  }

  // Node n's links. They lie slot by slot, slot s of every particle and
  // then slot s + 1, as a frame walks them.
  Link& linksOf(uint32_t n) { return links_[(n & slotMask_) * stride_ + (n >> slotBits_)]; }
  const Link& linksOf(uint32_t n) const {
    return links_[(n & slotMask_) * stride_ + (n >> slotBits_)];
  }

  int slotBits_ = 0;
  uint32_t slotMask_ = 0;
  size_t stride_ = 0;  // particles there is room for
  // Left as they come from the allocator, so that a scene whose frames
  // never take the claims never touches their pages: setting them up
  // took longer than the redraw-only design's whole start.
  std::unique_ptr<Ends[]> ends_;   // per cell
  std::unique_ptr<Link[]> links_;  // trailLength rows of stride_ links
  size_t cellCount_ = 0;
  std::vector<Claim> pending_;  // room for a claim of every particle
};

// How the scene settles each frame, chosen by measuring: by drawing every
// trail (the redraw) or by the claims -- whichever has proven cheaper for
// this scene on this machine lately. Owns the claims' lists, the bound on
// their walks, their pauses and the frames' costs, and holds its state
// explicitly; every change of state happens in next().
//
//   state       the frame settles by   leaves for
//   kRedraw     the redraw             kRebuilding after wait() frames
//   kPaused     the redraw             kRebuilding after wait() frames
//   kRebuilding the redraw, while a    kTrying with the last share;
//               share of the trails    kRedraw when the claims made so far
//               is claimed before      already cost more than the redraw;
//               each move              kPaused when their walks overrun
//   kTrying     the claims, then the   kClaims when they beat the redraw,
//               redraw over them,      else kRedraw; kPaused on an overrun
//               each timed
//   kClaims     the claims             kTrying when they seem to cost more
//                                      than the redraw, and after a while;
//                                      kPaused on an overrun
//
// A trial times both ways in the same frames, so that what else runs on
// the machine weighs on both alike; the redraw over settled cells leaves
// every cell as it is.
// Added particles make every list stale: the scene goes to kRedraw, and
// the lists are made anew, a share a frame, when a frame needs them.
class Settling {
 public:
  enum State { kRedraw, kPaused, kRebuilding, kTrying, kClaims };

  // The particles whose trails a frame claims before its move: from
  // first to end, which follow every particle the lists hold.
  struct Share {
    size_t first;
    size_t end;
  };

  // Particles were added; particleCount are there now, with trails of
  // trailLength on cellCount cells. Allocates, so never within a frame.
  void particlesAdded(size_t cellCount, int trailLength, size_t particleCount);
  // Every particle is gone; the lists' memory goes with them.
  void particlesGone();

  // Called as a frame begins: the share to claim now, empty unless
  // rebuilding; the lists are emptied before the first share.
  Share beginFrame();
  // The walks of the frame overran walkBudget(): the lists no longer say
  // what the cells show.
  void walksOverran();
  // The frame's own work took costNanoseconds (the moves, the claims and
  // the redraw, without the share), the share shareNanoseconds, and the
  // redraw a trial times beside the claims besideNanoseconds.
  void frameDone(uint64_t costNanoseconds, uint64_t shareNanoseconds,
                 uint64_t besideNanoseconds = 0);

  State state() const { return state_; }
  // Whether the frame at hand settles by the claims alone.
  bool byClaims() const { return state_ == kTrying || state_ == kClaims; }
  // Whether the frame at hand, settled by the claims, also redraws every
  // trail over them, to time the redraw.
  bool timesRedraw() const { return state_ == kTrying; }
  // The particles, from the first, whose points the lists hold.
  size_t claimed() const { return claimed_; }
  // How many steps the walks of a frame may take (see
  // CellClaims::finishClaims).
  size_t walkBudget() const { return walkBudget_; }
  // Frames left in kRedraw or kPaused.
  size_t wait() const { return wait_; }
  CellClaims& lists() { return lists_; }
  const CellClaims& lists() const { return lists_; }

 private:
  enum Event { kAdded, kGone, kFrameDone, kOverran };
  // The one place where the state changes.
  void next(Event event);
  void enter(State state, size_t wait);
  // To kTrying, its costs to come.
  void tryClaims();

  // The last few frames' costs of one way, in nanoseconds: a trial times
  // kCount frames, and their median leaves out a frame that another
  // process slowed.
  class Costs {
   public:
    static const size_t kCount = 5;
    void add(uint64_t cost);
    void forget() { size_ = 0; }
    bool full() const { return size_ == kCount; }
    bool empty() const { return size_ == 0; }
    uint64_t median() const;

   private:
    uint64_t values_[kCount] = {};
    size_t size_ = 0;
    size_t next_ = 0;
  };

  CellClaims lists_;
  State state_ = kRedraw;
  // Whether the scene may keep lists at all: there is memory for them,
  // and room on the grid (see particlesAdded).
  bool usable_ = false;
  size_t particles_ = 0;
  size_t trailLength_ = 0;
  size_t claimed_ = 0;
  size_t walkBudget_ = 0;
  // Frames left before the redraw gives way to a rebuild.
  size_t wait_ = 0;
  // The wait after the next trial the claims lose.
  size_t trialWait_ = 0;
  // Claims frames since they won their trial, and how many before they
  // are tried again.
  size_t sinceTrial_ = 0;
  size_t recheck_ = 0;
  // The rebuild: the cells whose lists it has emptied, particles a
  // share, its last share's size, and frames in a row whose claims
  // already cost more than the redraw.
  size_t cleared_ = 0;
  size_t shareSize_ = 0;
  size_t lastShare_ = 0;
  int losing_ = 0;
  // Whether the frame at hand overran its walks.
  bool overran_ = false;
  uint64_t cost_ = 0;
  uint64_t shareCost_ = 0;
  uint64_t besideCost_ = 0;
  Costs redraws_;
  Costs claims_;
};

#endif  // FLIMMERWERK_SCENE_CELL_CLAIMS_H_
