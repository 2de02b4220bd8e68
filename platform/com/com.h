// COM: result codes, GUIDs, the core interfaces, task memory, class objects and the
// registry-driven creation of in-process servers.
//
// Interfaces are C++ pure abstract classes with the standard vtable layout and the
// default calling convention; their IIDs are the platform's.
//
// Creation: CoCreateInstance / CoGetClassObject answer the built-in classes of the
// platform first (KvRegisterBuiltinClass); otherwise they look up the key
// HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 (its default value names the server's
// file, a Windows or POSIX path), load that file with LoadLibrary, and ask its
// DllGetClassObject. A loaded server stays loaded until CoFreeUnusedLibraries (or the
// thread's last CoUninitialize) finds that its DllCanUnloadNow answers S_OK.
// Every thread that creates objects first calls CoInitialize (or OleInitialize); all
// objects are apartment objects used on the thread that made them.
#pragma once

#include <string>

#include "platform/base/time.h"
#include "platform/base/types.h"

extern "C" {

// ---------------------------------------------------------------------------------------
// Result codes.

typedef LONG SCODE;

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define HRESULT_CODE(hr) (static_cast<HRESULT>(hr) & 0xFFFF)
#define HRESULT_FACILITY(hr) ((static_cast<HRESULT>(hr) >> 16) & 0x1FFF)
#define SEVERITY_SUCCESS 0
#define SEVERITY_ERROR 1
#define FACILITY_NULL 0
#define FACILITY_RPC 1
#define FACILITY_DISPATCH 2
#define FACILITY_STORAGE 3
#define FACILITY_ITF 4
#define FACILITY_WIN32 7
#define MAKE_HRESULT(sev, fac, code) \
  static_cast<HRESULT>((static_cast<ULONG>(sev) << 31) | (static_cast<ULONG>(fac) << 16) | static_cast<ULONG>(code))
// A platform error code as an HRESULT (0 stays S_OK).
inline HRESULT HRESULT_FROM_WIN32(DWORD error) {
  return static_cast<HRESULT>(error) <= 0
             ? static_cast<HRESULT>(error)
             : static_cast<HRESULT>((error & 0x0000FFFF) | (FACILITY_WIN32 << 16) | 0x80000000u);
}

#define KV_HR(x) static_cast<HRESULT>(static_cast<ULONG>(x))
#define S_OK KV_HR(0x00000000)
#define S_FALSE KV_HR(0x00000001)
#define E_NOTIMPL KV_HR(0x80004001)
#define E_NOINTERFACE KV_HR(0x80004002)
#define E_POINTER KV_HR(0x80004003)
#define E_ABORT KV_HR(0x80004004)
#define E_FAIL KV_HR(0x80004005)
#define E_UNEXPECTED KV_HR(0x8000FFFF)
#define E_ACCESSDENIED KV_HR(0x80070005)
#define E_HANDLE KV_HR(0x80070006)
#define E_OUTOFMEMORY KV_HR(0x8007000E)
#define E_INVALIDARG KV_HR(0x80070057)
#define CLASS_E_NOAGGREGATION KV_HR(0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE KV_HR(0x80040111)
#define REGDB_E_READREGDB KV_HR(0x80040150)
#define REGDB_E_WRITEREGDB KV_HR(0x80040151)
#define REGDB_E_CLASSNOTREG KV_HR(0x80040154)
#define REGDB_E_IIDNOTREG KV_HR(0x80040155)
#define CO_E_NOTINITIALIZED KV_HR(0x800401F0)
#define CO_E_CLASSSTRING KV_HR(0x800401F3)
#define CO_E_DLLNOTFOUND KV_HR(0x800401F8)
#define CO_E_ERRORINDLL KV_HR(0x800401F9)
#define SELFREG_E_TYPELIB KV_HR(0x80040200)
#define SELFREG_E_CLASS KV_HR(0x80040201)
#define CONNECT_E_NOCONNECTION KV_HR(0x80040200)
#define CONNECT_E_ADVISELIMIT KV_HR(0x80040201)
#define CONNECT_E_CANNOTCONNECT KV_HR(0x80040202)
#define STG_E_INVALIDFUNCTION KV_HR(0x80030001)
#define STG_E_INVALIDPOINTER KV_HR(0x80030009)
#define STG_E_INSUFFICIENTMEMORY KV_HR(0x80030008)
#define STG_E_INVALIDPARAMETER KV_HR(0x80030057)
#define STG_E_MEDIUMFULL KV_HR(0x80030070)
#define DISP_E_UNKNOWNINTERFACE KV_HR(0x80020001)
#define DISP_E_MEMBERNOTFOUND KV_HR(0x80020003)
#define DISP_E_PARAMNOTFOUND KV_HR(0x80020004)
#define DISP_E_TYPEMISMATCH KV_HR(0x80020005)
#define DISP_E_UNKNOWNNAME KV_HR(0x80020006)
#define DISP_E_NONAMEDARGS KV_HR(0x80020007)
#define DISP_E_BADVARTYPE KV_HR(0x80020008)
#define DISP_E_EXCEPTION KV_HR(0x80020009)
#define DISP_E_OVERFLOW KV_HR(0x8002000A)
#define DISP_E_BADINDEX KV_HR(0x8002000B)
#define DISP_E_UNKNOWNLCID KV_HR(0x8002000C)
#define DISP_E_ARRAYISLOCKED KV_HR(0x8002000D)
#define DISP_E_BADPARAMCOUNT KV_HR(0x8002000E)
#define DISP_E_PARAMNOTOPTIONAL KV_HR(0x8002000F)
#define DISP_E_BADCALLEE KV_HR(0x80020010)
#define DISP_E_NOTACOLLECTION KV_HR(0x80020011)
#define DISP_E_DIVBYZERO KV_HR(0x80020012)
#define TYPE_E_REGISTRYACCESS KV_HR(0x8002801C)
#define TYPE_E_LIBNOTREGISTERED KV_HR(0x8002801D)
#define TYPE_E_ELEMENTNOTFOUND KV_HR(0x8002802B)
#define TYPE_E_CANTLOADLIBRARY KV_HR(0x80029C4A)

// ---------------------------------------------------------------------------------------
// GUIDs.

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* BSTR;
typedef DWORD LCID;
typedef LONG DISPID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 && a.Data4[0] == b.Data4[0] &&
         a.Data4[1] == b.Data4[1] && a.Data4[2] == b.Data4[2] && a.Data4[3] == b.Data4[3] && a.Data4[4] == b.Data4[4] &&
         a.Data4[5] == b.Data4[5] && a.Data4[6] == b.Data4[6] && a.Data4[7] == b.Data4[7];
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper case). Returns the characters written
// with the terminator, 0 when `max` is below 39.
int StringFromGUID2(REFGUID guid, LPOLESTR out, int max);
// The braced text in task memory (free with CoTaskMemFree).
HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* out);
HRESULT StringFromIID(REFIID iid, LPOLESTR* out);
// Braced text (any hex case); CLSIDFromString also takes a ProgID. CO_E_CLASSSTRING
// (E_INVALIDARG for IIDFromString) when the text is not one.
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* out);
HRESULT IIDFromString(LPCOLESTR text, IID* out);
// HKEY_CLASSES_ROOT\<ProgID>\CLSID; CO_E_CLASSSTRING when not registered.
HRESULT CLSIDFromProgID(LPCOLESTR prog_id, CLSID* out);
// HKEY_CLASSES_ROOT\CLSID\{clsid}\ProgID in task memory; REGDB_E_CLASSNOTREG when absent.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* out);

// ---------------------------------------------------------------------------------------
// Core interfaces.

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;
};

typedef struct tagSTATSTG {
  LPOLESTR pwcsName;
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
} STATSTG;

#define STGTY_STORAGE 1
#define STGTY_STREAM 2
#define STATFLAG_DEFAULT 0
#define STATFLAG_NONAME 1
#define STREAM_SEEK_SET 0
#define STREAM_SEEK_CUR 1
#define STREAM_SEEK_END 2
#define STGM_READWRITE 0x00000002
#define STGC_DEFAULT 0

struct ISequentialStream : IUnknown {
  virtual HRESULT Read(void* buffer, ULONG size, ULONG* read) = 0;
  virtual HRESULT Write(const void* buffer, ULONG size, ULONG* written) = 0;
};

struct IStream : ISequentialStream {
  virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* new_position) = 0;
  virtual HRESULT SetSize(ULARGE_INTEGER size) = 0;
  virtual HRESULT CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read, ULARGE_INTEGER* written) = 0;
  virtual HRESULT Commit(DWORD flags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) = 0;
  virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) = 0;
  virtual HRESULT Stat(STATSTG* stat, DWORD flags) = 0;
  virtual HRESULT Clone(IStream** stream) = 0;
};

struct IErrorInfo : IUnknown {
  virtual HRESULT GetGUID(GUID* guid) = 0;
  virtual HRESULT GetSource(BSTR* source) = 0;
  virtual HRESULT GetDescription(BSTR* description) = 0;
  virtual HRESULT GetHelpFile(BSTR* help_file) = 0;
  virtual HRESULT GetHelpContext(DWORD* help_context) = 0;
};

struct ICreateErrorInfo : IUnknown {
  virtual HRESULT SetGUID(REFGUID guid) = 0;
  virtual HRESULT SetSource(LPOLESTR source) = 0;
  virtual HRESULT SetDescription(LPOLESTR description) = 0;
  virtual HRESULT SetHelpFile(LPOLESTR help_file) = 0;
  virtual HRESULT SetHelpContext(DWORD help_context) = 0;
};

struct ISupportErrorInfo : IUnknown {
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

typedef struct tagCONNECTDATA {
  IUnknown* pUnk;
  DWORD dwCookie;
} CONNECTDATA;

struct IConnectionPointContainer;

struct IEnumConnections : IUnknown {
  virtual HRESULT Next(ULONG count, CONNECTDATA* out, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumConnections** out) = 0;
};

struct IConnectionPoint : IUnknown {
  virtual HRESULT GetConnectionInterface(IID* iid) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) = 0;
  virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
  virtual HRESULT Unadvise(DWORD cookie) = 0;
  virtual HRESULT EnumConnections(IEnumConnections** out) = 0;
};

struct IEnumConnectionPoints : IUnknown {
  virtual HRESULT Next(ULONG count, IConnectionPoint** out, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumConnectionPoints** out) = 0;
};

struct IConnectionPointContainer : IUnknown {
  virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) = 0;
  virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) = 0;
};

#define INTERFACESAFE_FOR_UNTRUSTED_CALLER 0x00000001
#define INTERFACESAFE_FOR_UNTRUSTED_DATA 0x00000002
#define INTERFACE_USES_DISPEX 0x00000004
#define INTERFACE_USES_SECURITY_MANAGER 0x00000008

struct IObjectSafety : IUnknown {
  virtual HRESULT GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) = 0;
  virtual HRESULT SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) = 0;
};

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr IID IID_IErrorInfo = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ICreateErrorInfo = {
    0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_IConnectionPointContainer = {
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IEnumConnectionPoints = {
    0xB196B285, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IConnectionPoint = {
    0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IEnumConnections = {
    0xB196B287, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
#define CLSID_NULL GUID_NULL
#define IID_NULL GUID_NULL

// ---------------------------------------------------------------------------------------
// Initialisation, task memory, creation.

#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_MULTITHREADED 0x0

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

// S_OK for the first call on a thread, S_FALSE for each further one (counted).
HRESULT CoInitialize(LPVOID reserved);
HRESULT CoInitializeEx(LPVOID reserved, DWORD flags);
// The last call of a thread frees the servers that can unload.
void CoUninitialize(void);
HRESULT OleInitialize(LPVOID reserved);
void OleUninitialize(void);

LPVOID CoTaskMemAlloc(SIZE_T size);
LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T size);
void CoTaskMemFree(LPVOID block);

// Only in-process servers exist: a context without CLSCTX_INPROC_SERVER gives
// REGDB_E_CLASSNOTREG. CO_E_NOTINITIALIZED before CoInitialize on this thread;
// REGDB_E_CLASSNOTREG without the registry keys; HRESULT_FROM_WIN32 of the load error
// when the file does not load; CO_E_ERRORINDLL when it has no DllGetClassObject.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID server_info, REFIID riid, LPVOID* object);
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* object);
// Asks every loaded server's DllCanUnloadNow and frees those answering S_OK.
void CoFreeUnusedLibraries(void);

// Built-in classes: classes that libplatform.so itself implements (URL history, ...).
// CoGetClassObject answers a registered class from its function before it looks in the
// registry. Registering a class again replaces its function.
void KvRegisterBuiltinClass(REFCLSID clsid, HRESULT (*get_class_object)(REFCLSID, REFIID, LPVOID*));

typedef HRESULT (*LPFNGETCLASSOBJECT)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT (*LPFNCANUNLOADNOW)(void);

// The calling thread's error object (IErrorInfo), as automation servers leave it.
HRESULT CreateErrorInfo(ICreateErrorInfo** out);
// Takes a reference to `info` (null clears it).
HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
// Hands over the thread's error object and clears it; S_FALSE when there is none.
HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** out);

// Memory streams: a growable block owned by the stream. SHCreateMemStream starts from a
// copy of `data` (null for an empty stream) and returns null on failure.
IStream* SHCreateMemStream(const BYTE* data, UINT size);
// Only a null `global` (a fresh block) is supported: other values give E_INVALIDARG.
HRESULT CreateStreamOnHGlobal(HGLOBAL global, BOOL delete_on_release, IStream** out);

// Test-facing: how many in-process server files COM holds loaded now.
DWORD KvComLoadedServerCount(void);

}  // extern "C"

namespace kv {

// The braced text of a GUID, as UTF-16.
inline std::u16string GuidToString(REFGUID guid) {
  OLECHAR buf[40];
  int n = StringFromGUID2(guid, buf, 40);
  return n > 0 ? std::u16string(buf, static_cast<size_t>(n - 1)) : std::u16string();
}

}  // namespace kv

inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
