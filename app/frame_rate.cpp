#include "app/frame_rate.h"

#include <cstdio>

namespace {

const int kFramesPerCaption = 10;

}  // namespace

FrameRate::FrameRate(const char* startCaption)
    : caption_(startCaption), framesToCaption_(kFramesPerCaption), frames_(0), milliseconds_(0) {}

bool FrameRate::count(uint32_t milliseconds) {
  // Neither sum wraps: the time grows by at most ten frames' worth before
  // it is shown, and 2^64 frames take longer than any run.
  ++frames_;
  milliseconds_ += milliseconds;
  if (--framesToCaption_ > 0) return false;
  framesToCaption_ = kFramesPerCaption;
  if (milliseconds_ == 0) return true;
  // frames x 1000 / milliseconds in two steps: the product frames x 1000
  // would wrap long before the rate does.
  const uint64_t rate =
      frames_ / milliseconds_ * 1000 + frames_ % milliseconds_ * 1000 / milliseconds_;
  char text[32];
  snprintf(text, sizeof text, kCaptionFormat, static_cast<unsigned long long>(rate));
  caption_ = text;
  frames_ = 0;
  milliseconds_ = 0;
  return true;
}
