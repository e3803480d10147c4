#include "config/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "tests/test_support.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

// Loads the text as a configuration file and returns what it printed.
std::string load(const std::string& text, std::unique_ptr<IniFile>* out) {
  TempFile file(text);
  CaptureStderr();
  *out = std::make_unique<IniFile>(file.c_str());
  return GetCapturedStderr();
}

std::string valueOf(IniFile& ini, const char* section, const char* key) {
  CaptureStderr();
  const char* value = ini.getString(section, key);
  GetCapturedStderr();
  return value ? value : "<null>";
}

int sectionCount(const IniFile& ini) {
  int count = 0;
  for (IniSection* s = ini.sections(); s; s = s->next) ++count;
  return count;
}

TEST(IniFile, MissingFileGivesOneMessageAndTheFailedFlag) {
  const std::string path = "/nonexistent/dir/flimmer.ini";
  CaptureStderr();
  IniFile ini(path.c_str());
  EXPECT_EQ(GetCapturedStderr(), "Ini-Datei " + path + " konnte nicht gefunden werden!\n");
  EXPECT_TRUE(ini.failed());
  EXPECT_EQ(ini.sections(), nullptr);
}

TEST(IniFile, LongPathIsUsedWhole) {
  // A path far beyond 31 and 99 characters opens exactly the file named.
  const std::string name(150, 'p');
  TempFile file("[FLIM]\nbreite=7\n", name + ".ini");
  ASSERT_FALSE(file.path().empty());
  CaptureStderr();
  IniFile ini(file.c_str());
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(ini.getInt("FLIM", "breite"), 7);

  const std::string missing = file.path() + ".gone";
  CaptureStderr();
  IniFile gone(missing.c_str());
  EXPECT_EQ(GetCapturedStderr(), "Ini-Datei " + missing + " konnte nicht gefunden werden!\n");
  EXPECT_TRUE(gone.failed());
}

TEST(IniFile, DirectoryIsNoConfigurationFile) {
  const char* dir = getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp";
  CaptureStderr();
  IniFile ini(dir);
  EXPECT_EQ(GetCapturedStderr(),
            std::string("Ini-Datei ") + dir + " konnte nicht gefunden werden!\n");
  EXPECT_TRUE(ini.failed());
}

TEST(IniFile, EmptyAndCommentOnlyFilesHaveNoSections) {
  for (const char* text : {"", "# nur ein Kommentar\n\n#x=1\n", "\n\n\n", "text ohne Zeichen\n"}) {
    std::unique_ptr<IniFile> ini;
    EXPECT_EQ(load(text, &ini), "") << text;
    EXPECT_FALSE(ini->failed());
    EXPECT_EQ(ini->sections(), nullptr) << text;
  }
}

TEST(IniFile, HeadersAndEntriesAreTakenAsWritten) {
  std::unique_ptr<IniFile> ini;
  EXPECT_EQ(load("[FLIM\n"         // no closing bracket
                 "breite = 640\n"  // the key holds the blank
                 "=5\n"            // the empty key
                 " #x=1\n"         // only a # in the first column is a comment
                 "leer=\n"
                 "a=b=c\n"
                 "[]\n"
                 "k=leer\n"
                 "[a]b=1\n",
                 &ini),
            "");
  ASSERT_EQ(sectionCount(*ini), 3);
  EXPECT_STREQ(ini->sections()->name, "FLIM");
  EXPECT_STREQ(ini->sections()->next->name, "");
  EXPECT_STREQ(ini->sections()->next->next->name, "a");
  EXPECT_EQ(ini->sections()->next->next->entries, nullptr);

  EXPECT_EQ(valueOf(*ini, "FLIM", "breite "), " 640");
  EXPECT_EQ(valueOf(*ini, "FLIM", "breite"), "<null>");
  EXPECT_EQ(valueOf(*ini, "FLIM", ""), "5");
  EXPECT_EQ(valueOf(*ini, "FLIM", " #x"), "1");
  EXPECT_EQ(valueOf(*ini, "FLIM", "leer"), "");
  EXPECT_EQ(valueOf(*ini, "FLIM", "a"), "b=c");
  EXPECT_EQ(valueOf(*ini, "", "k"), "leer");
}

TEST(IniFile, EntriesBeforeTheFirstHeaderAreDroppedSilently) {
  std::unique_ptr<IniFile> ini;
  EXPECT_EQ(load("breite=1\n[FLIM]\nhoehe=2\n", &ini), "");
  EXPECT_EQ(valueOf(*ini, "FLIM", "breite"), "<null>");
  EXPECT_EQ(valueOf(*ini, "FLIM", "hoehe"), "2");
}

TEST(IniFile, CarriageReturnLineFeedReadsLikeLineFeed) {
  const std::string lf = "[FLIM]\nbreite=640\nname=a b\n\n[g]\nx=1\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  std::unique_ptr<IniFile> a;
  std::unique_ptr<IniFile> b;
  EXPECT_EQ(load(lf, &a), "");
  EXPECT_EQ(load(crlf, &b), "");
  for (const char* key : {"breite", "name"})
    EXPECT_EQ(valueOf(*a, "FLIM", key), valueOf(*b, "FLIM", key));
  EXPECT_EQ(valueOf(*b, "g", "x"), "1");
  // Only the carriage return right before the line feed belongs to the end.
  std::unique_ptr<IniFile> c;
  load("[FLIM]\nk=1\r\r\n", &c);
  EXPECT_EQ(valueOf(*c, "FLIM", "k"), "1\r");
}

TEST(IniFile, RepeatedSectionMergesIntoTheFirst) {
  std::unique_ptr<IniFile> ini;
  EXPECT_EQ(load("[FLIM]\nbreite=640\n[g]\nx=1\n[FLIM]\nbreite=800\nhoehe=480\n", &ini),
            "Schl\xFCssel FLIM bereits vorhanden! Es wurde kein neuer angelegt!\n"
            "Wert breite bereits vorhanden! Es wurde kein neuer angelegt!\n");
  EXPECT_EQ(sectionCount(*ini), 2);
  EXPECT_EQ(valueOf(*ini, "FLIM", "breite"), "640");
  EXPECT_EQ(valueOf(*ini, "FLIM", "hoehe"), "480");
  EXPECT_EQ(valueOf(*ini, "g", "hoehe"), "<null>");
}

TEST(IniFile, RepeatedKeyKeepsTheFirstValue) {
  std::unique_ptr<IniFile> ini;
  EXPECT_EQ(load("[s]\nk=1\nk=2\nK=3\n", &ini),
            "Wert k bereits vorhanden! Es wurde kein neuer angelegt!\n");
  EXPECT_EQ(valueOf(*ini, "s", "k"), "1");
  EXPECT_EQ(valueOf(*ini, "s", "K"), "3");  // keys are case-sensitive
}

TEST(IniFile, LookupMessagesAndCursor) {
  std::unique_ptr<IniFile> ini;
  load("[erste]\nk=1\n[zweite]\nk=2\n", &ini);

  CaptureStderr();
  EXPECT_EQ(ini->getString("fehlt", "k"), nullptr);
  EXPECT_EQ(GetCapturedStderr(), "Schl\xFCssel fehlt konnte nicht gefunden werden.\n");
  // The failed lookup moved the current section back to the first.
  EXPECT_EQ(valueOf(*ini, nullptr, "k"), "1");

  EXPECT_EQ(valueOf(*ini, "zweite", "k"), "2");
  EXPECT_EQ(valueOf(*ini, nullptr, "k"), "2");

  CaptureStderr();
  EXPECT_EQ(ini->getInt("zweite", "nix"), 0);
  EXPECT_EQ(GetCapturedStderr(), "Wert nix konnte nicht gefunden werden.\n");

  std::unique_ptr<IniFile> empty;
  load("", &empty);
  CaptureStderr();
  EXPECT_EQ(empty->getString(nullptr, "k"), nullptr);
  EXPECT_EQ(GetCapturedStderr(), "Es ist kein Aktueller Schl\xFCssel Definiert!\n");
}

TEST(IniFile, GetIntConvertsLikeAtoi) {
  std::unique_ptr<IniFile> ini;
  load("[s]\na=12abc\nb=abc\nc=\nd=-5\ne=  +7\nf=99999999999\ng=-2147483648\n", &ini);
  CaptureStderr();
  EXPECT_EQ(ini->getInt("s", "a"), 12);
  EXPECT_EQ(ini->getInt("s", "b"), 0);
  EXPECT_EQ(ini->getInt("s", "c"), 0);
  EXPECT_EQ(ini->getInt("s", "d"), -5);
  EXPECT_EQ(ini->getInt("s", "e"), 7);
  // Beyond int the number is cut to its low 32 bits, as the C library's
  // atoi does with a 64-bit long: 99999999999 is 0x174876E7FF.
  EXPECT_EQ(ini->getInt("s", "f"), 0x4876E7FF);
  EXPECT_EQ(ini->getInt("s", "g"), -2147483647 - 1);
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(IniFile, LongLinesStayOneLine) {
  const std::string name(40, 'n');
  const std::string key(40, 'k');
  const std::string value(300, 'v');
  std::unique_ptr<IniFile> ini;
  EXPECT_EQ(load("#" + std::string(150, 'c') +
                     "x=1\n"  // a long comment stays a comment
                     "[" +
                     name + "]\n" +  // names are cut at 27
                     key + "=1\n" +  // keys at 28
                     "wert=" + value +
                     "[s]\n"  // values at 49, tail never a header
                     "lang=" +
                     std::string(120, 'w') + "=tail\n",  // nor an entry
                 &ini),
            "");
  ASSERT_EQ(sectionCount(*ini), 1);
  EXPECT_EQ(std::string(ini->sections()->name), name.substr(0, 27));
  EXPECT_EQ(valueOf(*ini, nullptr, key.substr(0, 28).c_str()), "1");
  EXPECT_EQ(valueOf(*ini, nullptr, "wert"), value.substr(0, 49));
  EXPECT_EQ(valueOf(*ini, nullptr, "lang"), std::string(49, 'w'));
  int entries = 0;
  for (IniEntry* e = ini->sections()->entries; e; e = e->next) ++entries;
  EXPECT_EQ(entries, 3);
}

TEST(IniFile, NulByteEndsTheLine) {
  std::unique_ptr<IniFile> ini;
  EXPECT_EQ(load(std::string("[s]\nk=1\0x=2\n\0[t]\nz=3\n", 20), &ini), "");
  EXPECT_EQ(sectionCount(*ini), 1);
  EXPECT_EQ(valueOf(*ini, "s", "k"), "1");
  EXPECT_EQ(valueOf(*ini, "s", "z"), "3");
}

}  // namespace
