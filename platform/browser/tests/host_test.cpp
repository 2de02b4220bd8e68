// Calls on the host: ambient properties, host information, key translation first, the
// refresh commands, context menus, URL translation and the explorer notices.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/browser/loader.h"
#include "platform/browser/task.h"
#include "platform/registry/registry.h"
#include "testsupport/browser_site.h"
#include "testsupport/temp_home.h"

namespace {

using kvtest::HostedBrowser;

std::string PageIn(kvtest::TempHome& home, const std::string& html) {
  std::string path = home.path() + "/p.html";
  kvtest::WriteFile(path, html);
  return path;
}

// Shows `html` from a file of the home in `b`.
void Show(HostedBrowser& b, kvtest::TempHome& home, const std::string& html) {
  ASSERT_EQ(S_OK, b.Navigate(PageIn(home, html)));
  b.Run();
}

int IndexOf(const std::vector<std::string>& calls, const std::string& what, size_t from = 0) {
  for (size_t i = from; i < calls.size(); ++i)
    if (calls[i] == what) return static_cast<int>(i);
  return -1;
}

// An http loader standing in for the internet layer: it records each request and fails it.
std::vector<kv::browser::LoadRequest> g_requests;
class RecordingLoad : public kv::browser::Load {
 public:
  explicit RecordingLoad(kv::browser::LoadEvents* events) : alive_(std::make_shared<bool>(true)) {
    auto alive = alive_;
    kv::browser::PostTask([alive, events]() {
      if (*alive) events->OnFailure(INET_E_RESOURCE_NOT_FOUND);
    });
  }
  ~RecordingLoad() override { Cancel(); }
  void Cancel() override { *alive_ = false; }

 private:
  std::shared_ptr<bool> alive_;
};
std::unique_ptr<kv::browser::Load> RecordRequest(const kv::browser::LoadRequest& r, kv::browser::LoadEvents* e) {
  g_requests.push_back(r);
  return std::make_unique<RecordingLoad>(e);
}

TEST(BrowserHost, AmbientUserAgentAndDownloadFlags) {
  HostedBrowser b;
  kv::browser::SetHttpLoader(RecordRequest);
  struct Case {
    const char16_t* agent;
    const char* sent;  // "" is the internet layer's default
  } cases[] = {
      {u"Agent/1.0\r\n", "Agent/1.0"},  // the trailing CR LF is dropped
      {u"Agent/1.0", "Agent/1.0"},
      {u"Agent/1.0\r\nX-Injected: 1", ""},  // a line break inside is refused
      {u"Agent\n1.0", ""},
  };
  for (const auto& c : cases) {
    g_requests.clear();
    b.site->calls.clear();
    b.site->OnAmbient = [&](DISPID id) {
      VARIANT v;
      VariantInit(&v);
      if (id == -5513) {
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocString(c.agent);
      } else if (id == -5512) {
        v.vt = VT_I4;
        v.lVal = 0xF80;
      }
      return v;
    };
    ASSERT_EQ(S_OK, b.Navigate("http://127.0.0.1/page"));
    b.Run();
    ASSERT_EQ(1u, g_requests.size());
    EXPECT_EQ(c.sent, g_requests[0].user_agent);
    // All three ambient properties are read at the navigation's start.
    for (const char* a : {"Ambient -5512", "Ambient -5513", "Ambient -709"})
      EXPECT_LE(0, IndexOf(b.site->calls, a)) << a;
  }
  kv::browser::SetHttpLoader(nullptr);
}

TEST(BrowserHost, HostInfoUrlTranslationAndNotices) {
  kvtest::TempHome home;
  std::string page = PageIn(home, "<title>T</title>text");
  HostedBrowser b;
  b.site->OnTranslateUrl = [&](const std::u16string& in, LPWSTR* out) {
    if (in != u"about:moved") return S_FALSE;
    std::u16string target = kv::Utf8ToWide("file://" + page);
    *out = static_cast<LPWSTR>(CoTaskMemAlloc((target.size() + 1) * sizeof(WCHAR)));
    std::copy(target.c_str(), target.c_str() + target.size() + 1, *out);
    return S_OK;
  };
  ASSERT_EQ(S_OK, b.Navigate("about:first"));
  b.Run();
  b.site->calls.clear();
  ASSERT_EQ(S_OK, b.Navigate("about:moved"));
  b.Run();
  EXPECT_EQ("file://" + page, b.LocationUrl());
  const auto& calls = b.site->calls;
  // TranslateUrl before the navigation; the old document's notice, GetHostInfo before the
  // new one, and the commit notice after it.
  int translate = IndexOf(calls, "TranslateUrl"), exec37 = IndexOf(calls, "Exec 37"),
      host_info = IndexOf(calls, "GetHostInfo"), exec39 = IndexOf(calls, "Exec 39");
  EXPECT_EQ(0 <= translate && translate < exec37 && exec37 < host_info && host_info < exec39, true)
      << translate << " " << exec37 << " " << host_info << " " << exec39;
}

TEST(BrowserHost, HostInfoFlagsShapeTheDocumentWindow) {
  kvtest::TempHome home;
  std::string page = PageIn(home, "<title>T</title>text");
  HostedBrowser b;  // one browser: each commit applies the flags of its GetHostInfo
  struct Case {
    DWORD flags;
    bool scroll_bar, border;
  } cases[] = {{0x44000, true, true}, {0x8, false, true}, {0x4, true, false}, {0xC, false, false}, {0, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    b.site->OnGetHostInfo = [&](DOCHOSTUIINFO* info) {
      info->dwFlags = c.flags;
      return S_OK;
    };
    ASSERT_EQ(S_OK, b.Navigate(page));
    b.Run();
    HWND doc = b.FindChild(u"Internet Explorer_Server");
    ASSERT_NE(nullptr, doc);
    EXPECT_EQ(c.scroll_bar, (GetWindowLongPtrW(doc, GWL_STYLE) & WS_VSCROLL) != 0);
    EXPECT_EQ(c.border, (GetWindowLongPtrW(doc, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0);
    if (c.scroll_bar) {  // the document never scrolls: its bar shows disabled
      SCROLLBARINFO bar{};
      bar.cbSize = sizeof bar;
      ASSERT_TRUE(GetScrollBarInfo(doc, OBJID_VSCROLL, &bar));
      EXPECT_NE(bar.rgstate[0] & STATE_SYSTEM_UNAVAILABLE, 0u);
    }
    RECT window{}, client{};
    GetWindowRect(doc, &window);
    GetClientRect(doc, &client);
    int frame = (c.border ? 2 * GetSystemMetrics(SM_CXEDGE) : 0) + (c.scroll_bar ? GetSystemMetrics(SM_CXVSCROLL) : 0);
    EXPECT_EQ(window.right - window.left - frame, client.right);
  }
}

TEST(BrowserHost, KeysReachTranslateAcceleratorFirst) {
  kvtest::TempHome home;
  std::string page = PageIn(home, "<title>T</title><body id=b>text</body>");
  HostedBrowser b;
  ASSERT_EQ(S_OK, b.Navigate(page));
  b.Run();
  b.UIActivate();
  ASSERT_EQ(b.FindChild(u"Internet Explorer_Server"), GetFocus());

  // Ctrl+N: the host's TranslateAccelerator sees both key downs before anything else.
  b.site->calls.clear();
  b.sink.events.clear();
  b.Press('N', true);
  ASSERT_LE(2u, b.site->calls.size());
  EXPECT_EQ("TranslateAccelerator 256 17", b.site->calls[0]);
  EXPECT_EQ("TranslateAccelerator 256 78", b.site->calls[1]);
  EXPECT_TRUE(b.sink.events.empty());  // refused: no window, no navigation

  // F5 asks Exec 6041; a host answering S_OK cancels the refresh.
  for (HRESULT answer : {S_OK, OLECMDERR_E_NOTSUPPORTED}) {
    b.site->calls.clear();
    b.sink.events.clear();
    b.site->OnExec = [answer](const GUID* group, DWORD id, VARIANT*, VARIANT*) {
      return group && IsEqualGUID(*group, CGID_DocHostCommandHandler) && id == 6041 ? answer : OLECMDERR_E_NOTSUPPORTED;
    };
    b.Press(VK_F5);
    EXPECT_LE(0, IndexOf(b.site->calls, "Exec 6041"));
    bool refreshed = std::find(b.sink.events.begin(), b.sink.events.end(), "DownloadBegin@1") != b.sink.events.end();
    EXPECT_EQ(answer != S_OK, refreshed);
  }
  // A host that swallows a key: nothing else sees it.
  b.site->OnTranslateAccelerator = [](MSG* msg, const GUID*, DWORD) { return msg->wParam == VK_F5 ? S_OK : S_FALSE; };
  b.site->calls.clear();
  b.Press(VK_F5);
  EXPECT_EQ(-1, IndexOf(b.site->calls, "Exec 6041"));
}

TEST(BrowserHost, ContextMenuKinds) {
  kvtest::TempHome home;
  std::string page = PageIn(home, "<body><p id=t>plain text</p><a id=l href=x.html>a link</a> <input id=i></body>");
  HostedBrowser b;
  ASSERT_EQ(S_OK, b.Navigate(page));
  b.Run();
  std::vector<DWORD> kinds;
  b.site->OnShowContextMenu = [&](DWORD kind, POINT*, IUnknown* target, IDispatch* element) {
    kinds.push_back(kind);
    EXPECT_NE(nullptr, target);
    EXPECT_NE(nullptr, element);
    return S_OK;
  };
  b.RightClick(u"l");
  b.RightClick(u"t");
  b.RightClick(u"i");
  EXPECT_EQ((std::vector<DWORD>{5, 0, 2}), kinds);
}

std::string Copied(DWORD (*copy)(char*, DWORD)) {
  std::string text(copy(nullptr, 0) + 1, '\0');
  text.resize(copy(text.data(), static_cast<DWORD>(text.size())));
  return text;
}

TEST(BrowserHost, RecordersOfEventsHostCallsAndTheDom) {
  kvtest::TempHome home;
  std::string page = PageIn(home,
                            "<title>Form</title><form name=f><input id=t name=user value=\"li\">"
                            "<input type=checkbox name=keep checked><select name=s><option>a<option selected>b</select>"
                            "<textarea name=note>hi</textarea><div style=\"display:none\">secret</div></form>");
  HostedBrowser b;
  b.sink.OnEvent = [](DISPID id, DISPPARAMS* dp) {
    if (id == DISPID_BEFORENAVIGATE2) *dp->rgvarg[0].pboolVal = VARIANT_TRUE;  // read back after the sink
  };
  KvBrowserEventLogClear();
  KvBrowserHostCallLogClear();
  ASSERT_EQ(S_OK, b.Navigate("about:nowhere"));
  b.Run();
  EXPECT_EQ("BeforeNavigate2(top, \"about:nowhere\", 0, \"\", empty, \"\", true)\n", Copied(KvBrowserEventLog));
  EXPECT_EQ("Ambient -5512 -> 0x80020003\nAmbient -5513 -> 0x80020003\nAmbient -709 -> 0x80020003\n"
            "TranslateUrl -> 0x00000001\n",
            Copied(KvBrowserHostCallLog));

  b.sink.OnEvent = nullptr;
  ASSERT_EQ(S_OK, b.Navigate(page));
  b.Run();
  IHTMLDocument2* doc = b.Document();
  ASSERT_NE(nullptr, doc);
  IHTMLElement* t = b.ById(u"t");
  IHTMLInputElement* input = nullptr;
  t->QueryInterface(IID_IHTMLInputElement, reinterpret_cast<void**>(&input));
  BSTR v = SysAllocString(u"wang");
  input->put_value(v);
  SysFreeString(v);
  input->Release();
  t->Release();
  std::string dump(KvBrowserDomDump(doc, nullptr, 0) + 1, '\0');
  dump.resize(KvBrowserDomDump(doc, dump.data(), static_cast<DWORD>(dump.size())));
  doc->Release();
  EXPECT_EQ(
      "html\n"
      "  head\n"
      "    title\n"
      "      \"Form\"\n"
      "  body\n"
      "    form name=\"f\"\n"
      "      input#t name=\"user\" type=text value=\"wang\"\n"
      "      input name=\"keep\" type=checkbox checked\n"
      "      select name=\"s\" selected=1\n"
      "        option\n"
      "          \"a\"\n"
      "        option\n"
      "          \"b\"\n"
      "      textarea name=\"note\" value=\"hi\"\n"
      "      div hidden\n"
      "        \"secret\"\n",
      dump);
  // Not one of our documents: nothing.
  char none[8] = "x";
  EXPECT_EQ(0u, KvBrowserDomDump(static_cast<IOleClientSite*>(b.site), none, sizeof none));
  EXPECT_STREQ("", none);
}

class BehaviorInit final : public IHostBehaviorInit {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    *object = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IHostBehaviorInit) ? this : nullptr;
    if (!*object) return E_NOINTERFACE;
    return S_OK;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT PopulateNamespaceTable() override { return S_OK; }
};

TEST(BrowserHost, HostBehaviorInitOncePerDocument) {
  kvtest::TempHome home;
  kvtest::WriteFile(home.path() + "/inner.html", "<title>I</title>inner");
  std::string page = PageIn(home, "<title>T</title><iframe src=inner.html></iframe>");
  HostedBrowser b;
  BehaviorInit init;
  b.site->OnQueryService = [&](REFGUID service, REFIID riid, void** object) {
    if (!IsEqualIID(service, IID_IHostBehaviorInit)) return E_NOINTERFACE;
    return init.QueryInterface(riid, object);
  };
  KvBrowserHostCallLogClear();
  ASSERT_EQ(S_OK, b.Navigate(page));
  b.Run();
  std::string log = Copied(KvBrowserHostCallLog);
  std::vector<std::string> calls;
  for (size_t start = 0, end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = log.substr(start, end - start);
    if (line.rfind("Ambient", 0) != 0 && line.rfind("Exec", 0) != 0 && line.rfind("TranslateUrl", 0) != 0)
      calls.push_back(line);
  }
  // The top document after its host information, then the frame's.
  EXPECT_EQ((std::vector<std::string>{"GetHostInfo -> 0x00000000", "QueryService IHostBehaviorInit -> 0x00000000",
                                      "PopulateNamespaceTable -> 0x00000000",
                                      "QueryService IHostBehaviorInit -> 0x00000000",
                                      "PopulateNamespaceTable -> 0x00000000"}),
            calls);
}

class WindowServices final : public IHTMLOMWindowServices {
 public:
  std::vector<std::string> calls;
  HRESULT QueryInterface(REFIID riid, void** object) override {
    *object = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IHTMLOMWindowServices) ? this : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT moveTo(LONG x, LONG y) override { return Note("moveTo", x, y); }
  HRESULT moveBy(LONG x, LONG y) override { return Note("moveBy", x, y); }
  HRESULT resizeTo(LONG x, LONG y) override { return Note("resizeTo", x, y); }
  HRESULT resizeBy(LONG x, LONG y) override { return Note("resizeBy", x, y); }

 private:
  HRESULT Note(const char* what, LONG x, LONG y) {
    calls.push_back(std::string(what) + " " + std::to_string(x) + " " + std::to_string(y));
    return S_OK;
  }
};

// The page's window moved or resized by name (as a script calls it): the host's window
// services, else the WindowSet* events with the top-level window's new place.
TEST(BrowserHost, WindowMovesGoToTheHostsServicesElseEvents) {
  kvtest::TempHome home;
  HostedBrowser b;
  Show(b, home, "<title>T</title>text");
  SetWindowPos(b.window, nullptr, 100, 50, 416, 340, SWP_NOZORDER);
  IHTMLDocument2* doc = b.Document();
  IHTMLWindow2* window = nullptr;
  ASSERT_EQ(S_OK, doc->get_parentWindow(&window));
  doc->Release();
  auto call = [&](const char16_t* name, LONG x, LONG y) {
    DISPID id = 0;
    LPOLESTR n = const_cast<LPOLESTR>(name);
    EXPECT_EQ(S_OK, window->GetIDsOfNames(IID_NULL, &n, 1, 0, &id));
    VARIANT args[2];
    args[1].vt = VT_I4;
    args[1].lVal = x;
    args[0].vt = VT_I4;
    args[0].lVal = y;
    DISPPARAMS dp{args, nullptr, 2, 0};
    EXPECT_EQ(S_OK, window->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr));
  };
  struct Case {
    const char16_t* method;
    const char* events;   // without window services
    const char* service;  // with them
  } cases[] = {
      {u"moveTo", "WindowSetLeft(10)\nWindowSetTop(20)\n", "moveTo 10 20"},
      {u"moveBy", "WindowSetLeft(110)\nWindowSetTop(70)\n", "moveBy 10 20"},
      {u"resizeTo", "WindowSetWidth(10)\nWindowSetHeight(20)\n", "resizeTo 10 20"},
      {u"resizeBy", "WindowSetWidth(426)\nWindowSetHeight(360)\n", "resizeBy 10 20"},
  };
  WindowServices services;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.service);
    b.site->OnQueryService = nullptr;
    KvBrowserEventLogClear();
    call(c.method, 10, 20);
    EXPECT_EQ(c.events, Copied(KvBrowserEventLog));
    b.site->OnQueryService = [&](REFGUID service, REFIID riid, void** object) {
      return IsEqualIID(service, IID_IHTMLOMWindowServices) ? services.QueryInterface(riid, object) : E_NOINTERFACE;
    };
    services.calls.clear();
    KvBrowserEventLogClear();
    call(c.method, 10, 20);
    EXPECT_EQ(std::vector<std::string>{c.service}, services.calls);
    EXPECT_EQ("", Copied(KvBrowserEventLog));
  }
  b.site->OnQueryService = nullptr;
  window->Release();
}

TEST(BrowserHost, NavigationSoundsWhileTheSoundIsSetAndNotTurnedOff) {
  kvtest::TempHome home;
  KvRegistryReload();
  HostedBrowser b;
  struct Case {
    bool sound_set, feature_off;
    const char* log;
  } cases[] = {{false, false, ""}, {true, false, "navigating about:x\n"}, {true, true, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.log);
    if (c.sound_set) {
      HKEY key = nullptr;
      ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, u"AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current",
                                               0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
      RegCloseKey(key);
    }
    CoInternetSetFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS, SET_FEATURE_ON_PROCESS, c.feature_off);
    KvBrowserSoundLogClear();
    ASSERT_EQ(S_OK, b.Navigate("about:x"));
    b.Run();
    ASSERT_EQ(S_OK, b.browser->Refresh());  // a refresh is no navigation start
    b.Run();
    EXPECT_EQ(c.log, Copied(KvBrowserSoundLog));
  }
  CoInternetSetFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS, SET_FEATURE_ON_PROCESS, FALSE);
  KvRegistryReload();
}

}  // namespace
