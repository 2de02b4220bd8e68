#include "browser_host/history_cache.h"

#include <vector>

#include "browser_host/ewb_tools.h"

#include "framework/automation/comobj.h"
#include "framework/automation/dispatch.h"
#include "platform/base/error.h"
#include "platform/base/module.h"
#include "platform/base/sync.h"
#include "platform/base/time.h"
#include "platform/inet/inet.h"

// ---- History --------------------------------------------------------------------------------------------------

TUrlHistory::~TUrlHistory() {
  if (store_) store_->Release();
}

void TUrlHistory::Loaded() {
  TComponent::Loaded();
  if (store_) return;
  OleCheck(CoCreateInstance(CLSID_CUrlHistory, nullptr, CLSCTX_INPROC_SERVER, IID_IUrlHistoryStg2,
                            reinterpret_cast<void**>(&store_)));
}

HRESULT TUrlHistory::ClearHistory() { return store_ ? store_->ClearHistory() : E_UNEXPECTED; }

// ---- Cache ----------------------------------------------------------------------------------------------------

namespace {

using FindFirstFn = HANDLE (*)(LPCSTR, DWORD, DWORD, GROUPID, INTERNET_CACHE_ENTRY_INFOA*, LPDWORD, LPVOID, LPDWORD,
                               LPVOID);
using FindNextFn = BOOL (*)(HANDLE, INTERNET_CACHE_ENTRY_INFOA*, LPDWORD, LPVOID, LPDWORD, LPVOID);
using FindCloseFn = BOOL (*)(HANDLE);
using DeleteFn = BOOL (*)(LPCSTR);

struct CacheLibrary {
  bool found = false;
  FindFirstFn find_first = nullptr;
  FindNextFn find_next = nullptr;
  FindCloseFn find_close = nullptr;
  DeleteFn delete_entry = nullptr;
};

CacheLibrary& Library() {
  static CacheLibrary library;
  if (library.found) return library;
  HMODULE m = LoadLibraryA("wininet.dll");  // kept loaded for the process once found
  if (!m) return library;
  const bool complete = GetProcAddress(m, "FindFirstUrlCacheGroup") && GetProcAddress(m, "FindNextUrlCacheGroup") &&
                        GetProcAddress(m, "GetUrlCacheGroupAttributeA") &&
                        GetProcAddress(m, "SetUrlCacheGroupAttributeA");
  library.find_first = kv::ProcAddress<FindFirstFn>(m, "FindFirstUrlCacheEntryExA");
  library.find_next = kv::ProcAddress<FindNextFn>(m, "FindNextUrlCacheEntryExA");
  library.find_close = kv::ProcAddress<FindCloseFn>(m, "FindCloseUrlCache");
  library.delete_entry = kv::ProcAddress<DeleteFn>(m, "DeleteUrlCacheEntry");
  library.found = complete && library.find_first && library.find_next && library.find_close && library.delete_entry;
  if (!library.found) FreeLibrary(m);
  return library;
}

constexpr DWORD kFilterFlags[] = {0x1, 0x2, 0x4, 0x100000, 0x200000, 0x10, 0x20, 0x10000, 0x20000};
constexpr DWORD kLibraryMissing = ERROR_FILE_NOT_FOUND;

TDateTime ToDateTime(const FILETIME& ft) {
  FILETIME local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToSystemTime(&local, &st)) return 0;
  try {
    return SystemTimeToDateTime(st);
  } catch (...) {
    return 0;
  }
}

const char* PatternOf(TSearchPattern p) {
  switch (p) {
    case spCookies: return "Cookie:";
    case spHistory: return "Visited:";
    case spUrl: return "";
    case spAll: break;
  }
  return nullptr;
}

}  // namespace

TIECache::TIECache(TComponent* AOwner) : TComponent(AOwner) {
  // The set of the form data; the filter is computed only when the setter runs.
  filter_options_ = {NORMAL_ENTRY, STICKY_ENTRY, COOKIE_ENTRY, URLHISTORY_ENTRY, TRACK_OFFLINE_ENTRY,
                     TRACK_ONLINE_ENTRY};
}

TIECache::~TIECache() { CloseFind(); }

void TIECache::SetFilterOptions(TFilterOptions Value) {
  filter_options_ = Value;
  filter_ = 0;
  for (int i = NORMAL_ENTRY; i <= OCX_ENTRY; ++i)
    if (Value.Contains(static_cast<TFilterOption>(i))) filter_ += kFilterFlags[i];
}

bool TIECache::LibraryFound() { return Library().found; }

bool TIECache::TakeEntry(const std::vector<BYTE>& buffer) {
  const auto* info = reinterpret_cast<const INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
  entry_ = TCacheEntry();
  entry_.SourceUrlName = info->lpszSourceUrlName ? info->lpszSourceUrlName : "";
  entry_.LocalFileName = info->lpszLocalFileName ? info->lpszLocalFileName : "";
  entry_.EntryType = info->CacheEntryType;
  entry_.UseCount = info->dwUseCount;
  entry_.HitRate = info->dwHitRate;
  entry_.Size = static_cast<int64_t>(info->dwSizeHigh) * 4294967296LL + info->dwSizeLow;
  entry_.LastModifiedTime = ToDateTime(info->LastModifiedTime);
  entry_.ExpireTime = ToDateTime(info->ExpireTime);
  entry_.LastAccessTime = ToDateTime(info->LastAccessTime);
  entry_.LastSyncTime = ToDateTime(info->LastSyncTime);
  if (info->lpHeaderInfo) entry_.HeaderInfo.assign(info->lpHeaderInfo, info->dwHeaderInfoSize);
  entry_.FileExtension = info->lpszFileExtension ? info->lpszFileExtension : "";
  entry_.ExemptDelta = info->dwExemptDelta;
  return true;
}

DWORD TIECache::FindFirstEntry(int64_t GroupID) {
  CacheLibrary& lib = Library();
  if (!lib.found) return kLibraryMissing;
  CloseFind();
  DWORD size = 0;
  const char* pattern = PatternOf(SearchPattern);
  HANDLE h = lib.find_first(pattern, 0, filter_, GroupID, nullptr, &size, nullptr, nullptr, nullptr);
  DWORD error = GetLastError();
  if (!h && error != ERROR_INSUFFICIENT_BUFFER) return error;
  if (h) {  // an entry without a buffer to copy it: not expected from the size protocol
    lib.find_close(h);
    return ERROR_INVALID_DATA;
  }
  std::vector<BYTE> buffer(size);
  h = lib.find_first(pattern, 0, filter_, GroupID, reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data()), &size,
                     nullptr, nullptr, nullptr);
  if (!h) return GetLastError();
  find_ = h;
  TakeEntry(buffer);
  return 0;
}

DWORD TIECache::FindNextEntry() {
  CacheLibrary& lib = Library();
  if (!lib.found) return kLibraryMissing;
  DWORD size = 0;
  if (lib.find_next(find_, nullptr, &size, nullptr, nullptr, nullptr)) return ERROR_INVALID_DATA;
  DWORD error = GetLastError();
  if (error != ERROR_INSUFFICIENT_BUFFER) return error;
  std::vector<BYTE> buffer(size);
  if (!lib.find_next(find_, reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data()), &size, nullptr, nullptr,
                     nullptr))
    return GetLastError();
  TakeEntry(buffer);
  return 0;
}

DWORD TIECache::DeleteEntry(const AnsiString& URL) {
  CacheLibrary& lib = Library();
  if (!lib.found) return kLibraryMissing;
  if (!lib.delete_entry(URL.c_str())) return GetLastError();
  entry_ = TCacheEntry();
  return 0;
}

void TIECache::CloseFind() {
  if (find_ && Library().found) Library().find_close(find_);
  find_ = nullptr;
}

bool TIECache::ClearAllEntries() {
  CacheLibrary& lib = Library();
  if (!lib.found) return false;
  if (FindFirstEntry(0) == 0) {
    do {
      DeleteEntry(entry_.SourceUrlName);
    } while (FindNextEntry() == 0);
  }
  HANDLE h = find_;
  find_ = nullptr;
  return lib.find_close(h) != FALSE;
}

// ---- UI-less host ---------------------------------------------------------------------------------------------

TUILess::~TUILess() { SetDocument(nullptr); }

void TUILess::SetDocument(IHTMLDocument2* Document) {
  if (Document) Document->AddRef();
  if (document_) document_->Release();
  document_ = Document;
}

HRESULT TUILess::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
    *object = static_cast<IOleClientSite*>(this);
  else if (IsEqualIID(riid, IID_IPropertyNotifySink))
    *object = static_cast<IPropertyNotifySink*>(this);
  else if (IsEqualIID(riid, IID_IDispatch))
    *object = static_cast<IDispatch*>(this);
  return *object ? S_OK : E_NOINTERFACE;
}

HRESULT TUILess::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT TUILess::GetContainer(IOleContainer** container) {
  if (container) *container = nullptr;
  return E_NOTIMPL;
}

HRESULT TUILess::OnChanged(DISPID id) {
  if (!Enabled || id != DISPID_READYSTATE || !document_) return E_FAIL;
  PostWhenDocumentComplete(document_);
  return E_FAIL;
}

HRESULT TUILess::GetTypeInfoCount(UINT* count) { return NoTypeInfoCount(count); }

HRESULT TUILess::GetTypeInfo(UINT, LCID, ITypeInfo** info) { return NoTypeInfo(info); }

HRESULT TUILess::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* info, UINT* arg_err) {
  if (!Enabled) return E_FAIL;
  if (id != -5512) return DISP_E_MEMBERNOTFOUND;
  if (result) {
    VariantClear(result);
    result->vt = VT_I4;
    result->lVal = 0xF80;
  }
  if (OnInvoke) OnInvoke(id, riid, lcid, flags, params, result, info, arg_err);
  return S_OK;
}
