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

// A line longer than this is rare enough to be given room for the rest of
// the file at once (see makeRoomForTheRest), and its storage is given back
// once it has been handled.
const size_t kLongLine = 64 * 1024;

// Makes room in line for the bytes read but not yet added to it and for
// every byte left in a regular file: a long line cannot grow beyond that,
// and growing it in steps copies it again at every step (a 16 MB line
// then took the program 1.4 times as long and 16 MB more memory). Without
// a size to go by, or without the memory, the line grows in steps.
void makeRoomForTheRest(FILE* file, std::string& line, size_t inHand) {
  struct stat info;
  const long at = ftell(file);
  if (at < 0 || fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= at)
    return;
  try {
    line.reserve(line.size() + inHand + static_cast<size_t>(info.st_size - at));
  } catch (const std::bad_alloc&) {
  }
}

// Reads the next line, its line feed included, into line; NUL bytes are
// kept. False at the end of the file, on a read error before the first
// byte and when memory runs out: a line too long for memory ends the
// reading, and is not handled.
bool readLine(FILE* file, std::string& line) {
  line.clear();
  // Bytes go into the string a block at a time: a byte at a time, the
  // string's bookkeeping costs about as much as getc itself.
  char block[4096];
  size_t count = 0;
  try {
    int c;
    while ((c = getc(file)) != EOF) {
      block[count++] = static_cast<char>(c);
      if (c == '\n') break;
      if (count == sizeof block) {
        if (line.size() >= kLongLine && line.size() + count > line.capacity())
          makeRoomForTheRest(file, line, count);
        line.append(block, count);
        count = 0;
      }
    }
    line.append(block, count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return !line.empty();
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
  std::string line;
  while (readLine(file_, line)) {
    if (line.back() == '\n') {
      line.pop_back();
      // A carriage return before the line feed belongs to the line end.
      if (!line.empty() && line.back() == '\r') line.pop_back();
    }
    handleLine(&line[0]);
    if (line.capacity() > kLongLine) std::string().swap(line);
  }
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
