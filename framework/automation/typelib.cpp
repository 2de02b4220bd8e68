#include "framework/automation/typelib.h"

#include <cstdio>

#include "framework/automation/comobj.h"
#include "platform/base/codepage.h"
#include "platform/registry/registry.h"

const TInterfaceRecord* TTypeLibRecord::FindInterface(REFIID iid) const {
  for (const auto& i : Interfaces)
    if (IsEqualGUID(i.Iid, iid)) return &i;
  return nullptr;
}

const TCoClassRecord* TTypeLibRecord::FindCoClass(REFCLSID clsid) const {
  for (const auto& c : CoClasses)
    if (IsEqualGUID(c.Clsid, clsid)) return &c;
  return nullptr;
}

AnsiString TTypeLibRecord::VersionText() const {
  char buf[16];
  snprintf(buf, sizeof buf, "%x.%x", MajorVersion, MinorVersion);
  return buf;
}

void CreateRegKey(const WideString& key, const WideString& value_name, const WideString& data) {
  HKEY k;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
  if (rc == ERROR_SUCCESS) {
    rc = RegSetValueExW(k, value_name.empty() ? nullptr : value_name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(data.c_str()), static_cast<DWORD>((data.size() + 1) * 2));
    RegCloseKey(k);
  }
  if (rc != ERROR_SUCCESS) throw EOleRegistrationError("Error creating system registry entry " + kv::WideToAnsi(key));
}

void DeleteRegKey(const WideString& key) {
  LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
    throw EOleRegistrationError("Error removing system registry entry " + kv::WideToAnsi(key));
}

namespace {

WideString W(const AnsiString& s) { return kv::AnsiToWide(s); }

// The default value of HKEY_CLASSES_ROOT\key, "" when there is none.
WideString ReadDefault(const WideString& key) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return {};
  OLECHAR buf[256];
  DWORD size = sizeof buf - 2, type = 0;
  LONG rc = RegQueryValueExW(k, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(k);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return {};
  WideString s(buf, size / 2);
  while (!s.empty() && s.back() == 0) s.pop_back();
  return s;
}

bool NeedsInterfaceKey(const TInterfaceRecord& i) { return i.Kind != TInterfaceKind::Custom; }

}  // namespace

void RegisterTypeLibRecord(const TTypeLibRecord& lib, const WideString& file, const WideString& help_dir) {
  WideString libid = kv::GuidToString(lib.LibId);
  WideString version = W(lib.VersionText());
  WideString base = u"TypeLib\\" + libid + u"\\" + version;
  char lcid[16];
  snprintf(lcid, sizeof lcid, "%x", lib.Lcid);
  CreateRegKey(base, u"", W(lib.HelpString.empty() ? lib.Name : lib.HelpString));
  CreateRegKey(base + u"\\" + W(lcid) + u"\\win32", u"", file);
  CreateRegKey(base + u"\\FLAGS", u"", u"0");
  CreateRegKey(base + u"\\HELPDIR", u"", help_dir);
  WideString proxy = kv::GuidToString(CLSID_PSDispatch);
  for (const auto& i : lib.Interfaces) {
    if (!NeedsInterfaceKey(i)) continue;
    WideString key = u"Interface\\" + kv::GuidToString(i.Iid);
    CreateRegKey(key, u"", W(i.Name));
    CreateRegKey(key + u"\\ProxyStubClsid", u"", proxy);
    CreateRegKey(key + u"\\ProxyStubClsid32", u"", proxy);
    CreateRegKey(key + u"\\TypeLib", u"", libid);
    CreateRegKey(key + u"\\TypeLib", u"Version", version);
  }
}

void UnRegisterTypeLibRecord(const TTypeLibRecord& lib) {
  WideString libid = kv::GuidToString(lib.LibId);
  for (const auto& i : lib.Interfaces) {
    WideString key = u"Interface\\" + kv::GuidToString(i.Iid);
    if (ReadDefault(key + u"\\TypeLib") == libid) DeleteRegKey(key);
  }
  WideString lib_key = u"TypeLib\\" + libid;
  DeleteRegKey(lib_key + u"\\" + W(lib.VersionText()));
  HKEY k;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, lib_key.c_str(), 0, KEY_READ, &k) == ERROR_SUCCESS) {
    DWORD sub_keys = 0;
    LONG rc = RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &sub_keys, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr);
    RegCloseKey(k);
    if (rc == ERROR_SUCCESS && sub_keys == 0) DeleteRegKey(lib_key);
  }
}
