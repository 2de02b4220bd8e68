// INI files with the platform's profile semantics.
//
// Sections and keys are compared without letter case, the file's order and its comment
// lines (";") are kept, values are read trimmed of blanks and lose a pair of matching
// quotes around them; lines without "=" inside a section are ignored. Every read reads the
// file as it is now, and every write reaches the file at once as a whole new version
// (written atomically), so several objects on one file, in one process or several, see
// each other's writes and an interrupted write leaves the old or the new file.
#pragma once

#include <string>

#include "framework/core/classes.h"

class TStrings;

class TCustomIniFile : public TObject {
 public:
  explicit TCustomIniFile(const AnsiString& FileName) : file_name_(FileName) {}
  KV_CLASS_NAME(TCustomIniFile)

  const AnsiString& FileName() const { return file_name_; }

  virtual AnsiString ReadString(const AnsiString& Section, const AnsiString& Ident, const AnsiString& Default) = 0;
  virtual void WriteString(const AnsiString& Section, const AnsiString& Ident, const AnsiString& Value) = 0;
  // Decimal, or hexadecimal after "$" or "0x"; Default when absent or not a number.
  virtual int ReadInteger(const AnsiString& Section, const AnsiString& Ident, int Default);
  virtual void WriteInteger(const AnsiString& Section, const AnsiString& Ident, int Value);
  // A number other than 0 is true; written as "1" / "0".
  bool ReadBool(const AnsiString& Section, const AnsiString& Ident, bool Default);
  void WriteBool(const AnsiString& Section, const AnsiString& Ident, bool Value);

  // Section names in file order.
  virtual void ReadSections(TStrings* Strings) = 0;
  // Key names of Section in file order.
  virtual void ReadSection(const AnsiString& Section, TStrings* Strings) = 0;
  // "key=value" for every key of Section.
  virtual void ReadSectionValues(const AnsiString& Section, TStrings* Strings);
  // True when Section holds at least one key.
  bool SectionExists(const AnsiString& Section);
  bool ValueExists(const AnsiString& Section, const AnsiString& Ident);
  virtual void EraseSection(const AnsiString& Section) = 0;
  virtual void DeleteKey(const AnsiString& Section, const AnsiString& Ident) = 0;
  virtual void UpdateFile() = 0;

 private:
  AnsiString file_name_;
};

// The INI file on disk. FileName may be a Windows path; a bare name (no "\" or "/") is a
// file in the platform's Windows folder. A write that cannot reach the file, or that
// would break the file's line structure (a line break in a name or value, "=" in a key,
// "]" in a section name), raises EIniFileException "Unable to write to <FileName>".
class TIniFile : public TCustomIniFile {
 public:
  explicit TIniFile(const AnsiString& FileName);
  KV_CLASS_NAME(TIniFile)

  AnsiString ReadString(const AnsiString& Section, const AnsiString& Ident, const AnsiString& Default) override;
  // Replaces the key's value (the key keeps its spelling); a new key goes after the last
  // line of its section that is not blank, a new section to the end of the file.
  void WriteString(const AnsiString& Section, const AnsiString& Ident, const AnsiString& Value) override;
  void ReadSections(TStrings* Strings) override;
  void ReadSection(const AnsiString& Section, TStrings* Strings) override;
  // Removes the section with its lines (every section of that name).
  void EraseSection(const AnsiString& Section) override;
  void DeleteKey(const AnsiString& Section, const AnsiString& Ident) override;
  // Every write has already reached the file; nothing is pending.
  void UpdateFile() override {}

  // The file-system path the object reads and writes.
  const std::string& PosixPath() const { return posix_path_; }

 private:
  // Replaces the file by `data` as one whole version.
  void Save(const std::string& data);
  std::string posix_path_;
};
