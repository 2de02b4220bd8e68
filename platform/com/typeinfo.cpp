// Type libraries and type information from the descriptions modules hand over.
#include "platform/com/typeinfo.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/trace.h"
#include "platform/com/builtin.h"
#include "platform/registry/registry.h"

namespace {

struct Param {
  std::u16string name;
  VARTYPE vt;
  USHORT flags;
};

struct Func {
  std::u16string name;
  MEMBERID memid;
  INVOKEKIND invkind;
  VARTYPE result;
  WORD flags;
  std::vector<Param> params;
};

struct Impl {
  HREFTYPE type;  // index of the interface in the library
  INT flags;
};

struct Type {
  TYPEKIND kind;
  GUID guid;
  std::u16string name, doc;
  WORD flags;
  std::vector<Func> funcs;
  std::vector<Impl> impls;
};

std::u16string Text(LPCOLESTR s) { return s ? std::u16string(s) : std::u16string(); }

BSTR Bstr(const std::u16string& s) { return s.empty() ? nullptr : kv::AllocBstr(s); }

// Letter case folded in the ASCII range, as member names are matched.
bool SameName(const std::u16string& a, const OLECHAR* b) {
  size_t n = 0;
  while (b[n]) ++n;
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
    if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
    if (x != y) return false;
  }
  return true;
}

class TypeLib;

// One type of a library; its references are the library's.
class TypeInfo final : public ITypeInfo {
 public:
  TypeInfo(TypeLib* lib, UINT index) : lib_(lib), index_(index) {}

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT GetTypeAttr(TYPEATTR** attr) override;
  HRESULT GetTypeComp(ITypeComp** comp) override {
    if (comp) *comp = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) override;
  HRESULT GetVarDesc(UINT, VARDESC** desc) override {
    if (desc) *desc = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetNames(MEMBERID memid, BSTR* names, UINT max_names, UINT* count) override;
  HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) override;
  HRESULT GetImplTypeFlags(UINT index, INT* flags) override;
  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override;
  HRESULT Invoke(void*, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
  HRESULT GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* help_context, BSTR* help_file) override;
  HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
  HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) override;
  HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void** address) override {
    if (address) *address = nullptr;
    return E_NOTIMPL;
  }
  HRESULT CreateInstance(IUnknown*, REFIID, void** object) override {
    if (object) *object = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetMops(MEMBERID, BSTR* mops) override {
    if (mops) *mops = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) override;
  void ReleaseTypeAttr(TYPEATTR* attr) override { CoTaskMemFree(attr); }
  void ReleaseFuncDesc(FUNCDESC* desc) override { CoTaskMemFree(desc); }
  void ReleaseVarDesc(VARDESC*) override {}

 private:
  const Type& Data() const;
  const Func* FindMember(MEMBERID memid) const;
  TypeLib* lib_;
  UINT index_;
};

class TypeLib final : public ITypeLib {
 public:
  explicit TypeLib(const KvTypeLibData& d)
      : libid_(d.libid), major_(d.major), minor_(d.minor), lcid_(d.lcid), name_(Text(d.name)), doc_(Text(d.doc)) {}

  HRESULT Fill(const KvTypeLibData& d);
  const Type& TypeAt(UINT index) const { return types_[index]; }
  UINT Count() const { return static_cast<UINT>(types_.size()); }
  TypeInfo* Info(UINT index) { return infos_[index].get(); }
  LCID Lcid() const { return lcid_; }
  WORD Major() const { return major_; }
  WORD Minor() const { return minor_; }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITypeLib)) {
      *object = static_cast<ITypeLib*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  UINT GetTypeInfoCount() override { return Count(); }
  HRESULT GetTypeInfo(UINT index, ITypeInfo** info) override {
    if (!info) return E_INVALIDARG;
    *info = nullptr;
    if (index >= Count()) return TYPE_E_ELEMENTNOTFOUND;
    *info = Info(index);
    AddRef();
    return S_OK;
  }
  HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) override {
    if (!kind) return E_INVALIDARG;
    if (index >= Count()) return TYPE_E_ELEMENTNOTFOUND;
    *kind = types_[index].kind;
    return S_OK;
  }
  HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override {
    if (!info) return E_INVALIDARG;
    *info = nullptr;
    for (UINT i = 0; i < Count(); ++i)
      if (IsEqualGUID(types_[i].guid, guid)) return GetTypeInfo(i, info);
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetLibAttr(TLIBATTR** attr) override {
    if (!attr) return E_INVALIDARG;
    *attr = static_cast<TLIBATTR*>(CoTaskMemAlloc(sizeof(TLIBATTR)));
    if (!*attr) return E_OUTOFMEMORY;
    **attr = TLIBATTR{libid_, lcid_, SYS_WIN32, major_, minor_, 0};
    return S_OK;
  }
  HRESULT GetTypeComp(ITypeComp** comp) override {
    if (comp) *comp = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetDocumentation(INT index, BSTR* name, BSTR* doc, DWORD* help_context, BSTR* help_file) override {
    if (index == -1) return Document(name_, doc_, name, doc, help_context, help_file);
    if (index < 0 || static_cast<UINT>(index) >= Count()) return TYPE_E_ELEMENTNOTFOUND;
    const Type& t = types_[static_cast<UINT>(index)];
    return Document(t.name, t.doc, name, doc, help_context, help_file);
  }
  HRESULT IsName(LPOLESTR, ULONG, BOOL* found) override {
    if (found) *found = FALSE;
    return E_NOTIMPL;
  }
  HRESULT FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT* found) override {
    if (found) *found = 0;
    return E_NOTIMPL;
  }
  void ReleaseTLibAttr(TLIBATTR* attr) override { CoTaskMemFree(attr); }

  static HRESULT Document(const std::u16string& n, const std::u16string& d, BSTR* name, BSTR* doc, DWORD* help_context,
                          BSTR* help_file) {
    if (name) *name = Bstr(n);
    if (doc) *doc = Bstr(d);
    if (help_context) *help_context = 0;
    if (help_file) *help_file = nullptr;
    return S_OK;
  }

 private:
  ~TypeLib() = default;
  std::atomic<ULONG> refs_{1};
  GUID libid_;
  WORD major_, minor_;
  LCID lcid_;
  std::u16string name_, doc_;
  std::vector<Type> types_;
  std::vector<std::unique_ptr<TypeInfo>> infos_;
};

HRESULT TypeLib::Fill(const KvTypeLibData& d) {
  if (d.type_count && !d.types) return E_INVALIDARG;
  for (UINT i = 0; i < d.type_count; ++i) {
    const KvTypeData& t = d.types[i];
    if (t.kind != TKIND_DISPATCH && t.kind != TKIND_INTERFACE && t.kind != TKIND_COCLASS) return E_INVALIDARG;
    if (!t.name || (t.func_count && !t.funcs) || (t.impl_count && !t.impls)) return E_INVALIDARG;
    Type type{t.kind, t.guid, Text(t.name), Text(t.doc), t.flags, {}, {}};
    for (UINT f = 0; f < t.func_count; ++f) {
      const KvFuncData& fd = t.funcs[f];
      if (!fd.name || (fd.param_count && !fd.params)) return E_INVALIDARG;
      Func func{Text(fd.name), fd.memid, fd.invkind, fd.result, fd.flags, {}};
      for (UINT p = 0; p < fd.param_count; ++p)
        func.params.push_back(Param{Text(fd.params[p].name), fd.params[p].vt, fd.params[p].flags});
      type.funcs.push_back(std::move(func));
    }
    types_.push_back(std::move(type));
  }
  // Implemented interfaces refer to the library's own types.
  for (UINT i = 0; i < d.type_count; ++i) {
    const KvTypeData& t = d.types[i];
    for (UINT m = 0; m < t.impl_count; ++m) {
      UINT found = Count();
      for (UINT k = 0; k < Count(); ++k)
        if (types_[k].kind != TKIND_COCLASS && IsEqualGUID(types_[k].guid, t.impls[m].iid)) found = k;
      if (found == Count()) return E_INVALIDARG;
      types_[i].impls.push_back(Impl{found, t.impls[m].flags});
    }
  }
  for (UINT i = 0; i < Count(); ++i) infos_.push_back(std::make_unique<TypeInfo>(this, i));
  return S_OK;
}

// ---- TypeInfo -----------------------------------------------------------------------------

HRESULT TypeInfo::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITypeInfo)) {
    *object = static_cast<ITypeInfo*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG TypeInfo::AddRef() { return lib_->AddRef(); }
ULONG TypeInfo::Release() { return lib_->Release(); }

const Type& TypeInfo::Data() const { return lib_->TypeAt(index_); }

const Func* TypeInfo::FindMember(MEMBERID memid) const {
  for (const Func& f : Data().funcs)
    if (f.memid == memid) return &f;
  return nullptr;
}

HRESULT TypeInfo::GetTypeAttr(TYPEATTR** attr) {
  if (!attr) return E_INVALIDARG;
  auto* a = static_cast<TYPEATTR*>(CoTaskMemAlloc(sizeof(TYPEATTR)));
  *attr = a;
  if (!a) return E_OUTOFMEMORY;
  memset(a, 0, sizeof *a);
  const Type& t = Data();
  a->guid = t.guid;
  a->lcid = lib_->Lcid();
  a->memidConstructor = MEMBERID_NIL;
  a->memidDestructor = MEMBERID_NIL;
  a->cbSizeInstance = sizeof(void*);
  a->typekind = t.kind;
  a->cFuncs = static_cast<WORD>(t.funcs.size());
  a->cImplTypes = static_cast<WORD>(t.impls.size());
  // IDispatch's seven entries for dispatch interfaces.
  a->cbSizeVft = static_cast<WORD>(t.kind == TKIND_COCLASS ? 0 : 7 * sizeof(void*));
  a->cbAlignment = alignof(void*);
  a->wTypeFlags = t.flags;
  a->wMajorVerNum = lib_->Major();
  a->wMinorVerNum = lib_->Minor();
  a->tdescAlias.vt = VT_EMPTY;
  return S_OK;
}

HRESULT TypeInfo::GetFuncDesc(UINT index, FUNCDESC** desc) {
  if (!desc) return E_INVALIDARG;
  *desc = nullptr;
  const Type& t = Data();
  if (index >= t.funcs.size()) return TYPE_E_ELEMENTNOTFOUND;
  const Func& f = t.funcs[index];
  size_t n = f.params.size();
  // One block: the description, its parameters, and what by-reference parameters point at.
  size_t size = sizeof(FUNCDESC) + n * (sizeof(ELEMDESC) + sizeof(TYPEDESC));
  auto* block = static_cast<unsigned char*>(CoTaskMemAlloc(size));
  if (!block) return E_OUTOFMEMORY;
  memset(block, 0, size);
  auto* fd = reinterpret_cast<FUNCDESC*>(block);
  auto* params = reinterpret_cast<ELEMDESC*>(block + sizeof(FUNCDESC));
  auto* pointees = reinterpret_cast<TYPEDESC*>(block + sizeof(FUNCDESC) + n * sizeof(ELEMDESC));
  fd->memid = f.memid;
  fd->lprgelemdescParam = n ? params : nullptr;
  fd->funckind = FUNC_DISPATCH;
  fd->invkind = f.invkind;
  fd->callconv = CC_STDCALL;
  fd->cParams = static_cast<SHORT>(n);
  fd->oVft = 0;
  fd->elemdescFunc.tdesc.vt = f.result;
  fd->wFuncFlags = f.flags;
  for (size_t i = 0; i < n; ++i) {
    const Param& p = f.params[i];
    if (p.vt & VT_BYREF) {
      pointees[i].vt = static_cast<VARTYPE>(p.vt & ~VT_BYREF);
      params[i].tdesc.vt = VT_PTR;
      params[i].tdesc.lptdesc = &pointees[i];
    } else {
      params[i].tdesc.vt = p.vt;
    }
    params[i].paramdesc.wParamFlags = p.flags;
    if (p.flags & PARAMFLAG_FOPT) ++fd->cParamsOpt;
  }
  *desc = fd;
  return S_OK;
}

HRESULT TypeInfo::GetNames(MEMBERID memid, BSTR* names, UINT max_names, UINT* count) {
  if (!names || !count) return E_INVALIDARG;
  *count = 0;
  const Func* f = FindMember(memid);
  if (!f) return TYPE_E_ELEMENTNOTFOUND;
  if (max_names == 0) return S_OK;
  names[(*count)++] = Bstr(f->name);
  for (const Param& p : f->params) {
    if (*count == max_names) break;
    names[(*count)++] = Bstr(p.name);
  }
  return S_OK;
}

HRESULT TypeInfo::GetRefTypeOfImplType(UINT index, HREFTYPE* ref) {
  if (!ref) return E_INVALIDARG;
  const Type& t = Data();
  if (index >= t.impls.size()) return TYPE_E_ELEMENTNOTFOUND;
  *ref = t.impls[index].type;
  return S_OK;
}

HRESULT TypeInfo::GetImplTypeFlags(UINT index, INT* flags) {
  if (!flags) return E_INVALIDARG;
  const Type& t = Data();
  if (index >= t.impls.size()) return TYPE_E_ELEMENTNOTFOUND;
  *flags = t.impls[index].flags;
  return S_OK;
}

HRESULT TypeInfo::GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) {
  if (!ids || (count && !names)) return E_INVALIDARG;
  if (count == 0) return S_OK;
  for (UINT i = 0; i < count; ++i) ids[i] = MEMBERID_NIL;
  if (!names[0]) return DISP_E_UNKNOWNNAME;
  const Func* found = nullptr;
  for (const Func& f : Data().funcs) {
    if (SameName(f.name, names[0])) {
      found = &f;
      break;
    }
  }
  if (!found) return DISP_E_UNKNOWNNAME;
  ids[0] = found->memid;
  HRESULT hr = S_OK;
  for (UINT i = 1; i < count; ++i) {
    for (size_t p = 0; names[i] && p < found->params.size(); ++p) {
      if (!found->params[p].name.empty() && SameName(found->params[p].name, names[i])) {
        ids[i] = static_cast<MEMBERID>(p);
        break;
      }
    }
    if (ids[i] == MEMBERID_NIL) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT TypeInfo::GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* help_context, BSTR* help_file) {
  const Type& t = Data();
  if (memid == MEMBERID_NIL) return TypeLib::Document(t.name, t.doc, name, doc, help_context, help_file);
  const Func* f = FindMember(memid);
  if (!f) return TYPE_E_ELEMENTNOTFOUND;
  return TypeLib::Document(f->name, std::u16string(), name, doc, help_context, help_file);
}

HRESULT TypeInfo::GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) {
  if (!info) return E_INVALIDARG;
  *info = nullptr;
  if (ref >= lib_->Count()) return TYPE_E_ELEMENTNOTFOUND;
  *info = lib_->Info(ref);
  AddRef();
  return S_OK;
}

HRESULT TypeInfo::GetContainingTypeLib(ITypeLib** lib, UINT* index) {
  if (index) *index = index_;
  if (lib) {
    *lib = lib_;
    lib_->AddRef();
  }
  return S_OK;
}

// ---- Modules' libraries ---------------------------------------------------------------------

std::mutex& TableLock() {
  static auto* m = new std::mutex;
  return *m;
}

std::map<HMODULE, ITypeLib*>& ModuleLibs() {
  static auto* libs = new std::map<HMODULE, ITypeLib*>;
  return *libs;
}

// The library announced by `module`, with a reference; null when none.
ITypeLib* LibOfModule(HMODULE module) {
  std::lock_guard lock(TableLock());
  auto it = ModuleLibs().find(module);
  if (it == ModuleLibs().end()) return nullptr;
  it->second->AddRef();
  return it->second;
}

// A library whose module's file is `file`, with a reference (the executable's, which
// cannot be loaded again).
ITypeLib* LibOfLoadedFile(const std::u16string& file) {
  std::vector<HMODULE> modules;
  {
    std::lock_guard lock(TableLock());
    for (auto& [module, lib] : ModuleLibs()) modules.push_back(module);
  }
  for (HMODULE m : modules) {
    WCHAR buf[4096];
    DWORD n = GetModuleFileNameW(m, buf, 4096);
    if (n && n < 4096 && file == std::u16string(buf, n)) return LibOfModule(m);
  }
  return nullptr;
}

}  // namespace

extern "C" {

HRESULT KvCreateTypeLib(const KvTypeLibData* data, ITypeLib** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!data || !data->name) return E_INVALIDARG;
  try {
    auto* lib = new TypeLib(*data);
    HRESULT hr = lib->Fill(*data);
    if (FAILED(hr)) {
      lib->Release();
      return hr;
    }
    *out = lib;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT KvRegisterModuleTypeLib(HMODULE module, ITypeLib* lib) {
  if (!module) return E_INVALIDARG;
  ITypeLib* old = nullptr;
  {
    std::lock_guard lock(TableLock());
    auto& libs = ModuleLibs();
    auto it = libs.find(module);
    if (it != libs.end()) {
      old = it->second;
      libs.erase(it);
    }
    if (lib) {
      lib->AddRef();
      libs[module] = lib;
    }
  }
  if (old) old->Release();
  return S_OK;
}

HRESULT LoadTypeLib(LPCOLESTR file, ITypeLib** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!file || !*file) return E_INVALIDARG;
  if (ITypeLib* lib = LibOfLoadedFile(file)) {
    *out = lib;
    return S_OK;
  }
  // Loading the module makes it announce its library; the library outlives the module.
  HMODULE module = LoadLibraryW(file);
  if (!module) return TYPE_E_CANTLOADLIBRARY;
  ITypeLib* lib = LibOfModule(module);
  FreeLibrary(module);
  if (!lib) return TYPE_E_CANTLOADLIBRARY;
  *out = lib;
  return S_OK;
}

HRESULT LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, ITypeLib** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  std::u16string base = u"TypeLib\\" + kv::GuidToString(libid);
  HKEY k;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, base.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return TYPE_E_LIBNOTREGISTERED;
  // The highest minor version of `major` from `minor` up.
  std::u16string version;
  long best = -1;
  for (DWORD i = 0;; ++i) {
    WCHAR name[64];
    DWORD len = 64;
    if (RegEnumKeyExW(k, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    unsigned maj = 0, min = 0;
    char text[64];
    size_t j = 0;
    for (; j < len && j < sizeof text - 1; ++j) text[j] = static_cast<char>(name[j] < 128 ? name[j] : '?');
    text[j] = 0;
    char end = 0;
    if (sscanf(text, "%x.%x%c", &maj, &min, &end) != 2) continue;
    if (maj == major && min >= minor && static_cast<long>(min) > best) {
      best = static_cast<long>(min);
      version.assign(name, len);
    }
  }
  RegCloseKey(k);
  if (best < 0) return TYPE_E_LIBNOTREGISTERED;
  char lcid_text[16];
  snprintf(lcid_text, sizeof lcid_text, "%x", static_cast<unsigned>(lcid));
  std::u16string file;
  std::u16string key = base + u"\\" + version + u"\\";
  if (!kv::ClassesRootText(key + kv::Utf8ToWide(lcid_text) + u"\\win32", file) &&
      !kv::ClassesRootText(key + u"0\\win32", file))
    return TYPE_E_LIBNOTREGISTERED;
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLib(file.c_str(), &lib);
  if (FAILED(hr)) return hr;
  TLIBATTR* attr = nullptr;
  bool same = SUCCEEDED(lib->GetLibAttr(&attr)) && IsEqualGUID(attr->guid, libid);
  if (attr) lib->ReleaseTLibAttr(attr);
  if (!same) {
    lib->Release();
    return TYPE_E_LIBNOTREGISTERED;
  }
  KvTrace("com", "type library %s loaded from %s", kv::WideToUtf8(kv::GuidToString(libid)).c_str(),
          kv::WideToUtf8(file).c_str());
  *out = lib;
  return S_OK;
}

}  // extern "C"
