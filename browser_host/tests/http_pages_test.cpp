// The browser component on a framework form with pages from the local HTTP server: Go's
// time-out against a page that never answers, the document's cookie, script calls into a
// page function, and the cache's clear over content and cookie entries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browser_host/embedded_browser.h"
#include "browser_host/history_cache.h"
#include "browser_host/tests/browser_form.h"
#include "platform/base/codepage.h"
#include "platform/inet/inet.h"
#include "testsupport/http_server.h"

namespace {

class HttpPagesTest : public BrowserOnForm<TEmbeddedWB> {
 protected:
  void SetUp() override {
    KvInetResetProcessState();
    BrowserOnForm::SetUp();
    form_->Show();
  }
  void TearDown() override {
    BrowserOnForm::TearDown();
    KvInetResetProcessState();
  }
  LONG ReadyState() {
    LONG s = -1;
    wb_->DefaultInterface()->get_ReadyState(&s);
    return s;
  }
  std::string Body() {
    IHTMLDocument2* doc = wb_->WaitDocument2();
    if (!doc) return "";
    IHTMLElement* body = nullptr;
    doc->get_body(&body);
    doc->Release();
    if (!body) return "";
    BSTR b = nullptr;
    body->get_innerText(&b);
    body->Release();
    std::string s = kv::WideToUtf8(kv::BstrText(b));
    SysFreeString(b);
    return s;
  }
  // The URLs of the cache's entries of one kind ("" content, "Cookie:" cookies).
  static std::vector<std::string> CacheEntries(const char* pattern) {
    std::vector<std::string> urls;
    std::vector<BYTE> buffer(4096);
    DWORD size = static_cast<DWORD>(buffer.size());
    auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
    HANDLE find = FindFirstUrlCacheEntryExA(pattern, 0, 0xFFFFFFFF, 0, info, &size, nullptr, nullptr, nullptr);
    if (!find) return urls;
    do {
      urls.push_back(info->lpszSourceUrlName);
      size = static_cast<DWORD>(buffer.size());
    } while (FindNextUrlCacheEntryExA(find, info, &size, nullptr, nullptr, nullptr));
    FindCloseUrlCache(find);
    return urls;
  }

  kvtest::HttpServer server_;
};

TEST_F(HttpPagesTest, GoGivesUpOnAPageThatNeverAnswersAndALaterPageCompletes) {
  server_.Route("/stall", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) { r.stall = true; });
  server_.Serve("/later", "<html><body>later</body></html>");
  const DWORD start = GetTickCount();
  EXPECT_FALSE(wb_->Go(server_.Url("/stall"), 300));
  EXPECT_GE(GetTickCount() - start, 300u);
  EXPECT_NE(ReadyState(), READYSTATE_COMPLETE);
  wb_->Stop();
  Pump();
  EXPECT_TRUE(wb_->Go(server_.Url("/later"), 5000));
  EXPECT_EQ(ReadyState(), READYSTATE_COMPLETE);
  EXPECT_EQ(Body(), "later");
}

TEST_F(HttpPagesTest, DocumentCookieIsWhatThePageSetWithoutTheHttpOnlyOne) {
  server_.Route("/c", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
    r.headers.push_back({"Content-Type", "text/html"});
    r.headers.push_back({"Set-Cookie", "sid=42; path=/"});
    r.headers.push_back({"Set-Cookie", "token=secret; path=/; HttpOnly"});
    r.headers.push_back({"Set-Cookie", "lang=zh; path=/"});
    r.body = "<p>c</p>";
  });
  ASSERT_TRUE(wb_->Go(server_.Url("/c"), 5000));
  AnsiString cookie;
  wb_->GetDocumentCookie(cookie);
  EXPECT_EQ(cookie, "sid=42; lang=zh");
}

TEST_F(HttpPagesTest, InvokeScriptHandsThePageFunctionItsArgumentsInOrder) {
  server_.Serve("/s",
                "<html><head><script>"
                "function join(a, b, c) { return a + '|' + b + '|' + c + '|' + typeof c; }"
                "</script></head><body>s</body></html>");
  ASSERT_TRUE(wb_->Go(server_.Url("/s"), 5000));
  OleVariant result;
  wb_->InvokeScript("join", {1, "two", 3.5}, result);
  EXPECT_EQ(result.AsString(), "1|two|3.5|number");
  OleVariant untouched = 7;
  EXPECT_THROW(wb_->InvokeScript("nosuch", {1}, untouched), Exception);
}

TEST_F(HttpPagesTest, ClearAllEntriesEmptiesContentAndCookiesAndTheNextVisitSendsNone) {
  server_.Route("/p", [](const kvtest::HttpRequest& q, kvtest::HttpReply& r) {
    r.headers.push_back({"Content-Type", "text/html"});
    r.headers.push_back({"Set-Cookie", "sid=42; path=/; Max-Age=3600"});
    r.body = "<p>cookie [" + q.Header("Cookie") + "]</p>";
  });
  ASSERT_TRUE(wb_->Go(server_.Url("/p"), 5000));
  ASSERT_TRUE(wb_->Go(server_.Url("/p"), 5000));
  EXPECT_EQ(Body(), "cookie [sid=42]");
  EXPECT_FALSE(CacheEntries("").empty());
  EXPECT_EQ(CacheEntries("Cookie:").size(), 1u);

  TIECache cache(nullptr);
  cache.SetFilterOptions(cache.FilterOptions());
  EXPECT_TRUE(cache.ClearAllEntries());
  EXPECT_TRUE(CacheEntries("").empty());
  EXPECT_TRUE(CacheEntries("Cookie:").empty());

  const size_t before = server_.Requests().size();
  ASSERT_TRUE(wb_->Go(server_.Url("/p?again"), 5000));
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), before + 1);
  EXPECT_EQ(requests.back().Header("Cookie"), "");
  EXPECT_EQ(Body(), "cookie []");
}

}  // namespace
