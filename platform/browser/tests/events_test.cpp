// DOM events from injected input as the DOM event listener attaches to them, default
// actions, and a form with every field kind read and submitted.
#include <gtest/gtest.h>

#include <string>

#include "testsupport/browser_site.h"
#include "testsupport/temp_home.h"

namespace {

using kvtest::HostedBrowser;

std::u16string Take(BSTR b) {
  std::u16string s = kv::BstrText(b);
  SysFreeString(b);
  return s;
}

// A sink as the DOM event listener connects it: an IDispatch answering the event
// interface's IID, called with the event's DISPID and one IHTMLEventObj.
class DomSink final : public IDispatch {
 public:
  explicit DomSink(const IID& iid) : iid_(iid) {}
  struct Seen {
    DISPID id;
    std::u16string type, src_tag, src_id;
  };
  std::vector<Seen> seen;
  bool cancel_clicks = false;

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, iid_)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override { return --refs_; }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* dp, VARIANT* result, EXCEPINFO*, UINT*) override {
    EXPECT_EQ(DISPATCH_METHOD, flags);
    IHTMLEventObj* ev = nullptr;
    if (dp->cArgs == 1 && dp->rgvarg[0].vt == VT_DISPATCH)
      dp->rgvarg[0].pdispVal->QueryInterface(IID_IHTMLEventObj, reinterpret_cast<void**>(&ev));
    Seen s{id, u"", u"", u""};
    if (ev) {
      BSTR b = nullptr;
      ev->get_type(&b);
      s.type = Take(b);
      IHTMLElement* src = nullptr;
      ev->get_srcElement(&src);
      if (src) {
        src->get_tagName(&b);
        s.src_tag = Take(b);
        src->get_id(&b);
        s.src_id = Take(b);
        src->Release();
      }
      ev->Release();
    }
    seen.push_back(s);
    if (cancel_clicks && id == DISPID_EVMETH_ONCLICK && result) {
      result->vt = VT_BOOL;
      result->boolVal = VARIANT_FALSE;
    }
    return S_OK;
  }

 private:
  IID iid_;
  std::atomic<ULONG> refs_{1};
};

DWORD Connect(IUnknown* source, const IID& iid, DomSink* sink, IConnectionPoint** point) {
  IConnectionPointContainer* cpc = nullptr;
  EXPECT_EQ(S_OK, source->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)));
  EXPECT_EQ(S_OK, cpc->FindConnectionPoint(iid, point));
  cpc->Release();
  DWORD cookie = 0;
  EXPECT_EQ(S_OK, (*point)->Advise(sink, &cookie));
  return cookie;
}

TEST(BrowserDomEvents, ListenerSeesClicksAndCancelsLinks) {
  kvtest::TempHome home;
  kvtest::WriteFile(home.path() + "/next.html", "<title>next</title>");
  kvtest::WriteFile(home.path() + "/p.html",
                    "<body><div id=d><a id=l href=next.html>go <b id=bold>on</b></a></div></body>");
  HostedBrowser b;
  ASSERT_EQ(S_OK, b.Navigate(home.path() + "/p.html"));
  b.Run();

  // A skElement sink on the link's container and a skDocument sink on the document.
  DomSink element_sink(DIID_HTMLElementEvents2), doc_sink(DIID_HTMLDocumentEvents2);
  IHTMLElement* div = b.ById(u"d");
  IConnectionPoint *ep = nullptr, *dp = nullptr;
  DWORD ec = Connect(div, DIID_HTMLElementEvents2, &element_sink, &ep);
  IHTMLDocument2* doc = b.Document();
  DWORD dc = Connect(doc, DIID_HTMLDocumentEvents2, &doc_sink, &dp);
  // An interface the element does not offer has no point.
  IConnectionPointContainer* cpc = nullptr;
  div->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
  IConnectionPoint* none = nullptr;
  EXPECT_EQ(CONNECT_E_NOCONNECTION, cpc->FindConnectionPoint(DIID_HTMLFormElementEvents2, &none));
  cpc->Release();

  // A sink answering false on the click stops the link.
  element_sink.cancel_clicks = true;
  b.Click(u"bold");
  std::vector<std::u16string> kinds;
  for (const auto& s : element_sink.seen) kinds.push_back(s.type);
  EXPECT_EQ((std::vector<std::u16string>{u"mousedown", u"focus", u"mouseup", u"click"}), kinds);
  ASSERT_FALSE(element_sink.seen.empty());
  EXPECT_EQ(DISPID_EVMETH_ONCLICK, element_sink.seen.back().id);
  EXPECT_EQ(u"B", element_sink.seen.back().src_tag);  // srcElement is the element hit
  EXPECT_EQ(u"bold", element_sink.seen.back().src_id);
  EXPECT_EQ(DISPID_EVMETH_ONCLICK, doc_sink.seen.back().id);  // bubbled to the document
  b.Run();
  EXPECT_EQ("file://" + home.path() + "/p.html", b.LocationUrl());

  // Not cancelled, the click navigates.
  element_sink.cancel_clicks = false;
  b.Click(u"bold");
  EXPECT_EQ("file://" + home.path() + "/next.html", b.LocationUrl());

  // The old document is torn down: it keeps its sinks but fires nothing.
  size_t before = element_sink.seen.size();
  div->click();
  EXPECT_EQ(before, element_sink.seen.size());
  ep->Unadvise(ec);
  dp->Unadvise(dc);
  ep->Release();
  dp->Release();
  div->Release();
  doc->Release();
}

// The configuration page's way of reading a form: forms.item(name), each field by name.
std::u16string FieldValue(IHTMLFormElement* form, const char16_t* name) {
  VARIANT n, none;
  n.vt = VT_BSTR;
  n.bstrVal = SysAllocString(name);
  VariantInit(&none);
  IDispatch* d = nullptr;
  form->item(n, none, &d);
  VariantClear(&n);
  if (!d) return u"";
  std::u16string out;
  IHTMLInputElement* input = nullptr;
  IHTMLSelectElement* select = nullptr;
  IHTMLTextAreaElement* area = nullptr;
  BSTR b = nullptr;
  if (SUCCEEDED(d->QueryInterface(IID_IHTMLInputElement, reinterpret_cast<void**>(&input)))) {
    input->get_type(&b);
    std::u16string type = Take(b);
    if (type == u"radio" || type == u"checkbox") {
      VARIANT_BOOL c = VARIANT_FALSE;
      input->get_checked(&c);
      out = c ? u"checked" : u"unchecked";
    } else {
      input->get_value(&b);
      out = Take(b);
    }
    input->Release();
  } else if (SUCCEEDED(d->QueryInterface(IID_IHTMLSelectElement, reinterpret_cast<void**>(&select)))) {
    select->get_value(&b);
    out = Take(b);
    select->Release();
  } else if (SUCCEEDED(d->QueryInterface(IID_IHTMLTextAreaElement, reinterpret_cast<void**>(&area)))) {
    area->get_value(&b);
    out = Take(b);
    area->Release();
  }
  d->Release();
  return out;
}

TEST(BrowserDomEvents, FormWithEveryFieldKindIsReadAndSubmitted) {
  kvtest::TempHome home;
  kvtest::WriteFile(home.path() + "/form.html",
                    "<meta charset=gbk><form name=_CONFIG_FORM action=save.cgi method=post>"
                    "<input id=t name=ServerURL value=\"a b\">"
                    "<input type=password name=pw value=\"s&=\">"
                    "<input type=hidden name=h value=1>"
                    "<input id=c type=checkbox name=cb>"
                    "<input type=radio name=skin value=blue checked><input id=r2 type=radio name=skin value=red>"
                    "<select name=Port><option value=80>80<option selected>8080</select>"
                    "<textarea name=note>line1\nline2</textarea>"
                    "<input type=text name=off value=x disabled>"
                    "<input id=s type=submit name=_CONFIG_SAVE_BUTTON value=Save>"
                    "</form>");
  HostedBrowser b;
  ASSERT_EQ(S_OK, b.Navigate(home.path() + "/form.html"));
  b.Run();

  IHTMLDocument2* doc = b.Document();
  IHTMLElementCollection* forms = nullptr;
  doc->get_forms(&forms);
  VARIANT n, none;
  n.vt = VT_BSTR;
  n.bstrVal = SysAllocString(u"_CONFIG_FORM");
  VariantInit(&none);
  IDispatch* fd = nullptr;
  forms->item(n, none, &fd);
  VariantClear(&n);
  IHTMLFormElement* form = nullptr;
  ASSERT_EQ(S_OK, fd->QueryInterface(IID_IHTMLFormElement, reinterpret_cast<void**>(&form)));

  // Typed text, a clicked checkbox and radio button, read back through the DOM.
  b.Click(u"t");
  b.Type(u"z");
  b.Press(VK_BACK);
  b.Type(u"\u53d1");  // a character the charset (GBK) holds
  b.Click(u"c");
  b.Click(u"r2");
  EXPECT_EQ(u"a b\u53d1", FieldValue(form, u"ServerURL"));
  EXPECT_EQ(u"checked", FieldValue(form, u"cb"));
  EXPECT_EQ(u"", FieldValue(form, u"skin"));  // a radio group: item(name) gives a collection
  IHTMLInputElement* red = nullptr;
  IHTMLElement* r2 = b.ById(u"r2");
  r2->QueryInterface(IID_IHTMLInputElement, reinterpret_cast<void**>(&red));
  VARIANT_BOOL on = VARIANT_FALSE;
  red->get_checked(&on);
  EXPECT_EQ(VARIANT_TRUE, on);
  red->Release();
  r2->Release();
  EXPECT_EQ(u"8080", FieldValue(form, u"Port"));
  EXPECT_EQ(u"line1\nline2", FieldValue(form, u"note"));
  EXPECT_EQ(u"1", FieldValue(form, u"h"));
  LONG count = 0;
  form->get_length(&count);
  EXPECT_EQ(10, count);

  // Submission: the urlencoded body in the document's charset, as POST data.
  std::string post, headers, url;
  b.sink.OnEvent = [&](DISPID id, DISPPARAMS* dp) {
    if (id != DISPID_BEFORENAVIGATE2) return;
    VARIANT* data = dp->rgvarg[2].pvarVal;
    if (data->vt == (VT_ARRAY | VT_UI1)) {
      void* p = nullptr;
      SafeArrayAccessData(data->parray, &p);
      post.assign(static_cast<char*>(p), data->parray->rgsabound[0].cElements);
      SafeArrayUnaccessData(data->parray);
    }
    headers = kv::WideToUtf8(kv::BstrText(dp->rgvarg[1].pvarVal->bstrVal));
    url = kv::WideToUtf8(kv::BstrText(dp->rgvarg[5].pvarVal->bstrVal));
    *dp->rgvarg[0].pboolVal = VARIANT_TRUE;  // no need to go there
  };
  b.Click(u"s");
  EXPECT_EQ("file://" + home.path() + "/save.cgi", url);
  EXPECT_EQ(
      "ServerURL=a+b%B7%A2&pw=s%26%3D&h=1&cb=on&skin=red&Port=8080&note=line1%0D%0Aline2&_CONFIG_SAVE_BUTTON=Save",
      post);
  EXPECT_EQ("Content-Type: application/x-www-form-urlencoded\r\n", headers);
  b.sink.OnEvent = nullptr;
  form->Release();
  fd->Release();
  forms->Release();
  doc->Release();
}

class WindowManager final : public INewWindowManager {
 public:
  HRESULT answer = S_OK;
  int asked = 0;
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_INewWindowManager)) {
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT EvaluateNewWindow(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, BOOL, DWORD, DWORD) override {
    ++asked;
    return answer;
  }
};

TEST(BrowserDomEvents, NewWindowLinksAskTheHost) {
  kvtest::TempHome home;
  kvtest::WriteFile(home.path() + "/p.html", "<a id=n href=other.html target=_blank>new</a>");
  HostedBrowser b;
  ASSERT_EQ(S_OK, b.Navigate(home.path() + "/p.html"));
  b.Run();
  WindowManager manager;
  b.site->OnQueryService = [&](REFGUID service, REFIID, void** object) {
    if (!IsEqualGUID(service, IID_INewWindowManager)) return E_NOINTERFACE;
    *object = &manager;
    return S_OK;
  };
  for (HRESULT answer : {S_FALSE, S_OK}) {
    manager.answer = answer;
    b.sink.events.clear();
    b.Click(u"n");
    // Blocked: no event. Allowed: NewWindow2 and NewWindow3; no browser given, nothing opens.
    EXPECT_EQ(answer == S_OK ? "NewWindow2@4 NewWindow3@4" : "", b.sink.Sequence()) << answer;
    EXPECT_EQ("file://" + home.path() + "/p.html", b.LocationUrl());
  }
  EXPECT_EQ(2, manager.asked);
}

TEST(BrowserDomEvents, EnterSubmitsAndTabMovesFocus) {
  kvtest::TempHome home;
  kvtest::WriteFile(
      home.path() + "/f.html",
      "<form action=go.html><input id=a name=a><input id=b name=b><input type=submit name=s value=OK></form>");
  HostedBrowser b;
  ASSERT_EQ(S_OK, b.Navigate(home.path() + "/f.html"));
  b.Run();
  b.Click(u"a");
  b.Type(u"1");
  b.Press(VK_TAB);
  b.Type(u"2");
  std::string url;
  b.sink.OnEvent = [&](DISPID id, DISPPARAMS* dp) {
    if (id == DISPID_BEFORENAVIGATE2) url = kv::WideToUtf8(kv::BstrText(dp->rgvarg[5].pvarVal->bstrVal));
  };
  b.Press(VK_RETURN);
  // Implicit submission through the first submit button, a GET with the data appended.
  EXPECT_EQ("file://" + home.path() + "/go.html?a=1&b=2&s=OK", url);
  b.sink.OnEvent = nullptr;
}

}  // namespace
