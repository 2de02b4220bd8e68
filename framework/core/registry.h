// The framework's registry classes over the platform registry.
//
// TRegistry: one current key under a root key (HKEY_CURRENT_USER by default). A key path
// starting with "\" is taken from the root key, any other from the current key (or the
// root key when none is open). Reads of a missing value: ReadString gives "", the typed
// reads raise ERegistryException "Failed to get data for 'Name'"; a value of another
// type raises "Invalid data type for 'Name'"; a failed write "Failed to set data for
// 'Name'"; CreateKey that fails "Failed to create key Name".
//
// TRegIniFile: a key (opened or created under HKEY_CURRENT_USER at construction) seen
// as an INI file: a section is a sub-key, an ident a value name; integers are written
// as text. TRegistryIniFile: the same through the INI-file interface, with integers
// written as REG_DWORD and floats as 8-byte REG_BINARY doubles.
#pragma once

#include <string>

#include "framework/core/classes.h"
#include "framework/core/exception.h"
#include "framework/core/inifiles.h"
#include "framework/core/strings.h"
#include "platform/registry/registry.h"

KV_EXCEPTION(ERegistryException, Exception);

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

struct TRegKeyInfo {
  int NumSubKeys = 0;
  int MaxSubKeyLen = 0;
  int NumValues = 0;
  int MaxValueLen = 0;
  int MaxDataLen = 0;
  FILETIME FileTime{};
};

struct TRegDataInfo {
  TRegDataType RegData = rdUnknown;
  int DataSize = 0;
};

class TRegistry : public TObject {
 public:
  TRegistry() : TRegistry(KEY_ALL_ACCESS) {}
  explicit TRegistry(REGSAM AAccess) : access_(AAccess) {}
  ~TRegistry() override { CloseKey(); }
  KV_CLASS_NAME(TRegistry)

  HKEY RootKey() const { return root_; }
  // Closes the current key.
  void SetRootKey(HKEY Value);
  HKEY CurrentKey() const { return current_; }
  const AnsiString& CurrentPath() const { return current_path_; }
  REGSAM Access() const { return access_; }
  void SetAccess(REGSAM Value) { access_ = Value; }
  // Writes reach the file at once either way; kept for the callers that set it.
  bool LazyWrite = true;

  void CloseKey();
  bool OpenKey(const AnsiString& Key, bool CanCreate);
  bool OpenKeyReadOnly(const AnsiString& Key);
  bool CreateKey(const AnsiString& Key);
  // Deletes the key with all its sub-keys.
  bool DeleteKey(const AnsiString& Key);
  bool DeleteValue(const AnsiString& Name);
  bool KeyExists(const AnsiString& Key);
  bool ValueExists(const AnsiString& Name);
  bool HasSubKeys();
  void GetKeyNames(TStrings* Strings);
  void GetValueNames(TStrings* Strings);
  bool GetKeyInfo(TRegKeyInfo& Value);
  bool GetDataInfo(const AnsiString& ValueName, TRegDataInfo& Value);
  // -1 when the value does not exist.
  int GetDataSize(const AnsiString& ValueName);
  TRegDataType GetDataType(const AnsiString& ValueName);
  // Copies the key OldName (values and sub-keys) to NewName when NewName does not exist
  // yet, then deletes OldName when Delete is set.
  void MoveKey(const AnsiString& OldName, const AnsiString& NewName, bool Delete);
  void RenameValue(const AnsiString& OldName, const AnsiString& NewName);

  AnsiString ReadString(const AnsiString& Name);
  void WriteString(const AnsiString& Name, const AnsiString& Value);
  AnsiString ReadExpandString(const AnsiString& Name) { return ReadString(Name); }
  void WriteExpandString(const AnsiString& Name, const AnsiString& Value);
  int ReadInteger(const AnsiString& Name);
  void WriteInteger(const AnsiString& Name, int Value);
  bool ReadBool(const AnsiString& Name) { return ReadInteger(Name) != 0; }
  void WriteBool(const AnsiString& Name, bool Value) { WriteInteger(Name, Value ? 1 : 0); }
  double ReadFloat(const AnsiString& Name);
  void WriteFloat(const AnsiString& Name, double Value);
  // Returns the data size; raises when the value is not binary or does not fit.
  int ReadBinaryData(const AnsiString& Name, void* Buffer, int BufSize);
  void WriteBinaryData(const AnsiString& Name, const void* Buffer, int BufSize);

 protected:
  // Opens Key (relative to the current key) for reading; null when it does not exist.
  HKEY GetKey(const AnsiString& Key);
  // Makes Key the current key without closing the old one (the caller keeps it).
  void SetCurrentKey(HKEY Value) { current_ = Value; }

 private:
  HKEY BaseKey(bool relative) const { return (current_ && relative) ? current_ : root_; }
  void ChangeKey(HKEY Value, const AnsiString& Path);
  void PutData(const AnsiString& Name, const void* Buffer, DWORD BufSize, DWORD Type);
  // Returns the data size; raises when the value cannot be read.
  int GetData(const AnsiString& Name, void* Buffer, DWORD BufSize, TRegDataType& RegData);

  HKEY root_ = HKEY_CURRENT_USER;
  HKEY current_ = nullptr;
  AnsiString current_path_;
  REGSAM access_;
};

class TRegIniFile : public TRegistry {
 public:
  explicit TRegIniFile(const AnsiString& FileName, REGSAM AAccess = KEY_ALL_ACCESS);
  KV_CLASS_NAME(TRegIniFile)

  const AnsiString& FileName() const { return file_name_; }

  AnsiString ReadString(const AnsiString& Section, const AnsiString& Ident, const AnsiString& Default);
  void WriteString(const AnsiString& Section, const AnsiString& Ident, const AnsiString& Value);
  // A text value that is not a number gives Default; a REG_DWORD value is read as such.
  int ReadInteger(const AnsiString& Section, const AnsiString& Ident, int Default);
  void WriteInteger(const AnsiString& Section, const AnsiString& Ident, int Value);
  bool ReadBool(const AnsiString& Section, const AnsiString& Ident, bool Default);
  void WriteBool(const AnsiString& Section, const AnsiString& Ident, bool Value);
  void ReadSection(const AnsiString& Section, TStrings* Strings);
  void ReadSections(TStrings* Strings);
  void ReadSectionValues(const AnsiString& Section, TStrings* Strings);
  void EraseSection(const AnsiString& Section);
  void DeleteKey(const AnsiString& Section, const AnsiString& Ident);

 private:
  friend class TRegistryIniFile;
  // Runs `body` with Section's key current (created first when `create`); false when
  // the section does not exist.
  template <class F>
  bool InSection(const AnsiString& Section, bool create, F&& body);

  AnsiString file_name_;
};

class TRegistryIniFile : public TCustomIniFile {
 public:
  explicit TRegistryIniFile(const AnsiString& FileName, REGSAM AAccess = KEY_ALL_ACCESS);
  KV_CLASS_NAME(TRegistryIniFile)

  TRegIniFile& RegIniFile() { return reg_; }

  AnsiString ReadString(const AnsiString& Section, const AnsiString& Ident, const AnsiString& Default) override;
  void WriteString(const AnsiString& Section, const AnsiString& Ident, const AnsiString& Value) override;
  int ReadInteger(const AnsiString& Section, const AnsiString& Ident, int Default) override;
  void WriteInteger(const AnsiString& Section, const AnsiString& Ident, int Value) override;
  double ReadFloat(const AnsiString& Section, const AnsiString& Ident, double Default);
  void WriteFloat(const AnsiString& Section, const AnsiString& Ident, double Value);
  void ReadSections(TStrings* Strings) override;
  void ReadSection(const AnsiString& Section, TStrings* Strings) override;
  void EraseSection(const AnsiString& Section) override;
  void DeleteKey(const AnsiString& Section, const AnsiString& Ident) override;
  // Every write has reached the registry file already.
  void UpdateFile() override {}

 private:
  TRegIniFile reg_;
};
