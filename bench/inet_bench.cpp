// inet_bench: moniker binds inside a message loop against plain libcurl easy transfers of
// the same files from the same local server, in the same run: 200 binds of a 100 KB file
// and 1,000 binds of a 200-byte file. Prints each side's time and the ratio (target 1.2).
#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/inet/inet.h"
#include "platform/inet/urlmon.h"
#include "platform/user/user.h"
#include "testsupport/http_server.h"

namespace {

class Sink final : public IBindStatusCallback {
 public:
  bool stopped = false;
  HRESULT result = S_OK;
  size_t bytes = 0;
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback)) {
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT OnStartBinding(DWORD, IBinding*) override { return S_OK; }
  HRESULT GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT OnLowResource(DWORD) override { return S_OK; }
  HRESULT OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
  HRESULT OnStopBinding(HRESULT hr, LPCWSTR) override {
    stopped = true;
    result = hr;
    return S_OK;
  }
  HRESULT GetBindInfo(DWORD* bindf, BINDINFO* info) override {
    *bindf = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_NOWRITECACHE;
    info->cbSize = 84;
    return S_OK;
  }
  HRESULT OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override {
    char buf[65536];
    ULONG n = 0;
    while (medium->pstm->Read(buf, sizeof buf, &n) == S_OK && n) bytes += n;
    return S_OK;
  }
  HRESULT OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }
};

double Monikers(const std::string& url, int count, size_t expect) {
  std::u16string wurl(url.begin(), url.end());
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    Sink sink;
    IMoniker* m = nullptr;
    IBindCtx* bc = nullptr;
    CreateURLMonikerEx(nullptr, wurl.c_str(), &m, URL_MK_UNIFORM);
    CreateAsyncBindCtx(0, &sink, nullptr, &bc);
    IStream* s = nullptr;
    m->BindToStorage(bc, nullptr, IID_IStream, reinterpret_cast<void**>(&s));
    MSG msg;
    while (!sink.stopped && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    if (sink.result != S_OK || sink.bytes != expect)
      std::printf("bind failed: 0x%08X, %zu bytes\n", static_cast<unsigned>(sink.result), sink.bytes);
    bc->Release();
    m->Release();
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

size_t Count(char*, size_t size, size_t n, void* total) {
  *static_cast<size_t*>(total) += size * n;
  return size * n;
}

double Easy(const std::string& url, int count, size_t expect) {
  CURL* easy = curl_easy_init();
  size_t total = 0;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Count);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &total);
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    total = 0;
    if (curl_easy_perform(easy) != CURLE_OK || total != expect) std::printf("transfer failed\n");
  }
  double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  curl_easy_cleanup(easy);
  return t;
}

}  // namespace

int main() {
  kvtest::HttpServer server;
  const std::string big(100 * 1024, 'b'), small(200, 's');
  server.Serve("/big", big, "application/octet-stream");
  server.Serve("/small", small, "text/plain");
  struct Row {
    const char* name;
    std::string url;
    int count;
    size_t size;
  } rows[] = {{"100 KB x 200", server.Url("/big"), 200, big.size()},
              {"200 B x 1000", server.Url("/small"), 1000, small.size()}};
  Monikers(server.Url("/small"), 5, small.size());  // warm-up
  Easy(server.Url("/small"), 5, small.size());
  for (const auto& r : rows) {
    double m = Monikers(r.url, r.count, r.size);
    double e = Easy(r.url, r.count, r.size);
    std::printf("%-14s monikers %.3f s  libcurl easy %.3f s  ratio %.2f (target 1.20)\n", r.name, m, e, m / e);
  }
  return 0;
}
