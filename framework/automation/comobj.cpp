#include "framework/automation/comobj.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/module.h"

namespace {

AnsiString SysErrorText(HRESULT hr) {
  char buf[512];
  DWORD code = static_cast<DWORD>(hr);
  if (HRESULT_FACILITY(hr) == FACILITY_WIN32) code = static_cast<DWORD>(HRESULT_CODE(hr));
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buf,
                           sizeof buf, nullptr);
  AnsiString s(buf, n);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.')) s.pop_back();
  if (!s.empty()) return s;
  snprintf(buf, sizeof buf, "OLE error %08X", static_cast<unsigned>(hr));
  return buf;
}

WideString W(const AnsiString& s) { return kv::AnsiToWide(s); }

// A bare switch ("/regserver", "-Embedding") from the command line, without its prefix.
AnsiString SwitchName(const AnsiString& param) {
  if (param.size() < 2 || (param[0] != '/' && param[0] != '-')) return {};
  AnsiString s = param.substr(1);
  for (auto& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return s;
}

void ThisModuleMarker() {}

}  // namespace

EOleSysError::EOleSysError(const AnsiString& message, HRESULT error_code)
    : EOleError(message.empty() ? SysErrorText(error_code) : message), error_code_(error_code) {}

HRESULT OleCheck(HRESULT hr) {
  if (FAILED(hr)) throw EOleSysError("", hr);
  return hr;
}

HRESULT SafeCall(const WideString& source, const std::function<void()>& body) noexcept {
  HRESULT code = E_UNEXPECTED;
  AnsiString message;
  WideString src = source;
  try {
    body();
    return S_OK;
  } catch (const EOleSysError& e) {
    code = e.ErrorCode();
    message = e.Message();
    if (src.empty()) src = W(e.ClassName());
  } catch (const Exception& e) {
    message = e.Message();
    if (src.empty()) src = W(e.ClassName());
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "Unknown exception";
  }
  try {
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create)) && create) {
      WideString d = W(message);
      create->SetSource(src.data());
      create->SetDescription(d.data());
      IErrorInfo* info = nullptr;
      if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info))) && info) {
        SetErrorInfo(0, info);
        info->Release();
      }
      create->Release();
    }
  } catch (...) {
  }
  return code;
}

// ---------------------------------------------------------------------------------------
// Server.

TComServer& ComServer() {
  static TComServer server;  // one per module; goes when the module is unloaded
  return server;
}

TComServer::~TComServer() { DropTypeInfo(); }

void TComServer::DropTypeInfo() {
  if (!type_info_) return;
  KvRegisterModuleTypeLib(KvModuleOfAddress(reinterpret_cast<const void*>(&ThisModuleMarker)), nullptr);
  type_info_->Release();
  type_info_ = nullptr;
}

void TComServer::SetTypeLib(const TTypeLibRecord* lib) {
  DropTypeInfo();
  type_lib_ = lib;
  if (!lib) return;
  try {
    type_info_ = CreateTypeLibInfo(*lib);
    KvRegisterModuleTypeLib(KvModuleOfAddress(reinterpret_cast<const void*>(&ThisModuleMarker)), type_info_);
  } catch (const Exception& e) {
    fprintf(stderr, "Type library %s: %s\n", lib->Name.c_str(), e.Message().c_str());
  }
}

HRESULT TComServer::InterfaceTypeInfo(REFIID iid, ITypeInfo** info) const {
  if (!info) return E_INVALIDARG;
  *info = nullptr;
  if (!type_info_) return DISP_E_BADINDEX;
  ITypeInfo* found = nullptr;
  if (FAILED(type_info_->GetTypeInfoOfGuid(iid, &found))) return DISP_E_BADINDEX;
  TYPEATTR* attr = nullptr;
  bool dispatch = SUCCEEDED(found->GetTypeAttr(&attr)) && attr->typekind == TKIND_DISPATCH;
  if (attr) found->ReleaseTypeAttr(attr);
  if (!dispatch) {
    found->Release();
    return DISP_E_BADINDEX;
  }
  *info = found;
  return S_OK;
}

void TComServer::AddFactory(TComObjectFactory* factory) { factories_.push_back(factory); }

void TComServer::RemoveFactory(TComObjectFactory* factory) {
  factories_.erase(std::remove(factories_.begin(), factories_.end(), factory), factories_.end());
}

TComObjectFactory* TComServer::FindFactory(REFCLSID clsid) const {
  for (auto* f : factories_)
    if (IsEqualGUID(f->ClassID(), clsid)) return f;
  return nullptr;
}

void TComServer::CountObject(bool created) { created ? ++objects_ : --objects_; }
void TComServer::CountLock(bool lock) { lock ? ++locks_ : --locks_; }

WideString TComServer::ServerFileName() const {
  HMODULE module = KvModuleOfAddress(reinterpret_cast<const void*>(&ThisModuleMarker));
  WCHAR buf[4096];
  DWORD n = GetModuleFileNameW(module, buf, 4096);
  if (n == 0 || n >= 4096) throw EOleError("Cannot find the server's file name");
  return WideString(buf, n);
}

bool TComServer::IsInprocServer() const {
  HMODULE module = KvModuleOfAddress(reinterpret_cast<const void*>(&ThisModuleMarker));
  return module && module != GetModuleHandleA(nullptr);
}

void TComServer::UpdateRegistry(bool Register) {
  if (type_lib_) {
    if (Register) {
      WideString file = ServerFileName();
      size_t cut = file.find_last_of(u'/');
      WideString dir = cut == WideString::npos ? WideString() : file.substr(0, cut);
      RegisterTypeLibRecord(*type_lib_, file, dir);
    } else {
      UnRegisterTypeLibRecord(*type_lib_);
    }
  }
  for (auto* f : factories_) f->UpdateRegistry(Register);
}

bool TComServer::Initialize(const std::vector<AnsiString>& params) {
  for (const auto& p : params) {
    AnsiString s = SwitchName(p);
    if (s == "REGSERVER")
      start_mode_ = smRegServer;
    else if (s == "UNREGSERVER")
      start_mode_ = smUnregServer;
    else if ((s == "AUTOMATION" || s == "EMBEDDING") && start_mode_ == smStandalone)
      start_mode_ = smAutomation;
  }
  try {
    UpdateRegistry(start_mode_ != smUnregServer);
  } catch (const Exception& e) {
    fprintf(stderr, "%s\n", e.Message().c_str());
  }
  return start_mode_ != smRegServer && start_mode_ != smUnregServer;
}

HRESULT TComServer::GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  TComObjectFactory* f = FindFactory(clsid);
  if (!f || f->Instancing() == ciInternal) return CLASS_E_CLASSNOTAVAILABLE;
  return f->QueryInterface(riid, object);
}

HRESULT TComServer::RegisterServer() {
  try {
    UpdateRegistry(true);
    return S_OK;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

HRESULT TComServer::UnregisterServer() {
  try {
    UpdateRegistry(false);
    return S_OK;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

// ---------------------------------------------------------------------------------------
// Factories.

TComObjectFactory::TComObjectFactory(TComServer& server, TCreator creator, const CLSID& clsid,
                                     const AnsiString& class_name, const AnsiString& description,
                                     TClassInstancing instancing, TThreadingModel threading)
    : server_(server),
      creator_(std::move(creator)),
      clsid_(clsid),
      class_name_(class_name),
      description_(description),
      instancing_(instancing),
      threading_(threading) {
  server_.AddFactory(this);
}

TComObjectFactory::~TComObjectFactory() { server_.RemoveFactory(this); }

AnsiString TComObjectFactory::ProgID() const {
  AnsiString server = server_.ServerName();
  return server.empty() ? AnsiString() : server + "." + class_name_;
}

IUnknown* TComObjectFactory::CreateComObject() { return creator_(); }

void TComObjectFactory::UpdateRegistry(bool Register) {
  if (instancing_ == ciInternal) return;
  WideString clsid = kv::GuidToString(clsid_);
  WideString class_key = u"CLSID\\" + clsid;
  WideString prog_id = W(ProgID());
  if (!Register) {
    if (!prog_id.empty()) DeleteRegKey(prog_id);
    DeleteRegKey(class_key);
    return;
  }
  bool inproc = server_.IsInprocServer();
  CreateRegKey(class_key, u"", W(description_));
  WideString server_key = class_key + (inproc ? u"\\InprocServer32" : u"\\LocalServer32");
  CreateRegKey(server_key, u"", server_.ServerFileName());
  if (inproc && threading_ != tmSingle) {
    static const char16_t* const kModels[] = {u"", u"Apartment", u"Free", u"Both", u"Neutral"};
    CreateRegKey(server_key, u"ThreadingModel", kModels[threading_]);
  }
  if (!prog_id.empty()) {
    CreateRegKey(prog_id, u"", W(description_));
    CreateRegKey(prog_id + u"\\CLSID", u"", clsid);
    CreateRegKey(class_key + u"\\ProgID", u"", prog_id);
  }
  if (const TTypeLibRecord* lib = server_.TypeLib()) {
    CreateRegKey(class_key + u"\\TypeLib", u"", kv::GuidToString(lib->LibId));
    CreateRegKey(class_key + u"\\Version", u"", W(lib->VersionText()));
  }
}

HRESULT TComObjectFactory::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT TComObjectFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  try {
    IUnknown* made = creator_();
    if (!made) return E_OUTOFMEMORY;
    HRESULT hr = made->QueryInterface(riid, object);
    made->Release();
    return hr;
  } catch (const EOleSysError& e) {
    return e.ErrorCode();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT TComObjectFactory::LockServer(BOOL lock) {
  server_.CountLock(lock != FALSE);
  return S_OK;
}
