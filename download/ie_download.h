// TCustomIEDownload / TIEDownload: downloads one URL at a time through a URL moniker into
// a file or a memory stream, reporting progress, headers, redirects and errors through
// events. Each transfer is a TBSCB, the moniker library's callback object; it is a thread
// object that is never started: the library calls it back on the caller's thread inside
// the engine's message-pumping wait. Failures arrive through OnError, never as exceptions.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "framework/core/classes.h"
#include "framework/core/strings.h"
#include "framework/core/threads.h"
#include "platform/browser/browser.h"
#include "platform/inet/urlmon.h"

enum class TBindVerb { Get, Post, Put, Custom };
enum class TCodePageOption { Ansi, OEM, Mac, ThreadsAnsi, Symbol, UTF7, UTF8 };
enum TDownloadMethod { dmStream, dmFile };
enum TFileExistsOption { feOverWrite, feSkip, feRename };
enum TState { sBusy, sReady, sStopped };

// Element i stands for bind flag bit i.
enum class TBindF {
  Asynchronous, AsyncStorage, NoProgressiveRendering, OfflineOperation, GetNewestVersion, NoWriteCache, NeedFile,
  PullData, IgnoreSecurityProblem, Resynchronize, AllowHyperlink, No_UI, SilentOperation, Pragma_No_Cache,
  GetClassObject, Reserved_1, Free_Threaded, DirectReadIgnoreSize, HandleAsFormsSubmit, GetFromCacheIfNetFail,
  FromUrlmon, FisrtTryCache, PreferDefaultHandler, RestrictedSitesZone
};
using TBindF_Options = Set<TBindF, 0, 23>;
enum class TBindF2 { DisableBasicAuth, DisableAutoCookie, DisableRedirectUnlessSID, ReadDataOver4GB, Reserved_2,
                     Reserved_11 };
using TBindF2_Options = Set<TBindF2, 0, 5>;
enum class TBindInfoF { PostData, ExtraInfo };
using TBindInfoF_Options = Set<TBindInfoF, 0, 1>;
enum class TBindInfoOption {
  UseBindInfoOptions, EnableUtf8, DisableUtf8, UseIE_Encoding, BindToObject, SecurityOptOut, IgnoreMimeTextPlain,
  UseBindStrCredentials, IgnoreHttp2HttpsRedirect, IgnoreSslErrOnce, WpcDownloadBlocked, WpcLoggingEnabled,
  DisableAutoRedirect, ShDocVw_Reserved, AllowConnectMessages
};
using TBindInfoOptions_Options = Set<TBindInfoOption, 0, 14>;

// The sum of the members' flag values.
DWORD BindFValue(TBindF_Options s);
DWORD BindF2Value(TBindF2_Options s);
DWORD BindInfoFValue(TBindInfoF_Options s);
DWORD BindInfoOptionsValue(TBindInfoOptions_Options s);
// The code page of an option (0, 1, 2, 3, 42, 65000, 65001).
UINT CodePageValue(TCodePageOption o);

struct TDownloadProxySettings {
  bool AutoLoadProxy = false;
  int Port = 80;
  AnsiString Server;
};
struct TRange {
  int64_t RangeBegin = 0;
  int64_t RangeEnd = 0;
};
struct TSecurity {
  bool InheritHandle = false;
  AnsiString Descriptor;
};

class TCustomIEDownload;
class TBSCB;

// The request settings of one transfer, taken when it starts.
class TInfoData : public TStringList {
 public:
  KV_CLASS_NAME(TInfoData)
  AnsiString AdditionalHeader;  // the lines, each followed by CR LF
  DWORD BindF = 0, BindF2 = 0, BindInfoF = 0, BindInfoOptions = 0;
  DWORD BindVerb = 0;
  UINT CodePage = 0;
  AnsiString CustomVerb, ExtraInfo, PostData, PutFileName, UserName, Password;
  TSecurity Security;
  AnsiString DownloadFolder, FileName;
  int64_t RangeBegin = 0, RangeEnd = 0;
  int TimeOut = 0;
  WideString Url;
  TCustomIEDownload* Sender = nullptr;
  int DownloadsCount = 0;
};

// An object told of the container it works for: SetSite keeps a reference to the site
// (null lets it go); GetSite asks the site for riid, E_FAIL without a site.
struct IObjectWithSite : IUnknown {
  virtual HRESULT SetSite(IUnknown* site) = 0;
  virtual HRESULT GetSite(REFIID riid, void** site) = 0;
};
inline constexpr IID IID_IObjectWithSite = {
    0xFC4801A3, 0x2BA9, 0x11CF, {0xA2, 0x29, 0x00, 0xAA, 0x00, 0x3D, 0x73, 0x52}};

class TBSCB : public TThread,
              public IBindStatusCallbackEx,
              public IHttpNegotiate3,
              public IAuthenticateEx,
              public IHttpSecurity,
              public ICodeInstall,
              public IMonikerProp,
              public IServiceProvider,
              public IPropertyNotifySink,
              public IObjectWithSite {
 public:
  // Takes its own references on the handed-over bind context and moniker (may be null).
  TBSCB(TCustomIEDownload* Owner, IBindCtx* BindCtx, IMoniker* Moniker);
  KV_CLASS_NAME(TBSCB)

  // Runs the transfer on the caller's thread; returns once the binding has stopped.
  void Run();

  TCustomIEDownload* Download() const { return owner_; }
  TInfoData* Info() { return info_.get(); }
  IBinding* Binding() const { return binding_; }
  TMemoryStream* Stream() { return &memory_; }
  int64_t BytesRead() const { return bytes_read_; }
  bool Finished() const { return stopped_; }
  // The file name of this transfer (changed by a redirect, a content-disposition name or
  // the windows' handlers).
  AnsiString FileName() const;
  void SetFileName(const AnsiString& Name);
  void SetDownloadFolder(const AnsiString& Folder);
  AnsiString DownloadFolder() const;
  // The content-disposition file name of the response, "" when it has none.
  AnsiString ContentDispositionName();
  // Aborts the binding (once); OnStopBinding follows as the library's next task.
  void AbortBinding();

  // IUnknown.
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  // IBindStatusCallback(Ex).
  HRESULT OnStartBinding(DWORD reserved, IBinding* binding) override;
  HRESULT GetPriority(LONG* priority) override;
  HRESULT OnLowResource(DWORD reserved) override;
  HRESULT OnProgress(ULONG progress, ULONG progress_max, ULONG status, LPCWSTR text) override;
  HRESULT OnStopBinding(HRESULT result, LPCWSTR error) override;
  HRESULT GetBindInfo(DWORD* bindf, BINDINFO* info) override;
  HRESULT GetBindInfoEx(DWORD* bindf, BINDINFO* info, DWORD* bindf2, DWORD* reserved) override;
  HRESULT OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT OnObjectAvailable(REFIID riid, IUnknown* object) override;
  // IHttpNegotiate(2, 3).
  HRESULT BeginningTransaction(LPCWSTR url, LPCWSTR headers, DWORD reserved, LPWSTR* additional_headers) override;
  HRESULT OnResponse(DWORD code, LPCWSTR response_headers, LPCWSTR request_headers,
                     LPWSTR* additional_request_headers) override;
  HRESULT GetRootSecurityId(BYTE* id, DWORD* size, DWORD_PTR reserved) override;
  HRESULT GetSerializedClientCertContext(BYTE** cert, DWORD* size) override;
  // IAuthenticate(Ex).
  HRESULT Authenticate(HWND* window, LPWSTR* user_name, LPWSTR* password) override;
  HRESULT AuthenticateEx(HWND* window, LPWSTR* user_name, LPWSTR* password, AUTHENTICATEINFO* info) override;
  // IWindowForBindingUI, IHttpSecurity, ICodeInstall.
  HRESULT GetWindow(REFGUID reason, HWND* window) override;
  HRESULT OnSecurityProblem(DWORD problem) override;
  HRESULT OnCodeInstallProblem(ULONG status, LPCWSTR destination, LPCWSTR source, DWORD reserved) override;
  // IMonikerProp, IServiceProvider, IPropertyNotifySink.
  HRESULT PutProperty(MONIKERPROPERTY property, LPCWSTR value) override;
  HRESULT QueryService(REFGUID service, REFIID riid, void** object) override;
  // The ready state (-525) read from the site's dispatch interface; at 4 (complete)
  // WM_USER + 1 (1025) without parameters goes to the calling thread's queue.
  HRESULT OnChanged(DISPID id) override;
  HRESULT OnRequestEdit(DISPID id) override;
  // IObjectWithSite: the document whose ready state property changes report.
  HRESULT SetSite(IUnknown* site) override;
  HRESULT GetSite(REFIID riid, void** site) override;

 protected:
  void Execute() override {}

 private:
  ~TBSCB() override;
  bool Stopping() const;
  HRESULT FillBindInfo(DWORD* bindf, BINDINFO* info, DWORD* bindf2);
  bool OpenFile(bool append);
  bool WriteChunk(const char* data, int length);
  void Report(HRESULT hr, int success_text, int failure_text);
  void RestartInactivityTimer();
  void StopInactivityTimer();
  static void InactivityTick(HWND, UINT, UINT_PTR id, DWORD);
  AnsiString QueryText(DWORD option);

  std::atomic<ULONG> refs_{1};
  TCustomIEDownload* owner_;
  std::unique_ptr<TInfoData> info_;
  IBindCtx* bind_ctx_ = nullptr;
  IMoniker* moniker_ = nullptr;
  IBinding* binding_ = nullptr;
  IBindStatusCallback* previous_ = nullptr;  // the callback the handed-over context held
  IUnknown* site_ = nullptr;
  IStream* storage_ = nullptr;
  TMemoryStream memory_;
  std::unique_ptr<TFileStream> file_;
  int64_t resume_from_ = -1;  // the partial file's size when resuming
  UINT_PTR timer_ = 0;
  bool timed_out_ = false;
  bool aborted_ = false;
  bool stopped_ = false;
  bool error_reported_ = false;  // OnError has told of this transfer's failure
  bool skip_report_ = false;     // ended on purpose (skipped, refused, cancelled by a handler)
  LARGE_INTEGER frequency_{}, start_{};
  int64_t bytes_read_ = 0;
  AnsiString redirect_url_, mime_type_, disposition_name_;
};

class TCustomIEDownload : public TComponent {
 public:
  explicit TCustomIEDownload(TComponent* AOwner);
  ~TCustomIEDownload() override;
  KV_CLASS_NAME(TCustomIEDownload)

  // ---- Properties.
  const AnsiString& About() const { return about_; }
  void SetAbout(const AnsiString&) {}
  TStringList AdditionalHeader;
  TBindF_Options BindF() const { return bind_f_; }
  void SetBindF(TBindF_Options v);
  TBindF2_Options BindF2() const { return bind_f2_; }
  void SetBindF2(TBindF2_Options v);
  TBindInfoF_Options BindInfoF() const { return bind_info_f_; }
  void SetBindInfoF(TBindInfoF_Options v);
  TBindInfoOptions_Options BindInfoOptions() const { return bind_info_options_; }
  void SetBindInfoOptions(TBindInfoOptions_Options v);
  // The flag sums, recomputed by the setters and before every download.
  DWORD BindFValue() const { return bind_f_value_; }
  DWORD BindF2Value() const { return bind_f2_value_; }
  DWORD BindInfoFValue() const { return bind_info_f_value_; }
  DWORD BindInfoOptionsValue() const { return bind_info_options_value_; }
  TBindVerb BindVerb = TBindVerb::Get;
  TCodePageOption CodePage = TCodePageOption::Ansi;
  AnsiString CustomVerb, ExtraInfo, Password, PostData, PutFileName, UserAgent, UserName;
  const AnsiString& DefaultProtocol() const { return default_protocol_; }
  void SetDefaultProtocol(const AnsiString& v) { default_protocol_ = v.empty() ? "http://" : v; }
  AnsiString DefaultUrlFileName = "index.html";
  WideString DownloadFolder, FileName, Url;
  TDownloadMethod DownloadMethod = dmFile;
  TFileExistsOption FileExistsOption = feOverWrite;
  bool OpenDownloadFolder = false, UseSystemDownloadFolder = false, ValidateUrl = false;
  TDownloadProxySettings ProxySettings;
  TRange Range;
  TSecurity Security;
  int TimeOut = 0;  // ms; 0 means no limit

  // ---- State.
  bool Busy() const { return busy_; }
  bool Cancelled() const { return cancelled_; }
  bool StopFlag() const { return stop_; }
  bool DownloadFinished() const { return finished_; }
  int DownloadsCount() const { return downloads_; }
  int ActiveConnections() const { return static_cast<int>(running_.size()); }
  const std::vector<TBSCB*>& Transfers() const { return running_; }
  TStringList& RequestedUrls() { return urls_; }
  // The user-agent header line for the current UserAgent.
  AnsiString UserAgentLine() const;
  // Result texts of the last download.
  AnsiString FullPath, ResultFolder, ResultFileName, FileExtension, StatusText, RedirectedUrl;
  int64_t FileSize = 0;

  // ---- Operations.
  void Download(const WideString& AUrl);
  void DownloadBound(const WideString& AUrl, IBindCtx* BindCtx, IMoniker* Moniker);
  void Cancel();
  void Stop();
  void CancelItem(TBSCB* Transfer);
  AnsiString FormatSize(double Bytes) const;
  void Loaded() override;

  // ---- Events ("Sender" of the transfer events is the TBSCB).
  std::function<void(TBSCB*, HWND&, WideString&, WideString&, HRESULT&)> OnAuthenticate;
  std::function<void(TBSCB*, HWND&, WideString&, WideString&, AUTHENTICATEINFO*, HRESULT&)> OnAuthenticateEx;
  std::function<HRESULT(TBSCB*, const WideString& Url, const WideString& Headers, DWORD Reserved,
                        WideString& AdditionalHeaders)>
      OnBeginningTransaction;
  std::function<HRESULT(TBSCB*, ULONG, const WideString&, const WideString&, DWORD, const AnsiString&)>
      OnCodeInstallProblem;
  std::function<void(TCustomIEDownload*, const AnsiString& FullPath, const AnsiString& FileName,
                     const AnsiString& Folder, const AnsiString& Extension, int ActiveConnections)>
      OnComplete;
  std::function<void(TBSCB*, HRESULT, const AnsiString&)> OnConnect;
  std::function<void(TBSCB*, char*& Buffer, int& Length)> OnDataAvailable;
  std::function<void(TBSCB*, DWORD Flags, const AnsiString&)> OnDataAvailableInfo;
  std::function<void(DWORD Code, const AnsiString& Text)> OnError;
  std::function<void(TFileExistsOption&, const AnsiString& FileName, AnsiString& NewFileName)> OnFileExists;
  std::function<HRESULT(TBSCB*, DWORD&, BINDINFO*)> OnGetBindInfo;
  std::function<HRESULT(TBSCB*, DWORD&, BINDINFO*, DWORD&)> OnGetBindInfoEx;
  std::function<void(TBSCB*, CLSID&, DWORD&, AnsiString&, const AnsiString&)> OnGetBindResults;
  std::function<HRESULT(BYTE*, DWORD&)> OnGetRootSecurityId;
  std::function<HRESULT(TBSCB*, BYTE*&, DWORD&)> OnGetSerializedClientCertContext;
  std::function<HRESULT(TBSCB*, const GUID&, HWND&)> OnGetWindow;
  std::function<void(TBSCB*, ULONG Progress, ULONG ProgressMax, ULONG StatusCode, int64_t FileSize,
                     const AnsiString& StatusText, const AnsiString& Downloaded, const AnsiString& ElapsedTime,
                     const AnsiString& Speed, const AnsiString& RemainingTime, const AnsiString& Status,
                     const AnsiString& Percent)>
      OnProgress;
  std::function<HRESULT(TBSCB*, MONIKERPROPERTY, const WideString&)> OnPutProperty;
  std::function<HRESULT(const GUID&, void**)> OnQueryInterface;
  std::function<void(TBSCB*, const GUID&, const GUID&, void**)> OnQueryService;
  std::function<void(TBSCB*, bool& Abort, const AnsiString& From, const AnsiString& To)> OnRedirect;
  std::function<HRESULT(TBSCB*, DWORD Code, const WideString& ResponseHeaders, const WideString& RequestHeaders,
                        WideString& AdditionalRequestHeaders)>
      OnResponse;
  std::function<void(TBSCB*, const AnsiString& FileName, TFileExistsOption& Action)> OnResume;
  std::function<HRESULT(TBSCB*, DWORD Problem, const AnsiString& Text)> OnSecurityProblem;
  std::function<void(TBSCB*, bool& Cancel, IBinding*)> OnStartBinding;
  std::function<void(TState)> OnStateChange;
  std::function<void(TBSCB*, HRESULT, const AnsiString&)> OnStopBinding;
  std::function<void(TBSCB*, TMemoryStream*, HRESULT)> OnStreamComplete;
  std::function<void(TBSCB*, DWORD ThreadId, const AnsiString& FileName, bool& Cancel)> OnTerminate;

 private:
  friend class TBSCB;
  void RunDownload(const WideString& AUrl, IBindCtx* BindCtx, IMoniker* Moniker);
  bool Prepare();
  void Complete();
  void UpdateValues();
  // One round of the message-pumping wait; true when the wait event was signalled.
  bool WaitRound();
  void Error(DWORD Code, const AnsiString& Text);
  void SetState(TState State);
  AnsiString NameFromUrl(const AnsiString& AUrl) const;
  void ApplyProxy(const AnsiString& Server);

  AnsiString about_ = "Download engine: URL-moniker downloads to a file or a memory stream.";
  TBindF_Options bind_f_;
  TBindF2_Options bind_f2_;
  TBindInfoF_Options bind_info_f_;
  TBindInfoOptions_Options bind_info_options_;
  DWORD bind_f_value_ = 0, bind_f2_value_ = 0, bind_info_f_value_ = 0, bind_info_options_value_ = 0;
  AnsiString default_protocol_ = "http://";
  bool busy_ = false, cancelled_ = false, stop_ = false, finished_ = false, renamed_ = false;
  bool proxy_set_ = false;
  bool name_given_ = false;  // the caller named the file: redirects keep the name
  int downloads_ = 0;
  HANDLE event_ = nullptr;
  std::vector<TBSCB*> running_;
  TStringList urls_;
  AnsiString folder_, file_name_;  // of the download being prepared
};

class TIEDownload : public TCustomIEDownload {
 public:
  using TCustomIEDownload::TCustomIEDownload;
  KV_CLASS_NAME(TIEDownload)
};
