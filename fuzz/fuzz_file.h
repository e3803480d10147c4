#ifndef FLIMMERWERK_FUZZ_FUZZ_FILE_H_
#define FLIMMERWERK_FUZZ_FUZZ_FILE_H_

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// The fuzz input as a file the IniFile can open by name: one in-memory
// file for the whole fuzzing run, rewritten for every input.
class FuzzFile {
 public:
  static const std::string& write(const uint8_t* data, size_t size) {
    static FuzzFile file;
    if (ftruncate(file.fd_, 0) != 0) abort();
    size_t done = 0;
    while (done < size) {
      const ssize_t n = pwrite(file.fd_, data + done, size - done, static_cast<off_t>(done));
      if (n <= 0) abort();
      done += static_cast<size_t>(n);
    }
    return file.path_;
  }

 private:
  FuzzFile() : fd_(memfd_create("fuzz.ini", 0)) {
    if (fd_ < 0) abort();
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }

  int fd_;
  std::string path_;
};

#endif  // FLIMMERWERK_FUZZ_FUZZ_FILE_H_
