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

}  // namespace
