#ifndef FLIMMERWERK_TESTS_TEST_SUPPORT_H_
#define FLIMMERWERK_TESTS_TEST_SUPPORT_H_

#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// A file with the given bytes in the system's temporary directory,
// removed again when the object goes.
class TempFile {
 public:
  explicit TempFile(const std::string& content, const std::string& suffix = ".ini") {
    const char* dir = getenv("TMPDIR");
    std::string pattern = std::string(dir ? dir : "/tmp") + "/flimmer_XXXXXX" + suffix;
    int fd = mkstemps(&pattern[0], static_cast<int>(suffix.size()));
    if (fd >= 0) {
      size_t written = 0;
      while (written < content.size()) {
        ssize_t n = write(fd, content.data() + written, content.size() - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
      }
      ::close(fd);
      path_ = pattern;
    }
  }
  ~TempFile() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }
  const char* c_str() const { return path_.c_str(); }

 private:
  std::string path_;
};

// A test with SDL started on its dummy display, where a full-screen
// request gets the depth it asks for; SDL is quit after each test.
template <typename Base = testing::Test>
class WithDummyDisplay : public Base {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
  }
  void TearDown() override { SDL_Quit(); }
};

// The value of pixel (x, y) of the surface: its bytes as the scene stores
// them, 3-byte pixels low byte first.
inline uint32_t pixelAt(const SDL_Surface* screen, int x, int y) {
  const Uint8* p = static_cast<const Uint8*>(screen->pixels) + y * screen->pitch +
                   x * screen->format->BytesPerPixel;
  switch (screen->format->BytesPerPixel) {
    case 1:
      return p[0];
    case 2: {
      Uint16 value;
      memcpy(&value, p, sizeof value);
      return value;
    }
    case 3:
      return p[0] | p[1] << 8 | p[2] << 16;
    default: {
      Uint32 value;
      memcpy(&value, p, sizeof value);
      return value;
    }
  }
}

#endif  // FLIMMERWERK_TESTS_TEST_SUPPORT_H_
