// Documents read through the DOM: parsing, the charset rule, collections, form fields,
// bounded nesting.
#include <gtest/gtest.h>

#include <string>

#include "platform/base/codepage.h"
#include "platform/browser/browser.h"

namespace {

struct Com {
  Com() { CoInitialize(nullptr); }
  ~Com() { CoUninitialize(); }
};

// A document holding `bytes`, loaded as a stream.
IHTMLDocument2* Load(const std::string& bytes) {
  IHTMLDocument2* doc = nullptr;
  EXPECT_EQ(S_OK, KvBrowserNewDocument(&doc));
  IPersistStreamInit* persist = nullptr;
  EXPECT_EQ(S_OK, doc->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)));
  IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
  EXPECT_EQ(S_OK, persist->Load(stream));
  stream->Release();
  persist->Release();
  return doc;
}

std::u16string Take(BSTR b) {
  std::u16string s = kv::BstrText(b);
  SysFreeString(b);
  return s;
}

template <typename I>
I* As(IUnknown* u, const IID& iid) {
  I* out = nullptr;
  if (u) u->QueryInterface(iid, reinterpret_cast<void**>(&out));
  return out;
}

IHTMLElement* ById(IHTMLDocument2* doc, const char16_t* id) {
  IHTMLDocument3* d3 = As<IHTMLDocument3>(doc, IID_IHTMLDocument3);
  IHTMLElement* e = nullptr;
  BSTR b = SysAllocString(id);
  d3->getElementById(b, &e);
  SysFreeString(b);
  d3->Release();
  return e;
}

TEST(BrowserDom, CharsetRuleDecodesTitle) {
  Com com;
  // GBK bytes of "发票" in each way the charset can be given.
  const std::string gbk = "\xB7\xA2\xC6\xB1";
  struct Case {
    std::string bytes;
  } cases[] = {
      {"<meta charset=\"gbk\"><title>" + gbk + "</title>"},
      {"<meta http-equiv=Content-Type content=\"text/html; charset=gb2312\"><title>" + gbk + "</title>"},
      {"\xEF\xBB\xBF<title>\xE5\x8F\x91\xE7\xA5\xA8</title>"},  // UTF-8 with a byte-order mark
      {"<title>" + gbk + "</title>"},                           // the ANSI code page (GBK)
  };
  for (const auto& c : cases) {
    IHTMLDocument2* doc = Load(c.bytes);
    BSTR t = nullptr;
    ASSERT_EQ(S_OK, doc->get_title(&t));
    EXPECT_EQ(u"发票", Take(t)) << c.bytes;
    doc->Release();
  }
}

TEST(BrowserDom, ElementsAndCollections) {
  Com com;
  IHTMLDocument2* doc = Load(
      "<html><body><div id=a class=k>One <b>two</b></div><script>var x = 1;</script>"
      "<form name=f><input type=radio name=r value=1><input type=radio name=r value=2 checked></form></body></html>");
  IHTMLElement* a = ById(doc, u"a");
  ASSERT_NE(nullptr, a);
  BSTR s = nullptr;
  a->get_tagName(&s);
  EXPECT_EQ(u"DIV", Take(s));
  a->get_innerText(&s);
  EXPECT_EQ(u"One two", Take(s));
  a->get_outerHTML(&s);
  EXPECT_EQ(u"<div id=\"a\" class=\"k\">One <b>two</b></div>", Take(s));
  IHTMLElement* parent = nullptr;
  a->get_parentElement(&parent);
  parent->get_tagName(&s);
  EXPECT_EQ(u"BODY", Take(s));
  // The same node gives the same object.
  IHTMLElement* again = ById(doc, u"a");
  EXPECT_EQ(a, again);
  again->Release();
  parent->Release();
  a->Release();

  // The script element stays in the tree.
  IHTMLElementCollection* all = nullptr;
  doc->get_all(&all);
  VARIANT tag, none;
  tag.vt = VT_BSTR;
  tag.bstrVal = SysAllocString(u"script");
  VariantInit(&none);
  IDispatch* scripts = nullptr;
  ASSERT_EQ(S_OK, all->tags(tag, &scripts));
  auto* sc = As<IHTMLElementCollection>(scripts, IID_IHTMLElementCollection);
  LONG n = 0;
  sc->get_length(&n);
  EXPECT_EQ(1, n);
  sc->Release();
  scripts->Release();
  VariantClear(&tag);
  all->Release();

  // item(name) gives a collection when several elements share the name.
  IHTMLElementCollection* forms = nullptr;
  doc->get_forms(&forms);
  VARIANT name;
  name.vt = VT_BSTR;
  name.bstrVal = SysAllocString(u"f");
  IDispatch* fd = nullptr;
  ASSERT_EQ(S_OK, forms->item(name, none, &fd));
  auto* form = As<IHTMLFormElement>(fd, IID_IHTMLFormElement);
  ASSERT_NE(nullptr, form);
  SysReAllocString(&name.bstrVal, u"r");
  IDispatch* group = nullptr;
  ASSERT_EQ(S_OK, form->item(name, none, &group));
  auto* radios = As<IHTMLElementCollection>(group, IID_IHTMLElementCollection);
  ASSERT_NE(nullptr, radios);
  radios->get_length(&n);
  EXPECT_EQ(2, n);
  VARIANT one;
  one.vt = VT_I4;
  one.lVal = 1;
  IDispatch* second = nullptr;
  radios->item(one, none, &second);
  auto* input = As<IHTMLInputElement>(second, IID_IHTMLInputElement);
  VARIANT_BOOL checked = VARIANT_FALSE;
  input->get_checked(&checked);
  EXPECT_EQ(VARIANT_TRUE, checked);
  input->Release();
  second->Release();
  radios->Release();
  group->Release();
  VariantClear(&name);
  form->Release();
  fd->Release();
  forms->Release();
  doc->Release();
}

TEST(BrowserDom, MalformedAndDeepPagesGiveBoundedDocuments) {
  Com com;
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<div>";
  deep += "end";
  const std::string cases[] = {deep, "<table><tr><td><form><table></form>x</td>", "\xFF\xFE<\x00", "<a<b</<<>>&#x;",
                               std::string("\0\0\0", 3)};
  for (const auto& bytes : cases) {
    IHTMLDocument2* doc = Load(bytes);
    IHTMLElement* body = nullptr;
    ASSERT_EQ(S_OK, doc->get_body(&body));
    if (body) {
      BSTR s = nullptr;
      body->get_innerHTML(&s);
      SysFreeString(s);
      body->Release();
    }
    doc->Release();
  }
  // The text below the depth limit is kept.
  IHTMLDocument2* doc = Load(deep);
  IHTMLElement* body = nullptr;
  doc->get_body(&body);
  BSTR s = nullptr;
  body->get_innerText(&s);
  EXPECT_EQ(u"end", Take(s));
  body->Release();
  doc->Release();
}

}  // namespace
