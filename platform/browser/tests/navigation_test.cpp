// Navigation sequences on file:, about: and http pages (the local server): the events each
// case fires, in order, with the ReadyState seen inside each; superseding and releasing
// from inside events.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/base/time.h"
#include "platform/comctl/listview.h"
#include "platform/inet/inet.h"
#include "platform/user/testing.h"
#include "testsupport/browser_site.h"
#include "testsupport/http_server.h"
#include "testsupport/temp_home.h"

namespace {

using kvtest::HostedBrowser;

std::string Text(VARIANT* v) {
  if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
  return v->vt == VT_BSTR ? kv::WideToUtf8(kv::BstrText(v->bstrVal)) : std::string();
}

struct Pages {
  kvtest::TempHome home;
  std::string dir;
  kvtest::HttpServer server;
  Pages() {
    KvInetResetProcessState();
    server.Serve("/page", "<title>Web</title>hello");
    server.Route("/missing", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
      r.status = 404;
      r.reason = "Not Found";
      r.headers.push_back({"Content-Type", "text/html"});
      r.body = "<title>Gone</title>not here";
    });
    server.Route("/broken", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
      r.status = 500;
      r.reason = "Internal Server Error";
    });
    // A login that sets its cookie on a redirect hop.
    server.Route("/login", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
      r.status = 302;
      r.reason = "Found";
      r.headers.push_back({"Set-Cookie", "Quabo_is_login=true; path=/"});
      r.headers.push_back({"Location", "/hop"});
    });
    server.Redirect("/hop", "/home");
    server.Route("/home", [](const kvtest::HttpRequest& q, kvtest::HttpReply& r) {
      r.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
      r.body = "<title>Home</title>" + q.Header("Cookie");
    });
    server.Redirect("/loop", "/loop");
    server.Route("/cut", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
      r.headers.push_back({"Content-Type", "text/html"});
      r.body = "<title>Cut</title>" + std::string(20000, 'x');
      r.cut_after = 5000;
    });
    server.Route("/stall", [](const kvtest::HttpRequest&, kvtest::HttpReply& r) { r.stall = true; });
    dir = home.path() + "/site";
    std::filesystem::create_directories(dir + "/sub");
    kvtest::WriteFile(dir + "/a.html",
                      "<html><head><title>Page A</title></head><body><a id=l href=b.html>b</a></body></html>");
    kvtest::WriteFile(dir + "/b.html", "<title>Page B</title>B");
    kvtest::WriteFile(dir + "/frames.html",
                      "<title>F</title><iframe name=one src=b.html></iframe><iframe src=none.html></iframe>");
    kvtest::WriteFile(dir + "/nested.html",
                      "<title>N</title><iframe name=outer src=mid.html></iframe><iframe name=last src=b.html></iframe>");
    kvtest::WriteFile(dir + "/mid.html", "<title>M</title><iframe name=inner src=b.html></iframe>");
    std::filesystem::create_directories(home.path() + "/drive_c/d");
    kvtest::WriteFile(home.path() + "/drive_c/d/c.html", "<title>Page C</title>C");
  }
};

// What one navigation case does and the events it must give.
struct Case {
  const char* name;
  std::function<void(HostedBrowser&, Pages&)> act;
  const char* events;    // the sequence (see EventSink::Sequence)
  const char* location;  // LocationURL afterwards ("" to skip; "%" is the pages folder, "@" the server)
  std::vector<LONG> errors = {};  // the StatusCode of each NavigateError
  const char* title = "";         // LocationName afterwards ("" to skip)
};

const char kCommit[] =
    "BeforeNavigate2@0 DownloadBegin@1 NavigateComplete2@1 TitleChange@1 DownloadComplete@4 DocumentComplete@4";
const char kCommitAgain[] =
    "BeforeNavigate2@4 DownloadBegin@1 NavigateComplete2@1 TitleChange@1 DownloadComplete@4 DocumentComplete@4";

void Go(HostedBrowser& b, const std::string& url) {
  ASSERT_EQ(S_OK, b.Navigate(url));
  EXPECT_TRUE(b.RunUntilIdle());
}
// The case proper begins with a clean record (after a first page when it needs one).
void FirstPage(HostedBrowser& b, Pages& p) {
  Go(b, p.dir + "/a.html");
  b.sink.events.clear();
}

std::string Expand(std::string s, const Pages& p) {
  size_t at = s.find('%');
  if (at != std::string::npos) s.replace(at, 1, p.dir);
  at = s.find('@');
  if (at != std::string::npos) s.replace(at, 1, p.server.Url(""));
  return s;
}

const char kErrorCommit[] =
    "BeforeNavigate2@0 DownloadBegin@1 NavigateError@1 NavigateComplete2@1 TitleChange@1 DownloadComplete@4 "
    "DocumentComplete@4";
const std::string kRefused = "http://127.0.0.1:" + std::to_string(kvtest::HttpServer::RefusedPort()) + "/x";

TEST(BrowserNavigation, SequencesOfEachCase) {
  const Case cases[] = {
      {"about:blank", [](HostedBrowser& b, Pages&) { Go(b, "about:blank"); }, kCommit, "about:blank"},
      {"POSIX path", [](HostedBrowser& b, Pages& p) { Go(b, p.dir + "/a.html"); }, kCommit, "file://%/a.html"},
      {"drive path", [](HostedBrowser& b, Pages&) { Go(b, "c:\\d\\c.html"); }, kCommit, "file:///c:/d/c.html"},
      {"file URL", [](HostedBrowser& b, Pages& p) { Go(b, "file://" + p.dir + "/b.html"); }, kCommit,
       "file://%/b.html"},
      {"frames, each after the top's walk", [](HostedBrowser& b, Pages& p) { Go(b, p.dir + "/frames.html"); },
       "BeforeNavigate2@0 DownloadBegin@1 NavigateComplete2@1 TitleChange@1 BeforeNavigate2@3 NavigateComplete2@3 "
       "DocumentComplete@3 BeforeNavigate2@3 NavigateError@3 NavigateComplete2@3 DocumentComplete@3 DownloadComplete@4 "
       "DocumentComplete@4",
       "file://%/frames.html", {static_cast<LONG>(0x800C0005)}},
      {"nested frames, depth first, each frame complete after its own",
       [](HostedBrowser& b, Pages& p) { Go(b, p.dir + "/nested.html"); },
       "BeforeNavigate2@0 DownloadBegin@1 NavigateComplete2@1 TitleChange@1 BeforeNavigate2@3 NavigateComplete2@3 "
       "BeforeNavigate2@3 NavigateComplete2@3 DocumentComplete@3 DocumentComplete@3 BeforeNavigate2@3 "
       "NavigateComplete2@3 DocumentComplete@3 DownloadComplete@4 DocumentComplete@4",
       "file://%/nested.html"},
      {"navigating a frame that holds frames drops them",
       [](HostedBrowser& b, Pages& p) {
         IWebBrowser2* outer = nullptr;
         b.sink.OnEvent = [&outer](DISPID id, DISPPARAMS* dp) {
           if (id == DISPID_BEFORENAVIGATE2 && !outer && Text(&dp->rgvarg[3]) == "outer")
             dp->rgvarg[6].pdispVal->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&outer));
         };
         Go(b, p.dir + "/nested.html");
         b.sink.OnEvent = nullptr;
         b.sink.events.clear();
         ASSERT_NE(nullptr, outer);
         BSTR u = SysAllocString(u"a.html");
         ASSERT_EQ(S_OK, outer->Navigate(u, nullptr, nullptr, nullptr, nullptr));
         SysFreeString(u);
         b.Run();
         char dump[4096];
         IHTMLDocument2* doc = b.Document();
         KvBrowserDomDump(doc, dump, sizeof dump);
         doc->Release();
         EXPECT_EQ(std::string::npos, std::string(dump).find("\"M\""));  // mid.html is gone
         EXPECT_NE(std::string::npos, std::string(dump).find("\"Page A\""));
         outer->Release();
       },
       "BeforeNavigate2@4 NavigateComplete2@4 DocumentComplete@4", "file://%/nested.html"},
      {"directory", [](HostedBrowser& b, Pages& p) { Go(b, p.dir); },
       "BeforeNavigate2@0 DownloadBegin@1 NavigateComplete2@1 DownloadComplete@4 DocumentComplete@4", "file://%"},
      {"missing file (refused)", [](HostedBrowser& b, Pages& p) { Go(b, p.dir + "/none.html"); },
       "BeforeNavigate2@0 DownloadBegin@1 NavigateError@1 NavigateComplete2@1 TitleChange@1 DownloadComplete@4 "
       "DocumentComplete@4",
       "file://%/none.html", {static_cast<LONG>(0x800C0005)}},
      {"http", [](HostedBrowser& b, Pages& p) { Go(b, p.server.Url("/page")); }, kCommit, "@/page", {}, "Web"},
      {"http 404: the body commits", [](HostedBrowser& b, Pages& p) { Go(b, p.server.Url("/missing")); },
       kErrorCommit, "@/missing", {404}, "Gone"},
      {"http 500 without a body: the built-in error document",
       [](HostedBrowser& b, Pages& p) { Go(b, p.server.Url("/broken")); }, kErrorCommit, "@/broken", {500}},
      {"refused connection", [](HostedBrowser& b, Pages&) { Go(b, kRefused); }, kErrorCommit, kRefused.c_str(),
       {static_cast<LONG>(0x800C0005)}},
      {"302 chain: a cookie set on a hop goes with the next request",
       [](HostedBrowser& b, Pages& p) {
         Go(b, p.server.Url("/login"));
         auto requests = p.server.Requests();
         ASSERT_EQ(3u, requests.size());
         EXPECT_EQ("", requests[0].Header("Cookie"));
         EXPECT_EQ("Quabo_is_login=true", requests[1].Header("Cookie"));
         EXPECT_EQ("Quabo_is_login=true", requests[2].Header("Cookie"));
       },
       kCommit, "@/home", {}, "Home"},
      {"redirected over 20 times", [](HostedBrowser& b, Pages& p) { Go(b, p.server.Url("/loop")); }, kErrorCommit,
       "@/loop", {static_cast<LONG>(0x800C0008)}},
      {"a reply cut short", [](HostedBrowser& b, Pages& p) { Go(b, p.server.Url("/cut")); }, kErrorCommit, "@/cut",
       {static_cast<LONG>(0x800C0008)}},
      {"navigating inside NavigateError of an http error",
       [](HostedBrowser& b, Pages& p) {
         b.sink.OnEvent = [&b, &p](DISPID id, DISPPARAMS*) {
           if (id == DISPID_NAVIGATEERROR) b.Navigate(p.server.Url("/page"));
         };
         Go(b, p.server.Url("/missing"));
       },
       "BeforeNavigate2@0 DownloadBegin@1 NavigateError@1 BeforeNavigate2@1 DownloadBegin@1 NavigateComplete2@1 "
       "TitleChange@1 DownloadComplete@4 DocumentComplete@4",
       "@/page", {404}, "Web"},
      {"a stalled server: the host's wait times out on the virtual clock, then it stops",
       [](HostedBrowser& b, Pages& p) {
         KvClockSetVirtual(TRUE);
         ASSERT_EQ(S_OK, b.Navigate(p.server.Url("/stall")));
         const DWORD v0 = KvClockNow();
         const auto r0 = std::chrono::steady_clock::now();
         EXPECT_FALSE(b.RunUntil([] { return false; }, 400));
         const auto real =
             std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - r0).count();
         // Virtual time never outran real time while the transfer was live.
         EXPECT_GE(KvClockNow() - v0, 400u);
         EXPECT_GE(real + 20, 400);
         LONG state = 0;
         b.browser->get_ReadyState(&state);
         EXPECT_EQ(1, state);
         ASSERT_EQ(S_OK, b.browser->Stop());
         b.Run();
         KvClockSetVirtual(FALSE);
       },
       "BeforeNavigate2@0 DownloadBegin@1 DownloadComplete@0", ""},
      {"cancel in NavigateError",
       [](HostedBrowser& b, Pages& p) {
         FirstPage(b, p);
         b.sink.OnEvent = [](DISPID id, DISPPARAMS* dp) {
           if (id == DISPID_NAVIGATEERROR) *dp->rgvarg[0].pboolVal = VARIANT_TRUE;
         };
         Go(b, p.dir + "/none.html");
       },
       "BeforeNavigate2@4 DownloadBegin@1 NavigateError@1 DownloadComplete@4", "file://%/a.html", {static_cast<LONG>(0x800C0005)}},
      {"cancel in BeforeNavigate2",
       [](HostedBrowser& b, Pages& p) {
         FirstPage(b, p);
         b.sink.OnEvent = [](DISPID id, DISPPARAMS* dp) {
           if (id == DISPID_BEFORENAVIGATE2) *dp->rgvarg[0].pboolVal = VARIANT_TRUE;
         };
         Go(b, p.dir + "/b.html");
       },
       "BeforeNavigate2@4", "file://%/a.html"},
      {"back and forward",
       [](HostedBrowser& b, Pages& p) {
         EXPECT_EQ(E_FAIL, b.browser->GoBack());
         Go(b, p.dir + "/a.html");
         Go(b, p.dir + "/b.html");
         b.sink.events.clear();
         EXPECT_EQ(E_FAIL, b.browser->GoForward());
         ASSERT_EQ(S_OK, b.browser->GoBack());
         b.Run();
         EXPECT_EQ(Expand("file://%/a.html", p), b.LocationUrl());
         ASSERT_EQ(S_OK, b.browser->GoForward());
         b.Run();
       },
       "BeforeNavigate2@4 DownloadBegin@1 NavigateComplete2@1 TitleChange@1 DownloadComplete@4 DocumentComplete@4 "
       "BeforeNavigate2@4 DownloadBegin@1 NavigateComplete2@1 TitleChange@1 DownloadComplete@4 DocumentComplete@4",
       "file://%/b.html"},
      {"refresh",
       [](HostedBrowser& b, Pages& p) {
         FirstPage(b, p);
         ASSERT_EQ(S_OK, b.browser->Refresh());
         b.Run();
       },
       "DownloadBegin@1 TitleChange@1 DownloadComplete@4", "file://%/a.html"},
      {"stop before the transfer",
       [](HostedBrowser& b, Pages& p) {
         FirstPage(b, p);
         ASSERT_EQ(S_OK, b.Navigate(p.dir + "/b.html"));
         ASSERT_EQ(S_OK, b.browser->Stop());
         b.Run();
         LONG state = 0;
         b.browser->get_ReadyState(&state);
         EXPECT_EQ(4, state);
       },
       "BeforeNavigate2@4", "file://%/a.html"},
      {"stop inside DownloadBegin",
       [](HostedBrowser& b, Pages& p) {
         b.sink.OnEvent = [&b](DISPID id, DISPPARAMS*) {
           if (id == DISPID_DOWNLOADBEGIN) b.browser->Stop();
         };
         Go(b, p.dir + "/b.html");
         LONG state = -1;
         b.browser->get_ReadyState(&state);
         EXPECT_EQ(0, state);  // no document yet
       },
       "BeforeNavigate2@0 DownloadBegin@1 DownloadComplete@0", ""},
      {"navigating inside NavigateError",
       [](HostedBrowser& b, Pages& p) {
         b.sink.OnEvent = [&b, &p](DISPID id, DISPPARAMS*) {
           if (id == DISPID_NAVIGATEERROR) b.Navigate(p.dir + "/b.html");
         };
         Go(b, p.dir + "/none.html");
       },
       "BeforeNavigate2@0 DownloadBegin@1 NavigateError@1 BeforeNavigate2@1 DownloadBegin@1 NavigateComplete2@1 "
       "TitleChange@1 DownloadComplete@4 DocumentComplete@4",
       "file://%/b.html", {static_cast<LONG>(0x800C0005)}},
      {"navigating inside DocumentComplete",
       [](HostedBrowser& b, Pages& p) {
         bool once = false;
         b.sink.OnEvent = [&b, &p, once](DISPID id, DISPPARAMS*) mutable {
           if (id == DISPID_DOCUMENTCOMPLETE && !once) {
             once = true;
             b.Navigate(p.dir + "/b.html");
           }
         };
         Go(b, p.dir + "/a.html");
       },
       "BeforeNavigate2@0 DownloadBegin@1 NavigateComplete2@1 TitleChange@1 DownloadComplete@4 DocumentComplete@4 "
       "BeforeNavigate2@4 DownloadBegin@1 NavigateComplete2@1 TitleChange@1 DownloadComplete@4 DocumentComplete@4",
       "file://%/b.html"},
      {"navigating inside BeforeNavigate2",
       [](HostedBrowser& b, Pages& p) {
         bool once = false;
         b.sink.OnEvent = [&b, &p, once](DISPID id, DISPPARAMS*) mutable {
           if (id == DISPID_BEFORENAVIGATE2 && !once) {
             once = true;
             b.Navigate(p.dir + "/b.html");
           }
         };
         Go(b, p.dir + "/a.html");
       },
       "BeforeNavigate2@0 BeforeNavigate2@0 DownloadBegin@1 NavigateComplete2@1 TitleChange@1 DownloadComplete@4 "
       "DocumentComplete@4",
       "file://%/b.html"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pages pages;
    HostedBrowser b;
    ASSERT_NE(nullptr, b.browser);
    c.act(b, pages);
    EXPECT_EQ(c.events, b.sink.Sequence());
    if (*c.location) {
      EXPECT_EQ(Expand(c.location, pages), b.LocationUrl());
    }
    EXPECT_EQ(c.errors, b.sink.errors);
    if (*c.title) {
      BSTR name = nullptr;
      b.browser->get_LocationName(&name);
      EXPECT_EQ(c.title, kv::WideToUtf8(kv::BstrText(name)));
      SysFreeString(name);
    }
    b.sink.OnEvent = nullptr;
  }
}

TEST(BrowserNavigation, EventArgumentsAndWindows) {
  Pages pages;
  HostedBrowser b;
  std::string before_url, complete_url;
  IDispatch* pdisp = nullptr;
  LONG error_code = 0;
  b.sink.OnEvent = [&](DISPID id, DISPPARAMS* dp) {
    if (id == DISPID_BEFORENAVIGATE2) before_url = Text(&dp->rgvarg[5]);
    if (id == DISPID_DOCUMENTCOMPLETE) {
      complete_url = Text(&dp->rgvarg[0]);
      pdisp = dp->rgvarg[1].pdispVal;
    }
    if (id == DISPID_NAVIGATEERROR) error_code = dp->rgvarg[1].pvarVal->lVal;
  };
  Go(b, pages.dir + "/a.html");
  EXPECT_EQ("file://" + pages.dir + "/a.html", before_url);
  EXPECT_EQ(before_url, complete_url);
  // pDisp is the pointer QueryInterface(IID_IWebBrowser2) gives.
  EXPECT_EQ(static_cast<IDispatch*>(b.browser), pdisp);
  EXPECT_NE(nullptr, b.FindChild(u"Internet Explorer_Server"));
  BSTR name = nullptr;
  b.browser->get_LocationName(&name);
  EXPECT_EQ(u"Page A", kv::BstrText(name));
  SysFreeString(name);

  Go(b, pages.dir + "/none.html");
  EXPECT_EQ(static_cast<LONG>(0x800C0005), error_code);

  // The folder view: a list window, and a Document that is no HTML document.
  Go(b, pages.dir);
  EXPECT_NE(nullptr, b.FindChild(u"SysListView32"));
  EXPECT_EQ(nullptr, b.FindChild(u"Internet Explorer_Server"));
  IDispatch* doc = nullptr;
  ASSERT_EQ(S_OK, b.browser->get_Document(&doc));
  ASSERT_NE(nullptr, doc);
  IHTMLDocument2* html = nullptr;
  EXPECT_EQ(E_NOINTERFACE, doc->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html)));
  doc->Release();
  HWND list = b.FindChild(u"SysListView32");
  EXPECT_EQ(6, static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)));  // sub/ and five pages
  b.sink.OnEvent = nullptr;
}

TEST(BrowserNavigation, FramesHaveBrowsersOfTheirOwn) {
  Pages pages;
  HostedBrowser b;
  std::vector<IDispatch*> sources;
  std::vector<std::string> frame_names;
  b.sink.OnEvent = [&](DISPID id, DISPPARAMS* dp) {
    if (id == DISPID_DOCUMENTCOMPLETE) sources.push_back(dp->rgvarg[1].pdispVal);
    if (id == DISPID_BEFORENAVIGATE2) frame_names.push_back(Text(&dp->rgvarg[3]));
  };
  Go(b, pages.dir + "/frames.html");
  ASSERT_EQ(3u, sources.size());
  EXPECT_EQ((std::vector<std::string>{"", "one", ""}), frame_names);
  EXPECT_NE(static_cast<IDispatch*>(b.browser), sources[0]);  // the frames' own objects
  EXPECT_EQ(static_cast<IDispatch*>(b.browser), sources[2]);  // then the top
  IWebBrowser2* frame = nullptr;
  ASSERT_EQ(S_OK, sources[0]->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&frame)));
  EXPECT_EQ(static_cast<IDispatch*>(frame), sources[0]);
  BSTR name = nullptr;
  frame->get_LocationName(&name);
  EXPECT_EQ(u"Page B", kv::BstrText(name));
  SysFreeString(name);
  LONG state = 0;
  frame->get_ReadyState(&state);
  EXPECT_EQ(4, state);

  // A later navigation inside the frame fires only the frame's events.
  b.sink.events.clear();
  sources.clear();
  std::u16string url = kv::Utf8ToWide("a.html");
  BSTR u = SysAllocString(url.c_str());
  ASSERT_EQ(S_OK, frame->Navigate(u, nullptr, nullptr, nullptr, nullptr));
  SysFreeString(u);
  b.Run();
  EXPECT_EQ("BeforeNavigate2@4 NavigateComplete2@4 DocumentComplete@4", b.sink.Sequence());
  ASSERT_EQ(1u, sources.size());
  EXPECT_EQ(static_cast<IDispatch*>(frame), sources[0]);
  EXPECT_EQ(pages.dir.empty() ? "" : "file://" + pages.dir + "/frames.html", b.LocationUrl());

  // Leaving the page detaches the frame's object.
  b.sink.OnEvent = nullptr;
  Go(b, "about:blank");
  IDispatch* doc = reinterpret_cast<IDispatch*>(1);
  frame->get_Document(&doc);
  EXPECT_EQ(nullptr, doc);
  EXPECT_EQ(E_UNEXPECTED, frame->Refresh());
  frame->Release();
}

TEST(BrowserNavigation, ReleaseInsideAnEventNeverUsesTheFreedControl) {
  Pages pages;
  CoInitialize(nullptr);
  for (DISPID at : {DISPID_BEFORENAVIGATE2, DISPID_DOWNLOADBEGIN, DISPID_NAVIGATECOMPLETE2, DISPID_DOCUMENTCOMPLETE}) {
    SCOPED_TRACE(at);
    IWebBrowser2* browser = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2,
                                     reinterpret_cast<void**>(&browser)));
    kvtest::EventSink sink;
    IConnectionPointContainer* cpc = nullptr;
    browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
    IConnectionPoint* cp = nullptr;
    cpc->FindConnectionPoint(DIID_DWebBrowserEvents2, &cp);
    cpc->Release();
    DWORD cookie = 0;
    cp->Advise(static_cast<IDispatch*>(&sink), &cookie);
    cp->Release();
    bool released = false;
    sink.OnEvent = [&](DISPID id, DISPPARAMS*) {
      if (id == at && !released) {
        released = true;
        IOleObject* ole = nullptr;
        browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
        ole->Close(OLECLOSE_NOSAVE);
        ole->Release();
        browser->Release();  // the last reference
      }
    };
    std::u16string url = kv::Utf8ToWide(pages.dir + "/a.html");
    BSTR b = SysAllocString(url.c_str());
    browser->Navigate(b, nullptr, nullptr, nullptr, nullptr);
    SysFreeString(b);
    while (KvPumpMessages() > 0) {
    }
    EXPECT_TRUE(released);
    // Nothing after the close.
    EXPECT_EQ(kvtest::EventSink::Name(at), sink.events.back().substr(0, sink.events.back().find('@')));
  }
  CoUninitialize();
}

}  // namespace
