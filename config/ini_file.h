#ifndef FLIMMERWERK_CONFIG_INI_FILE_H_
#define FLIMMERWERK_CONFIG_INI_FILE_H_

#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>

// One key=value line of a section.
struct IniEntry {
  char key[31];    // at most 28 characters, always terminated
  char value[51];  // at most 49 characters, always terminated
  IniEntry* next;  // next entry of the same section, null at the end
};

// One [name] header and the entries that follow it.
struct IniSection {
  char name[32];      // at most 27 characters, always terminated
  IniEntry* entries;  // first entry in file order, null when there is none
  IniSection* next;   // next section in file order, null at the end

  // Constant-time lookup by key, so that files with many thousands of
  // entries load in linear time; the list above keeps the file order.
  IniEntry* lastEntry;
  std::unordered_map<std::string_view, IniEntry*> byKey;  // views of the keys
};

// Reads an INI-style text file once, in its constructor, keeps every
// section and entry in memory and answers lookups by section and key.
// Owns all sections and entries. Problems are reported in German on
// standard error; a failed lookup yields null or 0 and the object stays
// usable.
class IniFile {
 public:
  explicit IniFile(const char* path);
  virtual ~IniFile();

  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  // True when the file could not be opened; the object is then empty.
  bool failed() const { return failed_; }

  bool open(char mode);
  void close();
  void parse();

  bool addSection(const char* name);
  // With a null section name the entry goes to the current section.
  bool addEntry(const char* section, const char* key, const char* value);

  // Both move the cursors, as described on the fields below.
  bool findSection(const char* name);
  bool findEntry(const char* key);

  // With a null section name the current section is searched. The text
  // lives as long as this IniFile.
  const char* getString(const char* section, const char* key);
  int getInt(const char* section, const char* key);

  // The section list and the current-section cursor are open to the
  // group loader, which walks the sections itself.
  IniSection* sections() const { return sections_; }
  IniSection* currentSection() const { return currentSection_; }
  void setCurrentSection(IniSection* section) { currentSection_ = section; }

 private:
  void handleLine(char* line);

  FILE* file_;
  std::string path_;  // held whole, however long
  IniSection* sections_;
  IniSection* lastSection_;
  // Moved by findSection: to the match, or back to the first section.
  IniSection* currentSection_;
  // Moved by findEntry: to the match, or back to the section's first entry.
  IniEntry* currentEntry_;
  bool failed_;
  std::unordered_map<std::string_view, IniSection*> byName_;  // views of the names
};

#endif  // FLIMMERWERK_CONFIG_INI_FILE_H_
