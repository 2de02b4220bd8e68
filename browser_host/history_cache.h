// The URL history, the browser cache and the UI-less host: TUrlHistory clears the
// history store, TIECache walks the cache and deletes its entries through the cache
// functions of "wininet.dll" (bound by name), TUILess is a client site whose ambient
// download control allows no scripts and no active content.
#pragma once

#include <functional>

#include "framework/core/classes.h"
#include "framework/core/sysutils.h"
#include "platform/browser/browser.h"
#include "platform/inet/urlhist.h"

enum TSortFieldOption { sfTitle, sfURL, sfLastVisited, sfLastUpdated, sfExpires };
enum TSearchFieldOption { seBoth, seTitle, seURL };
enum TSortDirectionOption { sdAscending, sdDescending };
using TOnAcceptEvent = std::function<void(const AnsiString& Title, const AnsiString& Url, TDateTime LastVisited,
                                          TDateTime LastUpdated, TDateTime Expires, bool& Accept)>;
using TOnDeleteEvent = std::function<void(const AnsiString& Title, const AnsiString& Url, TDateTime LastVisited,
                                          TDateTime LastUpdated, TDateTime Expires, bool& Delete)>;

// The sort and search settings and the two events are stored without effect here.
class TUrlHistory : public TComponent {
 public:
  explicit TUrlHistory(TComponent* AOwner) : TComponent(AOwner) {}
  ~TUrlHistory() override;
  KV_CLASS_NAME(TUrlHistory)
  TSortFieldOption SortField = sfTitle;
  TSearchFieldOption SearchField = seBoth;
  TSortDirectionOption SortDirection = sdAscending;
  AnsiString Search;
  TOnAcceptEvent OnAccept;
  TOnDeleteEvent OnDelete;
  // Makes the history store (the framework's OLE error when it cannot).
  void Loaded() override;
  // The store's ClearHistory; E_UNEXPECTED before Loaded.
  HRESULT ClearHistory();

 private:
  IUrlHistoryStg2* store_ = nullptr;
};

enum TFilterOption {
  NORMAL_ENTRY, STABLE_ENTRY, STICKY_ENTRY, COOKIE_ENTRY, URLHISTORY_ENTRY, TRACK_OFFLINE_ENTRY, TRACK_ONLINE_ENTRY,
  SPARSE_ENTRY, OCX_ENTRY
};
using TFilterOptions = Set<TFilterOption, NORMAL_ENTRY, OCX_ENTRY>;
enum TSearchPattern { spAll, spCookies, spHistory, spUrl };

struct TCacheEntry {
  AnsiString SourceUrlName, LocalFileName;
  DWORD EntryType = 0, UseCount = 0, HitRate = 0;
  int64_t Size = 0;
  TDateTime LastModifiedTime = 0, ExpireTime = 0, LastAccessTime = 0, LastSyncTime = 0;
  AnsiString HeaderInfo, FileExtension;
  DWORD ExemptDelta = 0;
};

class TIECache : public TComponent {
 public:
  explicit TIECache(TComponent* AOwner);
  ~TIECache() override;
  KV_CLASS_NAME(TIECache)

  TFilterOptions FilterOptions() const { return filter_options_; }
  // Stores the set and recomputes the filter (0 for the empty set).
  void SetFilterOptions(TFilterOptions Value);
  DWORD Filter() const { return filter_; }
  TSearchPattern SearchPattern = spAll;
  // "wininet.dll" with its cache entries; a True answer is kept for the process.
  static bool LibraryFound();
  const TCacheEntry& Entry() const { return entry_; }

  // 0 when an entry was found (it becomes the current one), else the system error code
  // (2 without the library).
  DWORD FindFirstEntry(int64_t GroupID);
  DWORD FindNextEntry();
  // 0 on success (the current entry is cleared), else the system error code (2 without
  // the library).
  DWORD DeleteEntry(const AnsiString& URL);
  // Deletes every matching entry; false without the library or when closing the walk
  // fails. The walk ends on any failure of the next-entry search.
  bool ClearAllEntries();

 private:
  bool TakeEntry(const std::vector<BYTE>& buffer);
  void CloseFind();
  TFilterOptions filter_options_;
  DWORD filter_ = 0;
  HANDLE find_ = nullptr;
  TCacheEntry entry_;
};

using TUILessInvokeEvent = std::function<HRESULT(DISPID DispID, REFIID IID, LCID LocaleID, WORD Flags,
                                                 DISPPARAMS* Params, VARIANT* VarResult, EXCEPINFO* ExcepInfo,
                                                 UINT* ArgErr)>;

class TUILess : public TComponent, public IOleClientSite, public IPropertyNotifySink, public IDispatch {
 public:
  explicit TUILess(TComponent* AOwner) : TComponent(AOwner) {}
  ~TUILess() override;
  KV_CLASS_NAME(TUILess)
  bool Enabled = true;
  const AnsiString& About() const { return about_; }
  TUILessInvokeEvent OnInvoke;
  // The document whose ready state the property notifications read (none until set).
  void SetDocument(IHTMLDocument2* Document);

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT SaveObject() override { return E_NOTIMPL; }
  HRESULT GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
  HRESULT GetContainer(IOleContainer** container) override;
  HRESULT ShowObject() override { return E_NOTIMPL; }
  HRESULT OnShowWindow(BOOL) override { return E_NOTIMPL; }
  HRESULT RequestNewObjectLayout() override { return E_NOTIMPL; }
  HRESULT OnChanged(DISPID id) override;
  HRESULT OnRequestEdit(DISPID) override { return E_NOTIMPL; }
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                 UINT* arg_err) override;

 private:
  AnsiString about_ = "UI-less document host";
  IHTMLDocument2* document_ = nullptr;
};
