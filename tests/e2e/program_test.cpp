// The built program, run the way its users run it: a configuration file,
// standard error, the exit status, the SDL calls it makes and the frames
// it shows. A preloaded probe ends the main loop with an Escape key press
// and records the calls.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "app/frame_rate.h"
#include "scene/shared_state.h"
#include "tests/e2e/program_runner.h"

namespace {

const std::string kNotFound = "Schl\xFCssel FLIM konnte nicht gefunden werden.\n";

std::string bundledExample() {
  std::ifstream in(FLIMMER_SOURCE_DIR "/flimmer.ini", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs the configuration until the probe presses Escape after the given
// number of frames.
ProgramRun runConfig(const std::string& config, int frames = 3,
                     std::map<std::string, std::string> env = {}) {
  env["PROBE_QUIT_AFTER"] = std::to_string(frames);
  return runProgram({"test.ini"}, env, {{"test.ini", config}});
}

TEST(Program, MissingConfigurationFile) {
  // Without an argument the program looks for flimmer.ini in the working
  // directory.
  ProgramRun run = runProgram({});
  EXPECT_EQ(run.err, "Ini-Datei flimmer.ini konnte nicht gefunden werden!\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(logLines(run, "SDL_SetVideoMode").empty());

  const std::string path = "/nonexistent/" + std::string(120, 'd') + "/flimmer.ini";
  run = runProgram({path, "ignored"});
  EXPECT_EQ(run.err, "Ini-Datei " + path + " konnte nicht gefunden werden!\n");
  EXPECT_EQ(run.status, 1);
}

TEST(Program, DefaultConfigurationInWorkingDirectory) {
  ProgramRun run = runProgram({}, {{"PROBE_QUIT_AFTER", "2"}}, {{"flimmer.ini", bundledExample()}});
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
}

TEST(Program, FileWithoutSettingsSection) {
  ProgramRun run = runConfig(group("gruppe", 5, 1, 1, 1));
  std::string expected;
  for (int i = 0; i < 8; ++i) expected += kNotFound;
  expected += "Ung\xFCltiger Wert f\xFCr breite: 0\n";
  EXPECT_EQ(run.err, expected);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(logLines(run, "SDL_SetVideoMode").empty());
}

TEST(Program, SettingsItCannotRunWith) {
  struct Case {
    std::string config;
    std::string message;
  };
  const Case cases[] = {
      {settings(0, 480, 20, 3), "breite: 0"},
      {settings(32768, 480, 20, 3), "breite: 32768"},
      {settings(640, -1, 20, 3), "hoehe: -1"},
      {settings(640, 480, 0, 3), "schweiflaenge: 0"},
      {settings(640, 480, 40000, 3), "schweiflaenge: 40000"},
      {settings(640, 480, 20, 0), "richtungen: 0"},
      {settings(640, 480, 20, 32768), "richtungen: 32768"},
      {settings(640, 480, 20, -32769), "richtungen: -32769"},
      // The first offending key in reading order is named.
      {settings(0, 0, 0, 0), "breite: 0"},
      {settings(640, 0, 0, 0), "hoehe: 0"},
      // Numbers beyond int are cut to their low 32 bits, as the C library's
      // atoi does with a 64-bit long: 99999999999 is 0x174876E7FF.
      {"[FLIM]\nbreite=99999999999\nhoehe=1\nschweiflaenge=1\nrichtungen=1\nfarbtiefe=0\n"
       "fullscreen=0\nzuf_richtungswechsel=0\nconst_geschw=0\n",
       "breite: 1215752191"},
  };
  for (const Case& c : cases) {
    ProgramRun run = runConfig(c.config);
    EXPECT_EQ(run.err, "Ung\xFCltiger Wert f\xFCr " + c.message + "\n") << c.config;
    EXPECT_EQ(run.status, 1) << c.config;
  }
}

TEST(Program, MissingSettingsAreReportedAndCountAsZero) {
  const std::string config = "[FLIM]\nbreite=64\nhoehe=48\nschweiflaenge=5\nrichtungen=-2\n";
  ProgramRun run = runConfig(config);
  EXPECT_EQ(run.err,
            "Wert farbtiefe konnte nicht gefunden werden.\n"
            "Wert fullscreen konnte nicht gefunden werden.\n"
            "Wert zuf_richtungswechsel konnte nicht gefunden werden.\n"
            "Wert const_geschw konnte nicht gefunden werden.\n");
  EXPECT_EQ(run.status, 0);

  // Started without standard error (a launcher's 2>&-), the messages are
  // lost. The probe opens its log inside SDL_Init, as SDL opens its display
  // connection there: that file must not get descriptor 2 and the messages.
  for (const std::vector<int>& closed : {std::vector<int>{2}, std::vector<int>{1, 2}}) {
    RunOptions options;
    options.closed = closed;
    run =
        runProgram({"test.ini"}, {{"PROBE_QUIT_AFTER", "3"}}, {{"test.ini", config}}, 60, options);
    EXPECT_EQ(run.status, 0) << closed.size();
    EXPECT_EQ(run.log.find("Wert"), std::string::npos) << closed.size() << "\n" << run.log;
    EXPECT_EQ(logLines(run, "SDL_Quit").size(), 1u) << closed.size();
  }
}

TEST(Program, SignalsEndStartUpAtOnceAndTheMainLoopThroughQuit) {
  struct Case {
    std::string what;
    std::string config;
    bool errorPipe;
    int signal;
    std::string at;  // sent once the probe has logged this call
    int status;
  };
  const std::string scene = settings(64, 48, 20, 3);
  std::string repeatedKey = "[FLIM]\n";
  for (int i = 0; i < 100000; ++i) repeatedKey += "breite=64\n";
  const Case cases[] = {
      // Six megabytes of messages into a pipe nobody reads: blocked in write.
      {"blocked writing", repeatedKey + scene, true, SIGTERM, "SDL_WM_SetCaption", 128 + SIGTERM},
      // A second or more to make the particles.
      {"making a million particles", scene + group("g", 1000000, 1, 5, 5), false, SIGINT,
       "SDL_SetVideoMode", 128 + SIGINT},
      {"SIGTERM in the main loop", scene + group("g", 10, 1, 5, 5), false, SIGTERM, "SDL_Flip", 0},
      {"SIGINT in the main loop", scene + group("g", 10, 1, 5, 5), false, SIGINT, "SDL_Flip", 0},
  };
  for (const Case& c : cases) {
    RunOptions options;
    options.errorPipe = c.errorPipe;
    options.signal = c.signal;
    options.signalAt = c.at;
    ProgramRun run = runProgram({"test.ini"}, {}, {{"test.ini", c.config}}, 30, options);
    EXPECT_FALSE(run.timedOut) << c.what;
    EXPECT_EQ(run.status, c.status) << c.what;
    // Ended by the signal before any frame, or through SDL's quit event.
    EXPECT_EQ(logLines(run, "SDL_Quit").size(), c.status == 0 ? 1u : 0u) << c.what;
    if (c.status != 0) {
      EXPECT_TRUE(logLines(run, "SDL_Flip").empty()) << c.what;
    }
  }
}

TEST(Program, LimitsAreAccepted) {
  for (const std::string& config : {settings(1, 1, 1, 1), settings(1, 1, 1, -1),
                                    settings(1, 1, 1, -32768), settings(2, 3, 32767, 32767),
                                    // Depth and the flags are never refused.
                                    settings(1, 1, 1, 1, -99, 0, -1, 7)}) {
    ProgramRun run = runConfig(config + group("g", 3, 2, 0, 0), 2);
    EXPECT_EQ(run.err, "") << config;
    EXPECT_EQ(run.status, 0) << config;
  }
}

TEST(Program, CallsSdlInItsOrder) {
  ProgramRun run = runConfig(settings(64, 48, 2, 3) + group("g", 2, 1, 5, 5), 1);
  ASSERT_EQ(run.status, 0);
  std::istringstream log(run.log);
  std::vector<std::string> calls;
  for (std::string line; std::getline(log, line);) calls.push_back(line);
  std::vector<std::string> expected = {"SDL_Init 0x20", "SDL_WM_SetCaption Flimmerwerk|Flimmerwerk",
                                       "SDL_SetVideoMode 64 48 0 0x40000000 rand=0"};
  // Trail 2: the pure colours, then every ramp at white.
  for (const bool* full : kRampColours)
    expected.push_back(std::string("SDL_MapRGB ") + (full[0] ? "255" : "0") + " " +
                       (full[1] ? "255" : "0") + " " + (full[2] ? "255" : "0"));
  const size_t ramps = expected.size();
  expected.insert(expected.end(), RAMP_COUNT, "SDL_MapRGB 255 255 255");
  // First frame: events, timing, the lazily mapped background.
  expected.insert(expected.end(), {"SDL_PollEvent -> 0", "SDL_GetTicks", "SDL_MapRGB 255 255 255"});
  ASSERT_GT(calls.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(calls[i], expected[i]) << i;
  EXPECT_EQ(calls[expected.size()].substr(0, 16), "SDL_FillRect all");
  EXPECT_EQ(calls[expected.size() + 1], "SDL_LockSurface");
  EXPECT_EQ(calls[expected.size() + 2], "SDL_UnlockSurface");
  // Two particles, three draws each at construction; at most a few more.
  EXPECT_EQ(calls[expected.size() + 3].substr(0, 8), "SDL_Flip");
  EXPECT_EQ(calls[expected.size() + 4], "SDL_GetTicks");
  EXPECT_EQ(calls.back().substr(0, 8), "SDL_Quit");
  // The background is mapped once for the whole run.
  int backgrounds = 0;
  for (size_t i = ramps + RAMP_COUNT; i < calls.size(); ++i)
    backgrounds += calls[i] == "SDL_MapRGB 255 255 255";
  EXPECT_EQ(backgrounds, 1);
}

TEST(Program, FullScreenUsesTheConfiguredDepth) {
  ProgramRun run = runConfig(settings(64, 48, 3, 2, 32, 1), 1);
  EXPECT_EQ(logLines(run, "SDL_SetVideoMode"),
            std::vector<std::string>{"SDL_SetVideoMode 64 48 32 0xc0000000 rand=0"});
  // The depth is a 16-bit value.
  run = runConfig(settings(64, 48, 3, 2, 65536 + 24, 5), 1);
  EXPECT_EQ(logLines(run, "SDL_SetVideoMode"),
            std::vector<std::string>{"SDL_SetVideoMode 64 48 24 0xc0000000 rand=0"});
  EXPECT_EQ(run.status, 0);
  // Windowed mode ignores it.
  run = runConfig(settings(64, 48, 3, 2, 32, 0), 1);
  EXPECT_EQ(logLines(run, "SDL_SetVideoMode"),
            std::vector<std::string>{"SDL_SetVideoMode 64 48 0 0x40000000 rand=0"});
}

TEST(Program, CaptionShowsTheAverageRateEveryTenFrames) {
  struct Case {
    int frames;
    std::string step;  // milliseconds per SDL_GetTicks call
    std::vector<std::string> captions;
  };
  // The caption of ten frames of the given milliseconds each, as set.
  const auto shown = [](uint32_t milliseconds) {
    FrameRate rate("");
    for (int i = 0; i < 10; ++i) rate.count(milliseconds);
    return "SDL_WM_SetCaption " + std::string(rate.caption()) + "|" + rate.caption();
  };
  const std::string start = "SDL_WM_SetCaption Flimmerwerk|Flimmerwerk";
  const Case cases[] = {
      // Nine frames keep the start caption.
      {8, "4", {start}},
      // Each frame measures 4 ms.
      {9, "4", {start, shown(4)}},
      {19, "3", {start, shown(3), shown(3)}},
      // While no time is measured the caption keeps its text.
      {9, "0", {start, start}},
  };
  for (const Case& c : cases) {
    ProgramRun run = runConfig(settings(32, 32, 3, 1) + group("g", 1, 0, 1, 1), c.frames,
                               {{"PROBE_TICK_STEP", c.step}});
    EXPECT_EQ(logLines(run, "SDL_WM_SetCaption"), c.captions) << c.frames << " " << c.step;
    EXPECT_EQ(run.status, 0);
  }
}

TEST(Program, EndsOnEscapeOrCloseAfterDrawingThatFrame) {
  struct Case {
    std::string events;
    std::string flips;
  };
  // The probe sends the events in the event drain after the third flip;
  // each "wait" lets one more frame be drawn.
  const Case cases[] = {
      {"esc", "flips=4"},
      {"quit", "flips=4"},
      {"space,escup,wait,wait,esc", "flips=6"},
  };
  for (const Case& c : cases) {
    ProgramRun run = runConfig(settings(400, 400, 3, 1, 0, 0, 0, 1) + group("g", 2, 3, 200, 200), 3,
                               {{"PROBE_EVENTS", c.events}});
    EXPECT_EQ(run.status, 0) << c.events;
    const std::vector<std::string> quit = logLines(run, "SDL_Quit");
    ASSERT_EQ(quit.size(), 1u);
    EXPECT_EQ(quit[0].substr(quit[0].find("flips=")), c.flips) << c.events;
    // No turns and no border in reach: no frame after the first draws a
    // random number (the first flip and the end count alike).
    const std::string firstFlip = logLines(run, "SDL_Flip")[0];
    EXPECT_EQ(quit[0].substr(9, quit[0].find(" flips") - 9), firstFlip.substr(9)) << c.events;
  }
}

TEST(Program, SdlFailuresEndWithTheirStatus) {
  struct Case {
    std::map<std::string, std::string> env;
    std::string config;
    std::string err;
    int status;
  };
  const std::string scene = settings(40, 30, 4, 2) + group("g", 4, 5, 3, 3);
  const Case cases[] = {
      {{{"SDL_VIDEODRIVER", "keiner"}}, scene, "", 1},
      {{{"PROBE_FAIL", "init"}},
       scene,
       "SDL konnte nicht initialisiert werden: probe refuses to start\n",
       1},
      {{{"PROBE_FAIL", "video"}},
       scene,
       "Konnte Bildschirmmodus nicht setzten: probe refuses the mode\n",
       1},
      {{{"PROBE_FAIL", "fill:2"}}, scene, "Fehler bei FillRect: probe refuses to fill\n", 6},
      {{{"PROBE_FAIL", "lock:3"}}, scene, "SDL_LockSurface fehlgeschlagen.\n", 3},
      // Without particles the fill's result does not matter.
      {{{"PROBE_FAIL", "fill:2"}}, settings(40, 30, 4, 2), "", 0},
  };
  for (const Case& c : cases) {
    ProgramRun run = runConfig(c.config, 5, c.env);
    if (c.env.begin()->second == "keiner")
      EXPECT_EQ(run.err.substr(0, 39), "SDL konnte nicht initialisiert werden: ");
    else
      EXPECT_EQ(run.err, c.err) << c.env.begin()->second;
    EXPECT_EQ(run.status, c.status) << c.env.begin()->second;
  }
}

TEST(Program, EmptySceneShowsOnlyWhite) {
  TempDir dir;
  const std::string dump = dir.path() + "/frame.ppm";
  ProgramRun run = runConfig(settings(50, 40, 5, 2, 32, 1), 4, {{"PROBE_DUMP", dump}});
  EXPECT_EQ(run.status, 0);
  Picture picture = readPicture(dump);
  ASSERT_TRUE(picture.valid());
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) ASSERT_EQ(picture.pixel(x, y), 0xFFFFFFul);
}

TEST(Program, BundledExampleShowsRedAndCyanOnWhite) {
  TempDir dir;
  const std::string dump = dir.path() + "/frame.ppm";
  ProgramRun run = runProgram({}, {{"PROBE_QUIT_AFTER", "30"}, {"PROBE_DUMP", dump}},
                              {{"flimmer.ini", bundledExample()}});
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  Picture picture = readPicture(dump);
  ASSERT_TRUE(picture.valid());
  EXPECT_EQ(picture.width, 640);
  EXPECT_EQ(picture.height, 480);
  std::map<unsigned long, int> counts;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) ++counts[picture.pixel(x, y)];
  EXPECT_GT(counts[0xFFFFFF], 640 * 480 * 9 / 10);
  EXPECT_GT(counts[0xFF0000], 0);
  EXPECT_GT(counts[0x00FFFF], 0);
  EXPECT_EQ(counts[0x00FF00], 0);
}

TEST(Program, EveryConfiguredColourIsShown) {
  std::string config = settings(200, 150, 8, 2, 32, 1, 1, 1);
  for (int colour = 0; colour < RAMP_COUNT; ++colour)
    config +=
        group("gruppe" + std::to_string(colour), 10, colour, 20 + 25 * colour, 20 + 15 * colour);
  TempDir dir;
  const std::string dump = dir.path() + "/frame.ppm";
  ProgramRun run = runConfig(config, 20, {{"PROBE_DUMP", dump}});
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  Picture picture = readPicture(dump);
  ASSERT_TRUE(picture.valid());
  std::set<unsigned long> seen;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) seen.insert(picture.pixel(x, y));
  EXPECT_TRUE(seen.count(0xFFFFFF));
  for (const bool* full : kRampColours) {
    const unsigned long head =
        (full[0] ? 0xFF0000 : 0) | (full[1] ? 0xFF00 : 0) | (full[2] ? 0xFF : 0);
    EXPECT_TRUE(seen.count(head)) << std::hex << head;
  }
}

TEST(Program, SameSeedSameFrames) {
  TempDir dir;
  const std::string config = bundledExample();
  std::string frames[2];
  for (int i = 0; i < 2; ++i) {
    const std::string dump = dir.path() + "/frame" + std::to_string(i) + ".ppm";
    ProgramRun run = runProgram(
        {}, {{"PROBE_QUIT_AFTER", "25"}, {"PROBE_DUMP", dump}, {"PROBE_TIME", "1234567"}},
        {{"flimmer.ini", config}});
    ASSERT_EQ(run.status, 0);
    std::ifstream in(dump, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    frames[i] = bytes.str();
  }
  EXPECT_FALSE(frames[0].empty());
  EXPECT_EQ(frames[0], frames[1]);
}

}  // namespace
