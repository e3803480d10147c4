#ifndef FLIMMERWERK_APP_FRAME_RATE_H_
#define FLIMMERWERK_APP_FRAME_RATE_H_

#include <cstdint>
#include <string>

// How the caption shows a rate, an unsigned long long; the test scripts
// read this line back (tests/program_facts).
const char kCaptionFormat[] = "%llu FPS";

// The frame rate the window caption shows. Counts the frames and their
// whole milliseconds since the caption last showed a rate; every tenth
// frame the caption becomes the rate in kCaptionFormat ("N FPS"), N being
// those frames x 1000 / their milliseconds (truncated): the average rate,
// exact for constant frames of a millisecond or more.
class FrameRate {
 public:
  // The caption until the first rate is shown.
  explicit FrameRate(const char* startCaption);

  // Counts one frame of the given milliseconds (the difference of two
  // clock readings: a clock that went back gives a huge value and a rate
  // of 0). Returns true on every tenth frame, when the caption is due.
  // While the frames since the last rate took 0 ms in all, the caption
  // keeps its text and they count on into the next ten.
  bool count(uint32_t milliseconds);

  // The text to show; valid until the next call of count.
  const char* caption() const { return caption_.c_str(); }

 private:
  std::string caption_;
  int framesToCaption_;    // frames left until the caption is due
  uint64_t frames_;        // frames since the caption last showed a rate
  uint64_t milliseconds_;  // their time
};

#endif  // FLIMMERWERK_APP_FRAME_RATE_H_
