// Runs arbitrary bytes as a page's script: a page whose external script is the input, and
// whose event script for an element is made of it too, loaded in a browser control, its
// timers given a moment, then torn down. Every
// allocation of the page's heap is under the engine's 256 MiB cap.
//
// A script may loop forever (the engine has no time-out): such an input is a fuzzer
// time-out, not a finding. The per-input time-out is set short here for that reason.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include "fuzz/scratch.h"
#include "platform/base/time.h"
#include "platform/browser/browser.h"
#include "platform/user/testing.h"
#include "platform/user/user.h"

namespace {

IWebBrowser2* Browser() {
  static IWebBrowser2* browser = [] {
    CoInitialize(nullptr);
    KvClockSetVirtual(TRUE);
    IWebBrowser2* b = nullptr;
    CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2, reinterpret_cast<void**>(&b));
    return b;
  }();
  return browser;
}

void Go(IWebBrowser2* b, const std::string& url) {
  std::u16string w(url.begin(), url.end());
  BSTR u = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
  b->Navigate(u, nullptr, nullptr, nullptr, nullptr);
  SysFreeString(u);
  while (KvPumpMessages() > 0) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // Later flags win: a looping script ends the input after 3 s.
  static std::string timeout = "-timeout=3";
  static char** args = nullptr;
  args = new char*[static_cast<size_t>(*argc) + 2];
  for (int i = 0; i < *argc; ++i) args[i] = (*argv)[i];
  args[*argc] = timeout.data();
  args[*argc + 1] = nullptr;
  ++*argc;
  *argv = args;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& dir = FuzzScratchFolder();
  IWebBrowser2* b = Browser();
  if (dir.empty() || !b) return 0;
  {
    std::ofstream(dir + "s.js", std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    // The input also as an event script of #x, which a click fires: its first line (up
    // to 64 bytes) the event attribute, the rest the script's text.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const size_t eol = text.find('\n');
    std::string event;
    for (char c : text.substr(0, std::min<size_t>(eol, 64)))
      event += c == '"' ? std::string("&quot;") : c == '&' ? std::string("&amp;") : std::string(1, c);
    std::ofstream(dir + "p.html", std::ios::binary)
        << "<html><body><p id=x name=y>t</p><form id=f><input name=a></form>"
           "<script for=x event=\""
        << event << "\">" << (eol == std::string::npos ? std::string() : text.substr(eol + 1))
        << "</script><script src=s.js></script><script>document.getElementById('x').click();</script></body></html>";
  }
  Go(b, dir + "p.html");
  // Timers the input set: a few rounds of the clock.
  for (int i = 0; i < 4; ++i) {
    KvClockAdvance(50);
    while (KvPumpMessages() > 0) {
    }
  }
  Go(b, "about:blank");
  return 0;
}
