#include "config/ini_file.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// The longest section name, key and value a line can deliver.
const size_t kMaxName = 27;
const size_t kMaxKey = 28;
const size_t kMaxValue = 49;

// Copies at most max characters of text into a field and terminates it.
template <size_t N>
void copyField(char (&field)[N], const char* text, size_t max) {
  static_assert(N > 0, "field must hold the terminator");
  size_t length = strnlen(text, max < N - 1 ? max : N - 1);
  memcpy(field, text, length);
  field[length] = '\0';
}

// Reads the next line, its line feed included, into *line, a malloc'ed
// buffer grown as needed (the caller frees it), and terminates it; NUL
// bytes are kept, and *length counts every byte read. False at the end of
// the file, on a read error before the first byte and when memory runs
// out: a line too long for memory ends the reading, and is not handled.
bool readLine(FILE* file, char** line, size_t* capacity, size_t* length) {
  size_t count = 0;
  int c;
  while ((c = getc(file)) != EOF) {
    if (count + 2 > *capacity) {
      const size_t grown = *capacity < 64 ? 128 : *capacity * 2;
      char* larger = static_cast<char*>(realloc(*line, grown));
      if (!larger) return false;
      *line = larger;
      *capacity = grown;
    }
    (*line)[count++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  if (count == 0) return false;
  (*line)[count] = '\0';
  *length = count;
  return true;
}

}  // namespace

IniFile::IniFile(const char* path)
    : file_(nullptr),
      path_(path),
      sections_(nullptr),
      lastSection_(nullptr),
      currentSection_(nullptr),
      currentEntry_(nullptr),
      failed_(false) {
  if (open('r')) {
    parse();
    close();
  } else {
    failed_ = true;
  }
}

IniFile::~IniFile() {
  close();
  IniSection* section = sections_;
  while (section) {
    IniEntry* entry = section->entries;
    while (entry) {
      IniEntry* next = entry->next;
      delete entry;
      entry = next;
    }
    IniSection* next = section->next;
    delete section;
    section = next;
  }
  sections_ = lastSection_ = currentSection_ = nullptr;
  currentEntry_ = nullptr;
}

bool IniFile::open(char mode) {
  close();
  // Binary, so that every system reads the same bytes; the reader handles
  // CR LF line ends itself.
  const char modeText[3] = {mode, 'b', '\0'};
  file_ = fopen(path_.c_str(), modeText);
  // A directory opens for reading here but holds no configuration: it is
  // as good as missing.
  struct stat info;
  if (file_ && fstat(fileno(file_), &info) == 0 && S_ISDIR(info.st_mode)) close();
  if (!file_) {
    fprintf(stderr, "Ini-Datei %s konnte nicht gefunden werden!\n", path_.c_str());
    return false;
  }
  return true;
}

void IniFile::close() {
  if (file_) fclose(file_);
  file_ = nullptr;
}

void IniFile::parse() {
  if (!file_) return;
  fseek(file_, 0, SEEK_SET);
  // Whole lines, however long: the tail of a long line never becomes a
  // line of its own.
  char* line = nullptr;
  size_t capacity = 0;
  size_t length;
  while (readLine(file_, &line, &capacity, &length)) {
    if (line[length - 1] == '\n') {
      line[--length] = '\0';
      // A carriage return before the line feed belongs to the line end.
      if (length > 0 && line[length - 1] == '\r') line[--length] = '\0';
    }
    handleLine(line);
  }
  free(line);
}

// A line is taken as a C string: a NUL byte ends it.
void IniFile::handleLine(char* line) {
  if (line[0] == '#') return;
  if (line[0] == '[') {
    char* name = line + 1;
    char* bracket = strchr(name, ']');
    if (bracket) *bracket = '\0';
    if (strlen(name) > kMaxName) name[kMaxName] = '\0';
    addSection(name);
    return;
  }
  char* equals = strchr(line, '=');
  if (!equals) return;
  *equals = '\0';
  char* key = line;
  char* value = equals + 1;
  if (strlen(key) > kMaxKey) key[kMaxKey] = '\0';
  if (strlen(value) > kMaxValue) value[kMaxValue] = '\0';
  addEntry(nullptr, key, value);
}

bool IniFile::addSection(const char* name) {
  if (findSection(name)) {
    fprintf(stderr, "Schl\xFCssel %s bereits vorhanden! Es wurde kein neuer angelegt!\n", name);
    return false;
  }
  IniSection* section = new (std::nothrow) IniSection();
  bool indexed = false;
  if (section) {
    copyField(section->name, name, kMaxName);
    try {
      byName_.emplace(section->name, section);
      indexed = true;
    } catch (const std::bad_alloc&) {
    }
  }
  if (!indexed) {
    delete section;
    fprintf(stderr,
            "F\xFCr den Schl\xFCssel %s konnte kein Speicher zur verf\xFCgung gestellt werden.\n",
            name);
    return false;
  }
  section->entries = nullptr;
  section->lastEntry = nullptr;
  section->next = nullptr;
  if (lastSection_)
    lastSection_->next = section;
  else
    sections_ = section;
  lastSection_ = section;
  currentSection_ = section;
  return true;
}

bool IniFile::addEntry(const char* sectionName, const char* key, const char* value) {
  if (sectionName) {
    if (!findSection(sectionName)) return false;
  } else if (!currentSection_) {
    return false;  // entry lines before the first header are dropped
  }
  if (findEntry(key)) {
    fprintf(stderr, "Wert %s bereits vorhanden! Es wurde kein neuer angelegt!\n", key);
    return false;
  }
  IniSection* section = currentSection_;
  IniEntry* entry = new (std::nothrow) IniEntry();
  bool indexed = false;
  if (entry) {
    copyField(entry->key, key, kMaxKey);
    copyField(entry->value, value, kMaxValue);
    try {
      section->byKey.emplace(entry->key, entry);
      indexed = true;
    } catch (const std::bad_alloc&) {
    }
  }
  if (!indexed) {
    delete entry;
    fprintf(stderr, "F\xFCr den Wert %s konnte kein Speicher zur verf\xFCgung gestellt werden.\n",
            key);
    return false;
  }
  entry->next = nullptr;
  if (section->lastEntry)
    section->lastEntry->next = entry;
  else
    section->entries = entry;
  section->lastEntry = entry;
  currentEntry_ = entry;
  return true;
}

bool IniFile::findSection(const char* name) {
  auto found = byName_.find(name);
  if (found == byName_.end()) {
    currentSection_ = sections_;
    return false;
  }
  currentSection_ = found->second;
  return true;
}

bool IniFile::findEntry(const char* key) {
  if (!currentSection_) return false;
  auto found = currentSection_->byKey.find(key);
  if (found == currentSection_->byKey.end()) {
    currentEntry_ = currentSection_->entries;
    return false;
  }
  currentEntry_ = found->second;
  return true;
}

const char* IniFile::getString(const char* section, const char* key) {
  if (section) {
    if (!findSection(section)) {
      fprintf(stderr, "Schl\xFCssel %s konnte nicht gefunden werden.\n", section);
      return nullptr;
    }
  } else if (!currentSection_) {
    fprintf(stderr, "Es ist kein Aktueller Schl\xFCssel Definiert!\n");
    return nullptr;
  }
  if (!findEntry(key)) {
    fprintf(stderr, "Wert %s konnte nicht gefunden werden.\n", key);
    return nullptr;
  }
  return currentEntry_->value;
}

int IniFile::getInt(const char* section, const char* key) {
  const char* text = getString(section, key);
  // As atoi converts, but without its undefined behaviour for numbers
  // beyond int: the long is cut to int the way the C library's atoi does.
  return text ? static_cast<int>(strtol(text, nullptr, 10)) : 0;
}
