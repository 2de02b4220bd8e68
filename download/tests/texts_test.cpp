// The URL record (own splitting, the platform cracker, the status check against the local
// server), the file-name rules and the download texts.
#include <gtest/gtest.h>

#include "download/file_names.h"
#include "download/status_texts.h"
#include "download/texts.h"
#include "download/url.h"
#include "testsupport/http_server.h"

namespace {

struct SplitCase {
  const char* url;
  const char* protocol;
  const char* host;
  int port;
  const char* path;
  const char* document;
  const char* query;
  const char* bookmark;
  const char* user;
  const char* password;
};

TEST(UrlTest, SplitUrlTakesTheUrlApart) {
  const SplitCase cases[] = {
      {"http://[::1]:8080/a/b.zip", "http", "::1", 8080, "/a/", "b.zip", "", "", "", ""},
      {"http://[fe80::2]/x.txt", "http", "fe80::2", 80, "/", "x.txt", "", "", "", ""},
      {"https://u:pw@host.cn:443/dl/get.php?id=7#top", "https", "host.cn", 443, "/dl/", "get.php", "?id=7", "top", "u",
       "pw"},
      {"http://:pw@host/f.htm", "http", "host", 80, "/", "f.htm", "", "", "", ""},
      {"http://host:abc/f.htm", "http", "host", 80, "/", "f.htm", "", "", "", ""},
      {"http://host/doc.html#part", "http", "host", 80, "/", "doc.html", "", "part", "", ""},
      // No "." after the last "/": the trailing slash makes it a folder.
      {"http://host/files", "http", "host", 80, "/files/", "", "", "", "", ""},
      {"ftp:\\\\host\\pub\\a.tar", "ftp", "host", 80, "/pub/", "a.tar", "", "", "", ""},
      {"dir/sub/file.bin", "", "", 80, "dir/sub/", "file.bin", "", "", "", ""},
      {"page.asp?x=1", "", "", 80, "", "page.asp", "?x=1", "", "", ""},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.url);
    TUrl url;
    url.SplitUrl(c.url);
    EXPECT_EQ(url.Protocol, c.protocol);
    EXPECT_EQ(url.HostName, c.host);
    EXPECT_EQ(url.Port, c.port);
    EXPECT_EQ(url.UrlPath, c.path);
    EXPECT_EQ(url.Document, c.document);
    EXPECT_EQ(url.Query, c.query);
    EXPECT_EQ(url.Bookmark, c.bookmark);
    EXPECT_EQ(url.UserName, c.user);
    EXPECT_EQ(url.Password, c.password);
    EXPECT_EQ(url.UrlComponent.dwStructSize, 60u);
    EXPECT_EQ(url.UrlComponent.nPort, c.port);
    EXPECT_EQ(url.UrlComponent.dwHostNameLength, std::string(c.host).size());
    EXPECT_EQ(url.UrlComponent.lpszHostName == nullptr, std::string(c.host).empty());
  }
}

TEST(UrlTest, ExtraInfoAndClear) {
  TUrl url("http://h/");
  EXPECT_EQ(url.Url, "http://h/");
  url.SplitUrl("http://h/a/b.cgi?q=1#frag");
  EXPECT_EQ(url.ExtraInfo, "b.cgi?q=1#frag");
  ASSERT_NE(url.UrlComponent.lpszExtraInfo, nullptr);
  EXPECT_EQ(std::string(url.UrlComponent.lpszExtraInfo, url.UrlComponent.dwExtraInfoLength), "b.cgi?q=1#frag");
  url.Clear();
  EXPECT_EQ(url.HostName, "");
  EXPECT_EQ(url.Port, 80);
  EXPECT_EQ(url.UrlComponent.lpszHostName, nullptr);
}

TEST(UrlTest, CrackUrlUsesThePlatformCracker) {
  TUrl url;
  AnsiString out;
  url.CrackUrl("http://user:pw@example.cn:8080/a/b.zip?x=1", 0x80000000, out);
  EXPECT_EQ(out, "http://user:pw@example.cn:8080/a/b.zip?x=1");
  EXPECT_EQ(url.Protocol, "http");
  EXPECT_EQ(url.HostName, "example.cn");
  EXPECT_EQ(url.Port, 8080);
  EXPECT_EQ(url.UrlPath, "/a/b.zip");
  EXPECT_EQ(url.ExtraInfo, "?x=1");
  EXPECT_EQ(url.UserName, "user");
  EXPECT_EQ(url.Password, "pw");

  DWORD reported = 0;
  AnsiString reported_text;
  url.OnError = [&](TObject*, DWORD code, const AnsiString& text) {
    reported = code;
    reported_text = text;
  };
  // The debugger output reaches the platform's trace.
  setenv("KORVANE_TRACE", "1", 1);
  testing::internal::CaptureStderr();
  url.CrackUrl("no scheme here", 0, out);
  const std::string trace = testing::internal::GetCapturedStderr();
  unsetenv("KORVANE_TRACE");
  EXPECT_EQ(out, "");
  EXPECT_EQ(url.HostName, "");
  EXPECT_EQ(reported, static_cast<DWORD>(ERROR_INTERNET_UNRECOGNIZED_SCHEME));
  ASSERT_FALSE(reported_text.empty());
  EXPECT_NE(trace.find("[korvane debug] " + std::string(reported_text.c_str())), std::string::npos) << trace;
}

TEST(UrlTest, CheckUrlAcceptsOkAndUnauthorized) {
  kvtest::HttpServer server;
  server.Serve("/ok.html", "ok");
  server.Route("/secret.html", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
    r.status = 401;
    r.reason = "Unauthorized";
    r.headers.push_back({"WWW-Authenticate", "Basic realm=\"x\""});
  });
  server.Route("/gone.html", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
    r.status = 404;
    r.reason = "Not Found";
  });
  TUrl url;
  EXPECT_TRUE(url.CheckUrl(server.Url("/ok.html")));
  EXPECT_TRUE(url.CheckUrl(server.Url("/secret.html")));
  EXPECT_FALSE(url.CheckUrl(server.Url("/gone.html")));
  EXPECT_EQ(url.QueryStatusText(server.Url("/gone.html"), HTTP_QUERY_STATUS_CODE), "404");

  int errors = 0;
  url.OnError = [&](TObject*, DWORD, const AnsiString&) { ++errors; };
  EXPECT_FALSE(url.CheckUrl("http://127.0.0.1:" + std::to_string(kvtest::HttpServer::RefusedPort()) + "/x.html"));
  EXPECT_EQ(errors, 1);
}

TEST(TextsTest, StatusTexts) {
  const std::pair<DWORD, const char*> cases[] = {
      {0, "The operation was successful"},
      {5, "Downloading data..."},
      {37, "A a cookie has been initialized. "},
      {56, "Download progress values are above the maximum 32-bit file size limit."},
      {200, "OK"},
      {302, "Moved Temporarily"},
      {404, "Not Found"},
      {406, "None Acceptable"},
      {414, "Request-URI Too Long"},
      {262632, "Asynchronous mode."},
      {0x80004004, "Operation Aborted."},
      {0x800C0018, "Binding is terminated."},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(BindStatusText(code), text) << code;
  EXPECT_EQ(BindStatusText(57).rfind("Unknown Response: 57 ", 0), 0u);
  EXPECT_EQ(DataFlagText(1), "Identifed the first call to OnDataAvailable.");
  EXPECT_EQ(DataFlagText(16), "Size of the data available is unknown.");
  EXPECT_EQ(DataFlagText(404), "Not Found");
}

TEST(TextsTest, TimesAndSizes) {
  EXPECT_EQ(SecondsToText(3661), "01:01:01");
  EXPECT_EQ(SecondsToText(0), "00:00:00");
  EXPECT_EQ(SecondsToText(61 * 3600 + 5), "01:00:05");  // the hour part wraps at 60
  EXPECT_EQ(FormatSize(0), "");
  EXPECT_EQ(FormatSize(-5), "");
  EXPECT_EQ(FormatSize(0.0 / 0.0), "");
  EXPECT_EQ(FormatSize(1000), "1,000.00 b");
  EXPECT_EQ(FormatSize(1024), "1.00 Kb");
  EXPECT_EQ(FormatSize(1048576), "1.00 Mb");
  EXPECT_EQ(FormatSize(5.5 * 1048576 * 1024), "5,632.00 Mb");
}

TEST(TextsTest, EngineTexts) {
  EXPECT_STREQ(EngineText(sTimeFormat), "mm:ss.zzz");
  EXPECT_STREQ(EngineText(sDownloadsFolder), "Downloads\\");
  EXPECT_STREQ(EngineText(sErrOpenFolder), "Error while openning folder");
  EXPECT_STREQ(EngineText(sErrTimeOut), "Error: Time Out.");
  EXPECT_STREQ(EngineText(65210), "");
}

TEST(FileNamesTest, ServerNamesStayInsideTheFolder) {
  const std::pair<const char*, const char*> disposition[] = {
      {"attachment; filename=\"report 1.pdf\"; size=3", "report 1.pdf"},
      {"attachment; filename=plain.txt; x=1", "plain.txt"},
      {"attachment; filename=\"unterminated", "unterminated"},
      {"inline", ""},
  };
  for (const auto& [header, name] : disposition) EXPECT_EQ(ContentDispositionFileName(header), name) << header;
  const std::pair<const char*, const char*> safe[] = {
      {"..\\..\\x.exe", "x.exe"},
      {"../../etc/passwd", "passwd"},
      {"a:b?.txt", "a_b_.txt"},
      {"\"q.txt\"", "q.txt"},
      {"..", "index.html"},
      {"", "index.html"},
      {"name.txt; charset=x", "name.txt"},
      {"tab\there.txt", "tab_here.txt"},
  };
  for (const auto& [in, out] : safe) EXPECT_EQ(SafeFileName(in, "index.html"), out) << in;
}

}  // namespace
