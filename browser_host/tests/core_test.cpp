// The browser control core on a framework form: its host answers with no handlers and
// with them, the flag words, the keys it swallows, the script-error answers, context
// menus, commands, services, drop handling, the ambient properties, the events of a
// navigation and the window re-creation that keeps the page.
#include <gtest/gtest.h>

#include <fstream>

#include "browser_host/browser_core.h"
#include "browser_host/tests/browser_form.h"
#include "framework/controls/comctrls.h"
#include "framework/controls/forms.h"
#include "platform/base/codepage.h"
#include "platform/base/time.h"
#include "platform/registry/registry.h"
#include "platform/user/testing.h"
#include "testsupport/temp_home.h"

namespace {

class CoreTest : public BrowserOnForm<TCustomEmbeddedWB> {
 protected:
  void Show(const std::string& url) {
    form_->Show();
    wb_->Navigate(kv::Utf8ToWide(url));
    Pump();
  }
};

TEST_F(CoreTest, FlagWordsWithNoHandlers) {
  DOCHOSTUIINFO info{};
  ASSERT_EQ(wb_->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.cbSize, 20u);
  EXPECT_EQ(info.dwFlags, 0x44000u);
  EXPECT_EQ(info.dwDoubleClick, 0u);
  VARIANT v;
  VariantInit(&v);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  ASSERT_EQ(wb_->Invoke(-5512, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 0x70);
  ASSERT_EQ(wb_->Invoke(-709, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), S_OK);
  EXPECT_EQ(v.vt, VT_BOOL);
  EXPECT_EQ(v.boolVal, VARIANT_TRUE);
}

TEST_F(CoreTest, FlagWordsOfTheOptionSets) {
  struct DownloadCase {
    TDownloadControlOptions set;
    DWORD flags;
  } downloads[] = {
      {{}, 0},
      {{DontExecuteScripts, DontExecuteActiveX}, 0x80 | 0x200},
      {{EnableUrlIfEncodingUTF8}, 0x40000},
      {{ForceOfflineMode, WorkOffline}, 0x10000000u | 0x80000000u},
  };
  for (const auto& c : downloads) EXPECT_EQ(DownloadControlFlags(c.set), c.flags);
  struct UiCase {
    TUserInterfaceOptions set;
    DWORD flags;
  } uis[] = {
      {{}, 0},
      {{DontUse3DBorders, DontUseScrollBars}, 0x4 | 0x8},
      {{EnablesFormsAutoComplete}, 0x4000},
      {{ForceSameWindowNavigation}, 0x10000},
      {{ForceUserActivationOnActiveXJava}, 0x20000000},
  };
  for (const auto& c : uis) EXPECT_EQ(HostUIFlagsOf(c.set), c.flags);
  wb_->SetDownloadOptions({DontExecuteScripts});
  EXPECT_EQ(wb_->HostDownloadFlags(), 0x80u);
}

TEST_F(CoreTest, CtrlNIsSwallowedAndReportedOthersAreNot) {
  Show(Page("a.html", "<html><body><p>text</p></body></html>"));
  wb_->UIActivate();
  Pump();
  SetFocus(wb_->FindChildWindow("Internet Explorer_Server"));  // where a click in the page puts it
  std::string masked, translated;
  wb_->OnMaskedCtrlChar = [&](TObject*, char c) { masked += c; };
  wb_->OnTranslateAccelerator = [&](TObject*, MSG* m, const GUID*, DWORD, bool&) {
    if (m->message == WM_KEYDOWN && m->wParam != VK_CONTROL && m->wParam != VK_SHIFT)
      translated += static_cast<char>(m->wParam);
  };
  struct Case {
    const char* what;
    bool shift;
    int key;
    const char* masked;
    const char* translated;
  } cases[] = {
      {"Ctrl+N", false, 'N', "N", ""},
      {"Ctrl+Shift+N", true, 'N', "", "N"},
      {"Ctrl+O", false, 'O', "", "O"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    masked.clear();
    translated.clear();
    KvInjectKey(VK_CONTROL, TRUE);
    if (c.shift) KvInjectKey(VK_SHIFT, TRUE);
    KvInjectKey(c.key, TRUE);
    KvInjectKey(c.key, FALSE);
    if (c.shift) KvInjectKey(VK_SHIFT, FALSE);
    KvInjectKey(VK_CONTROL, FALSE);
    Application->ProcessMessages();
    Pump();
    EXPECT_EQ(masked, c.masked);
    EXPECT_EQ(translated, c.translated);
  }
}

// A document whose window's event object answers the five script-error names.
class FakeEvent final : public IHTMLEventObj {
 public:
  HRESULT QueryInterface(REFIID riid, void** o) override {
    *o = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IHTMLEventObj)
             ? this
             : nullptr;
    return *o ? S_OK : E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
    static const char16_t* known[] = {u"errorline", u"errorcharacter", u"errorcode", u"errormessage", u"errorurl"};
    std::u16string n = names[0];
    for (auto& ch : n) ch = ch < 0x80 ? static_cast<char16_t>(std::tolower(ch)) : ch;
    for (int i = 0; i < 5; ++i)
      if (n == known[i]) {
        ids[0] = i + 1;
        return S_OK;
      }
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* r, EXCEPINFO*, UINT*) override {
    static const char16_t* values[] = {u"12", u"1", u"0", u"boom", u"file:///p.html"};
    r->vt = VT_BSTR;
    r->bstrVal = SysAllocString(values[id - 1]);
    return S_OK;
  }
#define KV_NOT(sig) \
  HRESULT sig override { return E_NOTIMPL; }
  KV_NOT(get_srcElement(IHTMLElement**))
  KV_NOT(get_type(BSTR*))
  KV_NOT(get_keyCode(LONG*))
  KV_NOT(put_keyCode(LONG))
  KV_NOT(get_returnValue(VARIANT*))
  KV_NOT(put_returnValue(VARIANT))
  KV_NOT(get_cancelBubble(VARIANT_BOOL*))
  KV_NOT(put_cancelBubble(VARIANT_BOOL))
  KV_NOT(get_button(LONG*))
  KV_NOT(get_altKey(VARIANT_BOOL*))
  KV_NOT(get_ctrlKey(VARIANT_BOOL*))
  KV_NOT(get_shiftKey(VARIANT_BOOL*))
  KV_NOT(get_clientX(LONG*))
  KV_NOT(get_clientY(LONG*))
  KV_NOT(get_fromElement(IHTMLElement**))
  KV_NOT(get_toElement(IHTMLElement**))
};

class FakeWindow final : public IHTMLWindow2 {
 public:
  FakeEvent event;
  HRESULT QueryInterface(REFIID riid, void** o) override {
    *o = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IHTMLWindow2) ? this : nullptr;
    return *o ? S_OK : E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  KV_NOT(GetTypeInfoCount(UINT*))
  KV_NOT(GetTypeInfo(UINT, LCID, ITypeInfo**))
  KV_NOT(GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*))
  KV_NOT(Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*))
  KV_NOT(get_document(IHTMLDocument2**))
  HRESULT get_event(IHTMLEventObj** e) override {
    *e = &event;
    return S_OK;
  }
  KV_NOT(get_external(IDispatch**))
  KV_NOT(alert(BSTR))
  KV_NOT(confirm(BSTR, VARIANT_BOOL*))
  KV_NOT(navigate(BSTR))
  KV_NOT(get_parent(IHTMLWindow2**))
  KV_NOT(get_top(IHTMLWindow2**))
};

class FakeDocument final : public IHTMLDocument2 {
 public:
  FakeWindow window;
  HRESULT QueryInterface(REFIID riid, void** o) override {
    *o = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IHTMLDocument2) ? this : nullptr;
    return *o ? S_OK : E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  KV_NOT(GetTypeInfoCount(UINT*))
  KV_NOT(GetTypeInfo(UINT, LCID, ITypeInfo**))
  KV_NOT(GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*))
  KV_NOT(Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*))
  KV_NOT(get_Script(IDispatch**))
  KV_NOT(get_all(IHTMLElementCollection**))
  KV_NOT(get_body(IHTMLElement**))
  KV_NOT(get_forms(IHTMLElementCollection**))
  KV_NOT(get_title(BSTR*))
  KV_NOT(put_title(BSTR))
  KV_NOT(get_readyState(BSTR*))
  HRESULT get_parentWindow(IHTMLWindow2** w) override {
    *w = &window;
    return S_OK;
  }
  KV_NOT(get_URL(BSTR*))
  KV_NOT(get_location(IDispatch**))
  KV_NOT(get_cookie(BSTR*))
  KV_NOT(put_cookie(BSTR))
  KV_NOT(get_activeElement(IHTMLElement**))
  KV_NOT(write(SAFEARRAY*))
  KV_NOT(writeln(SAFEARRAY*))
  KV_NOT(open(BSTR, VARIANT, VARIANT, VARIANT, IDispatch**))
  KV_NOT(close())
  KV_NOT(createElement(BSTR, IHTMLElement**))
#undef KV_NOT
};

TEST_F(CoreTest, ScriptErrorAnswersAndTheHandlersChoiceForTheNextError) {
  FakeDocument doc;
  auto raise = [&](VARIANT& out) {
    VARIANT in;
    in.vt = VT_UNKNOWN;
    in.punkVal = static_cast<IUnknown*>(&doc);
    VariantInit(&out);
    out.vt = VT_I4;  // untouched unless an answer is given
    out.lVal = 77;
    return wb_->Exec(&CGID_DocHostCommandHandler, 40, 0, &in, &out);
  };
  struct Case {
    TScriptErrorAction action;
    HRESULT hr;
    VARTYPE vt;
    LONG value;
  } cases[] = {
      {eaContinue, S_OK, VT_BOOL, VARIANT_TRUE},
      {eaCancel, S_OK, VT_BOOL, VARIANT_FALSE},
      {eaAskUser, S_FALSE, VT_I4, 77},
  };
  for (const Case& c : cases) {
    wb_->ScriptErrorAction = c.action;
    VARIANT out;
    EXPECT_EQ(raise(out), c.hr);
    EXPECT_EQ(out.vt, c.vt);
    EXPECT_EQ(c.vt == VT_BOOL ? out.boolVal : out.lVal, c.value);
  }
  std::string seen;
  wb_->ScriptErrorAction = eaContinue;
  wb_->OnScriptError = [&](TObject*, const AnsiString& line, const AnsiString& ch, const AnsiString& code,
                           const AnsiString& message, const AnsiString& url, TScriptErrorAction& action) {
    seen = line + "|" + ch + "|" + code + "|" + message + "|" + url;
    action = eaCancel;
  };
  VARIANT out;
  EXPECT_EQ(raise(out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE) << "the present error keeps the answer fixed before the handler";
  EXPECT_EQ(seen, "12|1|0|boom|file:///p.html");
  EXPECT_EQ(raise(out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_FALSE) << "the handler's choice governs the next error";
}

TEST_F(CoreTest, DisabledPopupMenus) {
  struct Case {
    TIEPopupMenus disabled;
    DWORD kind;
    HRESULT hr;
  } cases[] = {
      {{rcmAll}, 0, S_OK},   {{rcmAll}, 1, S_OK},    {{rcmAll}, 5, S_OK},     {{rcmAll}, 10, S_OK},
      {{rcmAll}, 12, S_OK},  {{rcmImage}, 1, S_OK},  {{rcmImage}, 0, S_FALSE}, {{rcmImage}, 5, S_FALSE},
      {{rcmImage}, 11, S_FALSE}, {{}, 0, S_FALSE},
  };
  for (const Case& c : cases) {
    wb_->DisabledPopupMenus = c.disabled;
    POINT pt{5, 5};
    EXPECT_EQ(wb_->ShowContextMenu(c.kind, &pt, nullptr, nullptr), c.hr) << c.kind;
  }
  wb_->OnShowContextMenu = [](TObject*, DWORD, POINT*, IUnknown*, IDispatch*, HRESULT& r) { r = S_OK; };
  wb_->DisabledPopupMenus = {};
  POINT pt{5, 5};
  EXPECT_EQ(wb_->ShowContextMenu(0, &pt, nullptr, nullptr), S_OK) << "the handler's answer is returned";
}

TEST_F(CoreTest, RefreshCommandsWithoutAndWithOnRefresh) {
  int execs = 0;
  wb_->OnCommandExec = [&](TObject*, const GUID*, DWORD, DWORD, VARIANT*, VARIANT*, HRESULT& r) {
    ++execs;
    r = S_OK;
  };
  EXPECT_EQ(wb_->Exec(&CGID_DocHostCommandHandler, 2300, 0, nullptr, nullptr), OLECMDERR_E_NOTSUPPORTED);
  EXPECT_EQ(execs, 0);
  bool cancel = false;
  DWORD asked = 0;
  wb_->OnRefresh = [&](TObject*, DWORD id, bool& c) {
    asked = id;
    c = cancel;
  };
  EXPECT_EQ(wb_->Exec(&CGID_DocHostCommandHandler, 6041, 0, nullptr, nullptr), OLECMDERR_E_NOTSUPPORTED);
  EXPECT_EQ(asked, 6041u);
  cancel = true;
  EXPECT_EQ(wb_->Exec(&CGID_DocHostCommandHandler, 6042, 0, nullptr, nullptr), S_OK);
  EXPECT_EQ(execs, 0);
  EXPECT_EQ(wb_->Exec(nullptr, 5, 0, nullptr, nullptr), S_OK) << "others go to OnCommandExec";
  EXPECT_EQ(execs, 1);
}

TEST_F(CoreTest, QueryServiceForTheDownloadManager) {
  void* object = nullptr;
  EXPECT_EQ(wb_->QueryService(IID_IDownloadManager, IID_IDownloadManager, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(wb_->QueryService(IID_IProtectFocus, IID_IProtectFocus, &object), S_OK) << "always answered";
  EXPECT_EQ(object, static_cast<IProtectFocus*>(wb_));
  IUnknown* supplied = static_cast<IDownloadManager*>(wb_);
  wb_->OnQueryService = [&](TObject*, REFGUID, REFIID, IUnknown*& obj) { obj = supplied; };
  EXPECT_EQ(wb_->QueryService(IID_IDownloadManager, IID_IDownloadManager, &object), S_OK);
  EXPECT_EQ(object, supplied);
  wb_->OnQueryService = nullptr;
  HRESULT answer = S_OK;
  wb_->OnFileDownload = [&](TObject*, IMoniker*, IBindCtx*, DWORD, LONG, BINDINFO*, LPCOLESTR, LPCOLESTR, UINT,
                            HRESULT& r) { r = answer; };
  EXPECT_EQ(wb_->QueryService(IID_IDownloadManager, IID_IDownloadManager, &object), S_OK);
  EXPECT_EQ(object, static_cast<IDownloadManager*>(wb_));
  EXPECT_EQ(static_cast<IDownloadManager*>(wb_)->Download(nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr, 0), S_OK);
}

TEST_F(CoreTest, AmbientUserAgentFallsToTheContainerThenOnInvoke) {
  VARIANT v;
  VariantInit(&v);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  HRESULT seen = S_OK;
  wb_->OnInvoke = [&](TObject*, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*, HRESULT& r) {
    seen = r;
  };
  EXPECT_EQ(wb_->Invoke(-5513, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(seen, DISP_E_MEMBERNOTFOUND);
  wb_->UserAgentQuery = [](WideString& agent) {
    agent = u"Korvane/1.0";
    return S_OK;
  };
  ASSERT_EQ(wb_->Invoke(-5513, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), S_OK);
  EXPECT_EQ(kv::BstrText(v.bstrVal), u"Korvane/1.0\r\n");
  VariantClear(&v);
  // An exception inside Invoke is DISP_E_EXCEPTION with code 9999 and the class name.
  wb_->OnInvoke = [](TObject*, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*, HRESULT&) {
    throw EConvertError("bad value");
  };
  EXCEPINFO info{};
  EXPECT_EQ(wb_->Invoke(1234, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, &info, nullptr), DISP_E_EXCEPTION);
  EXPECT_EQ(info.wCode, 9999);
  EXPECT_EQ(kv::BstrText(info.bstrSource), u"EConvertError");
  EXPECT_EQ(kv::BstrText(info.bstrDescription), u"bad value");
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  // A put of the user mode is stored.
  VARIANT arg;
  arg.vt = VT_BOOL;
  arg.boolVal = VARIANT_FALSE;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS one{&arg, &put, 1, 1};
  EXPECT_EQ(wb_->Invoke(-709, IID_NULL, 0, DISPATCH_PROPERTYPUT, &one, nullptr, nullptr, nullptr), S_OK);
  EXPECT_FALSE(wb_->UserMode);
}

TEST_F(CoreTest, KeyPathsAndAuthenticationAsTaskMemoryCopies) {
  struct Case {
    const char* path;
    bool override_path;
    HRESULT option, override;
  } cases[] = {
      {"", false, S_FALSE, S_FALSE},
      {"Software\\Korvane", false, S_OK, S_FALSE},
      {"Software\\Korvane", true, S_FALSE, S_OK},
  };
  for (const Case& c : cases) {
    wb_->OptionKeyPath = c.path;
    wb_->OverrideOptionKeyPath = c.override_path;
    LPOLESTR key = nullptr;
    EXPECT_EQ(wb_->GetOptionKeyPath(&key, 0), c.option);
    EXPECT_EQ(key != nullptr, c.option == S_OK);
    if (key) {
      EXPECT_EQ(std::u16string(key), u"Software\\Korvane");
    }
    CoTaskMemFree(key);
    EXPECT_EQ(wb_->GetOverrideKeyPath(&key, 0), c.override);
    CoTaskMemFree(key);
  }
  wb_->OnAuthenticate = [](TObject*, HWND&, WideString& user, WideString&, HRESULT&) { user = u"clerk"; };
  HWND hwnd = reinterpret_cast<HWND>(1);
  LPWSTR user = nullptr, pass = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(wb_->Authenticate(&hwnd, &user, &pass), S_OK);
  EXPECT_EQ(hwnd, nullptr) << "no window yet";
  ASSERT_TRUE(user);
  EXPECT_EQ(std::u16string(user), u"clerk");
  EXPECT_EQ(pass, nullptr);
  CoTaskMemFree(user);
}

TEST_F(CoreTest, NavigationEventsArriveWithTheirArguments) {
  std::string page = Page("e.html", "<html><head><title>Invoice</title></head><body>x</body></html>");
  std::vector<std::string> seen;
  IDispatch* top = nullptr;
  wb_->OnBeforeNavigate2 = [&](TObject*, IDispatch* disp, OleVariant& url, OleVariant&, OleVariant&, OleVariant&,
                               OleVariant&, VARIANT_BOOL& cancel) {
    seen.push_back("before " + url.AsString());
    top = disp;
    EXPECT_EQ(cancel, VARIANT_FALSE);
  };
  wb_->OnNavigateComplete2 = [&](TObject*, IDispatch*, OleVariant& url) { seen.push_back("navigated " + url.AsString()); };
  wb_->OnTitleChange = [&](TObject*, const WideString& t) { seen.push_back("title " + kv::WideToUtf8(t)); };
  wb_->OnDocumentComplete = [&](TObject*, IDispatch* disp, OleVariant& url) {
    seen.push_back("complete " + url.AsString());
    EXPECT_EQ(disp, top);
  };
  int progress = 0;
  wb_->OnProgressChange = [&](TObject*, int, int) { ++progress; };
  int status = 0;
  wb_->OnStatusTextChange = [&](TObject*, const WideString&) { ++status; };
  Show(page);
  const std::string url = "file://" + page;
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], "before " + url);
  EXPECT_EQ(seen[1], "navigated " + url);
  EXPECT_EQ(seen[2], "title Invoice");
  EXPECT_EQ(seen[3], "complete " + url);
  EXPECT_GT(progress, 0);
  EXPECT_GT(status, 0);
  EXPECT_TRUE(wb_->FindChildWindow("Internet Explorer_Server"));
  EXPECT_FALSE(wb_->FindChildWindow("internet explorer_server")) << "the class is compared exactly";

  // A cancelled navigation changes nothing.
  wb_->OnBeforeNavigate2 = [](TObject*, IDispatch*, OleVariant&, OleVariant&, OleVariant&, OleVariant&, OleVariant&,
                              VARIANT_BOOL& cancel) { cancel = VARIANT_TRUE; };
  seen.clear();
  wb_->Navigate(kv::Utf8ToWide(Page("f.html", "<p>f</p>")));
  Pump();
  EXPECT_TRUE(seen.empty());
  BSTR location = nullptr;
  wb_->DefaultInterface()->get_LocationURL(&location);
  EXPECT_EQ(kv::WideToUtf8(kv::BstrText(location)), url);
  SysFreeString(location);
}

TEST_F(CoreTest, DropHandling) {
  Show(Page("d.html", "<p>d</p>"));
  HWND server = wb_->FindChildWindow("Internet Explorer_Server");
  ASSERT_TRUE(server);
  wb_->SetDropHandlingType(ddtMy);
  EXPECT_EQ(KvDropTargetOf(server), static_cast<IDropTarget*>(wb_));
  wb_->SetDropHandlingType(ddtMy);  // the same value does nothing
  EXPECT_EQ(KvDropTargetOf(server), static_cast<IDropTarget*>(wb_));
  wb_->SetDropHandlingType(ddtNo);
  EXPECT_EQ(KvDropTargetOf(server), nullptr);
  EXPECT_FALSE(wb_->RegisterAsDropTarget());
  IDropTarget* out = reinterpret_cast<IDropTarget*>(1);
  EXPECT_EQ(wb_->GetDropTarget(nullptr, &out), S_OK);
  EXPECT_EQ(out, nullptr);
  wb_->SetDropHandlingType(ddtMS);
  EXPECT_EQ(wb_->GetDropTarget(nullptr, &out), E_NOTIMPL);
  EXPECT_TRUE(wb_->RegisterAsDropTarget());
  DWORD effect = DROPEFFECT_COPY;
  POINTL pt{0, 0};
  EXPECT_EQ(wb_->DragOver(0, pt, &effect), S_OK);
  EXPECT_EQ(effect, DROPEFFECT_NONE) << "no handler: no effect";
}

TEST_F(CoreTest, WindowRecreationKeepsThePage) {
  std::string page = Page("r.html", "<html><body><p id=x>kept</p></body></html>");
  Show(page);
  IHTMLDocument2* before = wb_->GetDocument2();
  ASSERT_TRUE(before);
  HWND window = wb_->Handle();
  auto* panel = new TPanel(form_);
  panel->SetParent(form_);
  panel->SetBounds(10, 10, 300, 200);
  wb_->SetParent(panel);  // the old parent window goes: the control window is parked
  Pump();
  EXPECT_EQ(wb_->Handle(), window) << "the same control window, taken back";
  EXPECT_EQ(GetParent(window), panel->Handle());
  RECT r{};
  GetWindowRect(window, &r);
  EXPECT_EQ(r.right - r.left, 300);
  IHTMLDocument2* after = wb_->GetDocument2();
  EXPECT_EQ(after, before) << "the same document object";
  if (after) after->Release();
  before->Release();
}

}  // namespace
