// COM initialisation, class objects from registered in-process servers, error objects.
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/error.h"
#include "platform/base/module.h"
#include "platform/base/trace.h"
#include "platform/base/codepage.h"
#include "platform/com/builtin.h"
#include "platform/com/oleauto.h"
#include "platform/registry/registry.h"

namespace {

thread_local int t_init_count = 0;

struct Server {
  LPFNGETCLASSOBJECT get_class_object;
  LPFNCANUNLOADNOW can_unload_now;
};

std::recursive_mutex& ServerLock() {
  static auto* m = new std::recursive_mutex;
  return *m;
}

std::map<HMODULE, Server>& Servers() {
  static auto* servers = new std::map<HMODULE, Server>;
  return *servers;
}

// The file named by HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32.
bool ServerFile(REFCLSID clsid, std::u16string& file) {
  return kv::ClassesRootText(u"CLSID\\" + kv::GuidToString(clsid) + u"\\InprocServer32", file);
}

HRESULT LoadServer(REFCLSID clsid, Server& out) {
  std::u16string file;
  if (!ServerFile(clsid, file)) {
    KvTrace("com", "class %s is not registered", kv::WideToUtf8(kv::GuidToString(clsid)).c_str());
    return REGDB_E_CLASSNOTREG;
  }
  HMODULE module = LoadLibraryW(file.c_str());
  if (!module) {
    DWORD error = GetLastError();
    KvTrace("com", "server %s of class %s does not load (error %u)", kv::WideToUtf8(file).c_str(),
            kv::WideToUtf8(kv::GuidToString(clsid)).c_str(), static_cast<unsigned>(error));
    return HRESULT_FROM_WIN32(error ? error : ERROR_MOD_NOT_FOUND);
  }
  std::lock_guard lock(ServerLock());
  auto& servers = Servers();
  auto it = servers.find(module);
  if (it != servers.end()) {
    FreeLibrary(module);  // held once by the cache already
    out = it->second;
    return S_OK;
  }
  auto get = reinterpret_cast<LPFNGETCLASSOBJECT>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  if (!get) {
    FreeLibrary(module);
    return CO_E_ERRORINDLL;
  }
  Server s{get, reinterpret_cast<LPFNCANUNLOADNOW>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")))};
  servers[module] = s;
  out = s;
  return S_OK;
}

// An error object: ICreateErrorInfo to fill it, IErrorInfo to read it.
class ErrorObject final : public ICreateErrorInfo, public IErrorInfo {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ICreateErrorInfo)) {
      *object = static_cast<ICreateErrorInfo*>(this);
    } else if (IsEqualIID(riid, IID_IErrorInfo)) {
      *object = static_cast<IErrorInfo*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  HRESULT SetGUID(REFGUID guid) override {
    guid_ = guid;
    return S_OK;
  }
  HRESULT SetSource(LPOLESTR s) override { return Keep(source_, s); }
  HRESULT SetDescription(LPOLESTR s) override { return Keep(description_, s); }
  HRESULT SetHelpFile(LPOLESTR s) override { return Keep(help_file_, s); }
  HRESULT SetHelpContext(DWORD c) override {
    help_context_ = c;
    return S_OK;
  }

  HRESULT GetGUID(GUID* guid) override {
    if (!guid) return E_INVALIDARG;
    *guid = guid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* s) override { return Give(source_, s); }
  HRESULT GetDescription(BSTR* s) override { return Give(description_, s); }
  HRESULT GetHelpFile(BSTR* s) override { return Give(help_file_, s); }
  HRESULT GetHelpContext(DWORD* c) override {
    if (!c) return E_INVALIDARG;
    *c = help_context_;
    return S_OK;
  }

 private:
  static HRESULT Keep(std::u16string& field, LPOLESTR s) {
    field = s ? s : u"";
    return S_OK;
  }
  static HRESULT Give(const std::u16string& field, BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = field.empty() ? nullptr : kv::AllocBstr(field);
    return (*out || field.empty()) ? S_OK : E_OUTOFMEMORY;
  }

  std::atomic<ULONG> refs_{1};
  GUID guid_ = GUID_NULL;
  std::u16string source_, description_, help_file_;
  DWORD help_context_ = 0;
};

thread_local IErrorInfo* t_error_info = nullptr;

}  // namespace

namespace kv {

bool ClassesRootText(const std::u16string& key, std::u16string& text) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = 0;
  LONG rc = RegQueryValueExW(k, nullptr, nullptr, &type, nullptr, &size);
  std::u16string value(size / 2 + 1, u'\0');
  if (rc == ERROR_SUCCESS) {
    size = static_cast<DWORD>(value.size() * 2);
    rc = RegQueryValueExW(k, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size);
  }
  RegCloseKey(k);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  value.resize(size / 2);
  while (!value.empty() && value.back() == 0) value.pop_back();
  if (value.empty()) return false;
  text = value;
  return true;
}

}  // namespace kv

extern "C" {

HRESULT CoInitializeEx(LPVOID, DWORD) { return t_init_count++ == 0 ? S_OK : S_FALSE; }
HRESULT CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }
HRESULT OleInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize(void) {
  if (t_init_count == 0) return;
  if (--t_init_count == 0) {
    CoFreeUnusedLibraries();
    if (t_error_info) {
      t_error_info->Release();
      t_error_info = nullptr;
    }
  }
}

void OleUninitialize(void) { CoUninitialize(); }

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID, REFIID riid, LPVOID* object) {
  if (!object) return E_INVALIDARG;
  *object = nullptr;
  if (t_init_count == 0) return CO_E_NOTINITIALIZED;
  if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  HRESULT builtin_hr = S_OK;
  if (kv::BuiltinClassObject(clsid, riid, object, &builtin_hr)) return builtin_hr;
  Server server;
  HRESULT hr = LoadServer(clsid, server);
  if (FAILED(hr)) return hr;
  return server.get_class_object(clsid, riid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* object) {
  if (!object) return E_INVALIDARG;
  *object = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  if (!factory) return E_UNEXPECTED;
  hr = factory->CreateInstance(outer, riid, object);
  factory->Release();
  return hr;
}

void CoFreeUnusedLibraries(void) {
  std::vector<HMODULE> unload;
  {
    std::lock_guard lock(ServerLock());
    auto& servers = Servers();
    for (auto it = servers.begin(); it != servers.end();) {
      if (it->second.can_unload_now && it->second.can_unload_now() == S_OK) {
        unload.push_back(it->first);
        it = servers.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (HMODULE m : unload) FreeLibrary(m);
  if (!unload.empty()) KvTrace("com", "%zu unused server(s) freed", unload.size());
}

DWORD KvComLoadedServerCount(void) {
  std::lock_guard lock(ServerLock());
  return static_cast<DWORD>(Servers().size());
}

HRESULT CreateErrorInfo(ICreateErrorInfo** out) {
  if (!out) return E_INVALIDARG;
  *out = new ErrorObject;
  return S_OK;
}

HRESULT SetErrorInfo(ULONG, IErrorInfo* info) {
  if (info) info->AddRef();
  if (t_error_info) t_error_info->Release();
  t_error_info = info;
  return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** out) {
  if (!out) return E_INVALIDARG;
  *out = t_error_info;
  t_error_info = nullptr;
  return *out ? S_OK : S_FALSE;
}

}  // extern "C"
