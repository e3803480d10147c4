#include "app/settings.h"

#include <gtest/gtest.h>

#include <string>

#include "config/ini_file.h"
#include "tests/test_support.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

TEST(Settings, ReadInTheirOrder) {
  TempFile file(
      "[FLIM]\nconst_geschw=8\nzuf_richtungswechsel=7\nfullscreen=6\nfarbtiefe=5\n"
      "richtungen=4\nschweiflaenge=3\nhoehe=2\nbreite=1\n");
  IniFile ini(file.c_str());
  CaptureStderr();
  const Settings s = readSettings(ini);
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(std::vector<int>({s.width, s.height, s.trailLength, s.speedRange, s.depth, s.fullscreen,
                              s.randomTurns, s.bounce}),
            std::vector<int>({1, 2, 3, 4, 5, 6, 7, 8}));

  TempFile partial("[FLIM]\nhoehe=2\nfarbtiefe=5\n");
  IniFile partialIni(partial.c_str());
  CaptureStderr();
  readSettings(partialIni);
  EXPECT_EQ(GetCapturedStderr(),
            "Wert breite konnte nicht gefunden werden.\n"
            "Wert schweiflaenge konnte nicht gefunden werden.\n"
            "Wert richtungen konnte nicht gefunden werden.\n"
            "Wert fullscreen konnte nicht gefunden werden.\n"
            "Wert zuf_richtungswechsel konnte nicht gefunden werden.\n"
            "Wert const_geschw konnte nicht gefunden werden.\n");
}

TEST(Settings, InvalidOnesAreNamedFirstToLast) {
  struct Case {
    Settings settings;
    const char* key;
    int value;
  };
  const Case cases[] = {
      {{640, 480, 20, 3, 0, 0, 0, 0}, nullptr, 0},
      {{1, 1, 1, 1, 0, 0, 0, 0}, nullptr, 0},
      {{32767, 32767, 32767, 32767, 0, 0, 0, 0}, nullptr, 0},
      {{1, 1, 1, -32768, 0, 0, 0, 0}, nullptr, 0},
      {{1, 1, 1, -1, 0, 0, 0, 0}, nullptr, 0},
      // Depth and the flags are never refused.
      {{1, 1, 1, 1, -99, 12345, -1, 7}, nullptr, 0},
      {{0, 480, 20, 3, 0, 0, 0, 0}, "breite", 0},
      {{32768, 480, 20, 3, 0, 0, 0, 0}, "breite", 32768},
      {{640, -5, 20, 3, 0, 0, 0, 0}, "hoehe", -5},
      {{640, 480, 0, 3, 0, 0, 0, 0}, "schweiflaenge", 0},
      {{640, 480, 32768, 3, 0, 0, 0, 0}, "schweiflaenge", 32768},
      {{640, 480, 20, 0, 0, 0, 0, 0}, "richtungen", 0},
      {{640, 480, 20, 32768, 0, 0, 0, 0}, "richtungen", 32768},
      {{640, 480, 20, -32769, 0, 0, 0, 0}, "richtungen", -32769},
      {{0, 0, 0, 0, 0, 0, 0, 0}, "breite", 0},
      {{5, 0, 0, 0, 0, 0, 0, 0}, "hoehe", 0},
  };
  for (const Case& c : cases) {
    int value = -12345;
    const char* key = invalidSetting(c.settings, &value);
    if (!c.key) {
      EXPECT_EQ(key, nullptr) << c.settings.width << " " << c.settings.speedRange;
      continue;
    }
    ASSERT_NE(key, nullptr) << c.key;
    EXPECT_STREQ(key, c.key);
    EXPECT_EQ(value, c.value) << c.key;
  }
}

}  // namespace
