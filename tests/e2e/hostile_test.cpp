// Configuration files a user should never write, and paths that are no
// configuration file at all. Whatever comes in, the program must either
// run until the probe ends it or stop with one of its own messages and
// statuses (0, 1, 2, 3, 6): never a signal, never a hang, never a
// sanitizer report.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/program_runner.h"
#include "tests/sdl_library.h"

namespace {

const int kTimeout = 30;
const unsigned long long kMegabyte = 1024ull * 1024;

const std::string kNoSettings = "Schl\xFCssel FLIM konnte nicht gefunden werden.\n";
const std::string kTrailMessage = "Konnte Speicher f\xFCr den Schweif nicht reservieren!";
const std::string kParticleMessage = "Konnte Speicher f\xFCr das Teilchen nicht reservieren!\n";
const std::string kGridMessage = "Konnte speicher f\xFCr das Feld nicht reservieren!";
const std::string kRampMessage = "Konnte Speicher f\xFCr die Farbttabelle nicht reservieren!";
const std::string kModeMessage = "Konnte Bildschirmmodus nicht setzten: ";

// What a file without a usable [FLIM] section makes the program say.
std::string noSettingsMessages() {
  std::string text;
  for (int i = 0; i < 8; ++i) text += kNoSettings;
  return text + "Ung\xFCltiger Wert f\xFCr breite: 0\n";
}

// The text without the first occurrence of line.
std::string without(std::string text, const std::string& line) {
  const size_t at = text.find(line);
  if (at != std::string::npos) text.erase(at, line.size());
  return text;
}

std::string repeat(const std::string& text, size_t times) {
  std::string all;
  all.reserve(text.size() * times);
  for (size_t i = 0; i < times; ++i) all += text;
  return all;
}

// The run ended by itself or through the probe, with a status the program
// documents, and no sanitizer spoke.
void expectOrderlyEnd(const ProgramRun& run, const std::string& what) {
  static const std::set<int> kStatuses = {0, 1, 2, 3, 6};
  EXPECT_FALSE(run.timedOut) << what;
  EXPECT_TRUE(kStatuses.count(run.status)) << what << ": status " << run.status << "\n"
                                           << run.err.substr(0, 4000);
  EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << what;
  EXPECT_EQ(run.err.find("runtime error:"), std::string::npos) << what;
}

RunOptions memoryLimit(unsigned long long megabytes) {
  RunOptions options;
  options.addressSpace = megabytes * kMegabyte;
  return options;
}

// Runs the file as the configuration until the probe ends the loop.
ProgramRun runFile(const std::string& content, int frames = 3, const RunOptions& options = {},
                   std::map<std::string, std::string> env = {}) {
  env["PROBE_QUIT_AFTER"] = std::to_string(frames);
  return runProgram({"test.ini"}, env, {{"test.ini", content}}, kTimeout, options);
}

// The size the program asked SDL for, "" when it never got that far.
std::string requestedMode(const ProgramRun& run) {
  const std::vector<std::string> lines = logLines(run, "SDL_SetVideoMode ");
  if (lines.size() != 1) return "";
  std::istringstream fields(lines[0].substr(17));
  std::string width, height, depth;
  fields >> width >> height >> depth;
  return width + "x" + height + "x" + depth;
}

// A configuration and what running it must give: status, standard error
// and the mode asked of SDL ("" when it never got that far).
struct Outcome {
  std::string what;
  std::string config;
  int status;
  std::string err;
  std::string mode;
};

template <size_t N>
void expectOutcomes(const Outcome (&cases)[N]) {
  for (const Outcome& c : cases) {
    ProgramRun run = runFile(c.config);
    expectOrderlyEnd(run, c.what);
    EXPECT_EQ(run.status, c.status) << c.what;
    EXPECT_EQ(run.err, c.err) << c.what;
    EXPECT_EQ(requestedMode(run), c.mode) << c.what;
  }
}

// Bytes of every value in a scrambled but fixed order.
std::string binaryBytes(size_t count) {
  std::string bytes(count, '\0');
  unsigned state = 12345;
  for (char& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 16);
  }
  return bytes;
}

TEST(HostileConfiguration, BinaryAndNulBytes) {
  const std::string junk = binaryBytes(64 * 1024);
  // The junk cannot name the settings section by chance.
  ASSERT_EQ(junk.find("[FLIM"), std::string::npos);

  // Junk alone: no settings, so the first one read is reported as invalid.
  ProgramRun run = runFile(junk);
  expectOrderlyEnd(run, "junk");
  EXPECT_EQ(run.status, 1);
  const std::string tail = noSettingsMessages();
  ASSERT_GE(run.err.size(), tail.size());
  EXPECT_EQ(run.err.substr(run.err.size() - tail.size()), tail);
  EXPECT_EQ(requestedMode(run), "");

  // Junk ahead of real settings: the settings are still found by name.
  run = runFile(junk + "\n" + settings() + group("g"));
  expectOrderlyEnd(run, "junk, then settings");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(requestedMode(run), "64x48x0");

  // A NUL byte ends the line as far as the reader is concerned.
  const std::string nul(1, '\0');
  const Outcome cases[] = {
      {"NUL after a value",
       "[FLIM]\nbreite=64" + nul + "999\n" + without(settings(), "[FLIM]\nbreite=64\n") +
           group("g"),
       0, "", "64x48x0"},
      {"NUL inside a key",
       "[FLIM]\nhoe" + nul + "he=48\n" + without(without(settings(), "hoehe=48\n"), "[FLIM]\n") +
           group("g"),
       1, "Wert hoehe konnte nicht gefunden werden.\nUng\xFCltiger Wert f\xFCr hoehe: 0\n", ""},
      {"NUL inside a section name", settings() + group("g" + nul + "x]", "3", "8"), 0,
       "Farbe 8 in Gruppe g ist ung\xFCltig! Die Gruppe wird \xFC"
       "bersprungen.\n",
       "64x48x0"},
      {"NUL lines", settings() + nul + "\n" + nul + nul + "=" + nul + "\n" + group("g"), 0, "",
       "64x48x0"},
      {"bytes above 127 in a name", settings() + group("\xE4\xF6\xFC\xFF\x80", "3", "9"), 0,
       "Farbe 9 in Gruppe \xE4\xF6\xFC\xFF\x80 ist ung\xFCltig! Die Gruppe wird \xFC"
       "bersprungen.\n",
       "64x48x0"},
      {"control characters in values", settings() + group("g", "\x01\x02", "\x1B[31m"), 0, "",
       "64x48x0"},
  };
  expectOutcomes(cases);
}

TEST(HostileConfiguration, LineEnds) {
  std::string crlf;
  for (char c : settings() + group("g")) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  std::string crOnly = settings() + group("g");
  for (char& c : crOnly)
    if (c == '\n') c = '\r';
  std::string noFinalNewline = settings() + group("g");
  noFinalNewline.pop_back();
  std::string noValues;
  for (const char* key : {"breite", "hoehe", "schweiflaenge", "richtungen", "farbtiefe",
                          "fullscreen", "zuf_richtungswechsel", "const_geschw"})
    noValues += std::string("Wert ") + key + " konnte nicht gefunden werden.\n";
  const Outcome cases[] = {
      {"CRLF", crlf, 0, "", "64x48x0"},
      // Carriage returns alone end no line: the file is one header line.
      {"CR only", crOnly, 1, noValues + "Ung\xFCltiger Wert f\xFCr breite: 0\n", ""},
      {"no line feed at the end", noFinalNewline, 0, "", "64x48x0"},
      {"empty lines and blanks", "\n\n   \n" + settings() + "\n\n \t\n" + group("g"), 0, "",
       "64x48x0"},
  };
  expectOutcomes(cases);
}

TEST(HostileConfiguration, MegabyteLines) {
  // Lines of equals signs: a reader that split them would make entries of
  // the pieces, and be told of the repeated empty key.
  const std::string equals(kMegabyte, '=');
  const std::string letters(kMegabyte, 'k');
  const Outcome cases[] = {
      {"long comment", settings() + "#" + equals + "\n#" + equals + "\n" + group("g"), 0, "",
       "64x48x0"},
      {"long value", settings() + group("g", "3" + equals), 0, "", "64x48x0"},
      {"long value of blanks after the number",
       settings() + group("g", "3" + std::string(kMegabyte, ' ')), 0, "", "64x48x0"},
      // Names and keys are cut to their fields' size.
      {"long section name", settings() + group(equals, "2", "-7"), 0,
       "Farbe -7 in Gruppe " + equals.substr(0, 27) +
           " ist ung\xFCltig! Die Gruppe wird \xFC"
           "bersprungen.\n",
       "64x48x0"},
      {"long keys alike in their first characters",
       settings() + "a" + letters + "1=1\n" + "a" + letters + "2=2\n" + group("g"), 0,
       "Wert a" + letters.substr(0, 27) + " bereits vorhanden! Es wurde kein neuer angelegt!\n",
       "64x48x0"},
      {"long last line without line feed", settings() + group("g") + "#" + equals, 0, "",
       "64x48x0"},
      {"nothing but one long line", equals, 1, noSettingsMessages(), ""},
  };
  expectOutcomes(cases);
}

TEST(HostileConfiguration, HundredThousandSections) {
  // Each section is a group without particles but one; every name is new.
  std::string config = settings();
  for (int i = 0; i < 100000; ++i) config += group("g" + std::to_string(i), i == 99999 ? "2" : "0");
  ProgramRun run = runFile(config);
  expectOrderlyEnd(run, "distinct sections");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  // Finding a name among those read so far must not grow with their number.
  EXPECT_LT(run.seconds, 10.0);

  // The same header again and again: one section, and a word for each copy.
  run = runFile(settings() + repeat("[g]\n", 100000));
  expectOrderlyEnd(run, "one section repeated");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            repeat("Schl\xFCssel g bereits vorhanden! Es wurde kein neuer angelegt!\n", 99999) +
                "Wert x konnte nicht gefunden werden.\nWert y konnte nicht gefunden werden.\n"
                "Wert anz konnte nicht gefunden werden.\n"
                "Wert farbe konnte nicht gefunden werden.\n");
  EXPECT_LT(run.seconds, 10.0);
}

TEST(HostileConfiguration, KeyRepeatedHundredThousandTimes) {
  // The first value counts; a repeat that won would make the width invalid.
  const std::string config = "[FLIM]\nbreite=64\n" + repeat("breite=0\n", 99999) +
                             without(settings(), "[FLIM]\nbreite=64\n") + group("g");
  ProgramRun run = runFile(config);
  expectOrderlyEnd(run, "repeated key");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            repeat("Wert breite bereits vorhanden! Es wurde kein neuer angelegt!\n", 99999));
  EXPECT_EQ(requestedMode(run), "64x48x0");
  EXPECT_LT(run.seconds, 10.0);
}

TEST(HostileConfiguration, NumbersBeyondInt) {
  // Numbers are converted the way the C library's atoi converts them with
  // a 64-bit long: cut to their low 32 bits (99999999999 is 0x174876E7FF),
  // and beyond long first held at its largest value, whose low 32 bits
  // make -1.
  const Outcome cases[] = {
      {"height far below int", settings("64", "-99999999999"), 1,
       "Ung\xFCltiger Wert f\xFCr hoehe: -1215752191\n", ""},
      {"trail beyond long", settings("64", "48", "99999999999999999999999"), 1,
       "Ung\xFCltiger Wert f\xFCr schweiflaenge: -1\n", ""},
      {"range beyond int", settings("64", "48", "6", "4294967298") + group("g"), 0, "", "64x48x0"},
      {"depth beyond int", settings("64", "48", "6", "2", "4294967328", "1") + group("g"), 0, "",
       "64x48x32"},
      {"start far outside the grid",
       settings() + group("g", "3", "2", "99999999999", "-99999999999"), 0, "", "64x48x0"},
      {"count beyond int that converts to none", settings() + group("g", "4294967296"), 0, "",
       "64x48x0"},
      {"colour beyond int", settings() + group("g", "3", "99999999999"), 0,
       "Farbe 1215752191 in Gruppe g ist ung\xFCltig! Die Gruppe wird \xFC"
       "bersprungen.\n",
       "64x48x0"},
  };
  expectOutcomes(cases);
}

TEST(HostileConfiguration, SignsAndBlanksAroundNumbers) {
  struct Case {
    std::string width;
    std::string mode;  // "" when the width is refused
  };
  const Case cases[] = {
      {"+64", "64x48x0"},
      {" 64", "64x48x0"},
      {"64 ", "64x48x0"},
      {"\t64\t", "64x48x0"},
      {"064", "64x48x0"},
      {"64px", "64x48x0"},
      {"6 4", "6x48x0"},
      {"-64", ""},
      {"- 64", ""},
      {"+-64", ""},
      {"0x40", ""},
      {"", ""},
      {"\xA0"
       "64",
       ""},
  };
  for (const Case& c : cases) {
    ProgramRun run = runFile(settings(c.width) + group("g", "3", "4", "1", "1"));
    expectOrderlyEnd(run, "[" + c.width + "]");
    EXPECT_EQ(requestedMode(run), c.mode) << "[" << c.width << "]";
    if (c.mode.empty()) {
      EXPECT_EQ(run.status, 1) << "[" << c.width << "]";
      const std::string refused = "Ung\xFCltiger Wert f\xFCr breite: ";
      EXPECT_EQ(run.err.substr(0, refused.size()), refused) << "[" << c.width << "]";
    } else {
      EXPECT_EQ(run.status, 0) << "[" << c.width << "]";
      EXPECT_EQ(run.err, "") << "[" << c.width << "]";
    }
  }
  // Blanks around a key make another key: the setting is missing.
  ProgramRun run =
      runFile("[FLIM]\nbreite =64\n" + without(settings(), "[FLIM]\nbreite=64\n") + group("g"));
  expectOrderlyEnd(run, "blank after the key");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "Wert breite konnte nicht gefunden werden.\nUng\xFCltiger Wert f\xFCr breite: 0\n");
}

TEST(HostileConfiguration, OddModesInFullScreen) {
  struct Case {
    std::string width;
    std::string depth;
    int status;
  };
  const Case cases[] = {
      // 0 asks for the display's own depth; SDL refuses depths outside
      // 8...32.
      {"64", "0", 0},
      {"64", "7", 1},
      {"64", "-5", 1},
      {"64", "99", 1},
      {"64", "33", 1},
      {"64", "1", 1},
      // SDL keeps the pitch in 16 bits: a row of 65,536 bytes wraps it (or
      // SDL refuses the mode itself), one of 65,532 does not.
      {"16384", "32", 1},
      {"16383", "32", 0},
  };
  for (const Case& c : cases) {
    const std::string what = c.width + "x48x" + c.depth;
    ProgramRun run = runFile(settings(c.width, "48", "6", "2", c.depth, "1") + group("g"));
    expectOrderlyEnd(run, what);
    EXPECT_EQ(run.status, c.status) << what;
    EXPECT_EQ(requestedMode(run), what);
    if (c.status == 0) {
      EXPECT_EQ(run.err, "") << what;
    } else {
      EXPECT_EQ(run.err.substr(0, kModeMessage.size()), kModeMessage) << what;
    }
  }
}

// SDL 1.2's dummy driver gives a full-screen surface of a depth between
// whole bytes a pixel buffer of only width * height * (depth / 8) bytes,
// while the surface's pitch counts whole bytes per pixel. The program asks
// for the next whole byte instead, and runs.
TEST(HostileConfiguration, FullScreenDepthsBetweenWholeBytes) {
  struct Case {
    std::string depth;
    std::string asked;
  };
  const Case cases[] = {{"9", "16"},  {"12", "16"}, {"15", "16"}, {"17", "24"},
                        {"20", "24"}, {"25", "32"}, {"31", "32"}, {"65548", "16"}};
  for (const Case& c : cases) {
    ProgramRun run = runFile(settings("64", "48", "6", "2", c.depth, "1") + group("g", "20"), 20);
    expectOrderlyEnd(run, c.depth);
    EXPECT_EQ(run.status, 0) << c.depth;
    EXPECT_EQ(run.err, "") << c.depth;
    EXPECT_EQ(requestedMode(run), "64x48x" + c.asked) << c.depth;
  }
}

TEST(HostileConfiguration, PathsThatAreNoConfigurationFile) {
  TempDir dir;
  const std::string file = dir.path() + "/plain.ini";
  std::ofstream(file) << settings() << group("g");
  struct Case {
    std::string what;
    std::string path;
    int status;
    std::string err;
  };
  const auto notFound = [](const std::string& path) {
    return "Ini-Datei " + path + " konnte nicht gefunden werden!\n";
  };
  const std::string overlong = dir.path() + "/" + repeat("d/", 3000) + "x.ini";
  const Case cases[] = {
      {"directory", dir.path(), 1, notFound(dir.path())},
      {"directory with a slash", dir.path() + "/", 1, notFound(dir.path() + "/")},
      {"empty path", "", 1, notFound("")},
      {"file used as a directory", file + "/x.ini", 1, notFound(file + "/x.ini")},
      {"path longer than the system allows", overlong, 1, notFound(overlong)},
      {"empty device", "/dev/null", 1, noSettingsMessages()},
      // Opens, but every read fails.
      {"memory of the process itself", "/proc/self/mem", 1, noSettingsMessages()},
  };
  for (const Case& c : cases) {
    ProgramRun run = runProgram({c.path}, {{"PROBE_QUIT_AFTER", "3"}}, {}, kTimeout);
    expectOrderlyEnd(run, c.what);
    EXPECT_EQ(run.status, c.status) << c.what;
    EXPECT_EQ(run.err, c.err) << c.what;
    EXPECT_EQ(requestedMode(run), "") << c.what;
  }
}

TEST(HostileConfiguration, UnreadableFile) {
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0711), 0);
  const std::string file = dir.path() + "/locked.ini";
  std::ofstream(file) << settings() << group("g");
  ASSERT_EQ(chmod(file.c_str(), 0), 0);
  const std::string notFound = "Ini-Datei " + file + " konnte nicht gefunden werden!\n";

  ProgramRun run = runProgram({file}, {{"PROBE_QUIT_AFTER", "3"}}, {}, kTimeout);
  expectOrderlyEnd(run, "mode 000");
  if (geteuid() == 0) {
    // The superuser reads the file whatever its mode says.
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(requestedMode(run), "64x48x0");
  } else {
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, notFound);
  }
}

// Copies a file, keeping it executable for everyone.
bool copyForEveryone(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
  out.close();
  return in && out && chmod(to.c_str(), 0755) == 0;
}

TEST(HostileConfiguration, UnreadableFileForAnOrdinaryUser) {
  if (geteuid() != 0) GTEST_SKIP() << "runs as an ordinary user already (UnreadableFile)";
  const int nobody = 65534;
  // The build tree may be closed to other users: the program and the probe
  // run from copies that everyone can reach.
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  RunOptions options;
  options.user = nobody;
  options.program = dir.path() + "/flimmerwerk";
  const std::string probe = dir.path() + "/sdl_probe.so";
  ASSERT_TRUE(copyForEveryone(FLIMMER_BINARY, options.program));
  ASSERT_TRUE(copyForEveryone(FLIMMER_PROBE, probe));
  const std::string file = dir.path() + "/locked.ini";
  std::ofstream(file) << settings() << group("g");
  ASSERT_EQ(chmod(file.c_str(), 0), 0);
  const std::map<std::string, std::string> env = {{"PROBE_QUIT_AFTER", "3"}, {"LD_PRELOAD", probe}};

  ProgramRun run = runProgram({file}, env, {}, kTimeout, options);
  expectOrderlyEnd(run, "mode 000, ordinary user");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Ini-Datei " + file + " konnte nicht gefunden werden!\n");

  // The same file, readable again: the change of user alone stops nothing.
  ASSERT_EQ(chmod(file.c_str(), 0644), 0);
  run = runProgram({file}, env, {}, kTimeout, options);
  expectOrderlyEnd(run, "readable, ordinary user");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
}

#ifdef FLIMMER_SANITIZED
#define SKIP_UNDER_SANITIZER() \
  GTEST_SKIP() << "a sanitized program reserves more address space than any limit here"
#else
#define SKIP_UNDER_SANITIZER() (void)0
#endif

TEST(HostileConfigurationUnderMemoryLimit, HugeParticleCounts) {
  SKIP_UNDER_SANITIZER();
  struct Case {
    std::string what;
    std::string config;
  };
  const Case cases[] = {
      {"long trails", settings("64", "48", "32767") + group("g", "2000000000")},
      {"short trails", settings("64", "48", "1") + group("g", "2000000000")},
      {"many groups", settings("64", "48", "32767") + group("a", "3000") + group("b", "3000") +
                          group("c", "3000") + group("d", "3000")},
      {"count beyond int", settings("64", "48", "1000") + group("g", "99999999999")},
  };
  for (const Case& c : cases) {
    ProgramRun run = runFile(c.config, 3, memoryLimit(512));
    expectOrderlyEnd(run, c.what);
    EXPECT_EQ(run.status, 2) << c.what;
    EXPECT_TRUE(run.err == kTrailMessage || run.err == kParticleMessage)
        << c.what << ": " << run.err;
    EXPECT_EQ(requestedMode(run), "64x48x0") << c.what;
  }
}

TEST(HostileConfigurationUnderMemoryLimit, HugeGrid) {
  SKIP_UNDER_SANITIZER();
  // A 30000 x 30000 window: SDL's 8-bit surface takes 900 MB, the grid
  // 3.6 GB.
  const std::string config = settings("30000", "30000", "4") + group("g");
  if (onSdl12Compat()) {
    // sdl12-compat refuses a window this large before any memory question.
    for (unsigned long long megabytes : {1536ull, 512ull}) {
      ProgramRun run = runFile(config, 3, memoryLimit(megabytes));
      expectOrderlyEnd(run, "too large for sdl12-compat");
      EXPECT_EQ(run.status, 1) << megabytes;
      EXPECT_EQ(run.err, kModeMessage + "Window is too large.\n") << megabytes;
      EXPECT_EQ(requestedMode(run), "30000x30000x0") << megabytes;
    }
    return;
  }
  ProgramRun run = runFile(config, 3, memoryLimit(1536));
  expectOrderlyEnd(run, "room for the surface");
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(run.err == kGridMessage || run.err == kRampMessage) << run.err;
  EXPECT_EQ(requestedMode(run), "30000x30000x0");

  // Not even the surface fits: SDL says so.
  run = runFile(config, 3, memoryLimit(512));
  expectOrderlyEnd(run, "no room for the surface");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.substr(0, kModeMessage.size()), kModeMessage);
}

TEST(HostileConfigurationUnderMemoryLimit, EndlessLine) {
  SKIP_UNDER_SANITIZER();
  // An endless stream of NUL bytes without a line end: reading stops when
  // memory runs out, and what was read holds no settings.
  ProgramRun run =
      runProgram({"/dev/zero"}, {{"PROBE_QUIT_AFTER", "3"}}, {}, kTimeout, memoryLimit(512));
  expectOrderlyEnd(run, "/dev/zero");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, noSettingsMessages());
}

}  // namespace
