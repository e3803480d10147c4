// The configurations shipped with the program -- the bundled flimmer.ini
// and everything in examples/ -- must load without a single diagnostic,
// create every particle they describe and animate. Each is run the way the
// program runs it, with the video driver switched to dummy.

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/settings.h"
#include "config/ini_file.h"
#include "scene/scene.h"

namespace {

namespace fs = std::filesystem;

const char kSourceDir[] = FLIMMER_SOURCE_DIR;

std::vector<std::string> exampleFiles() {
  std::vector<std::string> paths;
  std::error_code error;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(fs::path(kSourceDir) / "examples", error)) {
    if (entry.path().extension() == ".ini") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::vector<std::string> shippedConfigurations() {
  std::vector<std::string> paths{(fs::path(kSourceDir) / "flimmer.ini").string()};
  for (const std::string& path : exampleFiles()) paths.push_back(path);
  return paths;
}

std::string testName(const testing::TestParamInfo<std::string>& info) {
  std::string name = fs::path(info.param).filename().string();
  for (char& c : name) {
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

int sumOfCounts(IniFile& ini) {
  int total = 0;
  for (IniSection* s = ini.sections() ? ini.sections()->next : nullptr; s; s = s->next) {
    ini.setCurrentSection(s);
    total += ini.getInt(nullptr, "anz");
  }
  return total;
}

// What loading and running one configuration showed.
struct LoadResult {
  std::string diagnostics;  // everything written to standard error
  std::string refusal;      // what the program would end with instead
  bool sceneBuilt = false;
  size_t particles = 0;
  int described = 0;  // the sum of the groups' counts
};

// The program's own start, then a few frames; SDL goes before the scene is
// torn down. Nothing in here may stop the test while standard error is
// captured.
LoadResult runConfiguration(const std::string& path) {
  LoadResult run;
  testing::internal::CaptureStderr();
  if (SDL_Init(SDL_INIT_VIDEO) == 0) {
    IniFile ini(path.c_str());
    SceneStart start = startScene(ini);
    run.refusal = start.refusal;
    if (start.scene) {
      run.sceneBuilt = true;
      run.particles = start.scene->particles().size();
      for (int i = 0; i < 5; ++i) start.scene->frame();
    }
    SDL_Quit();
    start.scene.reset();
    run.described = sumOfCounts(ini);
  } else {
    fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
  }
  run.diagnostics = testing::internal::GetCapturedStderr();
  return run;
}

// Run by hand, outside CTest, SDL would otherwise pick whatever display or
// terminal it finds.
class HeadlessVideo : public testing::Environment {
 public:
  void SetUp() override { setenv("SDL_VIDEODRIVER", "dummy", 1); }
};
testing::Environment* const kHeadless = testing::AddGlobalTestEnvironment(new HeadlessVideo);

class ShippedConfiguration : public testing::TestWithParam<std::string> {};

TEST_P(ShippedConfiguration, LoadsSilentlyAndAnimates) {
  const LoadResult run = runConfiguration(GetParam());
  EXPECT_EQ(run.diagnostics, "");
  EXPECT_EQ(run.refusal, "");
  ASSERT_TRUE(run.sceneBuilt);
  EXPECT_GT(run.particles, 0u);
  EXPECT_EQ(run.particles, static_cast<size_t>(run.described)) << "a group was left out";
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedConfiguration, testing::ValuesIn(shippedConfigurations()),
                         testName);

}  // namespace
