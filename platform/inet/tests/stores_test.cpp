// Cookies, the URL cache walk, the history store and the process proxy, through the
// synchronous calls and the exports that callers bind by name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/base/error.h"
#include "platform/base/module.h"
#include "platform/com/com.h"
#include "platform/inet/inet.h"
#include "platform/inet/urlhist.h"
#include "platform/inet/urlmon.h"
#include "platform/base/global_memory.h"
#include "testsupport/http_server.h"
#include "testsupport/temp_home.h"

namespace {

DWORD Status(HINTERNET session, const std::string& url) {
  HINTERNET r = InternetOpenUrlA(session, url.c_str(), nullptr, 0, INTERNET_FLAG_NO_UI, 0);
  if (!r) return 0;
  DWORD status = 0, size = sizeof status;
  EXPECT_TRUE(HttpQueryInfoA(r, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr));
  InternetCloseHandle(r);
  return status;
}

// The cache walk as the cache component does it: size first, then the record, until 259.
std::vector<std::string> Walk(const char* pattern, DWORD filter, DWORD* end_error) {
  HMODULE wininet = LoadLibraryA("wininet.dll");
  auto first = kv::ProcAddress<HANDLE (*)(LPCSTR, DWORD, DWORD, GROUPID, INTERNET_CACHE_ENTRY_INFOA*, LPDWORD, LPVOID,
                                          LPDWORD, LPVOID)>(wininet, "FindFirstUrlCacheEntryExA");
  auto next = kv::ProcAddress<BOOL (*)(HANDLE, INTERNET_CACHE_ENTRY_INFOA*, LPDWORD, LPVOID, LPDWORD, LPVOID)>(
      wininet, "FindNextUrlCacheEntryExA");
  auto close = kv::ProcAddress<BOOL (*)(HANDLE)>(wininet, "FindCloseUrlCache");
  std::vector<std::string> urls;
  DWORD size = 0;
  HANDLE find = first(pattern, 0, filter, 0, nullptr, &size, nullptr, nullptr, nullptr);
  if (!find) {
    *end_error = GetLastError();
    if (*end_error != ERROR_INSUFFICIENT_BUFFER) {
      FreeLibrary(wininet);
      return urls;
    }
    std::vector<char> buf(size);
    auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data());
    find = first(pattern, 0, filter, 0, info, &size, nullptr, nullptr, nullptr);
    EXPECT_NE(find, nullptr);
    urls.push_back(info->lpszSourceUrlName);
    for (;;) {
      DWORD need = 0;
      if (next(find, nullptr, &need, nullptr, nullptr, nullptr)) break;
      if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
      std::vector<char> b(need);
      auto* e = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(b.data());
      EXPECT_TRUE(next(find, e, &need, nullptr, nullptr, nullptr));
      urls.push_back(e->lpszSourceUrlName);
      // Deleting while walking: the walk goes on over its snapshot.
      DeleteUrlCacheEntryA(e->lpszSourceUrlName);
    }
    *end_error = GetLastError();
    EXPECT_TRUE(close(find));
  }
  EXPECT_FALSE(close(nullptr));
  FreeLibrary(wininet);
  return urls;
}

TEST(Cookies, SetOnARedirectHopIsSentNextAndOnlyWhereItMatches) {
  kvtest::TempHome home;
  KvInetResetProcessState();
  kvtest::HttpServer server;
  server.Route("/login", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
    r.status = 302;
    r.reason = "Found";
    r.headers.push_back({"Location", "/home"});
    r.headers.push_back({"Set-Cookie", "Quabo_is_login=true; Path=/"});
    r.headers.push_back({"Set-Cookie", "scoped=1; Path=/admin"});
    r.headers.push_back({"Set-Cookie", "foreign=1; Domain=example.com"});
    r.headers.push_back({"Set-Cookie", "suffix=1; Domain=com.cn"});
    r.headers.push_back({"Set-Cookie", "secure=1; Secure"});
  });
  server.Serve("/home", "home");
  server.Serve("/admin/x", "admin");
  HINTERNET session = InternetOpenA("KvTest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(Status(session, server.Url("/login")), 200u);
  EXPECT_EQ(Status(session, server.Url("/admin/x")), 200u);
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].Header("Cookie"), "");
  EXPECT_EQ(requests[1].path, "/home");
  EXPECT_EQ(requests[1].Header("Cookie"), "Quabo_is_login=true");
  EXPECT_EQ(requests[2].Header("Cookie"), "scoped=1; Quabo_is_login=true");  // longer paths first
  EXPECT_EQ(requests[0].Header("Accept-Language"), "zh-cn");
  EXPECT_NE(requests[0].Header("Accept-Encoding").find("gzip"), std::string::npos);
  EXPECT_EQ(requests[0].Header("User-Agent"), "KvTest");
  InternetCloseHandle(session);
}

TEST(Cookies, PersistentCookieSurvivesARestartAndIsACacheEntry) {
  kvtest::TempHome home;
  KvInetResetProcessState();
  kvtest::HttpServer server;
  server.Route("/set", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
    r.headers.push_back({"Set-Cookie", "keep=yes; Max-Age=3600; Path=/"});
    r.headers.push_back({"Set-Cookie", "session=1; Path=/"});
  });
  server.Serve("/again", "again");
  HINTERNET session = InternetOpenA("KvTest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  EXPECT_EQ(Status(session, server.Url("/set")), 200u);
  KvInetResetProcessState();  // what a new process starts with
  EXPECT_EQ(Status(session, server.Url("/again")), 200u);
  EXPECT_EQ(server.Requests().back().Header("Cookie"), "keep=yes");
  DWORD end = 0;
  std::vector<std::string> entries = Walk("Cookie:", COOKIE_CACHE_ENTRY, &end);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].rfind("Cookie:", 0), 0u);
  EXPECT_NE(entries[0].find("@127.0.0.1/"), std::string::npos);
  EXPECT_TRUE(DeleteUrlCacheEntryA(entries[0].c_str()));
  EXPECT_FALSE(DeleteUrlCacheEntryA(entries[0].c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  KvInetResetProcessState();
  EXPECT_EQ(Status(session, server.Url("/again")), 200u);
  EXPECT_EQ(server.Requests().back().Header("Cookie"), "");
  InternetCloseHandle(session);
}

TEST(UrlCache, WalkOverTheExportsAndClearHistory) {
  kvtest::TempHome home;
  KvInetResetProcessState();
  DWORD end = 0;
  EXPECT_TRUE(Walk(nullptr, 0x300035, &end).empty());
  EXPECT_EQ(end, static_cast<DWORD>(ERROR_NO_MORE_ITEMS));  // an empty cache

  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  IUrlHistoryStg2* history = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_CUrlHistory, nullptr, CLSCTX_INPROC_SERVER, IID_IUrlHistoryStg2,
                             reinterpret_cast<void**>(&history)),
            S_OK);
  EXPECT_EQ(history->AddUrl(u"http://a.example/", u"A", 0), S_OK);
  EXPECT_EQ(history->AddUrl(u"http://b.example/", u"B", 0), S_OK);
  STATURL stat{};
  ASSERT_EQ(history->QueryUrl(u"http://a.example/", 0, &stat), S_OK);
  EXPECT_EQ(std::u16string(stat.pwcsTitle), u"A");
  CoTaskMemFree(stat.pwcsUrl);
  CoTaskMemFree(stat.pwcsTitle);
  std::vector<std::string> visited = Walk("Visited:", URLHISTORY_CACHE_ENTRY, &end);
  // The walk deleted the second entry as it went and still walked its snapshot to the end.
  ASSERT_EQ(visited.size(), 2u);
  EXPECT_EQ(end, static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  EXPECT_NE(visited[0].find("@http://a.example/"), std::string::npos);
  EXPECT_EQ(visited[0].rfind("Visited: ", 0), 0u);
  EXPECT_EQ(history->QueryUrl(u"http://b.example/", 0, nullptr), E_FAIL);
  EXPECT_EQ(history->QueryUrl(u"http://a.example/", 0, nullptr), S_OK);
  EXPECT_EQ(history->ClearHistory(), S_OK);
  EXPECT_TRUE(Walk("Visited:", URLHISTORY_CACHE_ENTRY, &end).empty());
  EXPECT_EQ(history->QueryUrl(u"http://a.example/", 0, nullptr), E_FAIL);

  // Content entries from a bind's response are written with their records, also to disk.
  history->AddUrl(u"http://c.example/", u"C", 0);
  KvInetResetProcessState();  // read back from $KORVANE_HOME
  EXPECT_EQ(history->QueryUrl(u"http://c.example/", 0, nullptr), S_OK);
  EXPECT_TRUE(Walk(nullptr, 0, &end).empty());  // filter 0 matches nothing
  history->Release();
  CoUninitialize();
}

TEST(Proxy, ThroughTheServersProxyModeThenDirect) {
  kvtest::TempHome home;
  KvInetResetProcessState();
  setenv("http_proxy", "http://127.0.0.1:1", 1);  // never applies
  kvtest::HttpServer origin, proxy;
  origin.Serve("/page", "origin");
  proxy.SetProxyMode(true);
  proxy.Serve("/page", "via proxy");
  HINTERNET session = InternetOpenA("KvTest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  EXPECT_EQ(Status(session, origin.Url("/page")), 200u);
  EXPECT_EQ(origin.Requests().size(), 1u);

  auto set = [&](const std::string& server, const char* bypass) {
    INTERNET_PER_CONN_OPTIONA options[3];
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[0].Value.dwValue = PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    options[1].Value.pszValue = const_cast<char*>(server.c_str());
    options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
    options[2].Value.pszValue = const_cast<char*>(bypass);
    INTERNET_PER_CONN_OPTION_LISTA list{20, nullptr, 3, 0, options};
    EXPECT_TRUE(InternetSetOptionA(session, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, 20));
    EXPECT_TRUE(InternetSetOptionA(session, INTERNET_OPTION_REFRESH, nullptr, 0));
    EXPECT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0));
  };
  KvInetProxyLogClear();
  KvInetNetworkLogClear();
  const std::string proxy_address = "127.0.0.1:" + std::to_string(proxy.Port());
  set(proxy_address, "");
  // A name that is not loopback goes to the proxy, which answers from its own routes.
  const std::string far = "http://invoices.example.test:" + std::to_string(origin.Port()) + "/page";
  EXPECT_EQ(Status(session, far), 200u);
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_TRUE(proxy.Requests()[0].proxied);
  EXPECT_EQ(proxy.Requests()[0].target, far);

  INTERNET_PER_CONN_OPTIONA back[2];
  back[0].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  back[1].dwOption = INTERNET_PER_CONN_FLAGS;
  INTERNET_PER_CONN_OPTION_LISTA query{20, nullptr, 2, 0, back};
  DWORD len = 20;
  ASSERT_TRUE(InternetQueryOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &query, &len));
  EXPECT_EQ(std::string(back[0].Value.pszValue), proxy_address);
  EXPECT_EQ(back[1].Value.dwValue, static_cast<DWORD>(PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY));
  GlobalFree(back[0].Value.pszValue);

  // "<local>" keeps loopback direct.
  set(proxy_address, "<local>");
  EXPECT_EQ(Status(session, origin.Url("/page")), 200u);
  EXPECT_EQ(origin.Requests().size(), 2u);
  EXPECT_EQ(proxy.Requests().size(), 1u);

  // An empty server is direct again.
  set("", "<local>");
  EXPECT_EQ(Status(session, origin.Url("/page")), 200u);
  EXPECT_EQ(origin.Requests().size(), 3u);
  char log[512];
  KvInetProxyLog(log, sizeof log);
  EXPECT_EQ(std::string(log), "flags=3 server=" + proxy_address + " bypass=\nflags=3 server=" + proxy_address +
                                  " bypass=<local>\nflags=3 server= bypass=<local>\n");
  // Each request and its response, whichever way it went.
  const std::string page = origin.Url("/page");
  KvInetNetworkLog(log, sizeof log);
  EXPECT_EQ(std::string(log), "GET " + far + "\n200 " + far + "\nGET " + page + "\n200 " + page + "\nGET " + page +
                                  "\n200 " + page + "\n");
  EXPECT_FALSE(InternetSetOptionA(nullptr, 12345, nullptr, 0));
  InternetCloseHandle(session);
  unsetenv("http_proxy");
}

TEST(SyncCalls, FailuresSetTheirCodes) {
  kvtest::TempHome home;
  KvInetResetProcessState();
  HINTERNET session = InternetOpenW(u"KvTest", INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, nullptr, nullptr, 0);
  const std::string refused = "http://127.0.0.1:" + std::to_string(kvtest::HttpServer::RefusedPort()) + "/";
  EXPECT_EQ(InternetOpenUrlA(session, refused.c_str(), nullptr, 0, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
  EXPECT_EQ(InternetOpenUrlA(session, "nonsense", nullptr, 0, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_UNRECOGNIZED_SCHEME));
  EXPECT_EQ(InternetOpenUrlA(session, "http://h:70000/", nullptr, 0, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INVALID_URL));

  kvtest::HttpServer server;
  server.Route("/cut", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
    r.body = std::string(5000, 'z');
    r.cut_after = 100;
  });
  server.Serve("/file.txt", "content of the file", "text/plain");
  EXPECT_EQ(Status(session, server.Url("/missing")), 404u);
  // A cut body is a failure, never a short success, and the file is not written.
  std::u16string target = u"c:\\downloads\\f.txt";
  std::string cut = server.Url("/cut");
  std::u16string wcut(cut.begin(), cut.end());
  EXPECT_EQ(URLDownloadToFileW(nullptr, wcut.c_str(), target.c_str(), 0, nullptr),
            HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  std::string good = server.Url("/file.txt");
  std::u16string wgood(good.begin(), good.end());
  std::filesystem::create_directories(home / "drive_c/downloads");
  EXPECT_EQ(URLDownloadToFileW(nullptr, wcut.c_str(), target.c_str(), 0, nullptr), INET_E_DOWNLOAD_FAILURE);
  EXPECT_FALSE(std::filesystem::exists(home / "drive_c/downloads/f.txt"));
  EXPECT_EQ(URLDownloadToFileW(nullptr, wgood.c_str(), target.c_str(), 0, nullptr), S_OK);
  EXPECT_EQ(kvtest::ReadFile(home / "drive_c/downloads/f.txt"), "content of the file");

  HINTERNET r = InternetOpenUrlA(session, good.c_str(), "X-Extra: 1\r\n", static_cast<DWORD>(-1), 0, 0);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(server.Requests().back().Header("X-Extra"), "1");
  char text[8];
  DWORD size = 4;
  EXPECT_FALSE(HttpQueryInfoA(r, HTTP_QUERY_CONTENT_TYPE, text, &size, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, 11u);
  char custom[32] = "Content-Length";
  size = sizeof custom;
  ASSERT_TRUE(HttpQueryInfoA(r, HTTP_QUERY_CUSTOM, custom, &size, nullptr));
  EXPECT_STREQ(custom, "19");
  size = sizeof text;
  EXPECT_FALSE(HttpQueryInfoA(r, HTTP_QUERY_LOCATION, text, &size, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HTTP_HEADER_NOT_FOUND));
  EXPECT_TRUE(InternetCloseHandle(r));
  EXPECT_FALSE(InternetCloseHandle(r));
  InternetCloseHandle(session);
}

}  // namespace
