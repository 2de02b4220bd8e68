#include "framework/core/inifiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <vector>

#include "framework/core/strings.h"
#include "framework/core/sysutils.h"
#include "platform/base/file.h"
#include "platform/base/path.h"

// ---------------------------------------------------------------------------------------
// TCustomIniFile

int TCustomIniFile::ReadInteger(const AnsiString& Section, const AnsiString& Ident, int Default) {
  AnsiString text = ReadString(Section, Ident, AnsiString());
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text = "$" + text.substr(2);
  return StrToIntDef(text, Default);
}

void TCustomIniFile::WriteInteger(const AnsiString& Section, const AnsiString& Ident, int Value) {
  WriteString(Section, Ident, IntToStr(Value));
}

bool TCustomIniFile::ReadBool(const AnsiString& Section, const AnsiString& Ident, bool Default) {
  return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const AnsiString& Section, const AnsiString& Ident, bool Value) {
  WriteString(Section, Ident, Value ? "1" : "0");
}

void TCustomIniFile::ReadSectionValues(const AnsiString& Section, TStrings* Strings) {
  TStringList keys;
  ReadSection(Section, &keys);
  Strings->BeginUpdate();
  try {
    Strings->Clear();
    for (int i = 0; i < keys.Count(); ++i) Strings->Add(keys[i] + "=" + ReadString(Section, keys[i], AnsiString()));
  } catch (...) {
    Strings->EndUpdate();
    throw;
  }
  Strings->EndUpdate();
}

bool TCustomIniFile::SectionExists(const AnsiString& Section) {
  TStringList keys;
  ReadSection(Section, &keys);
  return keys.Count() > 0;
}

bool TCustomIniFile::ValueExists(const AnsiString& Section, const AnsiString& Ident) {
  TStringList keys;
  ReadSection(Section, &keys);
  return keys.IndexOf(Ident) >= 0;
}

// ---------------------------------------------------------------------------------------
// The file's lines

namespace {

std::mutex g_write_mutex;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SameName(const std::string& a, const std::string& b) { return SameText(a, b); }

// The file as lines, with what each line means.
class IniText {
 public:
  enum Kind { kOther, kSection, kKey };
  struct Line {
    std::string text;
    Kind kind = kOther;
    std::string name;   // section name or key name, trimmed
    std::string value;  // a key's value, trimmed and unquoted
  };

  explicit IniText(const std::string& data) {
    eol_ = data.find("\r\n") != std::string::npos || data.find('\n') == std::string::npos ? "\r\n" : "\n";
    size_t start = 0;
    while (start < data.size()) {
      size_t end = data.find('\n', start);
      if (end == std::string::npos) end = data.size();
      std::string text = data.substr(start, end - start);
      if (!text.empty() && text.back() == '\r') text.pop_back();
      lines_.push_back(Classify(std::move(text)));
      start = end + 1;
    }
  }

  std::vector<Line>& lines() { return lines_; }

  // Index of the first header of Section, or -1.
  int FindSection(const std::string& section) const {
    for (size_t i = 0; i < lines_.size(); ++i)
      if (lines_[i].kind == kSection && SameName(lines_[i].name, section)) return static_cast<int>(i);
    return -1;
  }

  // One past the last line of the section whose header is at `header`.
  int SectionEnd(int header) const {
    size_t i = header + 1;
    while (i < lines_.size() && lines_[i].kind != kSection) ++i;
    return static_cast<int>(i);
  }

  // Index of the key's line in the first section of that name, or -1.
  int FindKey(const std::string& section, const std::string& key) const {
    int header = FindSection(section);
    if (header < 0) return -1;
    int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i)
      if (lines_[i].kind == kKey && SameName(lines_[i].name, key)) return i;
    return -1;
  }

  std::string Join() const {
    std::string out;
    for (const Line& line : lines_) {
      out += line.text;
      out += eol_;
    }
    return out;
  }

  static Line Classify(std::string text) {
    Line line;
    line.text = std::move(text);
    size_t first = 0;
    while (first < line.text.size() && IsBlank(line.text[first])) ++first;
    if (first == line.text.size() || line.text[first] == ';') return line;
    if (line.text[first] == '[') {
      size_t close = line.text.find(']', first + 1);
      size_t stop = close == std::string::npos ? line.text.size() : close;
      line.kind = kSection;
      line.name = TrimBlanks(line.text.substr(first + 1, stop - first - 1));
      return line;
    }
    size_t eq = line.text.find('=');
    if (eq == std::string::npos) return line;
    line.kind = kKey;
    line.name = TrimBlanks(line.text.substr(0, eq));
    std::string value = TrimBlanks(line.text.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    line.value = std::move(value);
    return line;
  }

 private:
  std::vector<Line> lines_;
  std::string eol_;
};

// The file's content; a missing or unreadable file reads as empty.
std::string LoadFile(const std::string& path) {
  std::string data;
  if (path.empty()) return data;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return data;
  char buffer[16384];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return data;
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

// Serialises read-modify-write cycles on the files of one folder: within this process
// through a mutex, across processes through a lock on the folder itself (released by the
// system when a process dies, and leaving no file behind).
class WriteLock {
 public:
  explicit WriteLock(const std::string& path) : guard_(g_write_mutex) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~WriteLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;

 private:
  std::lock_guard<std::mutex> guard_;
  int fd_ = -1;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// TIniFile

void TIniFile::Save(const std::string& data) {
  if (posix_path_.empty() || !KvWriteFileAtomic(posix_path_.c_str(), data.data(), data.size()))
    throw EIniFileException("Unable to write to " + FileName());
}

TIniFile::TIniFile(const AnsiString& FileName) : TCustomIniFile(FileName) {
  AnsiString path = FileName;
  if (!path.empty() && path.find_first_of("\\/:") == AnsiString::npos) {
    char dir[4096];
    UINT n = GetWindowsDirectoryA(dir, sizeof dir);
    if (n > 0 && n < sizeof dir) path = AnsiString(dir, n) + "/" + FileName;
  }
  posix_path_ = kv::MapPath(path);
}

AnsiString TIniFile::ReadString(const AnsiString& Section, const AnsiString& Ident, const AnsiString& Default) {
  IniText ini(LoadFile(posix_path_));
  int i = ini.FindKey(TrimBlanks(Section), TrimBlanks(Ident));
  return i < 0 ? Default : ini.lines()[i].value;
}

void TIniFile::WriteString(const AnsiString& Section, const AnsiString& Ident, const AnsiString& Value) {
  std::string section = TrimBlanks(Section);
  std::string key = TrimBlanks(Ident);
  // A name or value that would read back as other lines is refused rather than written.
  if (HasLineBreak(section) || section.find(']') != std::string::npos || HasLineBreak(key) ||
      key.find('=') != std::string::npos || (!key.empty() && (key[0] == '[' || key[0] == ';')) || HasLineBreak(Value))
    throw EIniFileException("Unable to write to " + FileName());

  WriteLock lock(posix_path_);
  IniText ini(LoadFile(posix_path_));
  auto& lines = ini.lines();
  int existing = ini.FindKey(section, key);
  if (existing >= 0) {
    // The key keeps its spelling in the file; only its value changes.
    lines[existing] = IniText::Classify(lines[existing].name + "=" + Value);
  } else {
    IniText::Line line = IniText::Classify(key + "=" + Value);
    int header = ini.FindSection(section);
    if (header < 0) {
      lines.push_back(IniText::Classify("[" + section + "]"));
      lines.push_back(std::move(line));
    } else {
      // After the section's last line that is not blank.
      int at = ini.SectionEnd(header);
      while (at > header + 1 && TrimBlanks(lines[at - 1].text).empty()) --at;
      lines.insert(lines.begin() + at, std::move(line));
    }
  }
  Save(ini.Join());
}

void TIniFile::ReadSections(TStrings* Strings) {
  IniText ini(LoadFile(posix_path_));
  Strings->BeginUpdate();
  try {
    Strings->Clear();
    std::vector<std::string> seen;
    for (const auto& line : ini.lines()) {
      if (line.kind != IniText::kSection) continue;
      bool duplicate = false;
      for (const auto& s : seen) duplicate = duplicate || SameName(s, line.name);
      if (duplicate) continue;
      seen.push_back(line.name);
      Strings->Add(line.name);
    }
  } catch (...) {
    Strings->EndUpdate();
    throw;
  }
  Strings->EndUpdate();
}

void TIniFile::ReadSection(const AnsiString& Section, TStrings* Strings) {
  IniText ini(LoadFile(posix_path_));
  Strings->BeginUpdate();
  try {
    Strings->Clear();
    int header = ini.FindSection(TrimBlanks(Section));
    if (header >= 0) {
      int end = ini.SectionEnd(header);
      for (int i = header + 1; i < end; ++i)
        if (ini.lines()[i].kind == IniText::kKey) Strings->Add(ini.lines()[i].name);
    }
  } catch (...) {
    Strings->EndUpdate();
    throw;
  }
  Strings->EndUpdate();
}

void TIniFile::EraseSection(const AnsiString& Section) {
  std::string section = TrimBlanks(Section);
  WriteLock lock(posix_path_);
  IniText ini(LoadFile(posix_path_));
  auto& lines = ini.lines();
  bool changed = false;
  for (int header = ini.FindSection(section); header >= 0; header = ini.FindSection(section)) {
    lines.erase(lines.begin() + header, lines.begin() + ini.SectionEnd(header));
    changed = true;
  }
  if (!changed) return;
  Save(ini.Join());
}

void TIniFile::DeleteKey(const AnsiString& Section, const AnsiString& Ident) {
  std::string section = TrimBlanks(Section);
  std::string key = TrimBlanks(Ident);
  WriteLock lock(posix_path_);
  IniText ini(LoadFile(posix_path_));
  auto& lines = ini.lines();
  bool changed = false;
  for (int i = ini.FindKey(section, key); i >= 0; i = ini.FindKey(section, key)) {
    lines.erase(lines.begin() + i);
    changed = true;
  }
  if (!changed) return;
  Save(ini.Join());
}
