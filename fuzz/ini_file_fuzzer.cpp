// Fuzzes the configuration reader: any bytes as a file, then every lookup
// a caller can make. Besides the sanitizers' checks, what the reader keeps
// is compared with a plain model of the file format written here with
// std::string, and every lookup must land on what was kept.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "config/ini_file.h"
#include "fuzz/fuzz_file.h"

namespace {

struct ModelSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> entries;
};

ModelSection* findModelSection(std::vector<ModelSection>& sections, const std::string& name) {
  for (ModelSection& section : sections)
    if (section.name == name) return &section;
  return nullptr;
}

// The format: lines end at a line feed (a carriage return before it
// belongs to the line end); a NUL byte ends a line early; '#' at the start
// makes a comment; "[name" or "[name]..." opens a section (or returns to
// one of that name); "key=value" adds an entry to the current section
// unless the key is already there; entries before the first section are
// dropped. Names are cut to 27 bytes, keys to 28, values to 49.
std::vector<ModelSection> model(const uint8_t* data, size_t size) {
  std::vector<ModelSection> sections;
  ModelSection* current = nullptr;
  size_t start = 0;
  while (start < size) {
    const uint8_t* feed = static_cast<const uint8_t*>(memchr(data + start, '\n', size - start));
    const size_t end = feed ? static_cast<size_t>(feed - data) : size;
    std::string line(reinterpret_cast<const char*>(data + start), end - start);
    start = end + 1;
    if (feed && !line.empty() && line.back() == '\r') line.pop_back();
    line = line.substr(0, line.find('\0'));
    if (!line.empty() && line[0] == '#') continue;
    if (!line.empty() && line[0] == '[') {
      const std::string name = line.substr(1, line.find(']', 1) - 1).substr(0, 27);
      current = findModelSection(sections, name);
      if (!current) {
        sections.push_back(ModelSection{name, {}});
        current = &sections.back();
      }
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos || !current) continue;
    const std::string key = line.substr(0, equals).substr(0, 28);
    bool known = false;
    for (const auto& entry : current->entries) known = known || entry.first == key;
    if (!known) current->entries.emplace_back(key, line.substr(equals + 1).substr(0, 49));
  }
  return sections;
}

void check(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  IniFile ini(FuzzFile::write(data, size).c_str());
  check(!ini.failed());

  const std::vector<ModelSection> expected = model(data, size);
  size_t index = 0;
  for (IniSection* section = ini.sections(); section; section = section->next, ++index) {
    check(index < expected.size());
    check(memchr(section->name, '\0', sizeof section->name) != nullptr);
    check(expected[index].name == section->name);

    // Found again by name, as the settings are.
    check(ini.findSection(section->name));
    check(ini.currentSection() == section);

    size_t entryIndex = 0;
    IniEntry* last = nullptr;
    for (IniEntry* entry = section->entries; entry; entry = entry->next, ++entryIndex) {
      check(entryIndex < expected[index].entries.size());
      check(memchr(entry->key, '\0', sizeof entry->key) != nullptr);
      check(memchr(entry->value, '\0', sizeof entry->value) != nullptr);
      check(expected[index].entries[entryIndex].first == entry->key);
      check(expected[index].entries[entryIndex].second == entry->value);
      // By section name and key, and within the current section, as the
      // group loader asks.
      check(ini.getString(section->name, entry->key) == entry->value);
      ini.setCurrentSection(section);
      check(ini.getString(nullptr, entry->key) == entry->value);
      check(ini.getInt(nullptr, entry->key) == atoi(entry->value));
      last = entry;
    }
    check(entryIndex == expected[index].entries.size());
    check(section->lastEntry == last);
  }
  check(index == expected.size());

  // The settings, as the program reads them, whether there or not.
  for (const char* key : {"breite", "hoehe", "schweiflaenge", "richtungen", "farbtiefe",
                          "fullscreen", "zuf_richtungswechsel", "const_geschw"})
    ini.getInt("FLIM", key);
  check(!ini.findSection("a name longer than any section can have"));
  check(ini.currentSection() == ini.sections());
  return 0;
}
