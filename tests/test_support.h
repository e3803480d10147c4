#ifndef FLIMMERWERK_TESTS_TEST_SUPPORT_H_
#define FLIMMERWERK_TESTS_TEST_SUPPORT_H_

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

#endif  // FLIMMERWERK_TESTS_TEST_SUPPORT_H_
