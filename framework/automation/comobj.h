// The framework's COM server side: the module's server object, class factories,
// automation objects and the OLE exceptions.
//
// Each module (executable or in-process server) has its own ComServer(): it counts the
// module's live objects and server locks (DllCanUnloadNow answers S_OK at zero), knows
// the module's type-library record and factories, and registers them.
//
// A class factory registers, under HKEY_CLASSES_ROOT (nothing for ciInternal classes):
//   CLSID\{clsid}                  = description
//   CLSID\{clsid}\InprocServer32   = the module's file, value "ThreadingModel" (in-process)
//   CLSID\{clsid}\ProgID           = "<library name>.<class name>"
//   CLSID\{clsid}\TypeLib          = {libid}
//   CLSID\{clsid}\Version          = "<major>.<minor>"
//   <ProgID>                       = description, <ProgID>\CLSID = {clsid}
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "framework/automation/dispatch.h"
#include "framework/automation/typelib.h"
#include "framework/core/exception.h"
#include "platform/com/oleauto.h"

KV_EXCEPTION(EOleError, Exception);
KV_EXCEPTION(EOleRegistrationError, EOleError);
// An object that does not answer the interface asked of it ("Interface not supported").
KV_EXCEPTION(EIntfCastError, Exception);

// A failed HRESULT; the message is the code's system text or "OLE error XXXXXXXX".
class EOleSysError : public EOleError {
 public:
  EOleSysError(const AnsiString& message, HRESULT error_code);
  const char* ClassName() const override { return "EOleSysError"; }
  HRESULT ErrorCode() const { return error_code_; }

 private:
  HRESULT error_code_;
};

// An exception reported by an automation server (DISP_E_EXCEPTION's information).
class EOleException : public EOleSysError {
 public:
  EOleException(const AnsiString& message, HRESULT error_code, const AnsiString& source)
      : EOleSysError(message, error_code), Source(source) {}
  const char* ClassName() const override { return "EOleException"; }
  AnsiString Source;
};

// Raises EOleSysError for a failed result; returns it otherwise.
HRESULT OleCheck(HRESULT hr);

// Runs `body`, turning any exception into a failed result (the code an EOleSysError
// carries, else E_UNEXPECTED) with the thread's error object set (source, description).
// For the vtable methods of dual interfaces.
HRESULT SafeCall(const WideString& source, const std::function<void()>& body) noexcept;

enum TClassInstancing { ciInternal, ciSingleInstance, ciMultiInstance };
enum TThreadingModel { tmSingle, tmApartment, tmFree, tmBoth, tmNeutral };
enum TStartMode { smStandalone, smAutomation, smRegServer, smUnregServer };

class TComObjectFactory;

class TComServer {
 public:
  TComServer() = default;
  ~TComServer();
  TComServer(const TComServer&) = delete;
  TComServer& operator=(const TComServer&) = delete;

  // Also makes the library's type information and announces it as the module's, so
  // LoadTypeLib of the module's file finds it. A record COM refuses leaves the module
  // without type information (reported to stderr).
  void SetTypeLib(const TTypeLibRecord* lib);
  const TTypeLibRecord* TypeLib() const { return type_lib_; }
  // The type information of interface `iid` of the library (DISP_E_BADINDEX without).
  HRESULT InterfaceTypeInfo(REFIID iid, ITypeInfo** info) const;
  // The type library's name ("" without one): the first part of every ProgID.
  AnsiString ServerName() const { return type_lib_ ? type_lib_->Name : AnsiString(); }

  void AddFactory(TComObjectFactory* factory);
  void RemoveFactory(TComObjectFactory* factory);
  TComObjectFactory* FindFactory(REFCLSID clsid) const;

  void CountObject(bool created);
  void CountLock(bool lock);
  LONG ObjectCount() const { return objects_; }
  LONG LockCount() const { return locks_; }

  // The file of the module this server object belongs to (POSIX path).
  WideString ServerFileName() const;
  // True when this code runs in a shared object rather than in the executable.
  bool IsInprocServer() const;

  // Registers (or removes) the type library and every factory; raises EOleRegistrationError.
  void UpdateRegistry(bool Register);

  // Executable start-up: "REGSERVER" / "UNREGSERVER" (after "/" or "-", any letter case)
  // register or unregister and tell the caller to end (returns false); "AUTOMATION" and
  // "EMBEDDING" set the start mode. Otherwise the type library and factories are
  // registered anew at every start. Registration failures are reported to stderr.
  bool Initialize(const std::vector<AnsiString>& params);
  TStartMode StartMode() const { return start_mode_; }

  // The in-process server exports.
  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);
  HRESULT CanUnloadNow() const { return objects_ == 0 && locks_ == 0 ? S_OK : S_FALSE; }
  HRESULT RegisterServer();
  HRESULT UnregisterServer();

 private:
  void DropTypeInfo();
  const TTypeLibRecord* type_lib_ = nullptr;
  ITypeLib* type_info_ = nullptr;
  std::vector<TComObjectFactory*> factories_;
  std::atomic<LONG> objects_{0};
  std::atomic<LONG> locks_{0};
  TStartMode start_mode_ = smStandalone;
};

// The server object of the module the calling code is linked into.
TComServer& ComServer();

// A class factory of a static lifetime (AddRef/Release do not free it). `creator` makes
// a new object with one reference, as IUnknown.
class TComObjectFactory : public IClassFactory {
 public:
  using TCreator = std::function<IUnknown*()>;

  TComObjectFactory(TComServer& server, TCreator creator, const CLSID& clsid, const AnsiString& class_name,
                    const AnsiString& description, TClassInstancing instancing,
                    TThreadingModel threading = tmApartment);
  virtual ~TComObjectFactory();

  const CLSID& ClassID() const { return clsid_; }
  const AnsiString& ClassName() const { return class_name_; }
  const AnsiString& Description() const { return description_; }
  TClassInstancing Instancing() const { return instancing_; }
  TThreadingModel ThreadingModel() const { return threading_; }
  // "<library name>.<class name>", or "" when the server has no type library.
  AnsiString ProgID() const;

  // A new object with one reference (the program's own use, also for ciInternal classes).
  IUnknown* CreateComObject();
  // Writes or removes the class's keys; descendants add their own.
  virtual void UpdateRegistry(bool Register);

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  HRESULT LockServer(BOOL lock) override;

 protected:
  TComServer& server_;

 private:
  TCreator creator_;
  CLSID clsid_;
  AnsiString class_name_;
  AnsiString description_;
  TClassInstancing instancing_;
  TThreadingModel threading_;
};

// Counts a live object in its module's server.
class TServerObjectCount {
 public:
  TServerObjectCount() { ComServer().CountObject(true); }
  ~TServerObjectCount() { ComServer().CountObject(false); }
  TServerObjectCount(const TServerObjectCount&) = delete;
  TServerObjectCount& operator=(const TServerObjectCount&) = delete;
};

// An automation object: reference counting, IDispatch by the class's dispatch table,
// apartment model. T declares
//   static const TDispatchTable<T>& DispatchTable();
// Intf is IDispatch or a dual interface (derived from IDispatch) whose own methods T
// implements; `intf_iid` is that interface's IID. Exceptions inside Invoke become
// DISP_E_EXCEPTION with ErrorSource() as source.
template <class T, class Intf = IDispatch>
class TAutoObject : public Intf {
 public:
  explicit TAutoObject(const IID& intf_iid = IID_IDispatch) : intf_iid_(intf_iid) {}
  virtual ~TAutoObject() = default;
  TAutoObject(const TAutoObject&) = delete;
  TAutoObject& operator=(const TAutoObject&) = delete;

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, intf_iid_)) {
      *object = static_cast<Intf*>(this);
    } else {
      HRESULT hr = QueryOwnInterface(riid, object);
      if (FAILED(hr) || !*object) return FAILED(hr) ? hr : E_NOINTERFACE;
      return S_OK;
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

  // The type information of the object's interface, from its module's library.
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_INVALIDARG;
    ITypeInfo* info = nullptr;
    *count = SUCCEEDED(ComServer().InterfaceTypeInfo(intf_iid_, &info)) ? 1 : 0;
    if (info) info->Release();
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_INVALIDARG;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return ComServer().InterfaceTypeInfo(intf_iid_, info);
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return T::DispatchTable().GetIDsOfNames(names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                 UINT* arg_err) override {
    TDispErrorStyle style;
    try {
      style.source = ErrorSource();
    } catch (...) {
    }
    return T::DispatchTable().Invoke(static_cast<T*>(this), id, flags, params, result, info, arg_err, style);
  }

 protected:
  // Further interfaces of the object: set *object with a reference, or fail.
  virtual HRESULT QueryOwnInterface(REFIID, void** object) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // The source named in exception information ("" names the exception's class).
  virtual WideString ErrorSource() const { return WideString(); }

 private:
  IID intf_iid_;
  std::atomic<ULONG> refs_{1};
  TServerObjectCount counted_;
};

// A factory whose objects are `new T()` (T derived from TAutoObject<T, ...>).
template <class T>
class TAutoObjectFactory : public TComObjectFactory {
 public:
  TAutoObjectFactory(TComServer& server, const CLSID& clsid, const AnsiString& class_name,
                     const AnsiString& description, TClassInstancing instancing,
                     TThreadingModel threading = tmApartment)
      : TComObjectFactory(
            server, [] { return static_cast<IUnknown*>(static_cast<IDispatch*>(new T())); }, clsid, class_name,
            description, instancing, threading) {}
};

// Defines the four exports of an in-process server over ComServer(). Use once in the
// module, at namespace scope.
#define KV_COM_SERVER_EXPORTS()                                                                                      \
  extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid,           \
                                                                              void** object) {                       \
    return ComServer().GetClassObject(clsid, riid, object);                                                          \
  }                                                                                                                  \
  extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return ComServer().CanUnloadNow(); } \
  extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {                                    \
    return ComServer().RegisterServer();                                                                             \
  }                                                                                                                  \
  extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {                                  \
    return ComServer().UnregisterServer();                                                                           \
  }
