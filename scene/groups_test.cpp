#include "scene/groups.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "config/ini_file.h"
#include "scene/scene.h"
#include "tests/test_support.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

const char kSettings[] = "[FLIM]\nbreite=100\nhoehe=80\nschweiflaenge=3\nrichtungen=2\n";

class GroupsTest : public WithDummyDisplay<> {
 protected:
  void SetUp() override {
    WithDummyDisplay::SetUp();
    if (HasFatalFailure()) return;
    scene_ = std::make_unique<Scene>(100, 80, 3, 2, 32, true);
  }
  void TearDown() override {
    scene_.reset();
    WithDummyDisplay::TearDown();
  }

  // Loads the configuration, creates its groups and returns what that
  // printed.
  std::string create(const std::string& text) {
    TempFile file(text);
    IniFile ini(file.c_str());
    CaptureStderr();
    createGroups(ini, *scene_);
    return GetCapturedStderr();
  }

  // (colour, start x, start y) of every particle, in list order.
  std::vector<std::vector<int>> particles() {
    std::vector<std::vector<int>> result;
    for (const Particle* p : scene_->particles()) result.push_back({p->colour(), p->x(), p->y()});
    return result;
  }

  std::unique_ptr<Scene> scene_;
};

using Particles = std::vector<std::vector<int>>;

TEST_F(GroupsTest, EverySectionAfterTheFirstIsAGroupInFileOrder) {
  EXPECT_EQ(create(std::string(kSettings) + "[b]\nx=10\ny=20\nanz=2\nfarbe=6\n"
                                            "[a]\nfarbe=1\nanz=1\ny=-4\nx=500\n"),
            "");
  EXPECT_EQ(particles(), (Particles{{6, 10, 20}, {6, 10, 20}, {1, 99, 0}}));
}

TEST_F(GroupsTest, OnlySettingsGivesAnEmptyScene) {
  EXPECT_EQ(create(kSettings), "");
  EXPECT_TRUE(particles().empty());
  EXPECT_EQ(create(""), "");
}

TEST_F(GroupsTest, GroupWithoutParticlesIsSilent) {
  EXPECT_EQ(create(std::string(kSettings) +
                   "[g]\nx=1\ny=1\nanz=0\nfarbe=9\n[h]\nx=1\ny=1\nanz=-3\nfarbe=2\n"),
            "");
  EXPECT_TRUE(particles().empty());
}

TEST_F(GroupsTest, MissingKeysAreReportedInReadingOrder) {
  EXPECT_EQ(create(std::string(kSettings) + "[leer]\n"),
            "Wert x konnte nicht gefunden werden.\n"
            "Wert y konnte nicht gefunden werden.\n"
            "Wert anz konnte nicht gefunden werden.\n"
            "Wert farbe konnte nicht gefunden werden.\n");
  EXPECT_TRUE(particles().empty());
}

TEST_F(GroupsTest, ColourOutsideTheRampsSkipsTheGroup) {
  const std::string past = std::to_string(RAMP_COUNT);  // the first number past the ramps
  const std::string skipped =
      " ist ung\xFCltig! Die Gruppe wird \xFC"
      "bersprungen.\n";
  EXPECT_EQ(create(std::string(kSettings) + "[rot]\nx=1\ny=1\nanz=1\nfarbe=1\n" +
                   "[dahinter]\nx=1\ny=1\nanz=2\nfarbe=" + past + "\n" +
                   "[minus]\nx=1\ny=1\nanz=2\nfarbe=-1\n[gross]\nx=1\ny=1\nanz=2\nfarbe=65537\n" +
                   "[blau]\nx=2\ny=2\nanz=1\nfarbe=3\n"),
            "Farbe " + past + " in Gruppe dahinter" + skipped + "Farbe -1 in Gruppe minus" +
                skipped + "Farbe 65537 in Gruppe gross" + skipped);
  EXPECT_EQ(particles(), (Particles{{1, 1, 1}, {3, 2, 2}}));
}

TEST_F(GroupsTest, SettingsNotFirstAreWalkedAsAGroup) {
  EXPECT_EQ(create("[g]\nx=1\ny=1\nanz=4\nfarbe=2\n" + std::string(kSettings)),
            "Wert x konnte nicht gefunden werden.\n"
            "Wert y konnte nicht gefunden werden.\n"
            "Wert anz konnte nicht gefunden werden.\n"
            "Wert farbe konnte nicht gefunden werden.\n");
  EXPECT_TRUE(particles().empty());
}

TEST_F(GroupsTest, RepeatedGroupNameMakesOneGroup) {
  // The repeated header and key are reported while the file is read.
  EXPECT_EQ(create(std::string(kSettings) + "[g]\nx=5\ny=6\nanz=1\nfarbe=4\n"
                                            "[g]\nx=50\nanz=3\n"
                                            "[FLIM]\nx=1\ny=1\nanz=9\nfarbe=0\n"),
            "");
  EXPECT_EQ(particles(), (Particles{{4, 5, 6}}));
}

}  // namespace
