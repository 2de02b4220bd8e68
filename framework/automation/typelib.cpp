#include "framework/automation/typelib.h"

#include <cstdio>
#include <deque>

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

namespace {

// The description handed to COM, with the storage its pointers refer to.
class TTypeLibDescription {
 public:
  explicit TTypeLibDescription(const TTypeLibRecord& lib) {
    for (const auto& i : lib.Interfaces) AddInterface(i);
    for (const auto& c : lib.CoClasses) AddCoClass(c);
    data_ = KvTypeLibData{lib.LibId,
                          lib.MajorVersion,
                          lib.MinorVersion,
                          lib.Lcid,
                          Str(W(lib.Name)),
                          Str(W(lib.HelpString)),
                          static_cast<UINT>(types_.size()),
                          types_.data()};
  }
  const KvTypeLibData& Data() const { return data_; }

 private:
  LPCOLESTR Str(WideString s) { return strings_.emplace_back(std::move(s)).c_str(); }

  void AddInterface(const TInterfaceRecord& i) {
    bool dual = i.Kind == TInterfaceKind::Dual;
    std::vector<KvFuncData>& funcs = funcs_.emplace_back();
    if (i.Table) {
      for (const auto& m : i.Table().Members()) {
        funcs.push_back(Func(m.Name, m.Id, m.Kind, dual, m.Described ? &m.Params : nullptr, m.Args, m.Optional));
      }
    } else {
      for (const auto& m : i.Members) {
        const auto& params = parsed_.emplace_back(ParseDispSignature(m.Kind, m.Signature));
        funcs.push_back(Func(m.Name, m.Id, m.Kind, dual, &params, 0, 0));
      }
    }
    WORD flags = 0;
    TYPEKIND kind = TKIND_DISPATCH;
    if (dual) flags = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION;
    if (i.Kind == TInterfaceKind::DispInterface) flags = TYPEFLAG_FDISPATCHABLE;
    if (i.Kind == TInterfaceKind::Custom) {
      kind = TKIND_INTERFACE;
      funcs.clear();
    }
    types_.push_back(KvTypeData{kind, i.Iid, Str(W(i.Name)), Str(W(i.HelpString)), flags,
                                static_cast<UINT>(funcs.size()), funcs.data(), 0, nullptr});
  }

  void AddCoClass(const TCoClassRecord& c) {
    std::vector<KvImplData>& impls = impls_.emplace_back();
    for (const auto& i : c.Implements)
      impls.push_back(
          KvImplData{i.Iid, (i.IsDefault ? IMPLTYPEFLAG_FDEFAULT : 0) | (i.IsSource ? IMPLTYPEFLAG_FSOURCE : 0)});
    types_.push_back(KvTypeData{TKIND_COCLASS, c.Clsid, Str(W(c.Name)), Str(W(c.HelpString)), TYPEFLAG_FCANCREATE, 0,
                                nullptr, static_cast<UINT>(impls.size()), impls.data()});
  }

  // A member as declared by its signature, else with variant parameters and result.
  KvFuncData Func(const AnsiString& name, DISPID id, TDispKind kind, bool dual, const std::vector<TDispParam>* declared,
                  int args, int optional) {
    std::vector<KvParamData>& params = params_.emplace_back();
    VARTYPE result;
    if (declared) {
      for (const TDispParam& p : *declared) {
        USHORT flags = static_cast<USHORT>((p.In ? PARAMFLAG_FIN : 0) | (p.Out ? PARAMFLAG_FOUT : 0) |
                                           (p.Retval ? PARAMFLAG_FRETVAL : 0) | (p.Optional ? PARAMFLAG_FOPT : 0));
        params.push_back(KvParamData{Str(W(p.Name)), static_cast<VARTYPE>(p.Type | (p.Out ? VT_BYREF : 0)), flags});
      }
      result = dual ? VT_HRESULT : VT_VOID;
    } else {
      for (int a = 0; a < args; ++a) {
        USHORT flags = static_cast<USHORT>(PARAMFLAG_FIN | (a >= args - optional ? PARAMFLAG_FOPT : 0));
        params.push_back(KvParamData{Str(u""), VT_VARIANT, flags});
      }
      bool put = kind == TDispKind::PropertyPut || kind == TDispKind::PropertyPutRef;
      if (put) params.push_back(KvParamData{Str(u""), VT_VARIANT, PARAMFLAG_FIN});
      result = put ? VT_VOID : VT_VARIANT;
    }
    static const INVOKEKIND kKinds[] = {INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF};
    return KvFuncData{Str(W(name)), id, kKinds[static_cast<int>(kind)], result, 0, static_cast<UINT>(params.size()),
                      params.data()};
  }

  // Deques: what is added never moves, so the pointers stay good.
  std::deque<WideString> strings_;
  std::deque<std::vector<TDispParam>> parsed_;
  std::deque<std::vector<KvParamData>> params_;
  std::deque<std::vector<KvFuncData>> funcs_;
  std::deque<std::vector<KvImplData>> impls_;
  std::vector<KvTypeData> types_;
  KvTypeLibData data_{};
};

}  // namespace

ITypeLib* CreateTypeLibInfo(const TTypeLibRecord& lib) {
  TTypeLibDescription description(lib);
  ITypeLib* out = nullptr;
  HRESULT hr = KvCreateTypeLib(&description.Data(), &out);
  if (FAILED(hr)) throw EOleSysError("", hr);
  return out;
}

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
