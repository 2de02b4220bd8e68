#include "download/ie_download.h"

#include <algorithm>
#include <cstring>

#include "browser_host/ewb_strings.h"
#include "browser_host/ewb_tools.h"
#include "download/file_names.h"
#include "download/status_texts.h"
#include "download/texts.h"
#include "download/url.h"
#include "framework/controls/forms.h"
#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/file.h"
#include "platform/base/global_memory.h"
#include "platform/base/sync.h"
#include "platform/inet/inet.h"
#include "platform/user/shell.h"
#include "platform/user/user.h"

namespace {

constexpr DWORD kTimeOutResult = 0x800C000B;
constexpr DWORD kBindF2Flags[] = {0x1, 0x2, 0x4, 0x8, 0x40000000, 0x80000000};
constexpr DWORD kBindInfoOptionFlags[] = {0x10000,   0x20000,   0x40000,   0x80000,    0x100000,
                                          0x200000,  0x400000,  0x800000,  0x1000000,  0x2000000,
                                          0x8000000, 0x10000000, 0x40000000, 0x80000000, 0x20000000};
constexpr UINT kCodePages[] = {0, 1, 2, 3, 42, 65000, 65001};
// Upper-cased protocol names; a URL that contains one anywhere is taken as it is.
constexpr const char* kProtocols[] = {"ABOUT", "CDL",        "DVD",   "FILE",    "FTP",     "GOPHER",   "HTTP",
                                      "IPP",   "ITS",        "JAVASCRIPT", "LOCAL", "MAILTO", "MK",     "MSDAIPP",
                                      "MS-HELP", "MS-ITS",   "MSO",   "RES",     "SYSIMAGE", "TV",      "VBSCRIPT",
                                      "VIA",   "HTTPS"};
// The longest wait of one round: a time-out of the round is no error, it only lets the
// loop look at its flags again.
constexpr DWORD kRoundMs = 1000;

AnsiString Narrow(LPCWSTR s) { return s ? kv::WideToAnsi(s) : AnsiString(); }
WideString Widen(const AnsiString& s) { return kv::AnsiToWide(s); }

template <typename S, typename E, size_t N>
DWORD SumFlags(S set, const DWORD (&flags)[N]) {
  DWORD sum = 0;
  for (size_t i = 0; i < N; ++i)
    if (set.Contains(static_cast<E>(i))) sum |= flags[i];
  return sum;
}

// The inactivity timers of the running transfers (GUI thread only).
std::vector<std::pair<UINT_PTR, TBSCB*>> g_timers;

// The Content-Range header's first byte position, -1 when the headers have none.
int64_t ContentRangeStart(const AnsiString& headers) {
  const AnsiString lower = LowerCase(headers);
  size_t at = lower.find("\ncontent-range:");
  if (at == AnsiString::npos) return -1;
  at = lower.find("bytes", at);
  if (at == AnsiString::npos) return -1;
  at += 5;
  while (at < lower.size() && (lower[at] == ' ' || lower[at] == '=')) ++at;
  int64_t v = 0;
  size_t digits = 0;
  while (at < lower.size() && lower[at] >= '0' && lower[at] <= '9' && digits < 18) v = v * 10 + (lower[at++] - '0'), ++digits;
  return digits ? v : -1;
}

HGLOBAL GlobalCopy(const void* data, size_t size) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
  if (!h) return nullptr;
  if (void* p = GlobalLock(h)) {
    if (size) std::memcpy(p, data, size);
    GlobalUnlock(h);
  }
  return h;
}

int64_t FileSizeOf(const AnsiString& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (f == INVALID_HANDLE_VALUE) return -1;
  LARGE_INTEGER size{};
  const bool ok = GetFileSizeEx(f, &size);
  CloseHandle(f);
  return ok ? static_cast<int64_t>(size.QuadPart) : -1;
}

}  // namespace

DWORD BindFValue(TBindF_Options s) { return static_cast<DWORD>(s.ToBits()); }
DWORD BindF2Value(TBindF2_Options s) { return SumFlags<TBindF2_Options, TBindF2>(s, kBindF2Flags); }
DWORD BindInfoFValue(TBindInfoF_Options s) { return static_cast<DWORD>(s.ToBits()); }
DWORD BindInfoOptionsValue(TBindInfoOptions_Options s) {
  return SumFlags<TBindInfoOptions_Options, TBindInfoOption>(s, kBindInfoOptionFlags);
}
UINT CodePageValue(TCodePageOption o) { return kCodePages[static_cast<int>(o)]; }

// ---------------------------------------------------------------------------------------
// TCustomIEDownload

TCustomIEDownload::TCustomIEDownload(TComponent* AOwner) : TComponent(AOwner) {
  AdditionalHeader.Add("Content-Type: application/x-www-form-BindInfoFd ");
  bind_f_ = {TBindF::Asynchronous, TBindF::AsyncStorage, TBindF::GetNewestVersion, TBindF::NoWriteCache,
             TBindF::PullData};
  bind_f2_ = {TBindF2::ReadDataOver4GB};
  bind_info_options_ = {TBindInfoOption::UseBindInfoOptions, TBindInfoOption::AllowConnectMessages};
  UpdateValues();
}

TCustomIEDownload::~TCustomIEDownload() {
  if (proxy_set_) ApplyProxy(AnsiString());
}

void TCustomIEDownload::SetBindF(TBindF_Options v) {
  bind_f_ = v;
  UpdateValues();
}
void TCustomIEDownload::SetBindF2(TBindF2_Options v) {
  bind_f2_ = v;
  UpdateValues();
}
void TCustomIEDownload::SetBindInfoF(TBindInfoF_Options v) {
  bind_info_f_ = v;
  UpdateValues();
}
void TCustomIEDownload::SetBindInfoOptions(TBindInfoOptions_Options v) {
  bind_info_options_ = v;
  UpdateValues();
}

void TCustomIEDownload::UpdateValues() {
  bind_f_value_ = ::BindFValue(bind_f_);
  bind_f2_value_ = ::BindF2Value(bind_f2_);
  bind_info_f_value_ = ::BindInfoFValue(bind_info_f_);
  bind_info_options_value_ = ::BindInfoOptionsValue(bind_info_options_);
}

void TCustomIEDownload::Loaded() {
  TComponent::Loaded();
  if (TimeOut == 0) TimeOut = 2147483647;
  if (ProxySettings.AutoLoadProxy && !ProxySettings.Server.empty()) {
    ApplyProxy(ProxySettings.Server + ":" + IntToStr(ProxySettings.Port));
    proxy_set_ = true;
  }
}

void TCustomIEDownload::ApplyProxy(const AnsiString& Server) {
  const AnsiString agent = UserAgentLine();
  HINTERNET session = InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  INTERNET_PER_CONN_OPTIONA options[3]{};
  AnsiString server = Server, bypass = "<local>";
  options[0].dwOption = INTERNET_PER_CONN_FLAGS;
  options[0].Value.dwValue = Server.empty() ? PROXY_TYPE_DIRECT : (PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY);
  options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  options[1].Value.pszValue = server.data();
  options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
  options[2].Value.pszValue = bypass.data();
  INTERNET_PER_CONN_OPTION_LISTA list{};
  list.dwSize = sizeof list;
  list.dwOptionCount = 3;
  list.pOptions = options;
  if (!InternetSetOptionA(session, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, sizeof list))
    Error(GetLastError(), SysErrorMessage(GetLastError()));
  InternetSetOptionA(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
  InternetSetOptionA(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
  if (session) InternetCloseHandle(session);
}

AnsiString TCustomIEDownload::UserAgentLine() const {
  return "User-agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)(" + UserAgent + ")\r\n";
}

AnsiString TCustomIEDownload::FormatSize(double Bytes) const { return ::FormatSize(Bytes); }

void TCustomIEDownload::Error(DWORD Code, const AnsiString& Text) {
  if (OnError) OnError(Code, Text);
}

void TCustomIEDownload::SetState(TState State) {
  if (OnStateChange) OnStateChange(State);
}

void TCustomIEDownload::Download(const WideString& AUrl) {
  FileName.clear();  // each download names its own file
  RunDownload(AUrl, nullptr, nullptr);
  if (OpenDownloadFolder && DownloadMethod == dmFile && !ResultFolder.empty()) {
    HINSTANCE r = ShellExecuteA(nullptr, "explore", ResultFolder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    const auto code = reinterpret_cast<intptr_t>(r);
    if (code <= 32) Error(static_cast<DWORD>(code), EngineText(sErrOpenFolder));
  }
}

void TCustomIEDownload::DownloadBound(const WideString& AUrl, IBindCtx* BindCtx, IMoniker* Moniker) {
  if (AUrl.empty() || cancelled_) return;
  RunDownload(AUrl, BindCtx, Moniker);
}

void TCustomIEDownload::RunDownload(const WideString& AUrl, IBindCtx* BindCtx, IMoniker* Moniker) {
  busy_ = true;
  cancelled_ = stop_ = finished_ = renamed_ = false;
  FullPath.clear();
  ResultFolder.clear();
  ResultFileName.clear();
  FileExtension.clear();
  StatusText.clear();
  RedirectedUrl.clear();
  FileSize = 0;
  SetState(sBusy);
  ++downloads_;
  Url = AUrl;
  event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (Prepare()) {
    auto* transfer = new TBSCB(this, BindCtx, Moniker);
    transfer->Run();
    try {
      while (!stop_ && !running_.empty()) WaitRound();
    } catch (...) {
      Error(static_cast<DWORD>(E_FAIL), EngineText(sErrProcessEvents));
      transfer->Release();
      CloseHandle(event_);
      event_ = nullptr;
      busy_ = false;
      throw;
    }
    transfer->Release();
    Complete();
  }
  CloseHandle(event_);
  event_ = nullptr;
}

void TCustomIEDownload::Complete() {
  busy_ = false;
  if (OnComplete) OnComplete(this, FullPath, ResultFileName, ResultFolder, FileExtension, ActiveConnections());
  finished_ = true;
  SetState(sReady);
}

AnsiString TCustomIEDownload::NameFromUrl(const AnsiString& AUrl) const {
  TUrl url;
  url.SplitUrl(AUrl);
  if (url.Document.find('.') != AnsiString::npos) return url.Document;
  AnsiString path = url.UrlPath;
  while (!path.empty() && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  return slash == AnsiString::npos ? path : path.substr(slash + 1);
}

bool TCustomIEDownload::Prepare() {
  AnsiString url = kv::WideToAnsi(Url);
  if (url.empty()) {
    Complete();
    return false;
  }
  const AnsiString upper = UpperCase(url);
  if (std::none_of(std::begin(kProtocols), std::end(kProtocols),
                   [&](const char* p) { return upper.find(p) != AnsiString::npos; }))
    url = default_protocol_ + url;
  Url = Widen(url);
  if (ValidateUrl) {
    TUrl check;
    if (!check.CheckUrl(url)) {
      const DWORD error = GetLastError();
      Error(error, SysErrorMessage(error) + url);
      Complete();
      return false;
    }
  }
  folder_.clear();
  file_name_.clear();
  if (DownloadMethod == dmFile) {
    AnsiString folder = kv::WideToAnsi(DownloadFolder);
    if (folder.empty() && Application) folder = ExtractFilePath(Application->ExeName()) + EngineText(sDownloadsFolder);
    if (folder.empty()) {
      Complete();
      return false;
    }
    folder = IncludeTrailingPathDelimiter(folder);
    if (!DirectoryExists(folder) && !ForceDirectories(folder)) {
      const DWORD error = GetLastError();
      Error(error, SysErrorMessage(error) + EngineText(sErrCreateFolder));
      Complete();
      return false;
    }
    AnsiString name = kv::WideToAnsi(FileName);
    name_given_ = !name.empty();
    name = SafeFileName(name.empty() ? NameFromUrl(url) : name, DefaultUrlFileName);
    if (FileExists(folder + name)) {
      TFileExistsOption action = FileExistsOption;
      AnsiString new_name;
      if (OnFileExists) OnFileExists(action, folder + name, new_name);
      if (action == feSkip) {
        Complete();
        return false;
      }
      if (action == feOverWrite) {
        bind_f_ << TBindF::GetNewestVersion;
      } else {
        // A free name: the one offered, else the time (without ":", which file names
        // cannot hold) in front of the old name; numbered until nothing has it.
        AnsiString base = new_name.empty() ? FormatDateTime("hhnnss.zzz", Now()) + "_" + name
                                           : SafeFileName(new_name, DefaultUrlFileName);
        AnsiString candidate = base;
        for (int n = 2; FileExists(folder + candidate); ++n) candidate = IntToStr(n) + "_" + base;
        name = candidate;
        renamed_ = true;
      }
    }
    folder_ = folder;
    file_name_ = name;
    DownloadFolder = Widen(folder);
    FileName = Widen(name);
  }
  urls_.Add(url);
  UpdateValues();
  return true;
}

bool TCustomIEDownload::WaitRound() {
  // Input already queued counts too: a task posted before the wait must not wait for
  // newer input to be seen.
  const DWORD r = MsgWaitForMultipleObjectsEx(1, &event_, kRoundMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (r == WAIT_FAILED) {
    const DWORD error = GetLastError();
    Error(error, SysErrorMessage(error));
    stop_ = true;  // a wait that cannot wait would only fail again
    return false;
  }
  if (r == WAIT_OBJECT_0 + 1) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return r == WAIT_OBJECT_0;
}

void TCustomIEDownload::Cancel() {
  if (!busy_ || finished_) return;
  cancelled_ = stop_ = true;
  if (Application) Application->ProcessMessages();
}

void TCustomIEDownload::Stop() {
  if (!busy_ || finished_) return;
  stop_ = true;
  if (Application) Application->ProcessMessages();
}

void TCustomIEDownload::CancelItem(TBSCB*) { stop_ = true; }

// ---------------------------------------------------------------------------------------
// TBSCB

TBSCB::TBSCB(TCustomIEDownload* Owner, IBindCtx* BindCtx, IMoniker* Moniker)
    : TThread(true), owner_(Owner), bind_ctx_(BindCtx), moniker_(Moniker) {
  if (bind_ctx_) bind_ctx_->AddRef();
  if (moniker_) moniker_->AddRef();
}

TBSCB::~TBSCB() {
  StopInactivityTimer();
  if (storage_) storage_->Release();
  if (binding_) binding_->Release();
  if (previous_) previous_->Release();
  if (site_) site_->Release();
  if (bind_ctx_) bind_ctx_->Release();
  if (moniker_) moniker_->Release();
}

HRESULT TBSCB::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback) ||
      IsEqualIID(riid, IID_IBindStatusCallbackEx))
    *object = static_cast<IBindStatusCallbackEx*>(this);
  else if (IsEqualIID(riid, IID_IHttpNegotiate) || IsEqualIID(riid, IID_IHttpNegotiate2) ||
           IsEqualIID(riid, IID_IHttpNegotiate3))
    *object = static_cast<IHttpNegotiate3*>(this);
  else if (IsEqualIID(riid, IID_IAuthenticate) || IsEqualIID(riid, IID_IAuthenticateEx))
    *object = static_cast<IAuthenticateEx*>(this);
  else if (IsEqualIID(riid, IID_IWindowForBindingUI) || IsEqualIID(riid, IID_IHttpSecurity))
    *object = static_cast<IHttpSecurity*>(this);
  else if (IsEqualIID(riid, IID_ICodeInstall))
    *object = static_cast<ICodeInstall*>(this);
  else if (IsEqualIID(riid, IID_IMonikerProp))
    *object = static_cast<IMonikerProp*>(this);
  else if (IsEqualIID(riid, IID_IServiceProvider))
    *object = static_cast<IServiceProvider*>(this);
  else if (IsEqualIID(riid, IID_IPropertyNotifySink))
    *object = static_cast<IPropertyNotifySink*>(this);
  else if (IsEqualIID(riid, IID_IObjectWithSite))
    *object = static_cast<IObjectWithSite*>(this);
  if (*object) {
    AddRef();
    return S_OK;
  }
  if (owner_->OnQueryInterface) return owner_->OnQueryInterface(riid, object);
  return E_NOINTERFACE;
}

ULONG TBSCB::AddRef() { return ++refs_; }

ULONG TBSCB::Release() {
  const ULONG n = --refs_;
  if (n == 0) delete this;
  return n;
}

bool TBSCB::Stopping() const { return owner_->stop_; }

AnsiString TBSCB::FileName() const { return info_ ? info_->FileName : AnsiString(); }
void TBSCB::SetFileName(const AnsiString& Name) {
  if (info_) info_->FileName = SafeFileName(Name, owner_->DefaultUrlFileName);
}
AnsiString TBSCB::DownloadFolder() const { return info_ ? info_->DownloadFolder : AnsiString(); }
void TBSCB::SetDownloadFolder(const AnsiString& Folder) {
  if (info_ && !Folder.empty()) info_->DownloadFolder = IncludeTrailingPathDelimiter(Folder);
}

void TBSCB::Report(HRESULT hr, int success_text, int failure_text) {
  if (FAILED(hr)) {
    owner_->Error(static_cast<DWORD>(hr), EngineText(failure_text) + BindStatusText(static_cast<DWORD>(hr)));
    error_reported_ = true;
  } else if (owner_->OnConnect) {
    owner_->OnConnect(this, hr, EngineText(success_text) + BindStatusText(static_cast<DWORD>(hr)));
  }
}

void TBSCB::Run() {
  if (Terminated()) return;
  const bool com = SUCCEEDED(CoInitialize(nullptr));
  refs_++;  // held while the body runs
  // The snapshot of the request settings (the caller's own thread: taken at once).
  info_ = std::make_unique<TInfoData>();
  TCustomIEDownload* d = owner_;
  for (int i = 0; i < d->AdditionalHeader.Count(); ++i) info_->AdditionalHeader += d->AdditionalHeader[i] + "\r\n";
  info_->BindF = d->bind_f_value_;
  info_->BindF2 = d->bind_f2_value_;
  info_->BindInfoF = d->bind_info_f_value_;
  info_->BindInfoOptions = d->bind_info_options_value_;
  info_->BindVerb = static_cast<DWORD>(d->BindVerb);
  info_->CodePage = CodePageValue(d->CodePage);
  info_->CustomVerb = d->CustomVerb;
  info_->Security = d->Security;
  info_->DownloadFolder = d->folder_;
  info_->FileName = d->file_name_;
  info_->ExtraInfo = d->ExtraInfo;
  info_->PostData = d->PostData;
  info_->PutFileName = d->PutFileName;
  info_->RangeBegin = d->Range.RangeBegin;
  info_->RangeEnd = d->Range.RangeEnd;
  info_->TimeOut = d->TimeOut;
  info_->Url = d->Url;
  info_->UserName = d->UserName;
  info_->Password = d->Password;
  info_->Sender = d;
  info_->DownloadsCount = d->downloads_;

  QueryPerformanceFrequency(&frequency_);
  QueryPerformanceCounter(&start_);
  d->running_.push_back(this);

  HRESULT hr = S_OK;
  if (!moniker_) {
    hr = CreateURLMonikerEx(nullptr, info_->Url.c_str(), &moniker_, URL_MK_UNIFORM);
    Report(hr, sCreateMoniker, sErrCreateMoniker);
  }
  bool registered = false;
  if (SUCCEEDED(hr)) {
    if (!bind_ctx_) {
      hr = CreateAsyncBindCtx(0, static_cast<IBindStatusCallbackEx*>(this), nullptr, &bind_ctx_);
      Report(hr, sCreateBindCtx, sErrCreateBindCtx);
    } else {
      hr = RegisterBindStatusCallback(bind_ctx_, static_cast<IBindStatusCallbackEx*>(this), &previous_, 0);
      Report(hr, sRegisterBsc, sErrRegisterBsc);
    }
    registered = SUCCEEDED(hr);
  }
  if (SUCCEEDED(hr)) {
    IStream* stream = nullptr;
    hr = moniker_->BindToStorage(bind_ctx_, nullptr, IID_IStream, reinterpret_cast<void**>(&stream));
    if (stream) stream->Release();
    Report(hr, sBindToStorage, sErrBindToStorage);
  }
  if (SUCCEEDED(hr)) {
    while (!stopped_ && !Stopping()) d->WaitRound();
    // Stopped from outside: the binding must end before this object may go, since the
    // library still calls it until OnStopBinding.
    if (!stopped_) {
      AbortBinding();
      while (!stopped_ && binding_) d->WaitRound();
    }
  }
  stopped_ = true;
  if (registered) {
    hr = RevokeBindStatusCallback(bind_ctx_, static_cast<IBindStatusCallbackEx*>(this));
    Report(hr, sRevokeBsc, sErrRevokeBsc);
  }
  StopInactivityTimer();
  d->FullPath = info_->DownloadFolder + info_->FileName;
  d->ResultFolder = info_->DownloadFolder;
  d->ResultFileName = info_->FileName;
  d->FileExtension = ExtractFileExt(info_->FileName);
  d->FileSize = bytes_read_;
  auto it = std::find(d->running_.begin(), d->running_.end(), this);
  if (it != d->running_.end()) d->running_.erase(it);
  if (d->running_.empty() && d->event_) SetEvent(d->event_);
  if (com) CoUninitialize();
  Release();
}

void TBSCB::AbortBinding() {
  if (binding_ && !aborted_) {
    aborted_ = true;
    binding_->Abort();
  }
}

void TBSCB::InactivityTick(HWND, UINT, UINT_PTR id, DWORD) {
  for (const auto& [timer, transfer] : g_timers) {
    if (timer != id) continue;
    TBSCB* t = transfer;  // the entry goes with the timer
    t->StopInactivityTimer();
    t->timed_out_ = true;
    t->AbortBinding();
    return;
  }
}

void TBSCB::RestartInactivityTimer() {
  if (!info_ || info_->TimeOut <= 0 || stopped_) return;
  StopInactivityTimer();
  timer_ = SetTimer(nullptr, 0, static_cast<UINT>(info_->TimeOut), &TBSCB::InactivityTick);
  if (timer_) g_timers.push_back({timer_, this});
}

void TBSCB::StopInactivityTimer() {
  if (!timer_) return;
  KillTimer(nullptr, timer_);
  g_timers.erase(std::remove_if(g_timers.begin(), g_timers.end(), [&](const auto& t) { return t.first == timer_; }),
                 g_timers.end());
  timer_ = 0;
}

AnsiString TBSCB::QueryText(DWORD option) {
  if (!binding_) return AnsiString();
  IWinInetHttpInfo* http = nullptr;
  if (FAILED(binding_->QueryInterface(IID_IWinInetHttpInfo, reinterpret_cast<void**>(&http))) || !http)
    return AnsiString();
  char buffer[2048];
  DWORD size = sizeof buffer, flags = 0;
  AnsiString text;
  if (SUCCEEDED(http->QueryInfo(option, buffer, &size, &flags, nullptr))) text.assign(buffer, std::min<DWORD>(size, sizeof buffer));
  http->Release();
  return text;
}

AnsiString TBSCB::ContentDispositionName() {
  return ContentDispositionFileName(QueryText(HTTP_QUERY_CONTENT_DISPOSITION));
}

// ---- IBindStatusCallback.

HRESULT TBSCB::OnStartBinding(DWORD, IBinding* binding) {
  if (Stopping()) return E_ABORT;
  if (binding_) binding_->Release();
  binding_ = binding;
  if (binding_) binding_->AddRef();
  bool cancel = false;
  if (owner_->OnStartBinding) owner_->OnStartBinding(this, cancel, binding);
  if (cancel || Stopping()) {
    skip_report_ = true;
    return E_ABORT;
  }
  return S_OK;
}

HRESULT TBSCB::GetPriority(LONG* priority) {
  if (!priority) return E_POINTER;
  *priority = 0;
  return S_OK;
}

HRESULT TBSCB::OnLowResource(DWORD) { return S_OK; }

HRESULT TBSCB::OnProgress(ULONG progress, ULONG progress_max, ULONG status, LPCWSTR text) {
  if (Stopping()) return E_ABORT;
  if (progress_max < progress) progress_max = progress;
  if (previous_) previous_->OnProgress(progress, progress_max, status, text);
  const AnsiString status_text = Narrow(text);
  AnsiString downloaded, elapsed, speed, remaining, state = BindStatusText(status), percent;
  switch (status) {
    case BINDSTATUS_CONNECTING:
      redirect_url_ = status_text;
      break;
    case BINDSTATUS_REDIRECTING:
      if (status_text != kv::WideToAnsi(owner_->Url)) {
        bool abort = false;
        if (owner_->OnRedirect) owner_->OnRedirect(this, abort, kv::WideToAnsi(owner_->Url), status_text);
        if (abort) {
          skip_report_ = true;
          return E_ABORT;
        }
        owner_->RedirectedUrl = status_text;
        if (owner_->DownloadMethod == dmFile && !owner_->name_given_)
          SetFileName(owner_->NameFromUrl(status_text));
      }
      break;
    case BINDSTATUS_DOWNLOADINGDATA: {
      downloaded = ::FormatSize(progress);
      if (progress_max > 0) percent = Format("%.1f %%", {static_cast<double>(progress) / progress_max * 100});
      LARGE_INTEGER now{};
      QueryPerformanceCounter(&now);
      const int64_t seconds = frequency_.QuadPart > 0 ? (now.QuadPart - start_.QuadPart) / frequency_.QuadPart : 0;
      elapsed = SecondsToText(seconds);
      const double kb_per_sec = seconds > 0 ? progress / 1024.0 / static_cast<double>(seconds) : 0.0;
      speed = Format("%.1f ", {kb_per_sec}) + EngineText(sKbPerSec);
      const double left = kb_per_sec > 0 ? (static_cast<double>(progress_max) - progress) / (kb_per_sec * 1024) : 0;
      remaining = FormatDateTime(EngineText(sTimeFormat), left / 86400.0);
      break;
    }
    case BINDSTATUS_ENDDOWNLOADDATA:
      state = EngineText(sDone);
      speed = AnsiString("0/00") + EngineText(sKbPerSec);
      remaining = "00.00.00";
      percent = "100%";
      progress = progress_max = 0;
      break;
    case BINDSTATUS_MIMETYPEAVAILABLE:
      mime_type_ = status_text;
      break;
    default:
      break;
  }
  owner_->StatusText = state;
  if (owner_->OnProgress)
    owner_->OnProgress(this, progress, progress_max, status, progress_max, status_text, downloaded, elapsed, speed,
                       remaining, state, percent);
  return Stopping() ? E_ABORT : S_OK;
}

HRESULT TBSCB::OnStopBinding(HRESULT result, LPCWSTR error) {
  StopInactivityTimer();
  AnsiString error_text = Narrow(error);
  if (timed_out_) {
    result = static_cast<HRESULT>(kTimeOutResult);
    error_text = EngineText(sErrTimeOut);
    owner_->Error(kTimeOutResult, error_text);
  } else if (FAILED(result) && !error_reported_ && !skip_report_ && !owner_->stop_) {
    if (error_text.empty()) error_text = BindStatusText(static_cast<DWORD>(result));
    owner_->Error(static_cast<DWORD>(result), error_text);
  }
  error_reported_ = true;
  file_.reset();
  if (owner_->OnGetBindResults && binding_) {
    CLSID protocol{};
    DWORD bind_result = 0, reserved = 0;
    LPOLESTR text = nullptr;
    binding_->GetBindResult(&protocol, &bind_result, &text, &reserved);
    AnsiString result_text = Narrow(text);
    if (text) CoTaskMemFree(text);
    owner_->OnGetBindResults(this, protocol, bind_result, result_text, error_text);
  }
  if (owner_->OnStopBinding) owner_->OnStopBinding(this, result, error_text);
  owner_->SetState(sStopped);
  if (owner_->OnStreamComplete) owner_->OnStreamComplete(this, &memory_, result);
  stopped_ = true;
  if (binding_) {
    binding_->Release();
    binding_ = nullptr;
  }
  if (owner_->event_) SetEvent(owner_->event_);
  bool cancel = false;
  if (owner_->OnTerminate) owner_->OnTerminate(this, ThreadID(), FileName(), cancel);
  if (cancel) owner_->Cancel();
  return S_OK;
}

HRESULT TBSCB::FillBindInfo(DWORD* bindf, BINDINFO* info, DWORD* bindf2) {
  if (!bindf || !info) return E_INVALIDARG;
  *bindf = info_->BindF;
  if (bindf2) *bindf2 = info_->BindF2;
  std::memset(info, 0, sizeof *info);
  info->cbSize = 84;
  info->grfBindInfoF = info_->BindInfoF;
  info->dwBindVerb = info_->BindVerb;
  if (info_->BindVerb == BINDVERB_CUSTOM) info->szCustomVerb = AnsiToTaskMemWide(info_->CustomVerb);
  if (!info_->ExtraInfo.empty()) info->szExtraInfo = AnsiToTaskMemWide(info_->ExtraInfo);
  AnsiString data;
  if (info_->BindVerb == BINDVERB_POST) {
    data = info_->PostData;
  } else if (info_->BindVerb == BINDVERB_PUT && !info_->PutFileName.empty()) {
    TMemoryStream put;
    try {
      put.LoadFromFile(info_->PutFileName);
    } catch (const Exception& e) {
      owner_->Error(GetLastError(), e.Message());
      error_reported_ = true;
      return E_INVALIDARG;
    }
    data.assign(static_cast<const char*>(put.Memory()), static_cast<size_t>(put.Size()));
  }
  if (info_->BindVerb == BINDVERB_POST || info_->BindVerb == BINDVERB_PUT) {
    info->stgmedData.tymed = TYMED_HGLOBAL;
    info->stgmedData.hGlobal = GlobalCopy(data.data(), data.size());
    info->cbstgmedData = static_cast<DWORD>(data.size());
  }
  info->dwOptions = info_->BindInfoOptions;
  info->dwCodePage = info_->CodePage;
  info->securityAttributes.nLength = sizeof(SECURITY_ATTRIBUTES);
  info->securityAttributes.bInheritHandle = info_->Security.InheritHandle;
  return S_OK;
}

HRESULT TBSCB::GetBindInfo(DWORD* bindf, BINDINFO* info) {
  if (Stopping()) return E_ABORT;
  HRESULT hr = FillBindInfo(bindf, info, nullptr);
  if (SUCCEEDED(hr) && owner_->OnGetBindInfo) hr = owner_->OnGetBindInfo(this, *bindf, info);
  return hr;
}

HRESULT TBSCB::GetBindInfoEx(DWORD* bindf, BINDINFO* info, DWORD* bindf2, DWORD*) {
  if (Stopping()) return E_ABORT;
  DWORD flags2 = 0;
  HRESULT hr = FillBindInfo(bindf, info, &flags2);
  if (SUCCEEDED(hr) && owner_->OnGetBindInfoEx) hr = owner_->OnGetBindInfoEx(this, *bindf, info, flags2);
  if (bindf2) *bindf2 = flags2;
  return hr;
}

bool TBSCB::OpenFile(bool append) {
  file_.reset();
  if (info_->FileName.empty()) info_->FileName = owner_->DefaultUrlFileName;
  const AnsiString path = info_->DownloadFolder + info_->FileName;
  try {
    if (append) {
      file_ = std::make_unique<TFileStream>(path, static_cast<WORD>(fmOpenReadWrite | fmShareDenyWrite));
      file_->Seek(0, soEnd);
    } else {
      file_ = std::make_unique<TFileStream>(path, fmCreate);
    }
  } catch (const Exception&) {
    const DWORD error = GetLastError();
    owner_->Error(error, SysErrorMessage(error));
    error_reported_ = true;
    return false;
  }
  return true;
}

bool TBSCB::WriteChunk(const char* data, int length) {
  if (memory_.Write(data, length) != length) {
    owner_->Error(ERROR_NOT_ENOUGH_MEMORY, SysErrorMessage(ERROR_NOT_ENOUGH_MEMORY));
    error_reported_ = true;
    return false;
  }
  if (file_ && file_->Write(data, length) != length) {
    const DWORD error = GetLastError();
    owner_->Error(error, SysErrorMessage(error));
    error_reported_ = true;
    return false;
  }
  bytes_read_ += length;
  return true;
}

HRESULT TBSCB::OnDataAvailable(DWORD flags, DWORD size, FORMATETC*, STGMEDIUM* medium) {
  if (Stopping()) return E_ABORT;
  if (owner_->OnDataAvailableInfo) owner_->OnDataAvailableInfo(this, flags, DataFlagText(flags));
  RestartInactivityTimer();
  if (!storage_) {
    if (!medium || medium->tymed != TYMED_ISTREAM || !medium->pstm) return E_INVALIDARG;
    storage_ = medium->pstm;
    storage_->AddRef();
    if (owner_->DownloadMethod == dmFile && !file_ && !OpenFile(false)) return E_INVALIDARG;
  }
  std::vector<char> buffer;
  for (;;) {
    const int64_t left = static_cast<int64_t>(size) - bytes_read_;
    buffer.resize(static_cast<size_t>(std::clamp<int64_t>(left, 4096, 65536)));
    ULONG got = 0;
    const HRESULT hr = storage_->Read(buffer.data(), static_cast<ULONG>(buffer.size()), &got);
    if (got == 0) break;
    char* data = buffer.data();
    int length = static_cast<int>(got);
    if (owner_->OnDataAvailable) owner_->OnDataAvailable(this, data, length);
    if (data && length > 0 && !WriteChunk(data, length)) return E_INVALIDARG;
    if (hr != S_OK || Stopping()) break;
  }
  return S_OK;
}

HRESULT TBSCB::OnObjectAvailable(REFIID, IUnknown*) { return S_OK; }

// ---- IHttpNegotiate.

HRESULT TBSCB::BeginningTransaction(LPCWSTR url, LPCWSTR headers, DWORD reserved, LPWSTR* additional_headers) {
  if (!additional_headers) return E_POINTER;
  *additional_headers = nullptr;
  if (Stopping()) return E_ABORT;
  AnsiString extra = owner_->UserAgentLine();
  const AnsiString path = info_->DownloadFolder + info_->FileName;
  if (owner_->DownloadMethod == dmFile && !info_->FileName.empty() && FileExists(path)) {
    // A partial file asked to be continued: from its own size on, unless the handler
    // keeps the file as it is (feSkip) or has it written anew (feRename).
    if (info_->RangeBegin > 0) {
      TFileExistsOption action = feOverWrite;
      if (owner_->OnResume) owner_->OnResume(this, path, action);
      if (action == feSkip) {
        skip_report_ = true;
        return E_ABORT;
      }
      if (action == feOverWrite) {
        resume_from_ = FileSizeOf(path);
        info_->RangeBegin = resume_from_;
      } else {
        info_->RangeBegin = 0;
      }
    }
  }
  if (info_->RangeBegin > 0 || info_->RangeEnd > 0) {
    extra += "Range: bytes=" + IntToStr(info_->RangeBegin) + "-";
    if (info_->RangeEnd > 0) extra += IntToStr(info_->RangeEnd);
    extra += "\r\n";
  }
  extra += info_->AdditionalHeader;
  WideString result = Widen(extra);
  HRESULT hr = S_OK;
  if (owner_->OnBeginningTransaction)
    hr = owner_->OnBeginningTransaction(this, url ? WideString(url) : WideString(),
                                        headers ? WideString(headers) : WideString(), reserved, result);
  *additional_headers = WideToTaskMem(result);
  RestartInactivityTimer();
  return hr;
}

HRESULT TBSCB::OnResponse(DWORD code, LPCWSTR response_headers, LPCWSTR request_headers,
                          LPWSTR* additional_request_headers) {
  if (additional_request_headers) *additional_request_headers = nullptr;
  if (Stopping()) return E_ABORT;
  bool empty = false;
  if (binding_) {
    IWinInetHttpInfo* http = nullptr;
    if (SUCCEEDED(binding_->QueryInterface(IID_IWinInetHttpInfo, reinterpret_cast<void**>(&http))) && http) {
      DWORD length = 1, size = sizeof length, flags = 0;
      empty = SUCCEEDED(http->QueryInfo(HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, &flags,
                                        nullptr)) &&
              length == 0;
      http->Release();
    }
  }
  if (code >= 400 || empty) {
    owner_->Error(code, BindStatusText(code));
    error_reported_ = true;
    return E_ABORT;
  }
  const AnsiString offered = ContentDispositionName();
  if (!offered.empty()) SetFileName(offered);
  HRESULT hr = S_OK;
  if (owner_->OnResponse) {
    WideString more;
    hr = owner_->OnResponse(this, code, response_headers ? WideString(response_headers) : WideString(),
                            request_headers ? WideString(request_headers) : WideString(), more);
    if (additional_request_headers && !more.empty()) *additional_request_headers = WideToTaskMem(more);
  }
  if (FAILED(hr) || Stopping()) {
    skip_report_ = true;
    return FAILED(hr) ? hr : E_ABORT;
  }
  if (owner_->DownloadMethod == dmFile) {
    bool append = false;
    if (resume_from_ >= 0 && code == 206) {
      // Only a part that starts where the file ends may be appended to it.
      if (ContentRangeStart(Narrow(response_headers)) != resume_from_) {
        owner_->Error(code, BindStatusText(code));
        error_reported_ = true;
        return E_ABORT;
      }
      append = true;
    }
    if (!OpenFile(append)) return E_INVALIDARG;
  }
  return hr;
}

HRESULT TBSCB::GetRootSecurityId(BYTE* id, DWORD* size, DWORD_PTR) {
  if (!owner_->OnGetRootSecurityId || !size) return E_NOTIMPL;
  return owner_->OnGetRootSecurityId(id, *size);
}

HRESULT TBSCB::GetSerializedClientCertContext(BYTE** cert, DWORD* size) {
  if (!owner_->OnGetSerializedClientCertContext || !cert || !size) return E_NOTIMPL;
  return owner_->OnGetSerializedClientCertContext(this, *cert, *size);
}

// ---- IAuthenticate.

HRESULT TBSCB::Authenticate(HWND* window, LPWSTR* user_name, LPWSTR* password) {
  return AuthenticateEx(window, user_name, password, nullptr);
}

HRESULT TBSCB::AuthenticateEx(HWND* window, LPWSTR* user_name, LPWSTR* password, AUTHENTICATEINFO* info) {
  if (!window || !user_name || !password) return E_INVALIDARG;
  *user_name = *password = nullptr;
  if (Stopping()) return E_ABORT;
  HWND wnd = nullptr;
  WideString user = Widen(info_->UserName), pass = Widen(info_->Password);
  HRESULT hr = S_OK;
  if (info && owner_->OnAuthenticateEx)
    owner_->OnAuthenticateEx(this, wnd, user, pass, info, hr);
  else if (owner_->OnAuthenticate)
    owner_->OnAuthenticate(this, wnd, user, pass, hr);
  *window = wnd;
  if (!user.empty()) *user_name = WideToTaskMem(user);
  if (!pass.empty()) *password = WideToTaskMem(pass);
  return hr;
}

// ---- The remaining interfaces forward to their events.

HRESULT TBSCB::GetWindow(REFGUID reason, HWND* window) {
  if (!window) return E_INVALIDARG;
  *window = nullptr;
  if (!owner_->OnGetWindow) return E_NOTIMPL;
  return owner_->OnGetWindow(this, reason, *window);
}

HRESULT TBSCB::OnSecurityProblem(DWORD problem) {
  if (!owner_->OnSecurityProblem) return S_FALSE;
  return owner_->OnSecurityProblem(this, problem, BindStatusText(problem));
}

HRESULT TBSCB::OnCodeInstallProblem(ULONG status, LPCWSTR destination, LPCWSTR source, DWORD reserved) {
  if (!owner_->OnCodeInstallProblem) return E_NOTIMPL;
  return owner_->OnCodeInstallProblem(this, status, destination ? WideString(destination) : WideString(),
                                      source ? WideString(source) : WideString(), reserved, BindStatusText(status));
}

HRESULT TBSCB::PutProperty(MONIKERPROPERTY property, LPCWSTR value) {
  if (!owner_->OnPutProperty) return E_NOTIMPL;
  return owner_->OnPutProperty(this, property, value ? WideString(value) : WideString());
}

HRESULT TBSCB::QueryService(REFGUID service, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (owner_->OnQueryService) owner_->OnQueryService(this, service, riid, object);
  if (*object) return S_OK;
  return QueryInterface(riid, object);
}

HRESULT TBSCB::OnChanged(DISPID id) {
  if (Stopping()) return E_ABORT;
  if (id != DISPID_READYSTATE || !site_) return S_OK;
  IDispatch* document = nullptr;
  if (FAILED(site_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&document))) || !document) return S_OK;
  PostWhenDocumentComplete(document);
  document->Release();
  return S_OK;
}

HRESULT TBSCB::OnRequestEdit(DISPID) { return S_OK; }

HRESULT TBSCB::SetSite(IUnknown* site) {
  if (site) site->AddRef();
  if (site_) site_->Release();
  site_ = site;
  return S_OK;
}

HRESULT TBSCB::GetSite(REFIID riid, void** site) {
  if (!site) return E_POINTER;
  *site = nullptr;
  return site_ ? site_->QueryInterface(riid, site) : E_FAIL;
}
