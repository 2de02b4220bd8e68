#include "framework/core/registry.h"

#include <cstring>
#include <vector>

#include "framework/core/sysutils.h"

namespace {

bool IsRelative(const AnsiString& key) { return key.empty() || key[0] != '\\'; }

TRegDataType DataTypeOf(DWORD type) {
  switch (type) {
    case REG_SZ: return rdString;
    case REG_EXPAND_SZ: return rdExpandString;
    case REG_DWORD: return rdInteger;
    case REG_BINARY: return rdBinary;
    default: return rdUnknown;
  }
}

[[noreturn]] void ReadError(const AnsiString& name) {
  throw ERegistryException("Invalid data type for '" + name + "'");
}

// Copies every value and sub-key of `from` into `to` (raw data, wide names).
void CopyTree(HKEY from, HKEY to) {
  for (DWORD i = 0;; ++i) {
    WCHAR name[16384];
    DWORD name_len = 16384, type = 0, size = 0;
    LONG rc = RegEnumValueW(from, i, name, &name_len, nullptr, &type, nullptr, &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) throw ERegistryException("Failed to get data for key");
    std::vector<BYTE> data(size);
    name_len = 16384;
    rc = RegEnumValueW(from, i, name, &name_len, nullptr, &type, data.data(), &size);
    if (rc != ERROR_SUCCESS || RegSetValueExW(to, name, 0, type, data.data(), size) != ERROR_SUCCESS)
      throw ERegistryException("Failed to set data for key");
  }
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD name_len = 256;
    LONG rc = RegEnumKeyExW(from, i, name, &name_len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    HKEY src, dst;
    if (rc != ERROR_SUCCESS || RegOpenKeyExW(from, name, 0, KEY_READ, &src) != ERROR_SUCCESS)
      throw ERegistryException("Failed to get data for key");
    if (RegCreateKeyExW(to, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &dst, nullptr) != ERROR_SUCCESS) {
      RegCloseKey(src);
      throw ERegistryException("Failed to create key");
    }
    try {
      CopyTree(src, dst);
    } catch (...) {
      RegCloseKey(src);
      RegCloseKey(dst);
      throw;
    }
    RegCloseKey(src);
    RegCloseKey(dst);
  }
}

}  // namespace

void TRegistry::SetRootKey(HKEY Value) {
  if (Value == root_) return;
  CloseKey();
  root_ = Value;
}

void TRegistry::CloseKey() {
  if (current_) {
    RegCloseKey(current_);
    current_ = nullptr;
    current_path_.clear();
  }
}

void TRegistry::ChangeKey(HKEY Value, const AnsiString& Path) {
  CloseKey();
  current_ = Value;
  current_path_ = Path;
}

bool TRegistry::OpenKey(const AnsiString& Key, bool CanCreate) {
  AnsiString s = Key;
  bool relative = IsRelative(s);
  if (!relative) s.erase(0, 1);
  HKEY k = nullptr;
  LONG rc;
  if (!CanCreate || s.empty()) {
    rc = RegOpenKeyExA(BaseKey(relative), s.c_str(), 0, access_, &k);
  } else {
    rc = RegCreateKeyExA(BaseKey(relative), s.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access_, nullptr, &k,
                         nullptr);
  }
  if (rc != ERROR_SUCCESS) return false;
  if (current_ && relative) s = current_path_.empty() ? s : current_path_ + "\\" + s;
  ChangeKey(k, s);
  return true;
}

bool TRegistry::OpenKeyReadOnly(const AnsiString& Key) {
  REGSAM saved = access_;
  access_ = KEY_READ;
  bool ok = OpenKey(Key, false);
  access_ = saved;
  return ok;
}

bool TRegistry::CreateKey(const AnsiString& Key) {
  AnsiString s = Key;
  bool relative = IsRelative(s);
  if (!relative) s.erase(0, 1);
  HKEY k = nullptr;
  if (RegCreateKeyExA(BaseKey(relative), s.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &k,
                      nullptr) != ERROR_SUCCESS)
    throw ERegistryException("Failed to create key " + Key);
  RegCloseKey(k);
  return true;
}

bool TRegistry::DeleteKey(const AnsiString& Key) {
  AnsiString s = Key;
  bool relative = IsRelative(s);
  if (!relative) s.erase(0, 1);
  if (s.empty()) return false;
  return RegDeleteTreeA(BaseKey(relative), s.c_str()) == ERROR_SUCCESS;
}

bool TRegistry::DeleteValue(const AnsiString& Name) {
  return current_ && RegDeleteValueA(current_, Name.c_str()) == ERROR_SUCCESS;
}

HKEY TRegistry::GetKey(const AnsiString& Key) {
  AnsiString s = Key;
  bool relative = IsRelative(s);
  if (!relative) s.erase(0, 1);
  HKEY k = nullptr;
  if (RegOpenKeyExA(BaseKey(relative), s.c_str(), 0, access_, &k) != ERROR_SUCCESS) return nullptr;
  return k;
}

bool TRegistry::KeyExists(const AnsiString& Key) {
  REGSAM saved = access_;
  access_ = KEY_READ;
  HKEY k = GetKey(Key);
  access_ = saved;
  if (!k) return false;
  RegCloseKey(k);
  return true;
}

bool TRegistry::GetDataInfo(const AnsiString& ValueName, TRegDataInfo& Value) {
  Value = TRegDataInfo{};
  HKEY k = current_ ? current_ : root_;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(k, ValueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  Value.RegData = DataTypeOf(type);
  Value.DataSize = static_cast<int>(size);
  return true;
}

bool TRegistry::ValueExists(const AnsiString& Name) {
  TRegDataInfo info;
  return GetDataInfo(Name, info);
}

int TRegistry::GetDataSize(const AnsiString& ValueName) {
  TRegDataInfo info;
  return GetDataInfo(ValueName, info) ? info.DataSize : -1;
}

TRegDataType TRegistry::GetDataType(const AnsiString& ValueName) {
  TRegDataInfo info;
  return GetDataInfo(ValueName, info) ? info.RegData : rdUnknown;
}

bool TRegistry::GetKeyInfo(TRegKeyInfo& Value) {
  Value = TRegKeyInfo{};
  HKEY k = current_ ? current_ : root_;
  DWORD sub = 0, max_sub = 0, values = 0, max_value = 0, max_data = 0;
  if (RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &sub, &max_sub, nullptr, &values, &max_value, &max_data, nullptr,
                       &Value.FileTime) != ERROR_SUCCESS)
    return false;
  Value.NumSubKeys = static_cast<int>(sub);
  Value.MaxSubKeyLen = static_cast<int>(max_sub);
  Value.NumValues = static_cast<int>(values);
  Value.MaxValueLen = static_cast<int>(max_value);
  Value.MaxDataLen = static_cast<int>(max_data);
  return true;
}

bool TRegistry::HasSubKeys() {
  TRegKeyInfo info;
  return GetKeyInfo(info) && info.NumSubKeys > 0;
}

void TRegistry::GetKeyNames(TStrings* Strings) {
  Strings->Clear();
  HKEY k = current_ ? current_ : root_;
  for (DWORD i = 0;; ++i) {
    char name[1024];
    DWORD len = sizeof name;
    if (RegEnumKeyExA(k, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    Strings->Add(AnsiString(name, len));
  }
}

void TRegistry::GetValueNames(TStrings* Strings) {
  Strings->Clear();
  HKEY k = current_ ? current_ : root_;
  std::vector<char> name(65536);
  for (DWORD i = 0;; ++i) {
    DWORD len = static_cast<DWORD>(name.size());
    if (RegEnumValueA(k, i, name.data(), &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    Strings->Add(AnsiString(name.data(), len));
  }
}

void TRegistry::MoveKey(const AnsiString& OldName, const AnsiString& NewName, bool Delete) {
  if (!KeyExists(OldName) || KeyExists(NewName)) return;
  HKEY from = GetKey(OldName);
  if (!from) return;
  CreateKey(NewName);
  HKEY to = GetKey(NewName);
  if (!to) {
    RegCloseKey(from);
    throw ERegistryException("Failed to create key " + NewName);
  }
  try {
    CopyTree(from, to);
  } catch (...) {
    RegCloseKey(from);
    RegCloseKey(to);
    throw;
  }
  RegCloseKey(from);
  RegCloseKey(to);
  if (Delete) DeleteKey(OldName);
}

void TRegistry::RenameValue(const AnsiString& OldName, const AnsiString& NewName) {
  HKEY k = current_ ? current_ : root_;
  if (!ValueExists(OldName) || ValueExists(NewName)) return;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(k, OldName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return;
  std::vector<BYTE> data(size);
  if (RegQueryValueExA(k, OldName.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS) return;
  PutData(NewName, data.data(), size, type);
  DeleteValue(OldName);
}

void TRegistry::PutData(const AnsiString& Name, const void* Buffer, DWORD BufSize, DWORD Type) {
  HKEY k = current_ ? current_ : root_;
  if (RegSetValueExA(k, Name.c_str(), 0, Type, static_cast<const BYTE*>(Buffer), BufSize) != ERROR_SUCCESS)
    throw ERegistryException("Failed to set data for '" + Name + "'");
}

int TRegistry::GetData(const AnsiString& Name, void* Buffer, DWORD BufSize, TRegDataType& RegData) {
  HKEY k = current_ ? current_ : root_;
  DWORD type = 0, size = BufSize;
  if (RegQueryValueExA(k, Name.c_str(), nullptr, &type, static_cast<BYTE*>(Buffer), &size) != ERROR_SUCCESS)
    throw ERegistryException("Failed to get data for '" + Name + "'");
  RegData = DataTypeOf(type);
  return static_cast<int>(size);
}

AnsiString TRegistry::ReadString(const AnsiString& Name) {
  int len = GetDataSize(Name);
  if (len <= 0) return {};
  std::string buf(static_cast<size_t>(len), '\0');
  TRegDataType type;
  int got = GetData(Name, buf.data(), static_cast<DWORD>(len), type);
  if (type != rdString && type != rdExpandString) ReadError(Name);
  buf.resize(static_cast<size_t>(got));
  size_t nul = buf.find('\0');
  if (nul != std::string::npos) buf.resize(nul);
  return buf;
}

void TRegistry::WriteString(const AnsiString& Name, const AnsiString& Value) {
  PutData(Name, Value.c_str(), static_cast<DWORD>(Value.size() + 1), REG_SZ);
}

void TRegistry::WriteExpandString(const AnsiString& Name, const AnsiString& Value) {
  PutData(Name, Value.c_str(), static_cast<DWORD>(Value.size() + 1), REG_EXPAND_SZ);
}

int TRegistry::ReadInteger(const AnsiString& Name) {
  TRegDataInfo info;
  if (!GetDataInfo(Name, info)) throw ERegistryException("Failed to get data for '" + Name + "'");
  if (info.RegData != rdInteger || info.DataSize != 4) ReadError(Name);
  int value = 0;
  TRegDataType type;
  GetData(Name, &value, sizeof value, type);
  return value;
}

void TRegistry::WriteInteger(const AnsiString& Name, int Value) { PutData(Name, &Value, sizeof Value, REG_DWORD); }

double TRegistry::ReadFloat(const AnsiString& Name) {
  TRegDataInfo info;
  if (!GetDataInfo(Name, info)) throw ERegistryException("Failed to get data for '" + Name + "'");
  if (info.RegData != rdBinary || info.DataSize != static_cast<int>(sizeof(double))) ReadError(Name);
  double value = 0;
  TRegDataType type;
  GetData(Name, &value, sizeof value, type);
  return value;
}

void TRegistry::WriteFloat(const AnsiString& Name, double Value) { PutData(Name, &Value, sizeof Value, REG_BINARY); }

int TRegistry::ReadBinaryData(const AnsiString& Name, void* Buffer, int BufSize) {
  TRegDataInfo info;
  if (!GetDataInfo(Name, info)) return 0;
  if ((info.RegData != rdBinary && info.RegData != rdUnknown) || info.DataSize > BufSize) ReadError(Name);
  TRegDataType type;
  return GetData(Name, Buffer, static_cast<DWORD>(BufSize), type);
}

void TRegistry::WriteBinaryData(const AnsiString& Name, const void* Buffer, int BufSize) {
  if (BufSize < 0) throw ERegistryException("Failed to set data for '" + Name + "'");
  PutData(Name, Buffer, static_cast<DWORD>(BufSize), REG_BINARY);
}

// ---------------------------------------------------------------------------------------

TRegIniFile::TRegIniFile(const AnsiString& FileName, REGSAM AAccess) : TRegistry(AAccess), file_name_(FileName) {
  OpenKey(FileName, true);
}

template <class F>
bool TRegIniFile::InSection(const AnsiString& Section, bool create, F&& body) {
  if (!CurrentKey()) return false;
  if (create && !Section.empty()) CreateKey(Section);
  HKEY k = GetKey(Section);
  if (!k) return false;
  HKEY old = CurrentKey();
  SetCurrentKey(k);
  try {
    body();
  } catch (...) {
    SetCurrentKey(old);
    RegCloseKey(k);
    throw;
  }
  SetCurrentKey(old);
  RegCloseKey(k);
  return true;
}

AnsiString TRegIniFile::ReadString(const AnsiString& Section, const AnsiString& Ident, const AnsiString& Default) {
  AnsiString result = Default;
  InSection(Section, false, [&] {
    if (ValueExists(Ident)) result = TRegistry::ReadString(Ident);
  });
  return result;
}

void TRegIniFile::WriteString(const AnsiString& Section, const AnsiString& Ident, const AnsiString& Value) {
  if (!InSection(Section, true, [&] { TRegistry::WriteString(Ident, Value); }))
    throw ERegistryException("Failed to set data for '" + Ident + "'");
}

int TRegIniFile::ReadInteger(const AnsiString& Section, const AnsiString& Ident, int Default) {
  int result = Default;
  InSection(Section, false, [&] {
    if (!ValueExists(Ident)) return;
    if (GetDataType(Ident) == rdString) {
      result = StrToIntDef(TRegistry::ReadString(Ident), Default);
    } else {
      result = TRegistry::ReadInteger(Ident);
    }
  });
  return result;
}

void TRegIniFile::WriteInteger(const AnsiString& Section, const AnsiString& Ident, int Value) {
  WriteString(Section, Ident, IntToStr(Value));
}

bool TRegIniFile::ReadBool(const AnsiString& Section, const AnsiString& Ident, bool Default) {
  return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TRegIniFile::WriteBool(const AnsiString& Section, const AnsiString& Ident, bool Value) {
  WriteInteger(Section, Ident, Value ? 1 : 0);
}

void TRegIniFile::ReadSection(const AnsiString& Section, TStrings* Strings) {
  Strings->Clear();
  InSection(Section, false, [&] { GetValueNames(Strings); });
}

void TRegIniFile::ReadSections(TStrings* Strings) {
  Strings->Clear();
  if (CurrentKey()) GetKeyNames(Strings);
}

void TRegIniFile::ReadSectionValues(const AnsiString& Section, TStrings* Strings) {
  Strings->Clear();
  InSection(Section, false, [&] {
    TStringList names;
    GetValueNames(&names);
    for (int i = 0; i < names.Count(); ++i) {
      AnsiString n = names.Get(i);
      TRegDataType t = GetDataType(n);
      AnsiString v = (t == rdString || t == rdExpandString) ? TRegistry::ReadString(n)
                     : t == rdInteger                       ? IntToStr(TRegistry::ReadInteger(n))
                                                            : AnsiString();
      Strings->Add(n + "=" + v);
    }
  });
}

void TRegIniFile::EraseSection(const AnsiString& Section) {
  if (!TRegistry::DeleteKey(Section)) throw ERegistryException("Unable to delete key " + Section);
}

void TRegIniFile::DeleteKey(const AnsiString& Section, const AnsiString& Ident) {
  InSection(Section, false, [&] { DeleteValue(Ident); });
}

// ---------------------------------------------------------------------------------------

TRegistryIniFile::TRegistryIniFile(const AnsiString& FileName, REGSAM AAccess)
    : TCustomIniFile(FileName), reg_(FileName, AAccess) {}

AnsiString TRegistryIniFile::ReadString(const AnsiString& Section, const AnsiString& Ident, const AnsiString& Default) {
  return reg_.ReadString(Section, Ident, Default);
}

void TRegistryIniFile::WriteString(const AnsiString& Section, const AnsiString& Ident, const AnsiString& Value) {
  reg_.WriteString(Section, Ident, Value);
}

int TRegistryIniFile::ReadInteger(const AnsiString& Section, const AnsiString& Ident, int Default) {
  return reg_.ReadInteger(Section, Ident, Default);
}

void TRegistryIniFile::WriteInteger(const AnsiString& Section, const AnsiString& Ident, int Value) {
  if (!reg_.InSection(Section, true, [&] { reg_.TRegistry::WriteInteger(Ident, Value); }))
    throw ERegistryException("Failed to set data for '" + Ident + "'");
}

double TRegistryIniFile::ReadFloat(const AnsiString& Section, const AnsiString& Ident, double Default) {
  double result = Default;
  reg_.InSection(Section, false, [&] {
    if (!reg_.ValueExists(Ident)) return;
    if (reg_.GetDataType(Ident) == rdString) {
      result = StrToFloatDef(reg_.TRegistry::ReadString(Ident), Default);
    } else {
      result = reg_.TRegistry::ReadFloat(Ident);
    }
  });
  return result;
}

void TRegistryIniFile::WriteFloat(const AnsiString& Section, const AnsiString& Ident, double Value) {
  if (!reg_.InSection(Section, true, [&] { reg_.TRegistry::WriteFloat(Ident, Value); }))
    throw ERegistryException("Failed to set data for '" + Ident + "'");
}

void TRegistryIniFile::ReadSections(TStrings* Strings) { reg_.ReadSections(Strings); }

void TRegistryIniFile::ReadSection(const AnsiString& Section, TStrings* Strings) { reg_.ReadSection(Section, Strings); }

void TRegistryIniFile::EraseSection(const AnsiString& Section) { reg_.EraseSection(Section); }

void TRegistryIniFile::DeleteKey(const AnsiString& Section, const AnsiString& Ident) { reg_.DeleteKey(Section, Ident); }
