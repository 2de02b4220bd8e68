// script_bench: a page loop of 100,000 window.external method calls and one of 100,000
// property reads of a DOM element, against the same loop calling a plain native function
// of a bare Duktape heap, in the same run. Prints the per-call cost and the ratios.
#include <duktape.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

#include "testsupport/browser_site.h"

namespace {

constexpr int kCalls = 100000;
using Clock = std::chrono::steady_clock;

// The host's external object: Mark() notes the time, Ping() does nothing.
struct External final : IDispatch {
  std::vector<Clock::time_point> marks;
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
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
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
    std::u16string n = names[0];
    if (n == u"Ping")
      *ids = 1;
    else if (n == u"Mark")
      *ids = 2;
    else
      return DISP_E_UNKNOWNNAME;
    return S_OK;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (id == 2) marks.push_back(Clock::now());
    if (result) VariantInit(result);
    return S_OK;
  }
};

duk_ret_t Plain(duk_context*) { return 0; }

double PlainLoop() {
  duk_context* ctx = duk_create_heap_default();
  duk_push_c_function(ctx, Plain, 0);
  duk_put_global_string(ctx, "ping");
  std::string loop = "for (var i = 0; i < " + std::to_string(kCalls) + "; i++) ping();";
  auto start = Clock::now();
  duk_peval_string_noresult(ctx, loop.c_str());
  double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  duk_destroy_heap(ctx);
  return ns / kCalls;
}

}  // namespace

int main() {
  setenv("KORVANE_TEST", "1", 0);
  External ext;
  // Each loop runs kRounds times, interleaved; the fastest round of each counts (the
  // machine may be shared).
  constexpr int kRounds = 5;
  double plain = 1e300, external_ns = 1e300, dom_ns = 1e300;
  {
    kvtest::HostedBrowser b;
    b.site->OnGetExternal = [&](IDispatch** out) {
      *out = &ext;
      return S_OK;
    };
    std::string path = "/tmp/script_bench_" + std::to_string(getpid()) + ".html";
    std::string n = std::to_string(kCalls);
    std::ofstream(path) << "<html><body><p id=x>t</p><script>\n"
                           "var e = window.external, el = document.getElementById('x'), v;\n"
                           "for (var r = 0; r < "
                        << kRounds << "; r++) {\n  e.Mark(); for (var i = 0; i < " << n
                        << "; i++) e.Ping(); e.Mark();\n  e.Mark(); for (var i = 0; i < " << n
                        << "; i++) v = el.id; e.Mark();\n}\n</script></body></html>";
    b.Navigate(path);
    b.Run();
    std::remove(path.c_str());
    if (ext.marks.size() != 4 * kRounds) {
      std::fprintf(stderr, "script_bench: the page did not run (%zu marks)\n", ext.marks.size());
      return 1;
    }
    auto per_call = [&](size_t first) {
      return std::chrono::duration<double, std::nano>(ext.marks[first + 1] - ext.marks[first]).count() / kCalls;
    };
    for (int r = 0; r < kRounds; ++r) {
      external_ns = std::min(external_ns, per_call(4 * r));
      dom_ns = std::min(dom_ns, per_call(4 * r + 2));
    }
  }
  for (int r = 0; r < kRounds; ++r) plain = std::min(plain, PlainLoop());
  std::printf("script_bench: %d calls each, fastest of %d rounds\n", kCalls, kRounds);
  std::printf("  plain native function      %8.1f ns/call\n", plain);
  std::printf("  window.external method     %8.1f ns/call  ratio %.2f (target <= 5)\n", external_ns,
              external_ns / plain);
  std::printf("  DOM element property read  %8.1f ns/call  ratio %.2f (target <= 5)\n", dom_ns, dom_ns / plain);
  return 0;
}
