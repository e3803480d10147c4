#include "scene/cell_claims.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>

namespace {

// The lists are kept only where the grid has a cell for every
// kPointsPerCell points: a point costs them 8 bytes beside its trail
// slot's 4, a cell 8, so with 2 points a cell they at most triple the
// memory the trails and the grid take; 3.9 (20,000 x 400 on 1920 x 1080)
// would more than double what the whole scene starts with.
const size_t kPointsPerCell = 2;

// The first guess of the way, before anything is timed: trails of
// kClaimsFromTrail points or more are given to the claims as soon as the
// points of the start cells have been dropped; shorter ones keep the
// redraw until their first trial. Timed both ways (AMD EPYC and Intel
// Xeon): with 50 points a trail the two took alike, with 100 the claims
// three quarters of the redraw's time, with 200 and 400 less than half.
const int kClaimsFromTrail = 64;

// The bound on the walks of a frame: a step (a load that waits for the
// one before) for every kPointsPerWalkStep points of all trails. A step
// costs 12.5 ns on an Intel Xeon and up to 90 ns on an AMD EPYC where the
// lists outgrow the cache, a redraw about 1 ns a point on both: so walks
// within the bound cost at most about one and a half redraws, and a frame
// that overruns it takes no more than its claims, its walks and a redraw.
// Points that do not pile walk far less: 20,000 x 200 on 1920 x 1080 took
// about 11,000 steps a frame, a sixth of its bound.
const size_t kPointsPerWalkStep = 64;

// Frames of the redraw before its first trial of the claims where the
// first guess is the redraw, and of the claims before they are tried
// again while they win; both double each time. A trial costs five frames
// of the claims and a redraw, up to two and a half redraws: one in
// kFirstTrialWait frames or fewer keeps them under one frame in a
// hundred.
const size_t kFirstTrialWait = 1024;

// The claims must cost less than kEnter times the redraw to win a trial;
// once they have won, only a median above kLeave times the redraw timed
// last puts them on trial again: between the two, the way a scene has
// stays, so noise on a shared machine does not flip it frame by frame.
const double kEnter = 0.9;
const double kLeave = 1.1;

// A rebuild ends early where what keeping the lists made so far costs
// beyond the redraw, scaled to all particles, exceeds kRebuildLoses
// redraws. That overstates a frame by the claims: the start-up file split
// into 1,000 groups kept all its lists in 20 ms beyond a redraw of 25,
// where its frames by the claims took 15 (AMD EPYC); the cloud file's
// claims cost 2.75 redraws.
const double kRebuildLoses = 1.5;

// A rebuild claims, each frame, what the share before it shows it can in
// a kShareOfRedraw of the redraw's time, but never fewer than a
// kLongestRebuild-th of the particles. Made in one frame, the lists of
// 20,000 x 200 on 1920 x 1080 took 72 ms, eight times a redraw (Intel
// Xeon); the first share is a kFirstShares-th.
const double kShareOfRedraw = 0.25;
const size_t kLongestRebuild = 64;
const size_t kFirstShares = 16;

// Before its first share, a rebuild empties the cells' lists, a
// kClearShares-th of them a frame: at once, in the cloud file (1280 x 720),
// that frame took 3.8 redraws, the pages first touched (AMD EPYC).
const size_t kClearShares = 8;

}  // namespace

bool CellClaims::makeRoom(size_t cellCount, int trailLength, size_t particleCount) {
  if (!numbers(particleCount, trailLength)) {
    free();
    return false;
  }
  const size_t length = static_cast<size_t>(trailLength);
  try {
    if (!ends_) {
      ends_.reset(new Ends[cellCount]);
      cellCount_ = cellCount;
      slotBits_ = slotBitsFor(trailLength);
      slotMask_ = (1u << slotBits_) - 1;
      stride_ = 0;
    }
    if (pending_.capacity() < particleCount)
      pending_.reserve(std::max(particleCount, 2 * pending_.capacity()));
    if (particleCount > stride_) {
      const size_t stride = std::max(particleCount, 2 * stride_);
      if (stride > SIZE_MAX / sizeof(Link) / length) throw std::length_error("links");
      links_.reset();
      links_.reset(new Link[stride * length]);
      stride_ = stride;
    }
  } catch (const std::bad_alloc&) {
    free();
    return false;
  } catch (const std::length_error&) {
    free();
    return false;
  }
  return true;
}

void CellClaims::clear(size_t first, size_t end) {
  std::fill(ends_.get() + first, ends_.get() + end, Ends{kNone, kNone});
  pending_.clear();
}

void CellClaims::free() {
  ends_.reset();
  links_.reset();
  cellCount_ = 0;
  std::vector<Claim>().swap(pending_);
  stride_ = 0;
}

void Settling::Costs::add(uint64_t cost) {
  values_[next_] = cost;
  next_ = (next_ + 1) % kCount;
  if (size_ < kCount) ++size_;
}

uint64_t Settling::Costs::median() const {
  // The value with as many others below it as above, ties counted alike.
  for (size_t i = 0; i < size_; ++i) {
    size_t below = 0, same = 0;
    for (size_t j = 0; j < size_; ++j) {
      below += values_[j] < values_[i];
      same += values_[j] == values_[i];
    }
    if (below <= size_ / 2 && size_ / 2 < below + same) return values_[i];
  }
  return 0;
}

void Settling::particlesAdded(size_t cellCount, int trailLength, size_t particleCount) {
  particles_ = particleCount;
  trailLength_ = static_cast<size_t>(trailLength);
  // Nodes that can be numbered are fewer than 2^32: their count fits.
  const bool numbered = CellClaims::numbers(particleCount, trailLength);
  const uint64_t points = static_cast<uint64_t>(particleCount) * trailLength_;
  walkBudget_ = numbered ? static_cast<size_t>(points / kPointsPerWalkStep) : 0;
  usable_ = numbered && trailLength > 1 && points / kPointsPerCell <= cellCount &&
            lists_.makeRoom(cellCount, trailLength, particleCount);
  if (!usable_) lists_.free();
  next(kAdded);
}

void Settling::particlesGone() { next(kGone); }

Settling::Share Settling::beginFrame() {
  if (state_ != kRebuilding) return Share{claimed_, claimed_};
  lastShare_ = 0;
  if (cleared_ < lists_.cellCount()) {
    const size_t cells = lists_.cellCount();
    const size_t end = std::min(cells, cleared_ + cells / kClearShares + 1);
    lists_.clear(cleared_, end);
    cleared_ = end;
    return Share{0, 0};
  }
  const size_t first = claimed_;
  claimed_ = std::min(particles_, claimed_ + shareSize_);
  lastShare_ = claimed_ - first;
  return Share{first, claimed_};
}

void Settling::walksOverran() { next(kOverran); }

void Settling::frameDone(uint64_t costNanoseconds, uint64_t shareNanoseconds,
                         uint64_t besideNanoseconds) {
  cost_ = costNanoseconds;
  shareCost_ = shareNanoseconds;
  besideCost_ = besideNanoseconds;
  next(kFrameDone);
}

void Settling::tryClaims() {
  redraws_.forget();
  claims_.forget();
  enter(kTrying, 0);
}

void Settling::enter(State state, size_t wait) {
  state_ = state;
  wait_ = wait;
  if (!byClaims()) claimed_ = 0;
}

void Settling::next(Event event) {
  switch (event) {
    case kAdded:
      // Every list is stale. The first guess: the claims once the points
      // of the start cells are dropped, or the redraw until a trial.
      trialWait_ = kFirstTrialWait;
      recheck_ = kFirstTrialWait;
      redraws_.forget();
      claims_.forget();
      enter(kRedraw, trailLength_ >= kClaimsFromTrail ? trailLength_ : trialWait_);
      return;
    case kGone:
      lists_.free();
      usable_ = false;
      particles_ = 0;
      enter(kRedraw, 0);
      return;
    case kOverran:
      // Points pile onto a few cells. This frame and the next ones redraw,
      // whose cost does not depend on where the points lie, until every
      // point of the pile is dropped. An overrun before the claims have
      // won a trial -- while the lists are made anew or tried, as when a
      // pile outlasts its pause -- is a lost trial: the pause is as long
      // as the wait after one, which doubles.
      if (state_ == kClaims) {
        enter(kPaused, trailLength_);
      } else {
        enter(kPaused, trialWait_);
        trialWait_ *= 2;
      }
      overran_ = true;
      return;
    case kFrameDone:
      break;
  }
  if (overran_) {
    // A frame of both ways: its cost tells of neither.
    overran_ = false;
    return;
  }
  const uint64_t redraw = redraws_.median();
  switch (state_) {
    case kRedraw:
    case kPaused:
      redraws_.add(cost_);
      if (!usable_) return;
      if (wait_ > 0) --wait_;
      if (wait_ == 0) {
        enter(kRebuilding, 0);
        cleared_ = 0;
        shareSize_ = std::max<size_t>(1, particles_ / kFirstShares);
        losing_ = 0;
      }
      return;
    case kRebuilding: {
      // The next share: what fits a quarter of the redraw's time at the
      // pace of this one.
      const size_t fewest = std::max<size_t>(1, particles_ / kLongestRebuild);
      const double perParticle =
          static_cast<double>(shareCost_) / static_cast<double>(std::max<size_t>(1, lastShare_));
      const double fits = perParticle > 0 ? kShareOfRedraw * redraw / perParticle : particles_;
      if (lastShare_ > 0)
        shareSize_ = std::max(fewest, static_cast<size_t>(std::min<double>(fits, particles_)));
      // The frame redrew and kept the lists of the claimed part: what that
      // part cost beyond the redraw, scaled to every particle, is about
      // what a frame by the claims would. Judged once half the lists are
      // made -- on a shared machine a frame's time wanders by half, which
      // a smaller part would magnify -- three frames in a row that say
      // the claims lose end the rebuild.
      const double part = static_cast<double>(claimed_) / static_cast<double>(particles_);
      const double extra = static_cast<double>(cost_) - static_cast<double>(redraw);
      losing_ = part >= 0.5 && extra > part * kRebuildLoses * redraw ? losing_ + 1 : 0;
      if (losing_ >= 3) {
        enter(kRedraw, trialWait_);
        trialWait_ *= 2;
      } else if (claimed_ == particles_) {
        tryClaims();
      }
      return;
    }
    case kTrying:
      claims_.add(cost_);
      redraws_.add(besideCost_);
      if (claims_.full()) {
        if (static_cast<double>(claims_.median()) < kEnter * redraws_.median()) {
          enter(kClaims, 0);
          trialWait_ = kFirstTrialWait;
          sinceTrial_ = 0;
        } else {
          enter(kRedraw, trialWait_);
          trialWait_ *= 2;
        }
      }
      return;
    case kClaims: {
      claims_.add(cost_);
      // The claims try again, which keeps the lists, where they seem to
      // have turned dearer than the redraw timed last -- or the machine
      // slower -- and after a while.
      const bool dearer = claims_.full() && static_cast<double>(claims_.median()) > kLeave * redraw;
      const bool due = ++sinceTrial_ >= recheck_;
      if (due) recheck_ *= 2;
      if (dearer || due) tryClaims();
      return;
    }
  }
}
