// URI and helpers, header records, coders, cookies, the stack's texts and the buffered
// connection.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "http_client/id_http.h"
#include "http_client/tests/loopback_server.h"

namespace {

// ---------------------------------------------------------------------------------------
// URI and helpers.

TEST(Uri, Parts) {
  const struct {
    const char* url;
    const char *scheme, *user, *password, *host, *port, *path, *document, *query, *fragment;
  } rows[] = {
      {"http://H:81/a/b/c.gif?x=1#y", "http", "", "", "H", "81", "/a/b/", "c.gif", "?x=1", "y"},
      {"http:\\\\h\\a\\b.gif", "http", "", "", "h", "", "/a/", "b.gif", "", ""},
      {"http://u:pw@h/x#f", "http", "u", "pw", "h", "", "/", "x", "", "f"},
      {"http://:pw@h/", "http", "", "", "h", "", "/", "", "", ""},
      {"http://h", "http", "", "", "h", "", "/", "", "", ""},
      {"page.html", "", "", "", "", "", "", "page.html", "", ""},
      {"/dir/doc=1", "", "", "", "", "", "/dir/", "doc", "=1", ""},
      {"a/b?q=1#frag", "", "", "", "", "", "a/", "b", "?q=1", "frag"},
  };
  for (const auto& r : rows) {
    TIdURI u(r.url);
    EXPECT_EQ(r.scheme, u.Scheme) << r.url;
    EXPECT_EQ(r.user, u.UserPart) << r.url;
    EXPECT_EQ(r.password, u.PasswordPart) << r.url;
    EXPECT_EQ(r.host, u.HostPart) << r.url;
    EXPECT_EQ(r.port, u.PortPart) << r.url;
    EXPECT_EQ(r.path, u.PathPart) << r.url;
    EXPECT_EQ(r.document, u.DocumentPart) << r.url;
    EXPECT_EQ(r.query, u.QueryPart) << r.url;
    EXPECT_EQ(r.fragment, u.FragmentPart) << r.url;
  }
  TIdURI u("http://u:p@h:8/a/b?c#d");
  EXPECT_EQ("http://h:8/a/b?c", u.URI());
  EXPECT_EQ("http://u:p@h:8/a/b?c#d", u.Text());
  EXPECT_THROW(TIdURI("x/y").Rebuild(false, false), EIdURIException);
}

TEST(Helpers, MergePath) {
  const struct {
    const char *base, *path, *result;
  } rows[] = {
      {"a/b/", "../c", "a/c"},
      {"/x/y/", "/z", "/z"},
      {"/d/", "", "/d/"},
      {"/a/b/", "c/d/", "/a/b/c/d/"},
      {"/a//b/", "c", "/a/b/c"},
      {"/", "../../etc/x", "/etc/x"},
      {"/a/", "../../../b", "/b"},
      {"a/", "../../b", "/b"},
      {"/a/", "..x/y", "/a/..x/y"},
      {"/q/", "/../x/../../y", "/../x/../../y"},  // absolute: as it stands, the server resolves it
      {"/a/b/", "./c", "/a/b/./c"},
  };
  for (const auto& r : rows) EXPECT_EQ(r.result, MergePath(r.base, r.path, '/')) << r.base << " + " << r.path;
}

TEST(Helpers, TokensSearchesAndAddresses) {
  std::string in = "abc";
  EXPECT_EQ("abc", FetchToken(in, ","));
  EXPECT_EQ("", in);
  in = "A-b-C";
  EXPECT_EQ("A", FetchToken(in, "-"));
  EXPECT_EQ("b-C", in);
  in = "xAbCy";
  EXPECT_EQ("x", FetchToken(in, "abc", true, false));
  EXPECT_EQ("y", in);
  const char block[] = "hello\r\nworld";
  EXPECT_EQ(6, SearchMemory("\r\n", block, 12));
  EXPECT_EQ(0, SearchMemory("", block, 12));
  EXPECT_EQ(0, SearchMemory("worlds", block, 12));
  EXPECT_EQ(4, LastPos("ab", "abxab"));
  EXPECT_EQ(1, LastPos("AB", "abxab", 3));
  EXPECT_TRUE(IsValidIPv4Text(" 10.0.0.255 "));
  EXPECT_FALSE(IsValidIPv4Text("10.0.0.256"));
  EXPECT_FALSE(IsValidIPv4Text("10.0.0"));
  EXPECT_TRUE(LooksLikeHostName("a.b.c"));
  EXPECT_FALSE(LooksLikeHostName(".b.c"));
  EXPECT_EQ(".b.c", DomainPart("a.b.c"));
  EXPECT_EQ(3, DayNumber("tue"));
  EXPECT_EQ(11, MonthNumber("Nov"));
  EXPECT_EQ(-1, DecimalToInt("$10", -1));
  EXPECT_EQ(-12, DecimalToInt("-12", 0));
}

class InTimeZone : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = getenv("TZ");
    saved_ = tz ? tz : "";
    had_ = tz != nullptr;
    setenv("TZ", "Asia/Shanghai", 1);
    tzset();
  }
  void TearDown() override {
    if (had_)
      setenv("TZ", saved_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  std::string saved_;
  bool had_ = false;
};

TEST_F(InTimeZone, InternetDates) {
  const TDateTime expected = EncodeDate(1994, 11, 6) + EncodeTime(15, 49, 37, 0);
  for (const char* text : {"Sun, 06 Nov 1994 08:49:37 +0100", "Sunday, 06-Nov-94 07:49:37 GMT",
                           "Sun Nov  6 07:49:37 1994", "06 Nov 1994 07:49:37 GMT"})
    EXPECT_NEAR(expected, GmtToLocal(text), 1e-7) << text;
  EXPECT_EQ(0, GmtToLocal("not a date"));
  EXPECT_EQ(0, GmtToLocal(""));
  EXPECT_NEAR(8.0 / 24, UtcOffset(), 1e-9);
  EXPECT_EQ("Sun, 6 Nov 1994 15:49:37 +0800", InternetDateText(expected, true));
}

TEST(Helpers, SmallOnes) {
  EXPECT_EQ(-3, MinInt(-3, 2));
  EXPECT_EQ(2, MinInt(7, 2));
  EXPECT_TRUE(InMainThread());
  bool other = true;
  std::thread([&other] { other = InMainThread(); }).join();
  EXPECT_FALSE(other);
  const TDateTime before = Now();
  SleepMs(30);
  EXPECT_GE((Now() - before) * 86400000.0, 25.0);
  const std::string temp = TempDirectory();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ('/', temp.back());
}

// ---------------------------------------------------------------------------------------
// Headers.

TEST_F(InTimeZone, RequestDatesAndRanges) {
  TIdRequestHeaderInfo r;
  const TDateTime when = EncodeDate(1994, 11, 6) + EncodeTime(15, 49, 37, 0);
  r.Date = when;
  r.Expires = when + 1;
  r.LastModified = when - 1;
  r.BuildHeaderLines();
  EXPECT_EQ("Sun, 6 Nov 1994 15:49:37 +0800", r.HeaderLines.Values("Date"));
  EXPECT_EQ("Mon, 7 Nov 1994 15:49:37 +0800", r.HeaderLines.Values("Expires"));
  EXPECT_EQ("Sat, 5 Nov 1994 15:49:37 +0800", r.HeaderLines.Values("If-Modified-Since"));
  EXPECT_EQ(-1, r.HeaderLines.IndexOfName("Range"));
  const struct {
    uint32_t start, end;
    const char* range;
  } rows[] = {{0, 5, "bytes=0-5"}, {10, 0, "bytes=10-"}, {10, 20, "bytes=10-20"}};
  for (const auto& row : rows) {
    r.ContentRangeStart = row.start;
    r.ContentRangeEnd = row.end;
    r.BuildHeaderLines();
    EXPECT_EQ(row.range, r.HeaderLines.Values("Range"));
  }
}

// Assigning copies between records of the kinds that know each other; any other pairing
// raises the framework's assign error.
TEST(Headers, AssigningRecords) {
  TIdRequestHeaderInfo request, other_request;
  TIdResponseHeaderInfo response;
  TIdProxyConnectionInfo proxy;
  request.Username = "u";
  request.Host = "h";
  request.ContentType = "image/gif";
  other_request.Assign(&request);
  EXPECT_EQ("u", other_request.Username);
  EXPECT_EQ("", other_request.Host);  // request fields only
  EXPECT_EQ("text/html", other_request.ContentType);
  response.Assign(&request);  // entity fields
  EXPECT_EQ("image/gif", response.ContentType);
  proxy.SetProxyServer("p");
  TIdProxyConnectionInfo other_proxy;
  other_proxy.Assign(&proxy);
  EXPECT_EQ("p", other_proxy.ProxyServer());
  const struct {
    TPersistent* target;
    TPersistent* source;
    const char* message;
  } rows[] = {
      {&request, &proxy, "Cannot assign a TIdProxyConnectionInfo to a TIdRequestHeaderInfo"},
      {&proxy, &request, "Cannot assign a TIdRequestHeaderInfo to a TIdProxyConnectionInfo"},
      {&response, &proxy, "Cannot assign a TIdProxyConnectionInfo to a TIdResponseHeaderInfo"},
      {&response, nullptr, "Cannot assign a nil to a TIdResponseHeaderInfo"},
  };
  for (const auto& row : rows) {
    try {
      row.target->Assign(row.source);
      ADD_FAILURE() << row.message;
    } catch (const EConvertError& e) {
      EXPECT_EQ(row.message, e.Message());
    }
  }
}

TEST(Headers, RequestDefaults) {
  TIdRequestHeaderInfo r;
  r.BuildHeaderLines();
  EXPECT_EQ(
      "Content-Type: text/html\r\nAccept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; Idlane Library)\r\n",
      r.HeaderLines.Text());
  r.Host = "h:8080";
  r.ContentRangeStart = 0;
  r.ContentRangeEnd = 0;
  r.CustomHeaders.SetValue("X-Custom", "1");
  r.CustomHeaders.SetValue("Accept", "image/gif");
  r.BuildHeaderLines();
  EXPECT_EQ(
      "Content-Type: text/html\r\nX-Custom: 1\r\nAccept: text/html, */*\r\nHost: h:8080\r\n"
      "User-Agent: Mozilla/3.0 (compatible; Idlane Library)\r\n",
      r.HeaderLines.Text());
}

TEST(Headers, ResponseParsing) {
  TIdResponseHeaderInfo r;
  r.HeaderLines.SetText(
      "content-length:  42 \r\nWWW-Authenticate: Basic realm=\"a\"\r\nWWW-Authenticate: Other\r\n"
      "X-Folded: one\r\n\ttwo\r\nContent-Range: bytes x-y/z\r\nExpires: 86400\r\nLocation: /n\r\n");
  r.ParseHeaderLines();
  EXPECT_EQ(42, r.ContentLength());
  EXPECT_TRUE(r.LengthKnown);
  ASSERT_EQ(2, r.WWWAuthenticate.Count());
  EXPECT_EQ("Other", r.WWWAuthenticate.Strings(1));
  EXPECT_EQ("one two", r.HeaderLines.Values("x-folded"));
  // Values a server may well send ("bytes */1234" in a 416, a day or more of seconds) do
  // not fail the answer with a conversion error: they count as none.
  EXPECT_EQ(0u, r.ContentRangeStart);
  EXPECT_EQ(0, r.Expires);
  EXPECT_EQ("/n", r.Location);
  r.HeaderLines.SetText("Content-Length: abc\r\nExpires: 0\r\nContent-Range: bytes 5-9/10\r\n");
  r.ParseHeaderLines();
  EXPECT_EQ(-1, r.ContentLength());
  EXPECT_FALSE(r.LengthKnown);
  EXPECT_NEAR(Now(), r.Expires, 2.0 / 86400);
  EXPECT_EQ(5u, r.ContentRangeStart);
  EXPECT_EQ(9u, r.ContentRangeEnd);
}

TEST(Headers, LongValuesFoldAtTheLastBreak) {
  TIdHeaderList list(1024);
  const std::string value = std::string(1000, 'a') + " " + std::string(100, 'b');
  list.SetValue("X-Long", value);
  ASSERT_EQ(2, list.Count());
  EXPECT_EQ("X-Long: " + std::string(1000, 'a'), list.Strings(0));
  EXPECT_EQ(" " + std::string(100, 'b'), list.Strings(1));
  EXPECT_EQ(value, list.Values("X-Long"));
  list.SetValue("X-Long", "short");
  ASSERT_EQ(1, list.Count());
  list.SetValue("X-Long", "");
  EXPECT_EQ(0, list.Count());
}

// ---------------------------------------------------------------------------------------
// Coders and authentication.

TEST(Coders, Base64) {
  EXPECT_EQ("", TIdEncoderMIME::EncodeText(""));
  EXPECT_EQ("YQ==", TIdEncoderMIME::EncodeText("a"));
  EXPECT_EQ("YWI=", TIdEncoderMIME::EncodeText("ab"));
  EXPECT_EQ("YWJj", TIdEncoderMIME::EncodeText("abc"));
  EXPECT_EQ("ab", TIdDecoderMIME::DecodeText("YWI="));
  EXPECT_EQ(std::string("\xff\xfe", 2), TIdDecoderMIME::DecodeText("//4="));
  EXPECT_THROW(TIdDecoderMIME::DecodeText("YWJjZ"), EIdException);
  // Bytes outside the table decode to something, never outside memory.
  EXPECT_EQ(3u, TIdDecoderMIME::DecodeText(std::string("\x80\xff\x01\x7f", 4)).size());
  TMemoryStream s;
  s.WriteBuffer("abcd", 4);
  s.SetPosition(0);
  TIdEncoderMIME e;
  EXPECT_THROW(e.Encode(&s, 4), EIdException);
}

TEST(Auth, BasicAndTheRegistry) {
  TIdBasicAuthentication b;
  b.SetUsername("user");
  b.SetPassword("");
  EXPECT_EQ("Basic dXNlcjo=", b.Authentication());
  TIdHeaderList challenge;
  challenge.Add("Basic realm=\"The Realm\"");
  b.SetAuthParams(challenge);
  EXPECT_EQ(stepSend, b.NextStep());
  EXPECT_EQ("The Realm", b.Realm);
  try {
    RegisterAuthenticationMethod("basic", {"TIdBasicAuthentication", nullptr});
    FAIL();
  } catch (const EIdAlreadyRegisteredAuthenticationMethod& e) {
    EXPECT_EQ("This authentication method is already registered with class name TIdBasicAuthentication.", e.Message());
  }
  EXPECT_TRUE(static_cast<bool>(FindAuthClass("BASIC")));
  EXPECT_FALSE(static_cast<bool>(FindAuthClass("Digest")));
}

// ---------------------------------------------------------------------------------------
// Cookies.

TEST(Cookies, StoreAndSend) {
  TIdCookieManager m(nullptr);
  m.AddCookie("a=1; path=/", "a.b.c");
  m.AddCookie("a=2; path=/", "a.b.c");  // replaces, keeps one entry
  m.AddCookie("d=4; path=/; domain=.b.c", "a.b.c");
  m.AddCookie("e=5; path=/; domain=.b.c", "x.a.b.c");  // not valid from that host
  m.AddCookie("f=6; path=/; domain=other.com", "a.b.c");
  m.AddCookie("s=7; path=/; secure", "a.b.c");
  m.AddCookie("old=8; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT", "a.b.c");
  m.AddCookie("deep=9; path=/img/", "a.b.c");
  EXPECT_EQ("d=4; a=2", m.GenerateCookieList("http://a.b.c/x", false));
  EXPECT_EQ("deep=9; d=4; a=2; s=7", m.GenerateCookieList("http://a.b.c/img/x.gif", true));
  EXPECT_EQ("d=4", m.GenerateCookieList("http://xa.b.c/", false));
  // A host that merely contains the domain gets nothing.
  EXPECT_EQ("", m.GenerateCookieList("http://a.b.c.evil.test/", false));
  EXPECT_EQ("", m.GenerateCookieList("http://xb.c/", false));
  // Without a path attribute a cookie belongs to the folder of the URL that set it.
  m.AddCookie("n=10", "a.b.c", "/pics/");
  EXPECT_EQ("n=10; d=4; a=2", m.GenerateCookieList("http://a.b.c/pics/1.gif", false));
  EXPECT_EQ("d=4; a=2", m.GenerateCookieList("http://a.b.c/x", false));
}

TEST(Cookies, AnExpiryThatIsNotADateHasExpired) {
  TIdCookieManager m(nullptr);
  m.AddCookie("g=1; path=/; expires=garbage", "h.test");
  m.AddCookie("k=2; path=/", "h.test");
  EXPECT_EQ("k=2", m.GenerateCookieList("http://h.test/", false));
  EXPECT_EQ(1, m.CookieCollection().Count());
}

TEST(Cookies, ReplacingKeepsTheExpiry) {
  TIdCookieManager m(nullptr);
  m.AddCookie("k=1; path=/; expires=Fri, 01 Jan 2100 00:00:00 GMT", "h.test");
  m.AddCookie("k=2; path=/; expires=Sat, 01 Jan 2101 00:00:00 GMT", "h.test");
  ASSERT_EQ(1, m.CookieCollection().Count());
  EXPECT_EQ("2", m.CookieCollection().Items(0)->CookieValue);
  EXPECT_EQ("Sat, 01 Jan 2101 00:00:00 GMT", m.CookieCollection().Items(0)->ExpiryText);
}

TEST(Cookies, Version2Ports) {
  TIdCookieRFC2965 c;
  c.Parse("n=v; Port=\"80,8080\"; Discard");
  EXPECT_EQ((std::vector<int>{80, 8080}), c.PortNumbers);
  EXPECT_TRUE(c.DiscardFlag);
  TIdCookieRFC2965 d;
  d.Parse("n=v");
  EXPECT_EQ(std::vector<int>{80}, d.PortNumbers);
  TIdCookieRFC2965 empty;
  empty.Parse("n=v; Port=");
  EXPECT_EQ(std::vector<int>{80}, empty.PortNumbers);
  // An item that is not a number does not fail the answer that carried the cookie: the
  // list counts as none.
  TIdCookieRFC2965 bad;
  bad.Parse("n=v; Port=\"80,x\"");
  EXPECT_EQ(std::vector<int>{80}, bad.PortNumbers);
  EXPECT_THROW(bad.SetPort(5, 1), EIdException);
}

// ---------------------------------------------------------------------------------------
// Stack texts and the binding.

TEST(Stack, ErrorTexts) {
  TIdTCPClient keeps_the_stack(nullptr);
  ASSERT_NE(nullptr, GStack);
  EXPECT_EQ("Socket Error # 10035\r\nOperation would block. ", GStack->SocketErrorText(10035));
  EXPECT_EQ("Socket Error # 10066\r\nDirectory not empty", GStack->SocketErrorText(10066));
  EXPECT_EQ("Socket Error # 12345\r\n", GStack->SocketErrorText(12345));
  EXPECT_EQ("Socket Error # 11001\r\nHost not found.", GStack->SocketErrorText(11001));
  EXPECT_EQ("127.0.0.1", GStack->ResolveHostAddress("localhost"));
  EXPECT_TRUE(TIdStack::IsDottedAddress("1.2.3.4"));
  EXPECT_FALSE(TIdStack::IsDottedAddress("1.2.3.256"));
  EXPECT_FALSE(TIdStack::IsDottedAddress("1.2.3"));
  EXPECT_FALSE(TIdStack::IsDottedAddress("1.2.3.4.5"));
  TIdSocketListWindows list;
  for (int i = 0; i < 64; ++i) list.Add(static_cast<SOCKET>(i));
  EXPECT_THROW(list.Add(99), EIdStackSetSizeExceeded);
  list.Remove(0);
  EXPECT_EQ(63u, list.Items(0));
  EXPECT_THROW(list.Items(63), EIdStackSetSizeExceeded);
}

TEST(Stack, EntriesBindOnFirstUseAndFailPlainlyWithoutTheLibrary) {
  ASSERT_EQ(0, TIdComponent::LiveCount());
  CleanupSocketLibrary();
  UnloadSocketLibrary();
  try {
    idws::Entry(idws::rSocket);
    FAIL();
  } catch (const EIdWS2StubError& e) {
    EXPECT_EQ(10093, e.Win32Error);
    EXPECT_EQ("Error on call Winsock2 library function socket", e.Title);
    EXPECT_EQ(0u, e.Message().find("Error on call Winsock2 library function socket"));
  }
  {
    TIdTCPClient again(nullptr);  // starts the library once more
    EXPECT_TRUE(SocketLibraryStarted());
  }
  const LONG startups = KvNetStartupCalls();
  { TIdTCPClient third(nullptr); }
  EXPECT_EQ(startups, KvNetStartupCalls());  // started once per process, not per stack
  try {
    idws::Entry(34);  // a row the platform's library does not have
    FAIL();
  } catch (const EIdWS2StubError& e) {
    EXPECT_EQ("Error on call Winsock2 library function WSAUnhookBlockingHook", e.Title);
  }
}

// ---------------------------------------------------------------------------------------
// The buffered connection.

struct Connected {
  loopback::Server server;
  TIdTCPClient client{nullptr};
  explicit Connected(std::function<void(loopback::Conn&)> serve)
      : server([serve](loopback::Conn& c, int) { serve(c); }) {
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.Connect();
  }
};

TEST(Connection, LinesAcrossReceives) {
  Connected c([](loopback::Conn& conn) {
    conn.Write("abc\r");
    conn.Read(1);
    conn.Write("\ndef\n");
    conn.Read(1);
    conn.Write("x\r\r\nlast");
  });
  c.client.WriteText("1");
  // The terminator CR LF arrives in two pieces.
  EXPECT_EQ("abc", c.client.ReadLine("\r\n"));
  c.client.WriteText("2");
  EXPECT_EQ("def", c.client.ReadLine());
  EXPECT_EQ("x\r", c.client.ReadLine("\r\n"));
  EXPECT_EQ("", c.client.ReadLine());
  EXPECT_TRUE(c.client.ReadLnTimedOut);
  EXPECT_THROW(c.client.ReadLine(), EIdConnClosedGracefully);
}

TEST(Connection, LineLimit) {
  Connected c(
      [](loopback::Conn& conn) { conn.Write(std::string(16385, 'z') + "\n" + std::string(20000, 'y') + "\n"); });
  c.client.MaxLineAction = maSplit;
  EXPECT_EQ(16384u, c.client.ReadLine().size());
  EXPECT_TRUE(c.client.ReadLnSplit);
  EXPECT_EQ("z", c.client.ReadLine());
  c.client.MaxLineAction = maException;
  EXPECT_THROW(c.client.ReadLine(), EIdReadLnMaxLineLengthExceeded);
  c.client.MaxLineLength = 0;
  EXPECT_EQ(20000u, c.client.ReadLine().size());
}

TEST(Connection, WriteBufferingThreshold) {
  std::string received;
  {
    Connected c([&received](loopback::Conn& conn) { received = conn.Read(250); });
    int sent = 0;
    c.client.OnWork = [&sent](TObject*, TWorkMode mode, int n) {
      if (mode == wmWrite) sent = n;
    };
    c.client.StartWork(wmWrite, 0);
    c.client.BeginWriteBuffering(100);
    c.client.WriteText(std::string(250, 'q'));
    EXPECT_EQ(100, sent);  // one threshold's worth left at once, the rest waits
    c.client.EndWriteBuffering();
    EXPECT_EQ(250, sent);
    c.client.FinishWork(wmWrite);
    EXPECT_FALSE(c.client.WriteBuffering());
  }
  EXPECT_EQ(std::string(250, 'q'), received);
}

TEST(Connection, NumberedReplies) {
  Connected c([](loopback::Conn& conn) { conn.Write("250-first\r\n250-second\r\n250 last\r\n500 bad\r\n"); });
  EXPECT_EQ(250, c.client.ReadReply({250}));
  EXPECT_EQ((std::vector<std::string>{"first", "second", "last"}), c.client.LastReply().Text);
  try {
    c.client.ReadReply({250});
    FAIL();
  } catch (const EIdProtocolReplyError& e) {
    EXPECT_EQ(500, e.ErrorCode());
    EXPECT_EQ("bad\r\n", e.Message());
  }
}

TEST(Connection, RaisingTheLastReply) {
  Connected c([](loopback::Conn& conn) { conn.Write("421-busy\r\n421 later\r\n"); });
  c.client.ReadReply({});
  try {
    c.client.RaiseReplyError();
  } catch (const EIdProtocolReplyError& e) {
    EXPECT_STREQ("EIdProtocolReplyError", e.ClassName());
    EXPECT_EQ(421, e.ErrorCode());
    EXPECT_EQ("busy\r\nlater\r\n", e.Message());
  }
  try {
    c.client.RaiseReplyError(&ThrowReplyError<EIdSSLProtocolReplyError>);
  } catch (const EIdProtocolReplyError& e) {
    EXPECT_STREQ("EIdSSLProtocolReplyError", e.ClassName());
    EXPECT_EQ(421, e.ErrorCode());
  }
}

TEST(Connection, IntegersAndLengthPrefixedBlocks) {
  std::string received;
  Connected c([&received](loopback::Conn& conn) {
    received = conn.Read(4 + 4 + 4 + 5);
    conn.Write(std::string("\x00\x00\x01\x02", 4) + std::string("\x04\x03\x02\x01", 4) +
               std::string("\x00\x00\x00\x03", 4) + "abcrest");
  });
  c.client.WriteInt32(0x01020304);
  c.client.WriteInt32(0x01020304, false);
  TMemoryStream out;
  out.WriteBuffer("hello", 5);
  c.client.WriteFromStream(&out, true, true);
  EXPECT_EQ(0x0102u, c.client.ReadInt32());
  EXPECT_EQ(0x04030201u, ntohl(c.client.ReadInt32(false)));
  TMemoryStream in;
  c.client.ReadIntoStream(&in, -1, false);  // the length comes first, in network order
  EXPECT_EQ("abc", std::string(static_cast<const char*>(in.Memory()), static_cast<size_t>(in.Size())));
  EXPECT_EQ("rest", c.client.TakeBufferedData());
  EXPECT_EQ(std::string("\x01\x02\x03\x04", 4) + std::string("\x04\x03\x02\x01", 4) +
                std::string("\x00\x00\x00\x05", 4) + "hello",
            received);
}

TEST(Connection, WorkEventsCountConsumedBytes) {
  Connected c([](loopback::Conn& conn) { conn.Write("0123456789"); });
  std::vector<std::string> events;
  c.client.OnWorkBegin = [&](TObject*, TWorkMode, int max) { events.push_back("begin " + std::to_string(max)); };
  c.client.OnWork = [&](TObject*, TWorkMode, int n) { events.push_back(std::to_string(n)); };
  c.client.OnWorkEnd = [&](TObject*, TWorkMode) { events.push_back("end"); };
  TMemoryStream s;
  c.client.StartWork(wmRead, 99);  // nested: only the outermost level reports
  c.client.ReadIntoStream(&s, 10, false);
  c.client.FinishWork(wmRead);
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ("begin 99", events.front());
  EXPECT_EQ("10", events[events.size() - 2]);
  EXPECT_EQ("end", events.back());
}

// A memory stream descendant that counts the bytes its Write is given.
class CountingStream : public TMemoryStream {
 public:
  int Write(const void* buffer, int count) override {
    written += count;
    return TMemoryStream::Write(buffer, count);
  }
  int64_t written = 0;
};

// A counted read many receives long, into each kind of stream, with the ASCII filter on and
// off, whole and cut short by the peer's close, and into a stream rewound over longer older
// bytes: the stream holds exactly the body after what it held before, the bytes after the
// body stay for the next read, a descendant's Write sees every byte, and the work events
// count the whole body.
TEST(Connection, CountedReadsAcrossReceivesIntoEachStream) {
  constexpr int kBody = 300000, kCut = 100000;
  std::string body(kBody, '\0');
  for (int i = 0; i < kBody; ++i) body[static_cast<size_t>(i)] = static_cast<char>(i * 7);
  enum Kind { kMemory, kCounting, kString };
  const struct {
    const char* name;
    Kind kind;
    bool ascii, cut, rewound;
  } rows[] = {
      {"memory stream", kMemory, false, false, false},
      {"memory stream, cut", kMemory, false, true, false},
      {"memory stream, ASCII filter", kMemory, true, false, false},
      {"memory stream, rewound", kMemory, false, false, true},
      {"memory stream, rewound, cut", kMemory, false, true, true},
      {"descendant", kCounting, false, false, false},
      {"descendant, cut", kCounting, false, true, false},
      {"string stream", kString, false, false, false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    Connected c([&](loopback::Conn& conn) {
      conn.Write(body.substr(0, kCut));
      if (r.cut) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the rest in later receives
      conn.Write(body.substr(kCut) + "tail\n");
    });
    c.client.ASCIIFilter = r.ascii;
    int worked = 0;
    c.client.OnWork = [&worked](TObject*, TWorkMode mode, int n) {
      if (mode == wmRead) worked = n;
    };
    TMemoryStream memory;
    CountingStream counting;
    TStringStream text;
    TStream* const streams[] = {&memory, &counting, &text};
    TStream* stream = streams[r.kind];
    stream->WriteBuffer("pre", 3);
    if (r.rewound) {
      const std::string older(kBody + 1000, 'x');
      stream->WriteBuffer(older.data(), static_cast<int>(older.size()));
      stream->SetPosition(3);
    }
    counting.written = 0;
    if (r.cut) {
      EXPECT_THROW(c.client.ReadIntoStream(stream, kBody, false), EIdConnClosedGracefully);
    } else {
      c.client.ReadIntoStream(stream, kBody, false);
      EXPECT_EQ("tail", c.client.ReadLine());
    }
    std::string expected = "pre" + body.substr(0, r.cut ? kCut : kBody);
    if (r.ascii) {
      for (char& ch : expected) ch = static_cast<char>(ch & 0x7F);
    }
    std::string got(static_cast<size_t>(stream->Size()), '\0');
    stream->SetPosition(0);
    stream->ReadBuffer(got.data(), static_cast<int>(got.size()));
    EXPECT_TRUE(got == expected) << "got " << got.size() << " bytes, expected " << expected.size();
    EXPECT_EQ(static_cast<int>(expected.size()) - 3, worked);
    if (r.kind == kCounting) {
      EXPECT_EQ(static_cast<int64_t>(expected.size()) - 3, counting.written);
    }
  }
}

// A long counted read into a memory stream whose bytes come in pieces with pauses between:
// whatever the split, the read ends with its last piece, on the open connection, and the
// short exchange after it is read at once. The server gives up each wait after a bound and
// then closes, so a read that waited for more than came would end only at that close, and
// the exchange after it would fail. A close in mid-body still raises with the bytes kept.
TEST(Connection, LongCountedReadsEndWithTheirLastPiece) {
  constexpr int kBody = 1200000;
  std::string body(kBody, '\0');
  for (int i = 0; i < kBody; ++i) body[static_cast<size_t>(i)] = static_cast<char>(i * 13);
  const struct {
    const char* name;
    std::vector<int> pieces;  // the sizes before the last piece, which brings the rest
    int read_timeout;
    bool cut;  // the server closes after the pieces, without the rest
  } rows[] = {
      {"one piece", {}, 0, false},
      {"a short last piece", {kBody - 1000}, 0, false},
      {"a small first piece", {100}, 0, false},
      {"pieces shrinking toward the end", {700000, 300000, 150000, 40000, 9000}, 0, false},
      {"even pieces", {200000, 200000, 200000, 200000, 200000}, 0, false},
      {"with a read time-out", {600000}, 30000, false},
      {"closed in mid-body", {700000}, 0, true},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    std::atomic<bool> finished{false};
    TMemoryStream stream;
    {
      Connected c([&](loopback::Conn& conn) {
        size_t sent = 0;
        for (int n : r.pieces) {
          conn.Write(body.substr(sent, static_cast<size_t>(n)));
          sent += static_cast<size_t>(n);
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (r.cut) return;
        conn.Write(body.substr(sent));
        if (conn.Read(6) != "next\r\n") return;
        conn.Write("ok\r\n");
        finished = conn.Read(5) == "bye\r\n";
      });
      c.client.ReadTimeout = r.read_timeout;
      if (r.cut) {
        EXPECT_THROW(c.client.ReadIntoStream(&stream, kBody, false), EIdConnClosedGracefully);
        EXPECT_TRUE(stream.Size() == r.pieces[0] && std::memcmp(stream.Memory(), body.data(), r.pieces[0]) == 0);
        continue;
      }
      c.client.ReadIntoStream(&stream, kBody, false);
      c.client.WriteLine("next");
      EXPECT_EQ("ok", c.client.ReadLine());
      c.client.WriteLine("bye");
    }
    EXPECT_TRUE(finished.load());
    EXPECT_TRUE(stream.Size() == kBody && std::memcmp(stream.Memory(), body.data(), kBody) == 0);
  }
}

// A connect with a time-out: it connects to a live server, runs out against one that never
// answers, and carries the refusal's own text.
TEST(Connection, TimedConnect) {
  {
    loopback::Server server([](loopback::Conn&, int) {});
    TIdTCPClient client(nullptr);
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.Connect(1000);
    EXPECT_TRUE(client.Connected());
    client.Disconnect();
  }
  int refused_port;
  {
    loopback::Server probe([](loopback::Conn&, int) {}, 0);
    refused_port = probe.Port();
  }
  {
    TIdTCPClient client(nullptr);
    client.SetHost("127.0.0.1");
    client.SetPort(refused_port);
    try {
      client.Connect(300);
      ADD_FAILURE() << "connected";
    } catch (const EIdConnectException& e) {
      EXPECT_EQ("Socket Error # 10061\r\nConnection refused.", e.Message());
    }
    EXPECT_FALSE(client.Connected());
  }
  // A listener that never accepts, its queue filled: further connects are not answered.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof(a);
  ASSERT_EQ(0, ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof(a)));
  ASSERT_EQ(0, ::listen(listener, 0));
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  std::vector<int> fillers;
  for (int i = 0; i < 3; ++i) {
    const int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::connect(f, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    pollfd p{f, POLLOUT, 0};
    ::poll(&p, 1, 100);
    fillers.push_back(f);
  }
  TIdTCPClient client(nullptr);
  client.SetHost("127.0.0.1");
  client.SetPort(ntohs(a.sin_port));
  std::string outcome;
  try {
    client.Connect(300);
    outcome = "connected";
  } catch (const EIdConnectTimeout& e) {
    outcome = e.Message();
  }
  for (int f : fillers) ::close(f);
  ::close(listener);
  if (outcome == "connected") GTEST_SKIP() << "the system answered a connect beyond the listen queue";
  EXPECT_EQ("Connect timed out.", outcome);
  EXPECT_FALSE(client.Connected());
}

TEST(Connection, DatagramsBetweenTwoHandles) {
  TIdTCPClient keeps_the_stack(nullptr);
  TIdSocketHandle a, b;
  for (TIdSocketHandle* h : {&a, &b}) {
    h->MakeSocket(WS_SOCK_DGRAM, 0);
    h->IP = "127.0.0.1";
    h->BindLocal();
  }
  ASSERT_EQ(5, GStack->SendDatagram(a.Handle, "hello", 5, 0, "127.0.0.1", b.Port));
  ASSERT_TRUE(b.WaitReadable(loopback::kWaitBoundMs));
  char buf[16];
  int port = 0;
  std::string ip;
  ASSERT_EQ(5, b.ReceiveDatagram(buf, sizeof(buf), port, ip));
  EXPECT_EQ("hello", std::string(buf, 5));
  EXPECT_EQ("127.0.0.1", ip);
  EXPECT_EQ(a.Port, port);
}

// Two chained intercepts: received bytes pass the chained one first, outgoing bytes the
// outer one first; connect and disconnect reach both, in mirrored order.
TEST(Connection, InterceptsSeeAndRewriteTheBytes) {
  auto edit = [](TStream* s, const std::function<std::string(std::string)>& f) {
    std::string t(static_cast<size_t>(s->Size()), '\0');
    s->SetPosition(0);
    s->ReadBuffer(t.data(), static_cast<int>(t.size()));
    t = f(t);
    s->SetSize(0);
    s->WriteBuffer(t.data(), static_cast<int>(t.size()));
  };
  std::vector<std::string> seen;
  TIdConnectionIntercept outer(nullptr), inner(nullptr);
  outer.SetIntercept(&inner);
  outer.OnConnect = [&](TIdConnectionIntercept*) { seen.push_back("outer connect"); };
  inner.OnConnect = [&](TIdConnectionIntercept*) { seen.push_back("inner connect"); };
  outer.OnDisconnect = [&](TIdConnectionIntercept*) { seen.push_back("outer disconnect"); };
  inner.OnDisconnect = [&](TIdConnectionIntercept*) { seen.push_back("inner disconnect"); };
  inner.OnReceive = [&](TIdConnectionIntercept*, TStream* s) { edit(s, [](std::string t) { return UpperCase(t); }); };
  outer.OnReceive = [&](TIdConnectionIntercept*, TStream* s) {
    edit(s, [&](std::string t) {
      seen.push_back("outer got " + t);
      return t;
    });
  };
  outer.OnSend = [&](TIdConnectionIntercept*, TStream* s) { edit(s, [](std::string t) { return "<" + t; }); };
  inner.OnSend = [&](TIdConnectionIntercept*, TStream* s) {
    edit(s, [&](std::string t) {
      seen.push_back("inner sends " + t);
      return t;
    });
  };
  std::string heard;
  {
    loopback::Server server([&heard](loopback::Conn& c, int) {
      heard = c.Read(4);
      c.Write("abc\n");
    });
    TIdTCPClient client(nullptr);
    client.SetIntercept(&outer);
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.Connect();
    client.WriteText("hi\n");
    EXPECT_EQ("ABC", client.ReadLine());
    client.Disconnect();
  }
  EXPECT_EQ("<hi\n", heard);
  const std::vector<std::string> expected = {"outer connect",   "inner connect",    "inner sends <hi\n",
                                             "outer got ABC\n", "inner disconnect", "outer disconnect"};
  EXPECT_EQ(expected, seen);
}

TEST(Connection, BindInAPortRange) {
  loopback::Server server([](loopback::Conn&, int) {});
  TIdTCPClient client(nullptr);
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.BoundPortLow = 40000;
  client.BoundPortHigh = 39999;
  try {
    client.Connect();
    FAIL();
  } catch (const EIdInvalidPortRange& e) {
    EXPECT_EQ("Invalid Port Range (40000 - 39999)", e.Message());
  }
  EXPECT_FALSE(client.Connected());
}

}  // namespace

namespace {

TEST(Connection, WriteFileContents) {
  char name[] = "/tmp/kv_http_file_XXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(11, write(fd, "file bytes\n", 11));
  close(fd);
  std::string received;
  {
    Connected c([&received](loopback::Conn& conn) { received = conn.Read(11); });
    EXPECT_EQ(11, c.client.WriteFileContents(name));
    try {
      c.client.WriteFileContents(std::string(name) + ".missing");
      ADD_FAILURE();
    } catch (const EIdFileNotFound& e) {
      EXPECT_EQ("File \"" + std::string(name) + ".missing\" not found", e.Message());
    }
  }
  unlink(name);
  EXPECT_EQ("file bytes\n", received);
}

}  // namespace
