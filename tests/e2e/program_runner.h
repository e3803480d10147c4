#ifndef FLIMMERWERK_TESTS_E2E_PROGRAM_RUNNER_H_
#define FLIMMERWERK_TESTS_E2E_PROGRAM_RUNNER_H_

#include <map>
#include <string>
#include <utility>
#include <vector>

// What a run of the built program left behind.
struct ProgramRun {
  int status = -1;        // exit status, or 128 + signal when it was killed
  bool timedOut = false;  // killed because it ran too long
  std::string err;        // standard error, as bytes
  std::string log;        // the probe's log of SDL calls, one per line
  double seconds = 0;     // wall-clock time from start to end
};

// The status a sanitized program ends with when AddressSanitizer,
// LeakSanitizer or UndefinedBehaviorSanitizer reports a fault; the
// program's own statuses never take this value.
const int kSanitizerStatus = 86;

// How the program is started, beyond arguments and environment.
struct RunOptions {
  unsigned long long addressSpace = 0;  // bytes of address space (ulimit -v); 0: unchanged
  int user = -1;                        // run as this user id (and group id); -1: unchanged
  std::string program;                  // another copy of the program; "": the built one
  std::vector<int> closed;              // standard descriptors it starts without
  bool errorPipe = false;  // standard error is a pipe, read only after the program ended
  int signal = 0;          // sent once the probe's log has a line starting with signalAt
  std::string signalAt;
};

// Runs the built program with the arguments in a fresh temporary working
// directory, under SDL's dummy video driver with the probe preloaded.
// files are written into that directory first (name -> content); env adds
// or replaces variables (an empty value removes one).
ProgramRun runProgram(const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env = {},
                      const std::map<std::string, std::string>& files = {}, int timeoutSeconds = 60,
                      const RunOptions& options = RunOptions());

// The lines of the probe's log that start with prefix.
std::vector<std::string> logLines(const ProgramRun& run, const std::string& prefix);

// A value in a configuration file, written as given: a number or any text.
struct Value {
  Value(int number) : text(std::to_string(number)) {}
  Value(const char* value) : text(value) {}
  Value(std::string value) : text(std::move(value)) {}
  std::string text;
};

// The [FLIM] section with these values, and a group's section.
std::string settings(const Value& width = 64, const Value& height = 48, const Value& trail = 6,
                     const Value& range = 2, const Value& depth = 0, const Value& fullscreen = 0,
                     const Value& turns = 1, const Value& bounce = 0);
std::string group(const std::string& name, const Value& count = 4, const Value& colour = 1,
                  const Value& x = 10, const Value& y = 10);

// A PPM image read back from the probe's dump.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;  // row after row, three bytes a pixel

  bool valid() const { return width > 0 && height > 0; }
  unsigned long pixel(int x, int y) const {
    const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return static_cast<unsigned long>(p[0]) << 16 | p[1] << 8 | p[2];
  }
};
Picture readPicture(const std::string& path);

// A directory removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

#endif  // FLIMMERWERK_TESTS_E2E_PROGRAM_RUNNER_H_
