// The browser on the network, against the local server: the request headers, POST data,
// cache and history entries, document.cookie over the process jar, IAuthenticate on a
// 401, and undisplayed responses (FileDownload, the host's download manager, the
// Downloads folder).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/global_memory.h"
#include "platform/inet/inet.h"
#include "platform/inet/urlhist.h"
#include "platform/registry/registry.h"
#include "testsupport/browser_site.h"
#include "testsupport/http_server.h"
#include "testsupport/temp_home.h"
#include "testsupport/tls_server.h"

namespace {

using kvtest::HostedBrowser;

LPWSTR TaskCopy(const char16_t* s) {
  size_t n = std::char_traits<char16_t>::length(s);
  auto* p = static_cast<LPWSTR>(CoTaskMemAlloc((n + 1) * sizeof(char16_t)));
  std::char_traits<char16_t>::copy(p, s, n + 1);
  return p;
}

std::vector<std::string> CachedUrls() {
  std::vector<std::string> urls;
  std::vector<char> buf(65536);
  auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data());
  DWORD size = static_cast<DWORD>(buf.size());
  HANDLE find = FindFirstUrlCacheEntryExA("", 0, NORMAL_CACHE_ENTRY, 0, info, &size, nullptr, nullptr, nullptr);
  if (!find) return urls;
  do {
    urls.push_back(info->lpszSourceUrlName);
    size = static_cast<DWORD>(buf.size());
  } while (FindNextUrlCacheEntryExA(find, info, &size, nullptr, nullptr, nullptr));
  FindCloseUrlCache(find);
  return urls;
}

bool InHistory(const std::string& url) {
  IUrlHistoryStg* history = nullptr;
  if (FAILED(CoCreateInstance(CLSID_CUrlHistory, nullptr, CLSCTX_INPROC_SERVER, IID_IUrlHistoryStg,
                              reinterpret_cast<void**>(&history))))
    return false;
  std::u16string w = kv::Utf8ToWide(url);
  bool found = history->QueryUrl(w.c_str(), 0, nullptr) == S_OK;
  history->Release();
  return found;
}

std::string Cookie(HostedBrowser& b) {
  IHTMLDocument2* doc = b.Document();
  if (!doc) return "<no document>";
  BSTR c = nullptr;
  doc->get_cookie(&c);
  std::string out = kv::WideToUtf8(kv::BstrText(c));
  SysFreeString(c);
  doc->Release();
  return out;
}

HRESULT Navigate2(HostedBrowser& b, const std::string& url, LONG flags, const std::string& post,
                  const std::string& headers) {
  VARIANT u, f, p, h, none;
  VariantInit(&none);
  u.vt = VT_BSTR;
  std::u16string wu = kv::Utf8ToWide(url), wh = kv::Utf8ToWide(headers);
  u.bstrVal = SysAllocString(wu.c_str());
  f.vt = VT_I4;
  f.lVal = flags;
  VariantInit(&p);
  if (!post.empty()) {
    p.vt = VT_ARRAY | VT_UI1;
    p.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(post.size()));
    void* data = nullptr;
    SafeArrayAccessData(p.parray, &data);
    std::memcpy(data, post.data(), post.size());
    SafeArrayUnaccessData(p.parray);
  }
  h.vt = VT_BSTR;
  h.bstrVal = SysAllocString(wh.c_str());
  HRESULT hr = b.browser->Navigate2(&u, &f, &none, &p, &h);
  VariantClear(&u);
  VariantClear(&p);
  VariantClear(&h);
  return hr;
}

struct Site {
  kvtest::TempHome home;
  kvtest::HttpServer server;
  Site() {
    KvInetResetProcessState();
    server.Serve("/page", "<title>Web</title>hello");
    server.Serve("/form", "<title>Form</title>posted");
  }
};

TEST(BrowserNetwork, RequestsCarryTheHeadersAndLeaveEntries) {
  Site s;
  KvRegistryReload();  // the registry of this home
  // The default user agent: the base text and each "Post Platform" value name as a token.
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(HKEY_CURRENT_USER,
                            u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Post Platform",
                            0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"Token A", 0, REG_SZ, reinterpret_cast<const BYTE*>(u""), 2));
  RegCloseKey(key);
  HostedBrowser b;
  ASSERT_EQ(S_OK, b.Navigate(s.server.Url("/page")));
  ASSERT_TRUE(b.RunUntilIdle());
  // POST data and extra headers; no cache entry for this one (flag 8).
  ASSERT_EQ(S_OK, Navigate2(b, s.server.Url("/form"), 8, "a=1&b=2",
                            "Content-Type: application/x-www-form-urlencoded\r\nX-Extra: yes\r\n"));
  ASSERT_TRUE(b.RunUntilIdle());
  auto requests = s.server.Requests();
  ASSERT_EQ(2u, requests.size());
  const auto& get = requests[0];
  EXPECT_EQ("GET", get.method);
  EXPECT_EQ("Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; Token A)", get.Header("User-Agent"));
  EXPECT_EQ("zh-cn", get.Header("Accept-Language"));
  EXPECT_NE(std::string::npos, get.Header("Accept-Encoding").find("gzip"));
  EXPECT_EQ("", get.Header("Referer"));
  const auto& post = requests[1];
  EXPECT_EQ("POST", post.method);
  EXPECT_EQ("a=1&b=2", post.body);
  EXPECT_EQ("application/x-www-form-urlencoded", post.Header("Content-Type"));
  EXPECT_EQ("yes", post.Header("X-Extra"));
  EXPECT_EQ(s.server.Url("/page"), post.Header("Referer"));

  EXPECT_EQ(std::vector<std::string>{s.server.Url("/page")}, CachedUrls());
  EXPECT_TRUE(InHistory(s.server.Url("/page")));
  EXPECT_TRUE(InHistory(s.server.Url("/form")));
  KvRegistryReload();
}

TEST(BrowserNetwork, DocumentCookieIsTheJarWithoutHttpOnly) {
  Site s;
  s.server.Route("/login", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
    r.status = 302;
    r.reason = "Found";
    r.headers.push_back({"Set-Cookie", "Quabo_is_login=true; path=/"});
    r.headers.push_back({"Set-Cookie", "session=s1; path=/; HttpOnly"});
    r.headers.push_back({"Location", "/page"});
  });
  HostedBrowser b;
  ASSERT_EQ(S_OK, b.Navigate(s.server.Url("/login")));
  ASSERT_TRUE(b.RunUntilIdle());
  EXPECT_EQ("Quabo_is_login=true", Cookie(b));

  // A write from script joins the jar and goes with the next request; one for another
  // domain is refused.
  IHTMLDocument2* doc = b.Document();
  ASSERT_NE(nullptr, doc);
  for (const char16_t* c : {u"lang=zh; path=/", u"other=1; domain=example.com"}) {
    BSTR v = SysAllocString(c);
    EXPECT_EQ(S_OK, doc->put_cookie(v));
    SysFreeString(v);
  }
  doc->Release();
  EXPECT_EQ("Quabo_is_login=true; lang=zh", Cookie(b));
  ASSERT_EQ(S_OK, b.Navigate(s.server.Url("/page")));
  ASSERT_TRUE(b.RunUntilIdle());
  EXPECT_EQ("Quabo_is_login=true; session=s1; lang=zh", s.server.Requests().back().Header("Cookie"));

  // A file: document has no cookies.
  std::string path = s.home.path() + "/p.html";
  kvtest::WriteFile(path, "<title>local</title>");
  ASSERT_EQ(S_OK, b.Navigate(path));
  ASSERT_TRUE(b.RunUntilIdle());
  EXPECT_EQ("", Cookie(b));
}

// The host's IAuthenticate, reached through QueryService.
class Authenticator final : public IAuthenticate {
 public:
  const char16_t* user = u"user";
  int calls = 0;
  HRESULT QueryInterface(REFIID riid, void** object) override {
    *object = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IAuthenticate) ? this : nullptr;
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT Authenticate(HWND*, LPWSTR* u, LPWSTR* password) override {
    ++calls;
    *u = user ? TaskCopy(user) : nullptr;
    *password = TaskCopy(u"pw");
    return user ? S_OK : E_ACCESSDENIED;
  }
};

TEST(BrowserNetwork, A401AsksTheHostOnce) {
  Site s;
  s.server.Route("/secret", [](const kvtest::HttpRequest& q, kvtest::HttpReply& r) {
    if (q.Header("Authorization") == "Basic dXNlcjpwdw==") {  // user:pw
      r.body = "<title>Inside</title>welcome";
      return;
    }
    r.status = 401;
    r.reason = "Unauthorized";
    r.headers.push_back({"WWW-Authenticate", "Basic realm=\"k\""});
    r.body = "<title>Denied</title>denied";
  });
  struct Case {
    const char* name;
    const char16_t* user;  // null: the host declines
    const char* title;
    std::vector<LONG> errors;
    size_t requests;
  } cases[] = {
      {"right credentials", u"user", "Inside", {}, 2},
      {"wrong credentials: not asked again", u"someone", "Denied", {401}, 2},
      {"declined", nullptr, "Denied", {401}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    size_t before = s.server.Requests().size();
    HostedBrowser b;
    Authenticator auth;
    auth.user = c.user;
    b.site->OnQueryService = [&](REFGUID service, REFIID riid, void** object) {
      if (!IsEqualIID(service, IID_IAuthenticate)) return E_NOINTERFACE;
      return auth.QueryInterface(riid, object);
    };
    ASSERT_EQ(S_OK, b.Navigate(s.server.Url("/secret")));
    ASSERT_TRUE(b.RunUntilIdle());
    EXPECT_EQ(1, auth.calls);
    EXPECT_EQ(c.errors, b.sink.errors);
    EXPECT_EQ(c.requests, s.server.Requests().size() - before);
    BSTR name = nullptr;
    b.browser->get_LocationName(&name);
    EXPECT_EQ(c.title, kv::WideToUtf8(kv::BstrText(name)));
    SysFreeString(name);
  }
}

// The host's download manager: records the call and answers as told.
class DownloadManager final : public IDownloadManager {
 public:
  HRESULT answer = S_OK;
  std::vector<std::string> calls;
  HRESULT QueryInterface(REFIID riid, void** object) override {
    *object = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDownloadManager) ? this : nullptr;
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT Download(IMoniker* moniker, IBindCtx* context, DWORD verb, LONG, BINDINFO* info, LPCOLESTR headers,
                   LPCOLESTR redirect, UINT code_page) override {
    LPOLESTR name = nullptr;
    moniker->GetDisplayName(nullptr, nullptr, &name);
    std::string line = kv::WideToUtf8(name) + " verb=" + std::to_string(verb) +
                       " post=" + std::to_string(info ? info->cbstgmedData : 0) +
                       " headers=" + (headers ? kv::WideToUtf8(headers) : "") +
                       " redirect=" + (redirect ? kv::WideToUtf8(redirect) : "") + " cp=" + std::to_string(code_page);
    CoTaskMemFree(name);
    // The bind context holds the browser's callback, which gives the bind information.
    IUnknown* holder = nullptr;
    std::u16string key = u"_BSCB_Holder_";
    if (SUCCEEDED(context->GetObjectParam(key.data(), &holder)) && holder) {
      IBindStatusCallback* cb = nullptr;
      holder->QueryInterface(IID_IBindStatusCallback, reinterpret_cast<void**>(&cb));
      holder->Release();
      if (cb) {
        DWORD bindf = 0;
        BINDINFO bi{};
        bi.cbSize = sizeof bi;
        cb->GetBindInfo(&bindf, &bi);
        line += " callback-verb=" + std::to_string(bi.dwBindVerb);
        if (bi.stgmedData.tymed == TYMED_HGLOBAL) GlobalFree(bi.stgmedData.hGlobal);
        cb->Release();
      }
    }
    calls.push_back(line);
    return answer;
  }
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(BrowserNetwork, UndisplayedResponsesAreDownloads) {
  Site s;
  s.server.Serve("/report.zip", "PK-zip-bytes", "application/zip");
  s.server.Route("/invoice", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
    r.headers.push_back({"Content-Type", "text/plain"});
    r.headers.push_back({"Content-Disposition", "attachment; filename=\"../../escape.txt\""});
    r.body = "invoice text";
  });
  s.server.Redirect("/get", "/report.zip");
  struct Case {
    const char* name;
    std::string path;
    bool manager;
    HRESULT answer;
    bool cancel;            // FileDownload's Cancel set by the host
    const char* manager_call;  // what the manager saw ("" none; "@" is the server)
    const char* saved;      // file name under Downloads ("" none)
    const char* body;
  } cases[] = {
      {"no download manager: saved", "/report.zip", false, S_OK, false, "", "report.zip", "PK-zip-bytes"},
      {"an attachment of text, its name kept inside the folder", "/invoice", false, S_OK, false, "", "escape.txt",
       "invoice text"},
      {"the manager takes it", "/get", true, S_OK, false,
       "@/report.zip verb=0 post=0 headers= redirect=@/report.zip cp=936 callback-verb=0", "", ""},
      {"the manager refuses: saved", "/report.zip", true, E_FAIL, false,
       "@/report.zip verb=0 post=0 headers= redirect= cp=936 callback-verb=0", "report.zip", "PK-zip-bytes"},
      {"cancelled in FileDownload", "/report.zip", true, S_OK, true, "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    kvtest::TempHome home;
    KvBrowserDownloadLogClear();
    HostedBrowser b;
    ASSERT_EQ(S_OK, b.Navigate("about:start"));
    ASSERT_TRUE(b.RunUntilIdle());
    b.sink.events.clear();
    DownloadManager manager;
    manager.answer = c.answer;
    b.site->OnQueryService = [&](REFGUID service, REFIID riid, void** object) {
      if (!c.manager || !IsEqualIID(service, IID_IDownloadManager)) return E_NOINTERFACE;
      return manager.QueryInterface(riid, object);
    };
    b.sink.OnEvent = [&](DISPID id, DISPPARAMS* dp) {
      if (id == DISPID_FILEDOWNLOAD && c.cancel) *dp->rgvarg[0].pboolVal = VARIANT_TRUE;
    };
    ASSERT_EQ(S_OK, b.Navigate(s.server.Url(c.path)));
    ASSERT_TRUE(b.RunUntilIdle());
    // No commit: the old page stays.
    EXPECT_EQ("BeforeNavigate2@4 DownloadBegin@1 FileDownload@1 DownloadComplete@4", b.sink.Sequence());
    EXPECT_EQ("about:start", b.LocationUrl());
    std::string want_call = c.manager_call;
    for (size_t at; (at = want_call.find('@')) != std::string::npos;) want_call.replace(at, 1, s.server.Url(""));
    EXPECT_EQ(want_call, manager.calls.empty() ? "" : manager.calls[0]);
    std::vector<std::string> files;
    const std::string dir = home.path() + "/Downloads";
    if (std::filesystem::exists(dir))
      for (const auto& e : std::filesystem::directory_iterator(dir)) files.push_back(e.path().filename().string());
    if (*c.saved) {
      ASSERT_EQ(std::vector<std::string>{c.saved}, files);
      EXPECT_EQ(c.body, ReadAll(dir + "/" + c.saved));
      char log[1024];
      KvBrowserDownloadLog(log, sizeof log);
      EXPECT_EQ("saved " + s.server.Url(c.path) + " " + dir + "/" + c.saved + "\n", std::string(log));
    } else {
      EXPECT_TRUE(files.empty());
    }
    b.sink.OnEvent = nullptr;
  }
}

// https to a server whose certificate nobody vouches for: the security code, and the
// built-in error document under the URL.
TEST(BrowserNetwork, HttpsToAnUnvouchedServerIsASecurityFailure) {
  kvtest::OpensslServer tls;
  if (!tls.Available()) GTEST_SKIP() << "the openssl program is not installed";
  kvtest::TempHome home;
  KvInetResetProcessState();
  kvtest::WriteFile(tls.Dir() + "/index.html", "<title>Secure</title>inside");
  const int port = tls.Start({}, 0);
  ASSERT_GT(port, 0);
  const std::string url = "https://127.0.0.1:" + std::to_string(port) + "/index.html";
  HostedBrowser b;
  ASSERT_EQ(S_OK, b.Navigate(url));
  ASSERT_TRUE(b.RunUntilIdle());
  EXPECT_EQ(
      "BeforeNavigate2@0 DownloadBegin@1 NavigateError@1 NavigateComplete2@1 TitleChange@1 DownloadComplete@4 "
      "DocumentComplete@4",
      b.sink.Sequence());
  EXPECT_EQ(std::vector<LONG>{static_cast<LONG>(0x800C000E)}, b.sink.errors);
  EXPECT_EQ(url, b.LocationUrl());
}

}  // namespace
