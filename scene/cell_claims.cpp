#include "scene/cell_claims.h"

#include <algorithm>
#include <new>
#include <stdexcept>

bool CellClaims::makeRoom(size_t cellCount, int trailLength, size_t particleCount) {
  if (!numbers(particleCount, trailLength)) {
    free();
    return false;
  }
  const size_t length = static_cast<size_t>(trailLength);
  try {
    if (ends_.empty()) {
      ends_.assign(cellCount, Ends{kNone, kNone});
      slotBits_ = slotBitsFor(trailLength);
      slotMask_ = (1u << slotBits_) - 1;
      stride_ = 0;
    }
    if (pending_.capacity() < particleCount)
      pending_.reserve(std::max(particleCount, 2 * pending_.capacity()));
    if (particleCount > stride_) {
      // The rows move apart.
      const size_t stride = std::max(particleCount, 2 * stride_);
      std::vector<Link> moved(stride * length);
      for (size_t slot = 0; slot < length && stride_ > 0; ++slot)
        std::copy(links_.begin() + slot * stride_, links_.begin() + (slot + 1) * stride_,
                  moved.begin() + slot * stride);
      links_.swap(moved);
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

void CellClaims::clear() {
  std::fill(ends_.begin(), ends_.end(), Ends{kNone, kNone});
  pending_.clear();
}

void CellClaims::free() {
  std::vector<Ends>().swap(ends_);
  std::vector<Link>().swap(links_);
  std::vector<Claim>().swap(pending_);
  stride_ = 0;
}
