// The download engine against the local server, each download run through Download (or
// DownloadBound) inside the engine's own message-pumping wait.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "download/ie_download.h"
#include "download/texts.h"
#include "platform/base/codepage.h"
#include "platform/base/global_memory.h"
#include "platform/base/time.h"
#include "platform/inet/inet.h"
#include "platform/inet/urlmon.h"
#include "testsupport/dispatch_stub.h"
#include "testsupport/http_server.h"
#include "testsupport/temp_home.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary);
  out << data;
}

std::string Body(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>('a' + (i * 7) % 26);
  return s;
}

// Writes down the events of one engine in one compact line each.
struct Recorder {
  std::vector<std::string> log;
  std::vector<std::pair<DWORD, std::string>> errors;
  std::string data;
  std::vector<std::string> progress_texts;  // "status|percent|speed|remaining" of 5 and 6

  void Attach(TCustomIEDownload& d) {
    d.OnStateChange = [this](TState s) { log.push_back("state " + std::to_string(static_cast<int>(s))); };
    d.OnConnect = [this](TBSCB*, HRESULT, const AnsiString& text) { log.push_back("connect " + text); };
    d.OnStartBinding = [this](TBSCB*, bool&, IBinding*) { log.push_back("start"); };
    d.OnBeginningTransaction = [this](TBSCB*, const WideString&, const WideString&, DWORD, WideString&) {
      log.push_back("begin");
      return S_OK;
    };
    d.OnProgress = [this](TBSCB*, ULONG, ULONG, ULONG code, int64_t, const AnsiString&, const AnsiString&,
                          const AnsiString&, const AnsiString& speed, const AnsiString& remaining,
                          const AnsiString& status, const AnsiString& percent) {
      const std::string entry = "P" + std::to_string(code);
      if (code == 5 || code == 6) progress_texts.push_back(status + "|" + percent + "|" + speed + "|" + remaining);
      if (log.empty() || log.back() != entry) log.push_back(entry);
    };
    d.OnResponse = [this](TBSCB*, DWORD code, const WideString&, const WideString&, WideString&) {
      log.push_back("response " + std::to_string(code));
      return S_OK;
    };
    d.OnDataAvailable = [this](TBSCB*, char*& buffer, int& length) { data.append(buffer, length); };
    d.OnStopBinding = [this](TBSCB*, HRESULT hr, const AnsiString&) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(hr));
      log.push_back(std::string("stop ") + hex);
    };
    d.OnStreamComplete = [this](TBSCB*, TMemoryStream* s, HRESULT) {
      log.push_back("stream " + std::to_string(s->Size()));
    };
    d.OnComplete = [this](TCustomIEDownload*, const AnsiString&, const AnsiString& name, const AnsiString&,
                          const AnsiString& ext, int active) {
      log.push_back("complete " + name + " " + ext + " " + std::to_string(active));
    };
    d.OnError = [this](DWORD code, const AnsiString& text) { errors.push_back({code, text}); };
  }
  std::string Log() const {
    std::string s;
    for (const auto& x : log) s += (s.empty() ? "" : " | ") + x;
    return s;
  }
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = home_ / "dl";
    std::filesystem::create_directories(folder_);
    engine_.DownloadFolder = kv::AnsiToWide(folder_);
    rec_.Attach(engine_);
  }
  WideString W(const std::string& s) { return kv::AnsiToWide(s); }
  std::string Path(const std::string& name) { return folder_ + "/" + name; }

  kvtest::TempHome home_;
  std::string folder_;
  kvtest::HttpServer server_;
  TIEDownload engine_{nullptr};
  Recorder rec_;
};

TEST_F(EngineTest, Defaults) {
  EXPECT_EQ(engine_.BindFValue(), 179u);
  EXPECT_EQ(engine_.BindF().ToBits(), 179u);
  EXPECT_EQ(engine_.BindInfoOptions().ToBits(), 16385u);
  EXPECT_EQ(engine_.BindInfoOptionsValue(), 0x20010000u);
  EXPECT_EQ(engine_.BindF2Value(), 0x8u);
  EXPECT_EQ(engine_.AdditionalHeader[0], "Content-Type: application/x-www-form-BindInfoFd ");
  EXPECT_EQ(engine_.AdditionalHeader[0].size(), 48u);
  EXPECT_EQ(engine_.DefaultProtocol(), "http://");
  engine_.SetDefaultProtocol("");
  EXPECT_EQ(engine_.DefaultProtocol(), "http://");
  EXPECT_EQ(engine_.DefaultUrlFileName, "index.html");
  EXPECT_EQ(engine_.TimeOut, 0);
  engine_.SetBindInfoOptions({TBindInfoOption::EnableUtf8, TBindInfoOption::DisableAutoRedirect});
  EXPECT_EQ(engine_.BindInfoOptionsValue(), 0x40020000u);
  EXPECT_EQ(CodePageValue(TCodePageOption::UTF8), 65001u);
  TIEDownload loaded(nullptr);
  loaded.Loaded();
  EXPECT_EQ(loaded.TimeOut, 2147483647);
}

TEST_F(EngineTest, LoadingSetsTheProxyAndDestroyingClearsIt) {
  KvInetProxyLogClear();
  {
    TIEDownload proxied(nullptr);
    proxied.ProxySettings.AutoLoadProxy = true;
    proxied.ProxySettings.Server = "proxy.example.cn";
    proxied.ProxySettings.Port = 3128;
    proxied.Loaded();
  }
  TIEDownload without(nullptr);
  without.Loaded();  // no server: the setting is left alone
  char log[512] = {};
  KvInetProxyLog(log, sizeof log);
  EXPECT_EQ(std::string(log), "flags=3 server=proxy.example.cn:3128 bypass=<local>\nflags=1 server= bypass=<local>\n");
}

TEST_F(EngineTest, FileInChunksToFileAndStream) {
  const std::string body = Body(50000);
  server_.Route("/files/data.bin", [&](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
    r.body = body;
    r.headers.push_back({"Content-Type", "application/octet-stream"});
    r.headers.push_back({"Content-Length", std::to_string(body.size())});
    r.chunks = {10000, 10000, 10000};
    r.delay_ms = 5;
  });
  engine_.UserAgent = "Korvane";
  engine_.Download(W(server_.Url("/files/data.bin")));
  EXPECT_TRUE(rec_.errors.empty());
  EXPECT_EQ(ReadFile(Path("data.bin")), body);
  EXPECT_EQ(rec_.data, body);
  EXPECT_EQ(rec_.Log(),
            "state 0 | connect CreateURLMonikerEx: The operation was successful | "
            "connect CreateAsyncBindCtx: The operation was successful | start | begin | "
            "connect MonikerBindToStorage: Asynchronous mode. | P1 | P2 | P11 | response 200 | P13 | P4 | P5 | "
            "P6 | stop 00000000 | state 2 | stream 50000 | connect RevokeBindStatusCallback: The operation was successful | complete data.bin .bin 0 | state 1");
  ASSERT_GE(rec_.progress_texts.size(), 2u);
  EXPECT_EQ(rec_.progress_texts.back(), "Done.|100%|0/00kb/sec|00.00.00");
  EXPECT_NE(rec_.progress_texts.front().find(" %|"), std::string::npos);
  EXPECT_EQ(engine_.FileSize, 50000);
  EXPECT_EQ(engine_.FullPath, Path("") + "data.bin");
  // The user-agent line carries the value set after construction; the additional header
  // follows it.
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_NE(requests[0].Header("User-agent").find("SV1)(Korvane)"), std::string::npos);
  EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-www-form-BindInfoFd");

  Recorder stream_rec;
  TIEDownload to_stream(nullptr);
  stream_rec.Attach(to_stream);
  to_stream.DownloadMethod = dmStream;
  std::string kept;
  to_stream.OnStreamComplete = [&](TBSCB*, TMemoryStream* s, HRESULT) {
    kept.assign(static_cast<const char*>(s->Memory()), static_cast<size_t>(s->Size()));
  };
  to_stream.Download(W(server_.Url("/files/data.bin")));
  EXPECT_EQ(kept, body);
  EXPECT_EQ(stream_rec.data, body);
  EXPECT_TRUE(stream_rec.errors.empty());
}

TEST_F(EngineTest, UrlWithoutProtocolGetsHttp) {
  server_.Serve("/a.txt", "x", "text/plain");
  const std::string bare = "127.0.0.1:" + std::to_string(server_.Port()) + "/a.txt";
  engine_.Download(W(bare));
  EXPECT_EQ(engine_.Url, W("http://" + bare));
  EXPECT_EQ(ReadFile(Path("a.txt")), "x");
}

TEST_F(EngineTest, RedirectRenamesTheFile) {
  server_.Redirect("/old/get.php", "/new/report.pdf");
  server_.Serve("/new/report.pdf", "PDF", "application/pdf");
  std::string from, to;
  engine_.OnRedirect = [&](TBSCB*, bool&, const AnsiString& f, const AnsiString& t) {
    from = f;
    to = t;
  };
  engine_.Download(W(server_.Url("/old/get.php")));
  EXPECT_EQ(from, server_.Url("/old/get.php"));
  EXPECT_EQ(to, server_.Url("/new/report.pdf"));
  EXPECT_EQ(engine_.ResultFileName, "report.pdf");
  EXPECT_EQ(ReadFile(Path("report.pdf")), "PDF");
  EXPECT_FALSE(std::filesystem::exists(Path("get.php")));
}

TEST_F(EngineTest, FailuresReachOnError) {
  server_.Route("/missing.zip", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
    r.status = 404;
    r.reason = "Not Found";
    r.body = "none here";
  });
  engine_.Download(W(server_.Url("/missing.zip")));
  ASSERT_EQ(rec_.errors.size(), 1u);
  EXPECT_EQ(rec_.errors[0].first, 404u);
  EXPECT_EQ(rec_.errors[0].second, "Not Found");
  EXPECT_FALSE(std::filesystem::exists(Path("missing.zip")));
  EXPECT_EQ(rec_.log.back(), "state 1");

  rec_.errors.clear();
  engine_.Download(W("http://127.0.0.1:" + std::to_string(kvtest::HttpServer::RefusedPort()) + "/x.zip"));
  ASSERT_EQ(rec_.errors.size(), 1u);
  EXPECT_EQ(rec_.errors[0].first, static_cast<DWORD>(INET_E_RESOURCE_NOT_FOUND));
  EXPECT_FALSE(std::filesystem::exists(Path("x.zip")));
}

TEST_F(EngineTest, StalledServerEndsByTheInactivityTimeOut) {
  server_.Route("/stall.bin", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) { r.stall = true; });
  KvClockSetVirtual(TRUE);
  engine_.TimeOut = 300;
  const DWORD v0 = KvClockNow();
  engine_.Download(W(server_.Url("/stall.bin")));
  const DWORD spent = KvClockNow() - v0;
  KvClockSetVirtual(FALSE);
  ASSERT_EQ(rec_.errors.size(), 1u);
  EXPECT_EQ(rec_.errors[0].first, 0x800C000Bu);
  EXPECT_EQ(rec_.errors[0].second, "Error: Time Out.");
  EXPECT_GE(spent, 300u);
  EXPECT_NE(rec_.Log().find("stop 800C000B"), std::string::npos);
}

TEST_F(EngineTest, ResumeAppendsOnlyAMatchingPart) {
  const std::string full = Body(4000);
  bool honour = true;
  server_.Route("/big.iso", [&](const kvtest::HttpRequest& q, kvtest::HttpReply& r) {
    const std::string range = q.Header("Range");
    if (honour && range.rfind("bytes=", 0) == 0) {
      const size_t from = std::stoul(range.substr(6));
      r.status = 206;
      r.reason = "Partial Content";
      r.body = full.substr(from);
      r.headers.push_back({"Content-Range", "bytes " + std::to_string(from) + "-" +
                                                std::to_string(full.size() - 1) + "/" + std::to_string(full.size())});
    } else {
      r.body = full;
    }
    r.headers.push_back({"Accept-Ranges", "bytes"});
  });
  for (bool server_honours : {true, false}) {
    SCOPED_TRACE(server_honours ? "206" : "200");
    honour = server_honours;
    WriteFile(Path("big.iso"), full.substr(0, 1500));
    engine_.Range.RangeBegin = 1;  // continue the partial file
    engine_.Download(W(server_.Url("/big.iso")));
    EXPECT_TRUE(rec_.errors.empty());
    EXPECT_EQ(ReadFile(Path("big.iso")), full);
    EXPECT_EQ(server_.Requests().back().Header("Range"), "bytes=1500-");
  }
}

TEST_F(EngineTest, ExistingFileOptions) {
  server_.Serve("/f.txt", "new", "text/plain");
  const struct {
    TFileExistsOption option;
    const char* kept;
    bool renamed;
  } cases[] = {{feOverWrite, "new", false}, {feSkip, "old", false}, {feRename, "old", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.option));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    WriteFile(Path("f.txt"), "old");
    engine_.FileExistsOption = c.option;
    engine_.Download(W(server_.Url("/f.txt")));
    EXPECT_EQ(ReadFile(Path("f.txt")), c.kept);
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder_)) {
      ++files;
      const std::string name = e.path().filename().string();
      if (name != "f.txt") {
        EXPECT_TRUE(c.renamed);
        EXPECT_EQ(name.find(':'), std::string::npos);
        EXPECT_EQ(ReadFile(e.path().string()), "new");
        EXPECT_EQ(engine_.ResultFileName, name);
      }
    }
    EXPECT_EQ(files, c.renamed ? 2 : 1);
  }
  // A renamed name that is taken gets a number of its own.
  engine_.OnFileExists = [](TFileExistsOption&, const AnsiString&, AnsiString& name) { name = "copy.txt"; };
  WriteFile(Path("copy.txt"), "taken");
  engine_.Download(W(server_.Url("/f.txt")));
  EXPECT_EQ(ReadFile(Path("copy.txt")), "taken");
  EXPECT_EQ(ReadFile(Path("2_copy.txt")), "new");
}

TEST_F(EngineTest, OfferedNameStaysInTheFolder) {
  server_.Route("/get", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
    r.body = "MZ";
    r.headers.push_back({"Content-Disposition", "attachment; filename=\"..\\..\\a:b.exe\"; size=2"});
  });
  engine_.Download(W(server_.Url("/get")));
  EXPECT_EQ(engine_.ResultFileName, "a_b.exe");
  EXPECT_EQ(ReadFile(Path("a_b.exe")), "MZ");
  EXPECT_FALSE(std::filesystem::exists(home_ / "a_b.exe"));
}

TEST_F(EngineTest, RangeHeaderWithoutEnd) {
  server_.Serve("/part.bin", "0123456789", "application/octet-stream");
  AnsiString sent;
  engine_.OnBeginningTransaction = [&](TBSCB*, const WideString&, const WideString&, DWORD, WideString& extra) {
    sent = kv::WideToAnsi(extra);
    return S_OK;
  };
  engine_.DownloadMethod = dmStream;
  engine_.Range.RangeBegin = 100;
  engine_.Download(W(server_.Url("/part.bin")));
  EXPECT_NE(sent.find("\r\nRange: bytes=100-\r\nContent-Type"), AnsiString::npos) << sent;
  EXPECT_EQ(server_.Requests().back().Header("Range"), "bytes=100-");
}

TEST_F(EngineTest, BindInfoCarriesVerbAndData) {
  std::string method, body;
  server_.Route("/submit.cgi", [&](const kvtest::HttpRequest& q, kvtest::HttpReply& r) {
    method = q.method;
    body = q.body;
    r.body = "ok";
  });
  WriteFile(home_ / "upload.dat", "PUT-BYTES");
  const struct {
    TBindVerb verb;
    const char* method;
    const char* body;
  } cases[] = {{TBindVerb::Get, "GET", ""},
               {TBindVerb::Post, "POST", "a=1&b=2"},
               {TBindVerb::Put, "PUT", "PUT-BYTES"},
               {TBindVerb::Custom, "PROPFIND", "a=1&b=2"}};
  engine_.DownloadMethod = dmStream;
  engine_.PostData = "a=1&b=2";
  engine_.PutFileName = home_ / "upload.dat";
  engine_.CustomVerb = "PROPFIND";
  DWORD size = 0;
  engine_.OnGetBindInfoEx = [&](TBSCB*, DWORD&, BINDINFO* info, DWORD&) {
    size = info->cbSize;
    // A custom verb sends the post data too.
    if (info->dwBindVerb == BINDVERB_CUSTOM && !info->stgmedData.hGlobal) {
      info->stgmedData.tymed = TYMED_HGLOBAL;
      info->stgmedData.hGlobal = GlobalAlloc(GMEM_FIXED, 7);
      std::memcpy(GlobalLock(info->stgmedData.hGlobal), "a=1&b=2", 7);
      GlobalUnlock(info->stgmedData.hGlobal);
      info->cbstgmedData = 7;
    }
    return S_OK;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method);
    engine_.BindVerb = c.verb;
    engine_.Download(W(server_.Url("/submit.cgi")));
    EXPECT_EQ(method, c.method);
    EXPECT_EQ(body, c.body);
    EXPECT_EQ(size, 84u);
  }
  EXPECT_TRUE(rec_.errors.empty());
}

TEST_F(EngineTest, AuthenticationAnswersFromTheHandler) {
  server_.Route("/private.txt", [](const kvtest::HttpRequest& q, kvtest::HttpReply& r) {
    if (q.Header("Authorization").empty()) {
      r.status = 401;
      r.reason = "Unauthorized";
      r.headers.push_back({"WWW-Authenticate", "Basic realm=\"x\""});
      return;
    }
    r.body = q.Header("Authorization");
  });
  engine_.DownloadMethod = dmStream;
  engine_.OnAuthenticate = [](TBSCB*, HWND&, WideString& user, WideString& password, HRESULT&) {
    user = u"clerk";
    password = u"pw";
  };
  engine_.Download(W(server_.Url("/private.txt")));
  EXPECT_EQ(rec_.data, "Basic Y2xlcms6cHc=");
  EXPECT_TRUE(rec_.errors.empty());
}

TEST_F(EngineTest, CancelDuringTransferEndsCleanly) {
  server_.Route("/slow.bin", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
    r.body = Body(40000);
    r.chunks = {1000, 1000, 1000, 1000};
    r.delay_ms = 50;
  });
  int chunks = 0;
  engine_.OnDataAvailable = [&](TBSCB*, char*&, int&) {
    if (++chunks == 2) engine_.Cancel();
  };
  engine_.Download(W(server_.Url("/slow.bin")));
  EXPECT_TRUE(engine_.Cancelled());
  EXPECT_TRUE(rec_.errors.empty());
  EXPECT_EQ(engine_.ActiveConnections(), 0);
  EXPECT_NE(rec_.Log().find("stop 80004004"), std::string::npos);
  EXPECT_EQ(rec_.log.back(), "state 1");
  EXPECT_TRUE(engine_.DownloadFinished());
  // A bound download is refused once the engine is cancelled.
  engine_.DownloadBound(W(server_.Url("/slow.bin")), nullptr, nullptr);
  EXPECT_EQ(engine_.DownloadsCount(), 1);
}

// A document stand-in whose ready state (-525) the test sets.
struct StateDocument : kvtest::DispatchStub {
  LONG state = READYSTATE_LOADING;
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id != DISPID_READYSTATE) return DISP_E_MEMBERNOTFOUND;
    result->vt = VT_I4;
    result->lVal = state;
    return S_OK;
  }
};

TEST_F(EngineTest, ReadyStateOfTheSitePostsTheCompletionNotice) {
  auto drain = [] {
    MSG m;
    int notices = 0;
    while (PeekMessageA(&m, nullptr, WM_USER + 1, WM_USER + 1, PM_REMOVE)) {
      EXPECT_EQ(m.hwnd, nullptr);
      EXPECT_EQ(m.wParam, 0u);
      EXPECT_EQ(m.lParam, 0);
      ++notices;
    }
    return notices;
  };
  drain();
  auto* transfer = new TBSCB(&engine_, nullptr, nullptr);
  IObjectWithSite* with_site = nullptr;
  ASSERT_EQ(transfer->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&with_site)), S_OK);
  IUnknown* site = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(with_site->GetSite(IID_IUnknown, reinterpret_cast<void**>(&site)), E_FAIL);
  EXPECT_EQ(site, nullptr);
  EXPECT_EQ(transfer->OnChanged(DISPID_READYSTATE), S_OK);
  EXPECT_EQ(drain(), 0) << "no site, nothing to read";

  StateDocument document;
  ASSERT_EQ(with_site->SetSite(&document), S_OK);
  ASSERT_EQ(with_site->GetSite(IID_IDispatch, reinterpret_cast<void**>(&site)), S_OK);
  EXPECT_EQ(site, static_cast<IUnknown*>(&document));
  site->Release();
  const struct {
    DISPID id;
    LONG state;
    int notices;
  } cases[] = {
      {DISPID_READYSTATE, READYSTATE_LOADING, 0},
      {DISPID_READYSTATE, READYSTATE_INTERACTIVE, 0},
      {DISPID_READYSTATE, READYSTATE_COMPLETE, 1},
      {-501, READYSTATE_COMPLETE, 0},  // another property
  };
  for (const auto& c : cases) {
    document.state = c.state;
    EXPECT_EQ(transfer->OnChanged(c.id), S_OK);
    EXPECT_EQ(drain(), c.notices) << c.id << " " << c.state;
  }
  EXPECT_EQ(with_site->SetSite(nullptr), S_OK);
  EXPECT_EQ(document.refs, 1) << "the site is let go";
  with_site->Release();
  document.state = READYSTATE_COMPLETE;
  ASSERT_EQ(with_site->SetSite(&document), S_OK);
  transfer->Release();
  EXPECT_EQ(document.refs, 1) << "and released with the transfer";
}

}  // namespace
