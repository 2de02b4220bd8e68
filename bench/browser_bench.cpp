// browser_bench: a 1 MB invoice-list page (5,000 table rows) loaded by the browser control
// to DocumentComplete and drawn, against gumbo parsing the same bytes alone. Each side
// runs in a child process for its own time and peak memory. The page comes from a file:
// URL (the http side waits for the internet layer).
#include <gumbo.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/child.h"
#include "platform/browser/browser.h"
#include "platform/gdi/gdi.h"
#include "platform/user/testing.h"
#include "platform/user/user.h"

namespace {

std::string InvoicePage() {
  std::string page =
      "<html><head><meta charset=utf-8><title>发票列表</title></head><body><h1>发票列表</h1>"
      "<form action=search method=post>号码 <input name=no> <input type=submit value=查询></form><table>";
  char row[512];
  for (int i = 0; i < 5000; ++i) {
    std::snprintf(row, sizeof row,
                  "<tr class=r%d><td>%08d</td><td>北京某某科技有限公司 第%d号</td><td>2026-12-%02d</td>"
                  "<td align=right>%d.%02d</td><td>已开具</td><td><a href=\"invoice.html?id=%d&amp;view=full\">查看</a>"
                  " <a href=\"print.html?id=%d\">打印</a></td></tr>\n",
                  i % 2, 12345678 + i, i, 1 + i % 28, 100 + i * 7, i % 100, i, i);
    page += row;
  }
  page += "</table></body></html>";
  return page;
}

struct Sink final : IDispatch {
  bool complete = false;
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    if (id == DISPID_DOCUMENTCOMPLETE) complete = true;
    return S_OK;
  }
};

int LoadInBrowser(const std::string& path) {
  CoInitialize(nullptr);
  IWebBrowser2* browser = nullptr;
  if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2,
                              reinterpret_cast<void**>(&browser))))
    return 2;
  Sink sink;
  IConnectionPointContainer* cpc = nullptr;
  browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
  IConnectionPoint* cp = nullptr;
  cpc->FindConnectionPoint(DIID_DWebBrowserEvents2, &cp);
  DWORD cookie = 0;
  cp->Advise(&sink, &cookie);
  std::u16string url;
  for (char c : "file://" + path) url.push_back(static_cast<char16_t>(c));
  BSTR b = SysAllocString(url.c_str());
  browser->Navigate(b, nullptr, nullptr, nullptr, nullptr);
  SysFreeString(b);
  while (!sink.complete && KvPumpMessages() > 0) {
  }
  if (!sink.complete) return 3;
  // Laid out and drawn once at a window's width.
  IViewObject* view = nullptr;
  browser->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view));
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 1024, 768);
  SelectObject(dc, bitmap);
  RECTL bounds{0, 0, 1024, 768};
  HRESULT hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
  view->Release();
  cp->Unadvise(cookie);
  cp->Release();
  cpc->Release();
  browser->Release();
  return hr == S_OK ? 0 : 4;
}

int GumboAlone(const std::string& page) {
  GumboOutput* out = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
  gumbo_destroy_output(&kGumboDefaultOptions, out);
  return 0;
}

}  // namespace

int main() {
  std::string page = InvoicePage();
  std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/browser_bench.html";
  std::ofstream(path, std::ios::binary) << page;
  std::printf("page: %zu bytes, 5000 rows\n", page.size());
  const int kRuns = 3;
  double best_browser = 1e9, best_gumbo = 1e9;
  long peak_browser = 0, peak_gumbo = 0;
  for (int i = 0; i < kRuns; ++i) {
    bench::Result g = bench::InChild([&] { return GumboAlone(page); });
    bench::Result b = bench::InChild([&] { return LoadInBrowser(path); });
    if (!g.ok || !b.ok) {
      std::printf("a side failed\n");
      return 1;
    }
    best_gumbo = std::min(best_gumbo, g.seconds);
    best_browser = std::min(best_browser, b.seconds);
    peak_gumbo = std::max(peak_gumbo, g.peak_kb);
    peak_browser = std::max(peak_browser, b.peak_kb);
  }
  std::printf("gumbo alone:                  %.3f s, peak %ld KB\n", best_gumbo, peak_gumbo);
  std::printf("browser to DocumentComplete + draw: %.3f s, peak %ld KB\n", best_browser, peak_browser);
  std::printf("ratio %.2f x (target within 3 x)\n", best_browser / best_gumbo);
  std::remove(path.c_str());
  return 0;
}
