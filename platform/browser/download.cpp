// Undisplayed responses: the host's download manager, else the Downloads folder.
#include "platform/browser/download.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "platform/base/codepage.h"
#include "platform/base/file.h"
#include "platform/base/global_memory.h"
#include "platform/base/internal.h"
#include "platform/base/path.h"
#include "platform/base/trace.h"
#include "platform/browser/internal.h"
#include "platform/browser/recorders.h"
#include "platform/browser/url.h"
#include "platform/com/unknown.h"

namespace kv::browser {
namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// The downloads recorder: "saved <url> <path>", "taken <url>", "failed <url> ...".
kv::base::Recorder& Log() {
  static auto* log = new kv::base::Recorder("browser", "download");  // never destroyed: a load may end during exit
  return *log;
}

void FillBindInfo(BINDINFO* info, const std::vector<uint8_t>& post_data) {
  ULONG size = info->cbSize;
  std::memset(info, 0, sizeof *info);
  info->cbSize = size;
  info->dwCodePage = 936;
  if (post_data.empty()) {
    info->dwBindVerb = BINDVERB_GET;
    return;
  }
  info->dwBindVerb = BINDVERB_POST;
  HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, post_data.size());
  if (!g) return;
  std::memcpy(GlobalLock(g), post_data.data(), post_data.size());
  GlobalUnlock(g);
  info->stgmedData.tymed = TYMED_HGLOBAL;
  info->stgmedData.hGlobal = g;
  info->cbstgmedData = static_cast<DWORD>(post_data.size());
}

void ClearBindInfo(BINDINFO* info) {
  if (info->stgmedData.tymed == TYMED_HGLOBAL && info->stgmedData.hGlobal) GlobalFree(info->stgmedData.hGlobal);
  info->stgmedData.hGlobal = nullptr;
}

// The browser's callback in the bind context it hands the download manager: a manager
// that binds with that context (or forwards to it) gets the navigation's verb and POST
// data; what the bind reports is the manager's business.
class BrowserBindCallback final : public kv::RefCounted<IBindStatusCallback> {
 public:
  explicit BrowserBindCallback(std::vector<uint8_t> post_data) : post_data_(std::move(post_data)) {}
  HRESULT OnStartBinding(DWORD, IBinding*) override { return S_OK; }
  HRESULT GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT OnLowResource(DWORD) override { return S_OK; }
  HRESULT OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
  HRESULT OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
  HRESULT GetBindInfo(DWORD* bindf, BINDINFO* info) override {
    if (!bindf || !info) return E_INVALIDARG;
    *bindf = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA;
    FillBindInfo(info, post_data_);
    return S_OK;
  }
  HRESULT OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
  HRESULT OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

 private:
  ~BrowserBindCallback() override = default;
  bool Accepts(REFIID riid) const override { return IsEqualIID(riid, IID_IBindStatusCallback); }
  std::vector<uint8_t> post_data_;
};

// A file name of the folder: the last path segment only, no leading dots, no control
// characters; "download" when nothing is left.
std::string SafeName(std::string name) {
  size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  std::string out;
  for (char c : name)
    if (static_cast<unsigned char>(c) >= 0x20 && c != ':' && c != '*' && c != '?' && c != '"' && c != '<' &&
        c != '>' && c != '|')
      out += c;
  size_t start = out.find_first_not_of(". ");
  out = start == std::string::npos ? std::string() : out.substr(start);
  return out.empty() ? "download" : out;
}

std::string NameOf(const std::string& url, const std::string& raw_headers) {
  std::string disposition = HeaderValue(raw_headers, "Content-Disposition");
  size_t at = Lower(disposition).find("filename=");
  if (at != std::string::npos) {
    std::string v = Trim(disposition.substr(at + 9));
    if (!v.empty() && v[0] == '"') {
      size_t end = v.find('"', 1);
      v = v.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    } else {
      v = Trim(v.substr(0, v.find(';')));
    }
    if (!v.empty()) return SafeName(v);
  }
  std::string path = url.substr(0, url.find_first_of("?#"));
  size_t scheme = path.find("://");
  size_t slash = path.find('/', scheme == std::string::npos ? 0 : scheme + 3);
  return SafeName(slash == std::string::npos ? std::string() : PercentDecode(path.substr(slash)));
}

}  // namespace

std::string HeaderValue(const std::string& raw, const std::string& name) {
  const std::string want = Lower(name);
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find('\n', start);
    std::string line = raw.substr(start, end == std::string::npos ? std::string::npos : end - start);
    size_t colon = line.find(':');
    if (colon != std::string::npos && Lower(Trim(line.substr(0, colon))) == want) return Trim(line.substr(colon + 1));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return std::string();
}

bool IsUndisplayed(const std::string& content_type, const std::string& raw_headers) {
  if (Lower(HeaderValue(raw_headers, "Content-Disposition")).rfind("attachment", 0) == 0) return true;
  std::string mime = Lower(Trim(content_type.substr(0, content_type.find(';'))));
  // A folder has its own view.
  return !mime.empty() && mime != "inode/directory" && mime.rfind("text/", 0) != 0 && mime.rfind("image/", 0) != 0;
}

HRESULT OfferDownload(IServiceProvider* services, const std::string& url, const std::string& redirected,
                      const std::vector<uint8_t>& post_data, const std::string& headers) {
  if (!services) return E_NOINTERFACE;
  IDownloadManager* manager = nullptr;
  if (FAILED(Noted("QueryService IDownloadManager",
                   services->QueryService(IID_IDownloadManager, IID_IDownloadManager, reinterpret_cast<void**>(&manager)))) ||
      !manager)
    return E_NOINTERFACE;
  std::u16string wurl = Utf8ToWide(url), wheaders = Utf8ToWide(headers), wredirect = Utf8ToWide(redirected);
  IMoniker* moniker = nullptr;
  IBindCtx* context = nullptr;
  auto* callback = new BrowserBindCallback(post_data);
  HRESULT hr = CreateURLMonikerEx(nullptr, wurl.c_str(), &moniker, URL_MK_UNIFORM);
  if (SUCCEEDED(hr)) hr = CreateAsyncBindCtx(0, callback, nullptr, &context);
  if (SUCCEEDED(hr)) {
    BINDINFO info{};
    info.cbSize = sizeof info;
    FillBindInfo(&info, post_data);
    hr = Noted("Download", manager->Download(moniker, context, info.dwBindVerb,
                                             BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA, &info,
                                             headers.empty() ? nullptr : wheaders.c_str(),
                                             redirected.empty() ? nullptr : wredirect.c_str(), 936));
    ClearBindInfo(&info);
  }
  if (context) context->Release();
  if (moniker) moniker->Release();
  callback->Release();
  manager->Release();
  if (hr == S_OK) Log().Add("taken " + url);
  return hr;
}

std::string SaveDownload(const std::string& url, const std::string& raw_headers, const std::string& body) {
  const std::string dir = std::string(KvHomeDirectory()) + "/Downloads";
  kv::base::MakeDirectories(dir);
  const std::string name = NameOf(url, raw_headers);
  size_t dot = name.rfind('.');
  std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  std::string ext = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
  std::string path = dir + "/" + name;
  struct stat st {};
  for (int n = 1; stat(path.c_str(), &st) == 0; ++n) path = dir + "/" + stem + " (" + std::to_string(n) + ")" + ext;
  if (!KvWriteFileAtomic(path.c_str(), body.data(), body.size())) {
    Log().Add("failed " + url + " " + path);
    return std::string();
  }
  Log().Add("saved " + url + " " + path);
  return path;
}

void RecordFailedDownload(const std::string& url, HRESULT code) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
  Log().Add("failed " + url + " " + hex);
}

}  // namespace kv::browser

extern "C" {

DWORD KvBrowserDownloadLog(char* buffer, DWORD size) { return kv::browser::Log().Copy(buffer, size); }
void KvBrowserDownloadLogClear(void) { kv::browser::Log().Clear(); }

}  // extern "C"
