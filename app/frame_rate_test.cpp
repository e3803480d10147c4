#include "app/frame_rate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// A run of frames that each took the same milliseconds.
struct Frames {
  int count;
  uint32_t milliseconds;
};

// The caption after every tenth frame of the runs, fed in order.
std::vector<std::string> captions(const std::vector<Frames>& runs) {
  FrameRate rate("Flimmerwerk");
  std::vector<std::string> shown;
  int frame = 0;
  for (const Frames& run : runs) {
    for (int i = 0; i < run.count; ++i) {
      const std::string before = rate.caption();
      const bool due = rate.count(run.milliseconds);
      ++frame;
      EXPECT_EQ(due, frame % 10 == 0) << "frame " << frame;
      if (due) {
        shown.push_back(rate.caption());
      } else {
        EXPECT_EQ(rate.caption(), before) << "frame " << frame;
      }
    }
  }
  return shown;
}

TEST(FrameRate, ShowsFramesPerSecondSinceTheLastRateEveryTenFrames) {
  using Captions = std::vector<std::string>;
  struct Case {
    const char* what;
    std::vector<Frames> runs;
    Captions expected;
  };
  const uint32_t backwards = 0xFFFFFFFF;  // a clock read earlier than before
  const Case cases[] = {
      {"nine frames", {{9, 4}}, {}},
      {"constant 4 ms", {{20, 4}}, {"250 FPS", "250 FPS"}},
      {"constant 3 ms", {{10, 3}}, {"333 FPS"}},
      {"constant 1 ms", {{10, 1}}, {"1000 FPS"}},
      // Sub-millisecond frames: the start caption stays until time is
      // measured, and the frames before it count.
      {"under 1 ms", {{10, 0}}, {"Flimmerwerk"}},
      {"under 1 ms, then 1 ms at frame 13",
       {{12, 0}, {1, 1}, {7, 0}},
       {"Flimmerwerk", "20000 FPS"}},
      {"under 1 ms after a rate",
       {{10, 2}, {10, 0}, {5, 0}, {1, 1}, {4, 0}},
       {"500 FPS", "500 FPS", "20000 FPS"}},
      // Mixed frames: the average over their summed time, not of their
      // rates (which would be 292).
      {"1 ... 10 ms",
       {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {1, 7}, {1, 8}, {1, 9}, {1, 10}},
       {"181 FPS"}},
      {"0 and 3 ms", {{5, 0}, {5, 3}}, {"666 FPS"}},
      {"a long frame", {{9, 1}, {1, 5000}, {10, 2}}, {"1 FPS", "500 FPS"}},
      {"all long", {{10, 20000}}, {"0 FPS"}},
      // A clock that went back: a huge time, rate 0; the sum must not wrap
      // in 32 bits (here to 0).
      {"backwards", {{9, 1}, {1, backwards}}, {"0 FPS"}},
      {"backwards, then 1 ms", {{8, 0}, {1, backwards}, {1, 1}, {10, 5}}, {"0 FPS", "200 FPS"}},
      {"backwards ten times", {{10, backwards}}, {"0 FPS"}},
  };
  for (const Case& c : cases) EXPECT_EQ(captions(c.runs), c.expected) << c.what;
}

}  // namespace
