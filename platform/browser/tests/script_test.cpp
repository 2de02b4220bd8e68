// The page's scripts: conversions both ways, window.external from the host, exceptions
// and script errors, page functions called by name, timers on the virtual clock, forms
// submitted by script, and wrappers that outlive their document.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/time.h"
#include "platform/browser/element.h"
#include "platform/com/connpoint.h"
#include "platform/com/typeinfo.h"
#include "platform/registry/registry.h"
#include "platform/user/testing.h"
#include "testsupport/browser_site.h"
#include "testsupport/http_server.h"
#include "testsupport/temp_home.h"

namespace {

using kvtest::HostedBrowser;

std::string Narrow(const std::u16string& s) { return kv::WideToUtf8(s); }

// The host's external object: names without case, methods refused as gets (as the
// framework's dispatch helper does), a property, a failing member, and what it was
// given recorded.
class External final : public IDispatch {
 public:
  std::vector<VARIANT> echoed;  // copies of Echo's arguments
  std::vector<std::string> reports;
  std::u16string title = u"start";
  IDispatch* kept = nullptr;
  std::function<void()> OnPoke;

  ~External() {
    for (auto& v : echoed) VariantClear(&v);
    if (kept) kept->Release();
  }
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    *info = nullptr;
    return DISP_E_BADINDEX;
  }
  enum : DISPID { kEcho = 1, kReport, kTitle, kFail, kAdd, kMakeArray, kKeep, kKept, kCallKept, kPoke };
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
    static const std::pair<const char*, DISPID> kNames[] = {
        {"echo", kEcho},           {"report", kReport}, {"title", kTitle}, {"fail", kFail},         {"add", kAdd},
        {"makearray", kMakeArray}, {"keep", kKeep},     {"kept", kKept},   {"callkept", kCallKept}, {"poke", kPoke}};
    std::string n = Narrow(names[0]);
    for (auto& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& e : kNames)
      if (n == e.first) {
        *ids = e.second;
        return S_OK;
      }
    *ids = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* dp, VARIANT* result, EXCEPINFO* excep,
                 UINT*) override {
    if (result) VariantInit(result);
    if (id == kTitle) {
      if (flags & DISPATCH_PROPERTYPUT) {
        if (dp->cArgs != 1 || dp->cNamedArgs != 1 || dp->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
          return DISP_E_BADPARAMCOUNT;
        VARIANT s;
        VariantInit(&s);
        if (FAILED(VariantChangeType(&s, &dp->rgvarg[0], 0, VT_BSTR))) return DISP_E_TYPEMISMATCH;
        title = kv::BstrText(s.bstrVal);
        VariantClear(&s);
        return S_OK;
      }
      result->vt = VT_BSTR;
      result->bstrVal = kv::AllocBstr(title);
      return S_OK;
    }
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    switch (id) {
      case kEcho: {
        if (dp->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        VARIANT copy;
        VariantInit(&copy);
        VariantCopy(&copy, &dp->rgvarg[0]);
        echoed.push_back(copy);
        return result ? VariantCopy(result, &dp->rgvarg[0]) : S_OK;
      }
      case kReport: {
        VARIANT s;
        VariantInit(&s);
        if (dp->cArgs == 1 && SUCCEEDED(VariantChangeType(&s, &dp->rgvarg[0], 0, VT_BSTR)))
          reports.push_back(Narrow(kv::BstrText(s.bstrVal)));
        VariantClear(&s);
        return S_OK;
      }
      case kFail:
        excep->bstrDescription = SysAllocString(u"the host refused");
        excep->bstrSource = SysAllocString(u"External");
        excep->scode = static_cast<SCODE>(0x80040155);
        return DISP_E_EXCEPTION;
      case kAdd: {
        // Arguments arrive last first: Add(a, b) gives a - b to show the order.
        if (dp->cArgs != 2) return DISP_E_BADPARAMCOUNT;
        result->vt = VT_I4;
        result->lVal = dp->rgvarg[1].lVal - dp->rgvarg[0].lVal;
        return S_OK;
      }
      case kMakeArray: {
        SAFEARRAY* sa = SafeArrayCreateVector(VT_VARIANT, 0, 3);
        VARIANT items[3];
        items[0].vt = VT_I2;
        items[0].iVal = 7;
        items[1].vt = VT_BSTR;
        items[1].bstrVal = SysAllocString(u"b");
        items[2].vt = VT_CY;
        items[2].cyVal.int64 = 12345;  // 1.2345
        for (LONG i = 0; i < 3; ++i) {
          SafeArrayPutElement(sa, &i, &items[i]);
          VariantClear(&items[i]);
        }
        result->vt = VT_ARRAY | VT_VARIANT;
        result->parray = sa;
        return S_OK;
      }
      case kKeep:
        if (dp->cArgs != 1 || dp->rgvarg[0].vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
        if (kept) kept->Release();
        kept = dp->rgvarg[0].pdispVal;
        kept->AddRef();
        return S_OK;
      case kKept:
        if (!kept) return S_OK;
        kept->AddRef();
        result->vt = VT_DISPATCH;
        result->pdispVal = kept;
        return S_OK;
      case kCallKept: {
        if (!kept) return E_FAIL;
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        return kept->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, result, excep, nullptr);
      }
      case kPoke:
        if (OnPoke) OnPoke();
        return S_OK;
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }
  std::atomic<ULONG> refs{1};
};

struct ScriptPage {
  External ext;  // outlives the browser, which releases it
  kvtest::TempHome home;
  HostedBrowser b;
  std::vector<std::string> exec40;  // the five fields of each script error the host saw
  HRESULT answer = S_OK;            // the host's Exec 40 result
  bool go_on = true;                // and its vaOut

  ScriptPage() {
    b.site->OnGetExternal = [this](IDispatch** out) {
      ext.AddRef();
      *out = &ext;
      return S_OK;
    };
    b.site->OnExec = [this](const GUID* group, DWORD id, VARIANT* in, VARIANT* out) -> HRESULT {
      if (!group || !IsEqualGUID(*group, CGID_DocHostCommandHandler) || id != 40) return OLECMDERR_E_NOTSUPPORTED;
      exec40.push_back(ErrorFields(in));
      if (answer == S_OK) {
        out->vt = VT_BOOL;
        out->boolVal = go_on ? VARIANT_TRUE : VARIANT_FALSE;
      }
      return answer;
    };
  }
  // The error event's five fields read by name through the document's window.event.
  static std::string ErrorFields(VARIANT* in) {
    if (!in || in->vt != VT_UNKNOWN) return "no document";
    IHTMLDocument2* doc = nullptr;
    in->punkVal->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&doc));
    IHTMLWindow2* win = nullptr;
    doc->get_parentWindow(&win);
    IHTMLEventObj* ev = nullptr;
    win->get_event(&ev);
    std::string out;
    for (const char16_t* name : {u"errorLine", u"errorCharacter", u"errorCode", u"errorMessage", u"errorUrl"}) {
      DISPID id = 0;
      LPOLESTR n = const_cast<LPOLESTR>(name);
      VARIANT v, s;
      VariantInit(&v);
      VariantInit(&s);
      if (ev && SUCCEEDED(ev->GetIDsOfNames(IID_NULL, &n, 1, 0, &id))) {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        ev->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr);
      }
      VariantChangeType(&s, &v, 0, VT_BSTR);
      if (!out.empty()) out += "|";
      std::string text = s.vt == VT_BSTR ? Narrow(kv::BstrText(s.bstrVal)) : "?";
      if (std::string(Narrow(name)) == "errorUrl") text = text.substr(text.rfind('/') + 1);
      out += text;
      VariantClear(&v);
      VariantClear(&s);
    }
    if (ev) ev->Release();
    win->Release();
    doc->Release();
    return out;
  }
  void Load(const std::string& html, const std::string& name = "p.html") {
    std::string path = home.path() + "/" + name;
    kvtest::WriteFile(path, html);
    b.Navigate(path);
    b.Run();
  }
  std::string Reports() const {
    std::string out;
    for (const auto& r : ext.reports) out += (out.empty() ? "" : " ") + r;
    return out;
  }
};

TEST(Script, ConversionsBothWays) {
  ScriptPage p;
  p.Load(
      "<html><body><script>\n"
      "var e = window.external, arr = [1, 2], fn = function () { return 7; };\n"
      "var d = new Date(2020, 0, 2, 3, 4, 5);\n"
      "var vals = [true, false, 1, 1.5, -0, Math.pow(2, 31), '1', null, undefined, d, arr, fn];\n"
      "var back = [];\n"
      "for (var i = 0; i < vals.length; i++) {\n"
      "  var r = e.Echo(vals[i]);\n"
      "  back.push(typeof r + ':' + (r === vals[i] || (r instanceof Date && r.getTime() === d.getTime())));\n"
      "}\n"
      "e.Report(back.join(','));\n"
      "e.Report(String(1 / e.Echo(-0)));\n"
      "var vb = new VBArray(e.MakeArray());\n"
      "e.Report(vb.toArray().join('/') + ' ' + vb.lbound() + '..' + vb.ubound());\n"
      "</script></body></html>");
  ASSERT_EQ(13u, p.ext.echoed.size());
  const auto& v = p.ext.echoed;
  EXPECT_EQ(VT_BOOL, v[0].vt);
  EXPECT_EQ(VARIANT_TRUE, v[0].boolVal);  // -1, never an integer
  EXPECT_EQ(VT_BOOL, v[1].vt);
  EXPECT_EQ(VARIANT_FALSE, v[1].boolVal);
  EXPECT_EQ(VT_I4, v[2].vt);
  EXPECT_EQ(1, v[2].lVal);
  EXPECT_EQ(VT_R8, v[3].vt);
  EXPECT_EQ(1.5, v[3].dblVal);
  EXPECT_EQ(VT_R8, v[4].vt);  // -0 is not an integer
  EXPECT_TRUE(v[4].dblVal == 0 && std::signbit(v[4].dblVal));
  EXPECT_EQ(VT_R8, v[5].vt);
  EXPECT_EQ(2147483648.0, v[5].dblVal);
  EXPECT_EQ(VT_BSTR, v[6].vt);
  EXPECT_EQ(u"1", kv::BstrText(v[6].bstrVal));
  EXPECT_EQ(VT_NULL, v[7].vt);
  EXPECT_EQ(VT_EMPTY, v[8].vt);
  EXPECT_EQ(VT_DATE, v[9].vt);
  EXPECT_NEAR(43832.0 + (3 * 3600 + 4 * 60 + 5) / 86400.0, v[9].date, 1e-6);  // local time
  EXPECT_EQ(VT_DISPATCH, v[10].vt);
  EXPECT_EQ(VT_DISPATCH, v[11].vt);
  // A script object's IDispatch: its members by name, and a function called as DISPID 0.
  IDispatch* arr = v[10].pdispVal;
  LPOLESTR length = const_cast<LPOLESTR>(u"length");
  DISPID id = 0;
  ASSERT_EQ(S_OK, arr->GetIDsOfNames(IID_NULL, &length, 1, 0, &id));
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT r;
  VariantInit(&r);
  EXPECT_EQ(S_OK, arr->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr));
  EXPECT_EQ(VT_I4, r.vt);
  EXPECT_EQ(2, r.lVal);
  EXPECT_EQ(S_OK, v[11].pdispVal->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, &r, nullptr, nullptr));
  EXPECT_EQ(VT_I4, r.vt);
  EXPECT_EQ(7, r.lVal);
  ASSERT_EQ(3u, p.ext.reports.size());
  // Back: each value as it went, our script objects as the very same values.
  EXPECT_EQ(
      "boolean:true,boolean:true,number:true,number:true,number:true,number:true,string:true,object:true,"
      "undefined:true,object:true,object:true,function:true",
      p.ext.reports[0]);
  EXPECT_EQ("-Infinity", p.ext.reports[1]);
  EXPECT_EQ("7/b/1.2345 0..2", p.ext.reports[2]);
}

TEST(Script, ExternalMembersAndExceptions) {
  ScriptPage p;
  p.Load(
      "<html><body><script>\n"
      "var e = external;\n"
      "e.Report(e.add(10, 2));\n"  // a method, its result; arguments in order
      "e.Report(e.TITLE);\n"       // a property, names without case
      "e.title = 'new';\n"
      "e.Report(e.Title);\n"
      "try { e.Fail(); } catch (x) { e.Report(x.message + '/' + (x.number >>> 0).toString(16)); }\n"
      "try { e.NoSuch(); } catch (x) { e.Report(String(x instanceof TypeError)); }\n"
      "</script></body></html>");
  EXPECT_EQ("8 start new the host refused/80040155 true", p.Reports());
  EXPECT_TRUE(p.exec40.empty());
  EXPECT_EQ(u"new", p.ext.title);
}

TEST(Script, ScriptErrorsReachTheHost) {
  struct Case {
    HRESULT answer;
    bool go_on;
    const char* reports;  // what the page's later scripts did
  } cases[] = {
      {S_OK, true, "first later timer"},  // go on
      {S_OK, false, "first"},             // stop: no later script, no timer
  };
  for (const Case& c : cases) {
    ScriptPage p;
    KvClockSetVirtual(TRUE);
    p.answer = c.answer;
    p.go_on = c.go_on;
    p.Load(
        "<html><body>\n"
        "<script>external.Report('first');\n"
        "setTimeout(function(){ external.Report('timer'); }, 10);\n"
        "\n"
        "external.Fail();</script>\n"
        "<script>external.Report('later');</script>\n"
        "</body></html>");
    KvClockAdvance(20);
    p.b.Run();
    EXPECT_EQ(c.reports, p.Reports());
    ASSERT_EQ(1u, p.exec40.size());
    // Line (the script element's line + the error's - 1), character, code, message, URL.
    EXPECT_EQ("5|1|-2147221163|the host refused|p.html", p.exec40[0]);
    KvClockSetVirtual(FALSE);
  }
}

TEST(Script, OnErrorFirstAndTheOwnDialog) {
  ScriptPage p;
  // window.onerror answering true ends it: the host hears nothing.
  p.Load(
      "<html><body><script>onerror = function (m, u, l) { external.Report(m + '@' + l); return true; };\n"
      "undefinedThing();</script></body></html>");
  EXPECT_EQ(0u, p.exec40.size());
  ASSERT_EQ(1u, p.ext.reports.size());
  EXPECT_NE(std::string::npos, p.ext.reports[0].find("@2"));

  // A host that does not answer: the own dialog, owned by the top window; closed it goes on.
  p.ext.reports.clear();
  p.answer = OLECMDERR_E_NOTSUPPORTED;
  static std::vector<std::string> created;
  static HWND owner_seen;
  created.clear();
  HHOOK hook = SetWindowsHookExW(
      WH_CBT,
      [](int code, WPARAM wp, LPARAM lp) -> LRESULT {
        if (code == HCBT_CREATEWND) {
          auto* cw = reinterpret_cast<CBT_CREATEWNDW*>(lp);
          if (cw->lpcs->lpszClass && std::u16string(cw->lpcs->lpszClass) == u"Internet Explorer_TridentDlgFrame") {
            created.push_back(Narrow(cw->lpcs->lpszName ? cw->lpcs->lpszName : u""));
            owner_seen = cw->lpcs->hwndParent;
            PostMessageW(reinterpret_cast<HWND>(wp), WM_CLOSE, 0, 0);
          }
        }
        return CallNextHookEx(nullptr, code, wp, lp);
      },
      nullptr, 0);
  p.Load("<html><body><script>external.Fail();</script><script>external.Report('after');</script></body></html>",
         "q.html");
  UnhookWindowsHookEx(hook);
  ASSERT_EQ(1u, created.size());
  EXPECT_EQ("Script Error", created[0]);
  EXPECT_EQ(p.b.window, owner_seen);
  EXPECT_EQ(1u, p.exec40.size());
  EXPECT_EQ("after", p.Reports());
}

// Calls a page function by name as the host does: GetIDsOfNames on Script, then Invoke.
HRESULT CallPage(HostedBrowser& b, const char16_t* name, std::vector<VARIANT> args, VARIANT* result) {
  IHTMLDocument2* doc = b.Document();
  IDispatch* script = nullptr;
  doc->get_Script(&script);
  doc->Release();
  LPOLESTR n = const_cast<LPOLESTR>(name);
  DISPID id = 0;
  HRESULT hr = script->GetIDsOfNames(IID_NULL, &n, 1, 0, &id);
  if (SUCCEEDED(hr)) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS dp{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO excep{};
    hr = script->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, result, &excep, nullptr);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
  }
  script->Release();
  return hr;
}

TEST(Script, PageFunctionsByName) {
  ScriptPage p;
  p.Load(
      "<html><body><script>\n"
      "function yes() { return true; }\n"
      "function one() { return 1; }\n"
      "function text() { return '1'; }\n"
      "function nothing() { return; }\n"
      "function minus(a, b) { return a - b; }\n"
      "</script></body></html>");
  VARIANT r;
  VariantInit(&r);
  ASSERT_EQ(S_OK, CallPage(p.b, u"yes", {}, &r));
  EXPECT_EQ(VT_BOOL, r.vt);
  EXPECT_EQ(VARIANT_TRUE, r.boolVal);  // -1: its text "-1"
  ASSERT_EQ(S_OK, CallPage(p.b, u"one", {}, &r));
  EXPECT_EQ(VT_I4, r.vt);
  EXPECT_EQ(1, r.lVal);
  ASSERT_EQ(S_OK, CallPage(p.b, u"text", {}, &r));
  EXPECT_EQ(VT_BSTR, r.vt);
  EXPECT_EQ(u"1", kv::BstrText(r.bstrVal));
  VariantClear(&r);
  ASSERT_EQ(S_OK, CallPage(p.b, u"nothing", {}, &r));
  EXPECT_EQ(VT_EMPTY, r.vt);
  VARIANT ten, two;
  ten.vt = VT_I4;
  ten.lVal = 10;
  two.vt = VT_I4;
  two.lVal = 2;
  ASSERT_EQ(S_OK, CallPage(p.b, u"minus", {ten, two}, &r));
  EXPECT_EQ(8, r.lVal);
  EXPECT_EQ(DISP_E_UNKNOWNNAME, CallPage(p.b, u"noSuchFunction", {}, &r));
  EXPECT_EQ(DISP_E_UNKNOWNNAME, CallPage(p.b, u"YES", {}, &r));  // page globals keep their case
  // A torn-down document answers no name.
  IHTMLDocument2* doc = p.b.Document();
  IDispatch* script = nullptr;
  doc->get_Script(&script);
  doc->Release();
  p.Load("<html><body></body></html>", "other.html");
  LPOLESTR n = const_cast<LPOLESTR>(u"yes");
  DISPID id = 0;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, script->GetIDsOfNames(IID_NULL, &n, 1, 0, &id));
  script->Release();
}

TEST(Script, TimersInDueOrderOnTheVirtualClock) {
  ScriptPage p;
  KvClockSetVirtual(TRUE);
  p.Load(
      "<html><body><script>\n"
      "var r = function (s) { return function () { external.Report(s); }; };\n"
      "setTimeout(r('a30'), 30);\n"
      "setTimeout(\"external.Report('b10')\", 10);\n"
      "var i = setInterval(r('i20'), 20);\n"
      "setTimeout(r('c10'), 10);\n"  // same deadline as b10: creation order
      "setTimeout(function () { clearInterval(i); }, 45);\n"
      "var gone = setTimeout(r('never'), 5); clearTimeout(gone);\n"
      "</script></body></html>");
  EXPECT_EQ("", p.Reports());
  for (int t = 0; t < 10; ++t) {
    KvClockAdvance(10);
    p.b.Run();
  }
  EXPECT_EQ("b10 c10 i20 a30 i20", p.Reports());
  KvClockSetVirtual(FALSE);
}

TEST(Script, FormSubmittedByScriptPostsItsData) {
  ScriptPage p;
  std::string post, headers;
  p.b.sink.OnEvent = [&](DISPID id, DISPPARAMS* dp) {
    if (id != DISPID_BEFORENAVIGATE2 || post.size()) return;
    const VARIANT* data = dp->rgvarg[2].pvarVal;
    const VARIANT* head = dp->rgvarg[1].pvarVal;
    if (data->vt == (VT_ARRAY | VT_UI1)) {
      void* bytes = nullptr;
      SafeArrayAccessData(data->parray, &bytes);
      post.assign(static_cast<char*>(bytes), data->parray->rgsabound[0].cElements);
      SafeArrayUnaccessData(data->parray);
    }
    if (head->vt == VT_BSTR) headers = Narrow(kv::BstrText(head->bstrVal));
  };
  p.Load(
      "<html><body><form id=f method=post action=next.html>"
      "<input name=a value='1 2'><input type=checkbox name=c checked></form>"
      "<script>document.getElementById('f').submit();</script></body></html>");
  EXPECT_EQ("a=1+2&c=on", post);
  EXPECT_EQ("Content-Type: application/x-www-form-urlencoded\r\n", headers);
}

TEST(Script, WrappersOutlivingTheirDocumentFailCleanly) {
  ScriptPage p;
  p.Load("<html><body><p id=x>text</p><script>external.Keep(document.getElementById('x'));</script></body></html>");
  ASSERT_NE(nullptr, p.ext.kept);
  // The next page gets the old page's element back: using it is an error, never the
  // freed node.
  p.Load(
      "<html><body><script>\n"
      "var old = external.Kept();\n"
      "try { old.innerHTML; external.Report('read'); } catch (e) { external.Report(e.message); }\n"
      "try { old.click(); external.Report('called'); } catch (e) { external.Report(e.message); }\n"
      "</script></body></html>",
      "next.html");
  EXPECT_EQ("Permission denied Permission denied", p.Reports());
  // A script function the host kept after its page went.
  p.ext.reports.clear();
  p.Load("<html><body><script>external.Keep(function () { return document.body; });</script></body></html>",
         "third.html");
  p.Load(
      "<html><body><script>try { external.CallKept(); } catch (e) { external.Report((e.number >>> 0).toString(16)); }"
      "</script></body></html>",
      "fourth.html");
  EXPECT_EQ("8000ffff", p.Reports());
}

TEST(Script, ReentrantCallsKeepTheHeapAlive) {
  ScriptPage p;
  // page -> external -> host -> page, and the host navigates away meanwhile.
  p.ext.OnPoke = [&]() {
    VARIANT r;
    VariantInit(&r);
    EXPECT_EQ(S_OK, CallPage(p.b, u"inner", {}, &r));
    VariantClear(&r);
    IHTMLDocument2* doc = p.b.Document();
    IPersistStreamInit* ps = nullptr;
    doc->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&ps));
    doc->Release();
    ps->Release();
    std::string path = p.home.path() + "/after.html";
    kvtest::WriteFile(path, "<html><body></body></html>");
    p.b.Navigate(path);
    p.b.Run();  // the old document is torn down inside the outer call
  };
  p.Load(
      "<html><body><script>\n"
      "var keep = document.body;\n"
      "function inner() { external.Report('inner'); return 1; }\n"
      "external.Poke();\n"
      "try { keep.innerHTML; } catch (e) { external.Report('after: ' + e.message); }\n"
      "</script></body></html>");
  // The rest of the outer script finds its document gone; nothing was freed under it.
  EXPECT_EQ("inner", p.Reports());
}

// An object describing itself through type information: Value a property, Run a
// method. Its Invoke takes any flags, so only the type information tells them apart.
class TypeInfo final : public ITypeInfo {
 public:
  int func_descs = 0;  // GetFuncDesc calls (the bridge caches per interface)
  HRESULT QueryInterface(REFIID riid, void** object) override {
    *object = IsEqualIID(riid, IID_IUnknown) ? this : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeAttr(TYPEATTR** attr) override {
    auto* a = new TYPEATTR{};
    a->guid = {0x1234ABCD, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
    a->typekind = TKIND_DISPATCH;
    a->cFuncs = 3;
    *attr = a;
    return S_OK;
  }
  HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) override {
    ++func_descs;
    auto* d = new FUNCDESC{};
    d->funckind = FUNC_DISPATCH;
    d->memid = index == 2 ? 2 : 1;
    d->invkind = index == 0 ? INVOKE_PROPERTYGET : index == 1 ? INVOKE_PROPERTYPUT : INVOKE_FUNC;
    *desc = d;
    return S_OK;
  }
  void ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }
  void ReleaseFuncDesc(FUNCDESC* desc) override { delete desc; }
  HRESULT GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
  HRESULT GetVarDesc(UINT, VARDESC**) override { return E_NOTIMPL; }
  HRESULT GetNames(MEMBERID, BSTR*, UINT, UINT*) override { return E_NOTIMPL; }
  HRESULT GetRefTypeOfImplType(UINT, HREFTYPE*) override { return E_NOTIMPL; }
  HRESULT GetImplTypeFlags(UINT, INT*) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(LPOLESTR*, UINT, MEMBERID*) override { return E_NOTIMPL; }
  HRESULT Invoke(void*, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
  HRESULT GetDocumentation(MEMBERID, BSTR*, BSTR*, DWORD*, BSTR*) override { return E_NOTIMPL; }
  HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
  HRESULT GetRefTypeInfo(HREFTYPE, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void**) override { return E_NOTIMPL; }
  HRESULT CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT GetMops(MEMBERID, BSTR*) override { return E_NOTIMPL; }
  HRESULT GetContainingTypeLib(ITypeLib**, UINT*) override { return E_NOTIMPL; }
  void ReleaseVarDesc(VARDESC*) override {}
};

class Typed final : public IDispatch {
 public:
  explicit Typed(TypeInfo* info) : info_(info) {}
  std::vector<WORD> flags_seen;  // Invoke's flags, in order
  std::vector<VARTYPE> put_types;
  HRESULT QueryInterface(REFIID riid, void** object) override {
    *object = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ? static_cast<IDispatch*>(this)
              : IsEqualIID(riid, IID_IObjectSafety)                             ? static_cast<void*>(&safety_)
                                                                                 : nullptr;
    if (*object) AddRef();
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = info_ ? 1 : 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    *info = info_;
    return info_ ? S_OK : DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
    std::u16string n = names[0];
    *ids = n == u"Value" ? 1 : n == u"Run" ? 2 : n == u"Target" ? 3 : DISPID_UNKNOWN;
    return *ids == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* dp, VARIANT* result, EXCEPINFO*, UINT*) override {
    flags_seen.push_back(flags);
    if (result) VariantInit(result);
    if (id == 3) {
      // Refuses an object by value; takes it by reference.
      put_types.push_back(dp->cArgs ? dp->rgvarg[0].vt : static_cast<VARTYPE>(VT_EMPTY));
      return flags == DISPATCH_PROPERTYPUTREF ? S_OK : DISP_E_TYPEMISMATCH;
    }
    if (result) {
      result->vt = VT_I4;
      result->lVal = id * 10;
    }
    return S_OK;
  }
  std::atomic<ULONG> refs{1};

 private:
  // Safe for scripting, so a page may make it its control.
  struct Safety final : IObjectSafety {
    explicit Safety(Typed* owner) : owner(owner) {}
    HRESULT QueryInterface(REFIID riid, void** object) override { return owner->QueryInterface(riid, object); }
    ULONG AddRef() override { return owner->AddRef(); }
    ULONG Release() override { return owner->Release(); }
    HRESULT GetInterfaceSafetyOptions(REFIID, DWORD* supported, DWORD* enabled) override {
      *supported = *enabled = INTERFACESAFE_FOR_UNTRUSTED_CALLER;
      return S_OK;
    }
    HRESULT SetInterfaceSafetyOptions(REFIID, DWORD, DWORD) override { return S_OK; }
    Typed* owner;
  } safety_{this};
  TypeInfo* info_;
};

TEST(Script, MethodsAndPropertiesFromTypeInformation) {
  ScriptPage p;
  TypeInfo info;
  Typed a(&info), b(&info), plain(nullptr);
  p.ext.kept = &a;  // Kept() hands it to the page
  a.AddRef();
  p.Load(
      "<html><body><script>\n"
      "var a = external.Kept();\n"
      "external.Report(typeof a.Run + ' ' + a.Run() + ' ' + a.Value + ' ' + a.Value);\n"
      "a.Target = {};\n"
      "</script></body></html>");
  EXPECT_EQ("function 20 10 10", p.Reports());
  EXPECT_EQ((std::vector<WORD>{DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT,
                               DISPATCH_PROPERTYPUTREF}),
            a.flags_seen);
  EXPECT_EQ((std::vector<VARTYPE>{VT_DISPATCH, VT_DISPATCH}), a.put_types);
  int walked = info.func_descs;
  EXPECT_EQ(3, walked);
  // A second object of the same interface: the cached description.
  p.ext.kept->Release();
  p.ext.kept = &b;
  b.AddRef();
  p.ext.reports.clear();
  p.Load("<html><body><script>var b = external.Kept(); external.Report(b.Run() + b.Value);</script></body></html>",
         "b.html");
  EXPECT_EQ("30", p.Reports());
  EXPECT_EQ(3 + 3, info.func_descs);  // one walk per heap: each page's heap caches its own
  // Without type information: a get first, which this object answers.
  p.ext.kept->Release();
  p.ext.kept = &plain;
  plain.AddRef();
  p.ext.reports.clear();
  p.Load("<html><body><script>var c = external.Kept(); external.Report(typeof c.Run);</script></body></html>",
         "c.html");
  EXPECT_EQ("number", p.Reports());
  EXPECT_EQ((std::vector<WORD>{DISPATCH_PROPERTYGET}), plain.flags_seen);
  p.ext.kept->Release();
  p.ext.kept = nullptr;
  p.Load("<html><body></body></html>", "d.html");
}

TEST(Script, HandlersAttachEventAndWindowEvent) {
  ScriptPage p;
  p.Load(
      "<html><body onload=\"external.Report('load')\">\n"
      "<div id=outer onclick=\"external.Report('outer ' + window.event.srcElement.id)\">\n"
      "<a id=link href=\"elsewhere.html\" onclick=\"external.Report('attr ' + this.id); return false;\">go</a>\n"
      "<button id=btn>b</button></div>\n"
      "<script>\n"
      "var btn = document.getElementById('btn');\n"
      "btn.onclick = function () { external.Report('prop ' + this.id + ' ' + event.type); };\n"
      "btn.attachEvent('onclick', function (e) { external.Report('attached ' + e.type); });\n"
      "btn.attachEvent('onclick', function () { external.Report('second'); window.event.cancelBubble = true; });\n"
      "</script></body></html>");
  EXPECT_EQ("load", p.Reports());
  p.ext.reports.clear();
  p.b.Click(u"link");
  EXPECT_EQ("attr link outer link", p.Reports());  // returned false: no navigation
  EXPECT_NE(std::string::npos, p.b.LocationUrl().find("p.html"));
  p.ext.reports.clear();
  p.b.Click(u"btn");
  EXPECT_EQ("prop btn click attached click second", p.Reports());  // bubbling cancelled
}

TEST(Script, LocationAndNavigate) {
  ScriptPage p;
  std::vector<std::string> before;  // each BeforeNavigate2's page, with the reports made by then
  p.b.sink.OnEvent = [&](DISPID id, DISPPARAMS* dp) {
    if (id == DISPID_BEFORENAVIGATE2) {
      std::string u = Narrow(kv::BstrText(dp->rgvarg[5].pvarVal->bstrVal));
      before.push_back(u.substr(u.rfind('/') + 1) + "@" + std::to_string(p.ext.reports.size()));
    }
  };
  p.Load(
      "<html><body><script>\n"
      "external.Report(location.href.substr(location.href.lastIndexOf('/') + 1));\n"
      "location.href = 'a.html';\n"
      "external.Report('after');\n"
      "</script></body></html>");
  // BeforeNavigate2 fires inside the assignment.
  EXPECT_EQ("p.html after", p.Reports());
  EXPECT_EQ((std::vector<std::string>{"p.html@0", "a.html@1"}), before);
  struct Case {
    const char* call;
    const char* url;
  } cases[] = {{"location.assign('b.html')", "b.html"},
               {"location.replace('c.html')", "c.html"},
               {"window.navigate('d.html')", "d.html"}};
  for (const Case& c : cases) {
    before.clear();
    p.Load(std::string("<html><body><script>") + c.call + "</script></body></html>", "q.html");
    ASSERT_EQ(2u, before.size()) << c.call;
    EXPECT_EQ(c.url, before[1].substr(0, before[1].find('@')));
  }
}

// `text` with "@" as the server's host and port and "$" as its port alone.
std::string AtServer(const std::string& text, const kvtest::HttpServer& server) {
  std::string host = server.Url("");
  host = host.substr(host.find("//") + 2);
  std::string port = host.substr(host.find(':') + 1), out;
  for (char c : text) out += c == '@' ? host : c == '$' ? port : std::string(1, c);
  return out;
}

TEST(Script, LocationMembersReadAndPut) {
  ScriptPage p;
  kvtest::HttpServer server;
  server.Serve("/shop/list",
               "<html><body><script>external.Report('run');\n"
               "function get(expr) { return String(eval(expr)); }</script></body></html>");
  const std::string start = server.Url("/shop/list?a=1&b=2#part");
  ASSERT_EQ(S_OK, p.b.Navigate(start));
  ASSERT_TRUE(p.b.RunUntilIdle());
  struct Read {
    const char* expr;
    const char* value;
  } reads[] = {{"location.href", "http://@/shop/list?a=1&b=2#part"},
               {"String(location)", "http://@/shop/list?a=1&b=2#part"},
               {"location.protocol", "http:"},
               {"location.host", "@"},
               {"location.hostname", "127.0.0.1"},
               {"location.port", "$"},
               {"location.pathname", "/shop/list"},
               {"location.search", "?a=1&b=2"},
               {"location.hash", "#part"},
               {"document.location.search", "?a=1&b=2"},
               {"window.location.hash", "#part"}};
  for (const Read& r : reads) {
    VARIANT arg, result;
    arg.vt = VT_BSTR;
    arg.bstrVal = kv::AllocBstr(kv::Utf8ToWide(r.expr));
    VariantInit(&result);
    ASSERT_EQ(S_OK, CallPage(p.b, u"get", {arg}, &result)) << r.expr;
    EXPECT_EQ(AtServer(r.value, server), Narrow(kv::BstrText(result.bstrVal))) << r.expr;
    VariantClear(&arg);
    VariantClear(&result);
  }
  // Each put navigates to the URL rebuilt with that part; the host cancels, so the page stays.
  std::vector<std::string> asked;
  p.b.sink.OnEvent = [&](DISPID id, DISPPARAMS* dp) {
    if (id != DISPID_BEFORENAVIGATE2) return;
    asked.push_back(Narrow(kv::BstrText(dp->rgvarg[5].pvarVal->bstrVal)));
    *dp->rgvarg[0].pboolVal = VARIANT_TRUE;
  };
  struct Put {
    const char* code;
    const char* url;
  } puts[] = {{"location.search = 'c=3'", "http://@/shop/list?c=3#part"},
              {"location.search = '?c=4&d'", "http://@/shop/list?c=4&d#part"},
              {"location.search = ''", "http://@/shop/list#part"},
              {"location.hash = 'sec'", "http://@/shop/list?a=1&b=2#sec"},
              {"location.hash = '#sec2'", "http://@/shop/list?a=1&b=2#sec2"},
              {"location.pathname = 'other/x'", "http://@/other/x?a=1&b=2#part"},
              {"location.port = '81'", "http://127.0.0.1:81/shop/list?a=1&b=2#part"},
              {"location.hostname = 'example.test'", "http://example.test:$/shop/list?a=1&b=2#part"},
              {"location.host = 'h.test'", "http://h.test/shop/list?a=1&b=2#part"},
              {"location.protocol = 'https'", "https://@/shop/list?a=1&b=2#part"},
              {"location.href = '/x'", "http://@/x"}};
  for (const Put& c : puts) {
    asked.clear();
    p.b.Navigate(std::string("javascript:") + c.code);
    p.b.Run();
    EXPECT_EQ(std::vector<std::string>{AtServer(c.url, server)}, asked) << c.code;
  }
  EXPECT_EQ(start, p.b.LocationUrl());
  EXPECT_EQ(1u, server.Requests().size());
  // Uncancelled: a new fragment keeps the document (no request, no script run again,
  // no DocumentComplete); a new query loads the page again.
  p.b.sink.OnEvent = nullptr;
  p.b.sink.events.clear();
  p.b.Navigate("javascript:location.hash = 'sec'");
  ASSERT_TRUE(p.b.RunUntilIdle());
  EXPECT_EQ("BeforeNavigate2 NavigateComplete2", p.b.sink.Sequence(false));
  EXPECT_EQ(server.Url("/shop/list?a=1&b=2#sec"), p.b.LocationUrl());
  EXPECT_EQ(1u, server.Requests().size());
  EXPECT_EQ("run", p.Reports());
  VARIANT arg, result;
  arg.vt = VT_BSTR;
  arg.bstrVal = kv::AllocBstr(u"location.hash");
  VariantInit(&result);
  ASSERT_EQ(S_OK, CallPage(p.b, u"get", {arg}, &result));
  EXPECT_EQ(u"#sec", kv::BstrText(result.bstrVal));
  VariantClear(&arg);
  VariantClear(&result);
  p.b.Navigate("javascript:location.search = 'q=1'");
  ASSERT_TRUE(p.b.RunUntilIdle());
  ASSERT_EQ(2u, server.Requests().size());
  EXPECT_EQ("/shop/list?q=1", server.Requests()[1].target);
  EXPECT_EQ("run run", p.Reports());
}

TEST(Script, TitlePutRaisesTitleChange) {
  ScriptPage p;
  std::vector<std::string> titles;
  p.b.sink.OnEvent = [&](DISPID id, DISPPARAMS* dp) {
    if (id == DISPID_TITLECHANGE) titles.push_back(Narrow(kv::BstrText(dp->rgvarg[0].bstrVal)));
  };
  p.Load("<html><head><title>First</title></head><body><script>document.title = 'Second';</script></body></html>");
  p.b.Navigate("javascript:document.title = 'Third'");
  p.b.Run();
  // The commit's title, then each put.
  EXPECT_EQ((std::vector<std::string>{"First", "Second", "Third"}), titles);
  BSTR name = nullptr;
  p.b.browser->get_LocationName(&name);
  EXPECT_EQ(u"Third", kv::BstrText(name));
  SysFreeString(name);
}

TEST(Script, WalkOrderWritesAndNamedElements) {
  ScriptPage p;
  kvtest::WriteFile(p.home.path() + "/ext.js", "external.Report('external ' + typeof early);\nvar fromFile = 1;");
  p.Load(
      "<html><body><p id=named>x</p><form name=f1><input name=q value=v></form>\n"
      "<script>var early = 1; external.Report('first ' + named.innerText + ' ' + f1.q.value);</script>\n"
      "<script src=ext.js></script>\n"
      "<script>external.Report('after ' + fromFile); document.write('<b "
      "id=w>written</b><script>external.Report(\"inner\")<\\/script>');</script>\n"
      "<script>external.Report('next ' + document.getElementById('w').innerText); var named = 5; "
      "external.Report(named);</script>\n"
      "</body></html>");
  EXPECT_EQ("first x v external number after 1 inner next written 5", p.Reports());
}

TEST(Script, DatesReadTheVirtualClockAndScriptsCanBeOff) {
  ScriptPage p;
  KvClockSetVirtual(TRUE);
  p.Load(
      "<html><body><script>var t0 = Date.now(); var d0 = new Date().getTime();\n"
      "setTimeout(function () { external.Report((Date.now() - t0) + ' ' + (new Date().getTime() - d0)); }, 5000);"
      "</script></body></html>");
  KvClockAdvance(5000);
  p.b.Run();
  EXPECT_EQ("5000 5000", p.Reports());
  KvClockSetVirtual(FALSE);
  // The host's download flags without scripts (0x80): nothing runs.
  p.ext.reports.clear();
  p.b.site->OnAmbient = [](DISPID id) {
    VARIANT v;
    VariantInit(&v);
    if (id == -5512) {
      v.vt = VT_I4;
      v.lVal = 0x80;
    }
    return v;
  };
  IOleControl* control = nullptr;
  p.b.browser->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(&control));
  control->OnAmbientPropertyChange(-5512);
  control->Release();
  p.Load("<html><body><script>external.Report('ran');</script></body></html>", "off.html");
  EXPECT_EQ("", p.Reports());
}

TEST(Script, ExhaustingTheHeapIsAScriptError) {
  ScriptPage p;
  // Caught, then uncaught: each an error of the page, the page goes on.
  p.Load(
      "<html><body><script>\n"
      "var s = 'xxxxxxxxxxxxxxxx';\n"
      "try { while (true) s += s; } catch (e) { s = null; external.Report(e.message); }\n"
      "</script><script>var t = 'yyyyyyyyyyyyyyyy'; while (true) t += t;</script>"
      "<script>t = null; external.Report('still here');</script></body></html>");
  EXPECT_EQ("alloc failed still here", p.Reports());
  ASSERT_EQ(1u, p.exec40.size());
  EXPECT_NE(std::string::npos, p.exec40[0].find("alloc failed"));
}

TEST(Script, AlertAndConfirmGoThroughTheHost) {
  ScriptPage p;
  std::vector<std::string> shown;
  p.b.site->OnShowMessage = [&](const std::u16string& text, DWORD type, LRESULT* result) {
    shown.push_back(Narrow(text) + " " + std::to_string(type));
    *result = text == u"sure?" ? 1 : 2;  // IDOK, IDCANCEL
    return S_OK;
  };
  p.Load(
      "<html><body><script>alert('hi'); external.Report(confirm('sure?') + ' ' + confirm('no?'));</script>"
      "</body></html>");
  EXPECT_EQ((std::vector<std::string>{"hi 48", "sure? 33", "no? 33"}), shown);
  EXPECT_EQ("true false", p.Reports());
  // Unanswered: the platform's message box, owned by the top window.
  p.b.site->OnShowMessage = nullptr;
  KvMessageBoxLogClear();
  KvMessageBoxScriptPush(1);
  p.ext.reports.clear();
  p.Load("<html><body><script>external.Report(String(confirm('box?')));</script></body></html>", "box.html");
  EXPECT_EQ("true", p.Reports());
  ASSERT_EQ(1u, KvMessageBoxLogCount());
  KVMSGBOXRECORD r;
  KvMessageBoxLogGet(0, &r);
  EXPECT_STREQ("box?", r.text);
  EXPECT_STREQ("Web page message", r.caption);
  EXPECT_EQ(0x21u, r.type);
  EXPECT_EQ(p.b.window, r.owner);
}

TEST(Script, DomCoreAndInnerHtml) {
  ScriptPage p;
  p.Load(
      "<html><body><div id=box>a<b>b</b>c</div><table><tbody id=rows></tbody></table>\n"
      "<select id=s></select>\n"
      "<script>\n"
      "var box = document.getElementById('box'), out = [];\n"
      "out.push(box.childNodes.length, box.firstChild.nodeType, box.firstChild.nodeValue, box.lastChild.data);\n"
      "out.push(box.childNodes(1).nodeName, box.firstChild.nextSibling === box.childNodes[1]);\n"
      "var t = document.createTextNode('new');\n"
      "box.insertBefore(t, box.firstChild);\n"
      "var i = document.createElement('i'); box.appendChild(i); i.appendChild(document.createTextNode('x'));\n"
      "box.removeChild(box.childNodes[2]);\n"
      "out.push(box.innerHTML, t.parentNode === box, box.hasChildNodes());\n"
      "try { i.appendChild(box); } catch (e) { out.push('refused'); }\n"
      "document.getElementById('rows').innerHTML = '<tr><td>1</td></tr>';\n"
      "document.getElementById('s').innerHTML = '<option>o</option>';\n"
      "out.push(document.getElementById('rows').innerHTML, document.getElementById('s').length);\n"
      "var deep = box; for (var k = 0; k < 300; k++) { deep.innerHTML = '<div></div>'; deep = deep.firstChild || deep; "
      "}\n"
      "out.push(deep.nodeName);\n"
      "external.Report(out.join('|'));\n"
      "</script></body></html>");
  EXPECT_EQ("3|3|a|c|B|true|newac<i>x</i>|true|true|refused|<tr><td>1</td></tr>|1|DIV", p.Reports());
  for (const auto& e : p.exec40) ADD_FAILURE() << e;
}

// The control of the next <object> of class kPageControlClass.
IDispatch* g_page_control = nullptr;
struct PageControlFactory final : IClassFactory {
  HRESULT QueryInterface(REFIID riid, void** object) override {
    *object = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory) ? this : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown*, REFIID riid, void** object) override {
    return g_page_control ? g_page_control->QueryInterface(riid, object) : E_FAIL;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
} g_page_control_factory;
// {6D2C8B21-3E4F-4061-9B72-8C9DAE1F2031}
constexpr CLSID kPageControlClass = {0x6D2C8B21, 0x3E4F, 0x4061, {0x9B, 0x72, 0x8C, 0x9D, 0xAE, 0x1F, 0x20, 0x31}};
HRESULT GetPageControlClass(REFCLSID, REFIID riid, LPVOID* object) {
  return g_page_control_factory.QueryInterface(riid, object);
}

TEST(Script, ObjectElementsForwardToTheirControl) {
  ScriptPage p;
  TypeInfo info;
  Typed control(&info);
  g_page_control = &control;
  KvRegisterBuiltinClass(kPageControlClass, GetPageControlClass);
  p.Load(
      "<html><body><object id=prt classid=\"clsid:6D2C8B21-3E4F-4061-9B72-8C9DAE1F2031\"></object>"
      "<p id=plain></p></body></html>");
  g_page_control = nullptr;
  // javascript: runs in the shown page.
  ASSERT_EQ(S_OK, p.b.Navigate("javascript:external.Report(prt.id + ' ' + prt.Run() + ' ' + prt.Value + ' ' +"
                               "(typeof prt.object.Run) + ' ' + typeof document.getElementById('plain').Run)"));
  p.b.Run();
  EXPECT_EQ("prt 20 10 function undefined", p.Reports());
  for (const auto& err : p.exec40) ADD_FAILURE() << err;
  p.Load("<html><body></body></html>", "gone.html");
  EXPECT_EQ(1u, control.refs);  // released with its document
}

std::string ControlLog() {
  char buf[8192];
  DWORD n = KvBrowserControlLog(buf, sizeof buf);
  return n < sizeof buf ? std::string(buf, n) : std::string("(log too long)");
}

TEST(Script, ActiveXObjectCreatesSafeClassesByProgId) {
  ScriptPage p;
  KvRegistryReload();
  const char clsid[] = "{6D2C8B21-3E4F-4061-9B72-8C9DAE1F2031}";
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CLASSES_ROOT, "Kv.Typed\\CLSID", REG_SZ, clsid, sizeof clsid - 1));
  KvRegisterBuiltinClass(kPageControlClass, GetPageControlClass);
  TypeInfo info;
  Typed control(&info);
  const char kTry[] =
      "<html><body><script>\n"
      "function make(id) { try { var o = new ActiveXObject(id); return o.Run() + ' ' + o.Value; }\n"
      "  catch (e) { return e.message + ' ' + (e.number >>> 0).toString(16); } }\n"
      "external.Report(make('Kv.Typed') + ', ' + make('Kv.Missing'));\n"
      "</script></body></html>";
  struct Case {
    const char* name;
    IDispatch* object;  // what the class makes
    bool controls;      // the host lets the page run controls
    const char* reports;
    const char* log;
  } cases[] = {
      {"safe", &control, true, "20 10, Automation server can't create object 800a01ad",
       "ActiveXObject(Kv.Typed) CoCreateInstance 0x00000000\n"
       "ActiveXObject(Kv.Typed) SetInterfaceSafetyOptions(IDispatch, 1, 1) 0x00000000\n"
       "ActiveXObject(Kv.Typed) created\n"
       "ActiveXObject(Kv.Missing) CLSIDFromProgID 0x800401F3\n"},
      {"not safe for scripting", &p.ext, true,
       "Automation server can't create object 800a01ad, Automation server can't create object 800a01ad",
       "ActiveXObject(Kv.Typed) CoCreateInstance 0x00000000\n"
       "ActiveXObject(Kv.Typed) IObjectSafety 0x80004002\n"
       "ActiveXObject(Kv.Typed) not safe for scripting\n"
       "ActiveXObject(Kv.Missing) CLSIDFromProgID 0x800401F3\n"},
      {"controls forbidden", &control, false,
       "Automation server can't create object 800a01ad, Automation server can't create object 800a01ad", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_page_control = c.object;
    ULONG refs = control.refs;
    p.b.site->OnAmbient = [&c](DISPID id) {
      VARIANT v;
      VariantInit(&v);
      if (id == -5512 && !c.controls) {
        v.vt = VT_I4;
        v.lVal = 0x200;  // no controls
      }
      return v;
    };
    KvBrowserControlLogClear();
    p.ext.reports.clear();
    p.Load(kTry, std::string(c.name) + ".html");
    EXPECT_EQ(c.reports, p.Reports());
    EXPECT_EQ(c.log, ControlLog());
    p.Load("<html><body></body></html>", "gone.html");
    EXPECT_EQ(refs, control.refs);  // released with the page
  }
  g_page_control = nullptr;
  KvRegistryReload();
}

// A control raising events of its default source interface, described by a library of
// its own: Changed(what, [in, out] VARIANT* value), Counted([in, out] short* n), Ping().
constexpr IID kEventsIid = {0x3E8F4A51, 0x6B2C, 0x4D7E, {0x91, 0xA3, 0x5C, 0x6D, 0x7E, 0x8F, 0x90, 0xA1}};
constexpr IID kEventedIid = {0x3E8F4A52, 0x6B2C, 0x4D7E, {0x91, 0xA3, 0x5C, 0x6D, 0x7E, 0x8F, 0x90, 0xA1}};
constexpr GUID kEventedLib = {0x3E8F4A53, 0x6B2C, 0x4D7E, {0x91, 0xA3, 0x5C, 0x6D, 0x7E, 0x8F, 0x90, 0xA1}};
constexpr CLSID kEventedClass = {0x3E8F4A54, 0x6B2C, 0x4D7E, {0x91, 0xA3, 0x5C, 0x6D, 0x7E, 0x8F, 0x90, 0xA1}};

ITypeLib* EventedLibrary() {
  static const KvParamData changed[] = {{u"what", VT_BSTR, PARAMFLAG_FIN},
                                        {u"value", VT_VARIANT | VT_BYREF, PARAMFLAG_FIN | PARAMFLAG_FOUT}};
  static const KvParamData counted[] = {{u"n", VT_I2 | VT_BYREF, PARAMFLAG_FIN | PARAMFLAG_FOUT}};
  static const KvFuncData events[] = {{u"Changed", 1, INVOKE_FUNC, VT_VOID, 0, 2, changed},
                                      {u"Counted", 2, INVOKE_FUNC, VT_VOID, 0, 1, counted},
                                      {u"Ping", 3, INVOKE_FUNC, VT_VOID, 0, 0, nullptr}};
  static const KvImplData impls[] = {{kEventedIid, IMPLTYPEFLAG_FDEFAULT},
                                     {kEventsIid, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}};
  static const KvTypeData types[] = {{TKIND_DISPATCH, kEventedIid, u"IEvented", nullptr, 0, 0, nullptr, 0, nullptr},
                                     {TKIND_DISPATCH, kEventsIid, u"IEventedEvents", nullptr, 0, 3, events, 0, nullptr},
                                     {TKIND_COCLASS, kEventedClass, u"Evented", nullptr, 0, 0, nullptr, 2, impls}};
  static const KvTypeLibData lib = {kEventedLib, 1, 0, 0, u"EventedLib", nullptr, 3, types};
  ITypeLib* out = nullptr;
  EXPECT_EQ(S_OK, KvCreateTypeLib(&lib, &out));
  return out;
}

class Evented final : public IDispatch, public IObjectSafety, public IConnectionPointContainer {
 public:
  Evented() : lib_(EventedLibrary()), point_(new kv::ConnectionPoint(this, kEventsIid)) {}
  ~Evented() {
    point_->Detach();
    point_->Release();
    lib_->Release();
  }
  // Raises event `id` with `args` in call order to every advised sink.
  HRESULT Raise(DISPID id, std::vector<VARIANT> args, VARIANT* result = nullptr) {
    std::reverse(args.begin(), args.end());
    DISPPARAMS dp{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    HRESULT hr = S_OK;
    for (IUnknown* sink : point_->Sinks()) {
      hr = static_cast<IDispatch*>(sink)->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, result, nullptr, nullptr);
      sink->Release();
    }
    return hr;
  }
  std::vector<IUnknown*> Sinks() const { return point_->Sinks(); }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch))
      *object = static_cast<IDispatch*>(this);
    else if (IsEqualIID(riid, IID_IObjectSafety))
      *object = static_cast<IObjectSafety*>(this);
    else if (IsEqualIID(riid, IID_IConnectionPointContainer))
      *object = static_cast<IConnectionPointContainer*>(this);
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 1;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override { return lib_->GetTypeInfoOfGuid(kEventedIid, info); }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID* ids) override {
    *ids = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
  HRESULT GetInterfaceSafetyOptions(REFIID, DWORD* supported, DWORD* enabled) override {
    *supported = *enabled = INTERFACESAFE_FOR_UNTRUSTED_CALLER;
    return S_OK;
  }
  HRESULT SetInterfaceSafetyOptions(REFIID, DWORD, DWORD) override { return S_OK; }
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
    *out = nullptr;
    if (!IsEqualIID(riid, kEventsIid)) return CONNECT_E_NOCONNECTION;
    point_->AddRef();
    *out = point_;
    return S_OK;
  }
  std::atomic<ULONG> refs{1};

 private:
  ITypeLib* lib_;
  kv::ConnectionPoint* point_;
};

TEST(Script, EventScriptsBindToControlsAndElements) {
  ScriptPage p;
  Evented control;
  g_page_control = &control;
  KvRegisterBuiltinClass(kEventedClass, GetPageControlClass);
  p.Load(
      "<html><head><script for=ctl event=\"Changed(what, value)\">\n"
      "external.Report(what + ' ' + value + ' ' + (this === window)); value = value + '!';</script>\n"
      "<script for=ctl event=\" counted( n ) \">n = n * 2; return 'seen';</script>\n"
      "<script for=ctl event=\"Ping()\">external.Report('ping');\n"
      "noSuchFunction();</script>\n"
      "<script for=ctl event=\"Ping(a){external.Report('injected')}//\">x</script>\n"
      "<script for=ctl event=\"Missing()\">external.Report('never');</script>\n"
      "<script for=ctl event=\"Ping()\" language=vbscript>external.Report('never')</script>\n"
      "<script for=btn event=onclick>external.Report('button ' + event.type);</script>\n"
      "</head><body><object id=ctl classid=\"clsid:3E8F4A54-6B2C-4D7E-91A3-5C6D7E8F90A1\"></object>\n"
      "<script for=\"ctl\" event=\"Ping\">external.Report('second');</script>\n"
      "<script>function pinged() { external.Report('attached ' + arguments.length); }\n"
      "ctl.attachEvent('ping', pinged);</script>\n"
      "<button id=btn>b</button></body></html>");
  g_page_control = nullptr;
  // The declaration that is not an event's name and parameters, and the other language,
  // at load.
  ASSERT_EQ(2u, p.exec40.size());
  EXPECT_EQ("6|1|0|Syntax error in the event attribute|p.html", p.exec40[0]);
  EXPECT_EQ("8|1|0|language not supported|p.html", p.exec40[1]);
  p.exec40.clear();
  std::vector<IUnknown*> sinks = control.Sinks();
  ASSERT_EQ(1u, sinks.size());  // one sink for all of the control's handlers

  // The arguments in order; the parameters' values go back through [in, out] arguments.
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(u"x");
  VARIANT what, by_variant;
  what.vt = VT_BSTR;
  what.bstrVal = SysAllocString(u"a");
  by_variant.vt = VT_BYREF | VT_VARIANT;
  by_variant.pvarVal = &value;
  EXPECT_EQ(S_OK, control.Raise(1, {what, by_variant}));
  VariantClear(&what);
  EXPECT_EQ("a x true", p.Reports());
  ASSERT_EQ(VT_BSTR, value.vt);
  EXPECT_EQ(u"x!", kv::BstrText(value.bstrVal));
  VariantClear(&value);
  SHORT n = 21;
  VARIANT by_short, result;
  by_short.vt = VT_BYREF | VT_I2;
  by_short.piVal = &n;
  VariantInit(&result);
  EXPECT_EQ(S_OK, control.Raise(2, {by_short}, &result));
  EXPECT_EQ(42, n);
  ASSERT_EQ(VT_BSTR, result.vt);
  EXPECT_EQ(u"seen", kv::BstrText(result.bstrVal));
  VariantClear(&result);

  // A handler's error is a script error; the event's other handlers still run.
  p.ext.reports.clear();
  EXPECT_EQ(DISP_E_EXCEPTION, control.Raise(3, {}));
  EXPECT_EQ("ping second attached 0", p.Reports());
  ASSERT_EQ(1u, p.exec40.size());
  EXPECT_EQ("5|1|0|identifier 'noSuchFunction' undefined|p.html", p.exec40[0]);
  EXPECT_EQ(S_OK, control.Raise(4, {}));  // an event without a handler
  // attachEvent's function goes with detachEvent.
  ASSERT_EQ(S_OK, p.b.Navigate("javascript:ctl.detachEvent('Ping', pinged)"));
  p.b.Run();
  p.ext.reports.clear();
  control.Raise(3, {});
  EXPECT_EQ("ping second", p.Reports());
  p.exec40.clear();

  // A DOM element's event by name, as attachEvent binds it.
  p.ext.reports.clear();
  p.b.Click(u"btn");
  EXPECT_EQ("button click", p.Reports());

  // The page goes: the sink is unadvised and holds nothing; an event that reaches it late
  // runs nothing.
  p.Load("<html><body></body></html>", "gone.html");
  EXPECT_TRUE(control.Sinks().empty());
  EXPECT_EQ(1u, control.refs);
  p.ext.reports.clear();
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(S_OK, static_cast<IDispatch*>(sinks[0])->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                                                               nullptr));
  EXPECT_EQ("", p.Reports());
  EXPECT_EQ(0u, sinks[0]->Release());  // the last reference
  EXPECT_TRUE(p.exec40.empty());
}

TEST(Script, FramesHaveTheirOwnHeapAndReachTheirParent) {
  ScriptPage p;
  kvtest::WriteFile(p.home.path() + "/f.html",
                    "<html><body><script>var mine = 'frame';\n"
                    "external.Report(mine + ' ' + parent.hello(1) + ' ' + (top === parent) + ' ' + parent.mine);"
                    "</script></body></html>");
  p.Load(
      "<html><body><script>var mine = 'top';\n"
      "function hello(x) { external.Report('top got ' + x + ' ' + (this === window) + ' ' +"
      "(document.parentWindow === window) + ' ' + (external.Echo(window) === window)); return x + 1; }</script>"
      "<iframe src=f.html></iframe></body></html>");
  EXPECT_EQ("top got 1 true true true frame 2 true top", p.Reports());
}

TEST(Script, FramesWaitForTheirExternalScriptsAndHaveControls) {
  ScriptPage p;
  TypeInfo info;
  Typed control(&info);
  g_page_control = &control;
  KvRegisterBuiltinClass(kPageControlClass, GetPageControlClass);
  p.b.sink.OnEvent = [&](DISPID id, DISPPARAMS*) {
    if (id == DISPID_DOCUMENTCOMPLETE) p.ext.reports.push_back("complete");
  };
  kvtest::WriteFile(p.home.path() + "/f.js", "var fromFile = 'file';");
  kvtest::WriteFile(p.home.path() + "/f.html",
                    "<html><body onload=\"external.Report('frame load ' + fromFile)\">"
                    "<object id=ctl classid=\"clsid:6D2C8B21-3E4F-4061-9B72-8C9DAE1F2031\"></object>"
                    "<script src=f.js></script>"
                    "<script>external.Report(fromFile + ' ' + ctl.Run());</script></body></html>");
  p.Load("<html><body><iframe src=f.html></iframe></body></html>");
  g_page_control = nullptr;
  // The frame's complete first, then the top's.
  EXPECT_EQ("file 20 frame load file complete complete", p.Reports());
  for (const auto& e : p.exec40) ADD_FAILURE() << e;
  p.Load("<html><body></body></html>", "gone.html");
  EXPECT_EQ(1u, control.refs);  // released with the frame's document
}

// The frame's readyState and Busy from its own browser object, and its document's readyState.
std::string FrameState(IDispatch* frame) {
  IWebBrowser2* wb = nullptr;
  frame->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&wb));
  LONG state = -1;
  wb->get_ReadyState(&state);
  VARIANT_BOOL busy = VARIANT_FALSE;
  wb->get_Busy(&busy);
  IDispatch* d = nullptr;
  wb->get_Document(&d);
  wb->Release();
  std::string out = std::to_string(state) + (busy ? " busy" : "");
  IHTMLDocument2* doc = nullptr;
  if (d) d->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&doc));
  if (doc) {
    BSTR text = nullptr;
    doc->get_readyState(&text);
    out += " " + Narrow(kv::BstrText(text));
    SysFreeString(text);
    doc->Release();
  }
  if (d) d->Release();
  return out;
}

TEST(Script, FrameIsNotCompleteWhileItsScriptsLoad) {
  ScriptPage p;
  kvtest::HttpServer server;
  std::atomic<bool> release{false};
  server.Serve("/top", "<html><body><iframe src=/frame></iframe></body></html>");
  server.Serve("/frame", "<html><body><script src=/slow.js></script></body></html>");
  server.Route("/slow.js", [&](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
    for (int i = 0; i < 1000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    r.body = "var loaded = 1;";
  });
  IDispatch* frame = nullptr;
  p.b.sink.OnEvent = [&](DISPID id, DISPPARAMS* dp) {
    if (id != DISPID_BEFORENAVIGATE2 || frame) return;
    IDispatch* source = dp->rgvarg[6].pdispVal;
    if (source != p.b.browser) (frame = source)->AddRef();
  };
  ASSERT_EQ(S_OK, p.b.Navigate(server.Url("/top")));
  // Its document is there, its walk waiting for the script.
  auto has_document = [&] {
    IWebBrowser2* wb = nullptr;
    if (!frame || FAILED(frame->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&wb)))) return false;
    IDispatch* d = nullptr;
    wb->get_Document(&d);
    wb->Release();
    if (d) d->Release();
    return d != nullptr;
  };
  ASSERT_TRUE(p.b.RunUntil(has_document));
  EXPECT_EQ("3 busy interactive", FrameState(frame));
  release = true;
  ASSERT_TRUE(p.b.RunUntilIdle());
  EXPECT_EQ("4 complete", FrameState(frame));
  frame->Release();
}

TEST(Script, FramesMakeTheirControlsWithScriptsOff) {
  ScriptPage p;
  TypeInfo info;
  Typed control(&info);
  g_page_control = &control;
  KvRegisterBuiltinClass(kPageControlClass, GetPageControlClass);
  p.b.site->OnAmbient = [](DISPID id) {
    VARIANT v;
    VariantInit(&v);
    if (id == -5512) {  // no scripts (0x80), controls allowed
      v.vt = VT_I4;
      v.lVal = 0x80;
    }
    return v;
  };
  kvtest::WriteFile(p.home.path() + "/f.html",
                    "<html><body><object id=ctl classid=\"clsid:6D2C8B21-3E4F-4061-9B72-8C9DAE1F2031\"></object>"
                    "<script>external.Report('ran');</script></body></html>");
  p.Load("<html><body><iframe src=f.html></iframe></body></html>");
  g_page_control = nullptr;
  EXPECT_EQ("", p.Reports());
  EXPECT_LT(1u, control.refs);  // the frame's control holds it
  p.Load("<html><body></body></html>", "gone.html");
  EXPECT_EQ(1u, control.refs);
}

TEST(Script, WindowFramesStatusAndNavigator) {
  ScriptPage p;
  kvtest::HttpServer server;
  server.Serve("/f1", "<html><body><script>var mine = 'one';</script></body></html>");
  server.Serve("/f2", "<html><body><script>var mine = 'two';</script></body></html>");
  server.Serve("/top",
               "<html><body><iframe name=first src=/f1></iframe><iframe src=/f2></iframe><script>\n"
               "function probe() {\n"
               "  return [frames.length, frames[0].mine, frames[1].mine, frames.first.mine, frames.item(1).mine,\n"
               "          String(frames.item(2)), frames[0].frames.length].join(' ');\n"
               "}\n"
               "function agent() { return navigator.userAgent + '|' + navigator.appVersion; }\n"
               "</script></body></html>");
  std::vector<std::string> status;
  p.b.sink.OnEvent = [&](DISPID id, DISPPARAMS* dp) {
    if (id == DISPID_STATUSTEXTCHANGE) status.push_back(Narrow(kv::BstrText(dp->rgvarg[0].bstrVal)));
  };
  ASSERT_EQ(S_OK, p.b.Navigate(server.Url("/top")));
  ASSERT_TRUE(p.b.RunUntilIdle());
  VARIANT r;
  VariantInit(&r);
  ASSERT_EQ(S_OK, CallPage(p.b, u"probe", {}, &r));
  EXPECT_EQ(u"2 one two one two null 0", kv::BstrText(r.bstrVal));
  VariantClear(&r);
  // The user agent is the one the requests carry.
  ASSERT_EQ(S_OK, CallPage(p.b, u"agent", {}, &r));
  const std::string agent = server.Requests()[0].Header("User-Agent");
  EXPECT_EQ(agent + "|" + agent.substr(agent.find('/') + 1), Narrow(kv::BstrText(r.bstrVal)));
  VariantClear(&r);
  status.clear();
  p.b.Navigate("javascript:window.status = 'Saving'; external.Report(status)");
  p.b.Run();
  EXPECT_EQ(std::vector<std::string>{"Saving"}, status);
  EXPECT_EQ("Saving", p.Reports());
}

TEST(Script, NavigationsFromAFrameStayInIt) {
  ScriptPage p;
  kvtest::HttpServer server;
  server.Serve("/top",
               "<html><body><script>external.Report('top');</script><a id=frag href=#end>down</a>\n"
               "<form id=post method=post action=/posted target=inner><input name=q value=1></form>\n"
               "<a id=named href=/other target=inner>o</a><iframe name=inner src=/inner></iframe></body></html>");
  server.Serve("/inner", "<html><body><script>external.Report('inner');</script></body></html>");
  server.Serve("/other", "<html><body><script>external.Report('other');</script></body></html>");
  server.Serve("/posted", "<html><body><script>external.Report('posted');</script></body></html>");
  std::vector<std::string> before;  // path@frame name of each BeforeNavigate2
  int completed = 0;                 // NavigateComplete2 events
  p.b.sink.OnEvent = [&](DISPID id, DISPPARAMS* dp) {
    if (id == DISPID_NAVIGATECOMPLETE2) ++completed;
    if (id != DISPID_BEFORENAVIGATE2) return;
    std::string u = Narrow(kv::BstrText(dp->rgvarg[5].pvarVal->bstrVal));
    before.push_back(u.substr(u.find('/', 8)) + "@" + Narrow(kv::BstrText(dp->rgvarg[3].pvarVal->bstrVal)));
  };
  ASSERT_EQ(S_OK, p.b.Navigate(server.Url("/top")));
  ASSERT_TRUE(p.b.RunUntilIdle());
  ASSERT_EQ("top inner", p.Reports());
  const std::string top = server.Url("/top");
  struct Case {
    std::function<void()> act;
    const char* before;   // the one BeforeNavigate2
    const char* reports;  // the scripts that ran
  } cases[] = {
      {[&] { p.b.Navigate("javascript:frames.inner.location.href = '/other'"); }, "/other@inner", "other"},
      {[&] { p.b.Click(u"named"); }, "/other@inner", "other"},
      {[&] { p.b.Navigate("javascript:document.getElementById('post').submit()"); }, "/posted@inner", "posted"},
      {[&] { p.b.Navigate("javascript:frames.inner.location.reload()"); }, "/posted@inner", "posted"},
      // A fragment of the shown document: no new load, no script again.
      {[&] { p.b.Click(u"frag"); }, "/top#end@", ""},
  };
  for (const Case& c : cases) {
    before.clear();
    p.ext.reports.clear();
    completed = 0;
    c.act();
    // A frame's own load leaves the top complete: wait for the frame's commit.
    ASSERT_TRUE(p.b.RunUntil([&] { return completed > 0; })) << c.before;
    p.b.Run();
    EXPECT_EQ(std::vector<std::string>{c.before}, before);
    EXPECT_EQ(c.reports, p.Reports()) << c.before;
  }
  EXPECT_EQ(top + "#end", p.b.LocationUrl());
  auto requests = server.Requests();
  auto posted = std::find_if(requests.begin(), requests.end(), [](const auto& q) { return q.path == "/posted"; });
  ASSERT_NE(requests.end(), posted);
  EXPECT_EQ("POST", posted->method);
  EXPECT_EQ("q=1", posted->body);
}

TEST(Script, OpenAndCloseAskTheHost) {
  ScriptPage p;
  std::vector<DISPID> seen;
  p.b.sink.OnEvent = [&](DISPID id, DISPPARAMS*) {
    if (id == DISPID_NEWWINDOW2 || id == DISPID_NEWWINDOW3 || id == DISPID_WINDOWCLOSING) seen.push_back(id);
  };
  p.Load(
      "<html><body><script>external.Report(String(window.open('x.html', 'w')));\n"
      "window.close(); external.Report('after');</script></body></html>");
  EXPECT_EQ("null after", p.Reports());
  EXPECT_EQ((std::vector<DISPID>{DISPID_NEWWINDOW2, DISPID_NEWWINDOW3, DISPID_WINDOWCLOSING}), seen);
}

TEST(Script, OwnDialogsAnswerFromScriptedInput) {
  struct Case {
    int answer;           // scripted for the "Script Error" dialog; 0: none (cancelled)
    const char* reports;  // the page's later script ran or not
  } cases[] = {{IDYES, "after"}, {IDNO, ""}, {0, "after"}};
  for (const Case& c : cases) {
    ScriptPage p;
    p.answer = OLECMDERR_E_NOTSUPPORTED;  // the host does not answer
    KvBrowserDialogScriptClear();
    if (c.answer) KvBrowserDialogScriptPush(c.answer, nullptr);
    p.Load("<html><body><script>external.Fail();</script><script>external.Report('after');</script></body></html>");
    EXPECT_EQ(c.reports, p.Reports()) << c.answer;
  }
  ScriptPage p;
  KvBrowserDialogScriptPush(IDOK, "typed");
  KvBrowserDialogScriptPush(IDCANCEL, nullptr);
  p.Load("<html><body><script>external.Report(prompt('name?', 'x') + ' ' + prompt('again?'));</script></body></html>");
  EXPECT_EQ("typed null", p.Reports());
}

TEST(Script, ExternalScriptsInTheirCharset) {
  ScriptPage p;
  kvtest::WriteFile(p.home.path() + "/gbk.js", "external.Report('\xD6\xD0');");  // GBK
  kvtest::WriteFile(p.home.path() + "/utf8.js",
                    "\xEF\xBB\xBF"
                    "external.Report('\xE4\xB8\xAD');");
  p.Load(
      "<html><head><meta charset=utf-8></head><body><script src=gbk.js charset=gbk></script>"
      "<script src=utf8.js></script></body></html>");
  EXPECT_EQ("\xE4\xB8\xAD \xE4\xB8\xAD", p.Reports());
}

}  // namespace
