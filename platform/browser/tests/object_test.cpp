// Controls of <object classid> elements: the safety check, the property bag, the ambient
// flag that forbids controls, the recorder, and release when the document goes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/browser/element.h"
#include "platform/browser/object.h"
#include "platform/com/builtin.h"
#include "testsupport/browser_site.h"
#include "testsupport/temp_home.h"

namespace {

using kvtest::HostedBrowser;

// How a test class behaves: its object-safety answers (no interface when `safety` is
// false) and whether it loads from a property bag.
struct Behaviour {
  bool safety;
  HRESULT for_caller;  // SetInterfaceSafetyOptions(IID_IDispatch, 1, 1)
  HRESULT for_data;    // SetInterfaceSafetyOptions(IID_IPersistPropertyBag, 2, 2)
  bool bag;
};

Behaviour g_behaviour;
int g_live = 0;
std::vector<std::string> g_loaded;  // what Load read from the bag

class TestControl final : public IDispatch, public IObjectSafety, public IPersistPropertyBag {
 public:
  TestControl() { ++g_live; }
  HRESULT QueryInterface(REFIID riid, void** object) override {
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch))
      *object = static_cast<IDispatch*>(this);
    else if (IsEqualIID(riid, IID_IObjectSafety) && g_behaviour.safety)
      *object = static_cast<IObjectSafety*>(this);
    else if (IsEqualIID(riid, IID_IPersistPropertyBag) && g_behaviour.bag)
      *object = static_cast<IPersistPropertyBag*>(this);
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
  HRESULT GetInterfaceSafetyOptions(REFIID, DWORD* supported, DWORD* enabled) override {
    *supported = *enabled = 3;
    return S_OK;
  }
  HRESULT SetInterfaceSafetyOptions(REFIID riid, DWORD, DWORD) override {
    return IsEqualIID(riid, IID_IDispatch) ? g_behaviour.for_caller : g_behaviour.for_data;
  }
  HRESULT GetClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT InitNew() override {
    g_loaded.push_back("InitNew");
    return S_OK;
  }
  HRESULT Load(IPropertyBag* bag, IErrorLog*) override {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;  // a typed read converts the text
    if (SUCCEEDED(bag->Read(u"COUNT", &v, nullptr))) g_loaded.push_back("count=" + std::to_string(v.lVal));
    VariantInit(&v);
    if (SUCCEEDED(bag->Read(u"title", &v, nullptr)))
      g_loaded.push_back("title=" + kv::WideToUtf8(kv::BstrText(v.bstrVal)));
    VariantClear(&v);
    VariantInit(&v);
    if (bag->Read(u"missing", &v, nullptr) == E_INVALIDARG) g_loaded.push_back("missing absent");
    return S_OK;
  }
  HRESULT Save(IPropertyBag*, BOOL, BOOL) override { return E_NOTIMPL; }

 private:
  ~TestControl() { --g_live; }
  ULONG refs_ = 1;
};

// {5C1B7A10-2D3E-4F50-8A61-7B8C9D0E1F21}
constexpr CLSID kTestClass = {0x5C1B7A10, 0x2D3E, 0x4F50, {0x8A, 0x61, 0x7B, 0x8C, 0x9D, 0x0E, 0x1F, 0x21}};

std::string Log() {
  char buf[8192];
  DWORD n = KvBrowserControlLog(buf, sizeof buf);
  return n < sizeof buf ? std::string(buf, n) : std::string("(log too long)");
}

kv::browser::PageControl* ControlOf(HostedBrowser& b, const char16_t* id) {
  IHTMLElement* e = b.ById(id);
  if (!e) return nullptr;
  kv::browser::Element* element = nullptr;
  e->QueryInterface(kv::browser::IID_KvBrowserElement, reinterpret_cast<void**>(&element));
  e->Release();
  if (!element) return nullptr;
  kv::browser::PageControl* c = element->Control();
  element->Release();
  return c;
}

class PageObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    kv::RegisterBuiltinClass<TestControl, kTestClass>();
    KvBrowserControlLogClear();
    g_loaded.clear();
  }
  std::string Page(const std::string& body) {
    std::string path = home_.path() + "/p.html";
    kvtest::WriteFile(path, "<html><body>" + body + "</body></html>");
    return path;
  }
  kvtest::TempHome home_;
};

const char kObject[] = "<object id=ctl classid=\"clsid:5C1B7A10-2D3E-4F50-8A61-7B8C9D0E1F21\" width=50 height=20>";

TEST_F(PageObjects, AControlNotSafeForScriptingIsRefused) {
  struct Case {
    const char* name;
    Behaviour behaviour;
    bool params;
    const char* refusal;  // the step that refused it
  } cases[] = {
      {"no IObjectSafety", {false, S_OK, S_OK, true}, false, "ctl IObjectSafety 0x80004002"},
      {"refuses scripting",
       {true, E_FAIL, S_OK, true},
       false,
       "ctl SetInterfaceSafetyOptions(IDispatch, 1, 1) 0x80004005"},
      {"refuses its data",
       {true, S_OK, E_NOINTERFACE, true},
       true,
       "ctl SetInterfaceSafetyOptions(IPersistPropertyBag, 2, 2) 0x80004002"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_behaviour = c.behaviour;
    KvBrowserControlLogClear();
    HostedBrowser b;
    std::string html = std::string(kObject) + (c.params ? "<param name=count value=3>" : "") + "</object>";
    ASSERT_EQ(S_OK, b.Navigate(Page(html)));
    b.Run();
    std::string log = Log();
    EXPECT_NE(log.find("ctl CoCreateInstance 0x00000000\n"), std::string::npos) << log;
    EXPECT_NE(log.find(std::string(c.refusal) + "\nctl not safe for scripting\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("SetClientSite"), std::string::npos) << log;
    EXPECT_EQ(ControlOf(b, u"ctl"), nullptr);
    EXPECT_EQ(g_live, 0);  // released at once
    EXPECT_TRUE(g_loaded.empty());
  }
}

TEST_F(PageObjects, ParamsReachThePropertyBagAndTheControlGoesWithItsDocument) {
  g_behaviour = {true, S_OK, S_OK, true};
  HostedBrowser b;
  std::string html = std::string(kObject) +
                     "<param name=count value=42><param name=Title value=\"a b\"></object>"
                     "<object id=plain classid=\"clsid:{5c1b7a10-2d3e-4f50-8a61-7b8c9d0e1f21}\"></object>"
                     "<object id=bad classid=\"clsid:nothing\"></object>"
                     "<object id=absent classid=\"clsid:5C1B7A10-0000-0000-0000-000000000000\"></object>";
  ASSERT_EQ(S_OK, b.Navigate(Page(html)));
  b.Run();
  EXPECT_EQ(g_loaded, (std::vector<std::string>{"count=42", "title=a b", "missing absent", "InitNew"}));
  EXPECT_EQ(g_live, 2);
  std::string log = Log();
  for (const char* want : {
           "ctl {5C1B7A10-2D3E-4F50-8A61-7B8C9D0E1F21}\nctl CoCreateInstance 0x00000000\n"
           "ctl SetInterfaceSafetyOptions(IDispatch, 1, 1) 0x00000000\n"
           "ctl SetInterfaceSafetyOptions(IPersistPropertyBag, 2, 2) 0x00000000\n"
           "ctl IOleObject 0x80004002\nctl IPersistPropertyBag::Load(2 params) 0x00000000\nctl created\n",
           "plain IPersistPropertyBag::InitNew 0x00000000\nplain created\n",
           "bad classid \"clsid:nothing\" is not a class id\n",
           "absent CoCreateInstance 0x80040154\n",
       }) {
    EXPECT_NE(log.find(want), std::string::npos) << want << "\nin:\n" << log;
  }
  kv::browser::PageControl* ctl = ControlOf(b, u"ctl");
  ASSERT_NE(ctl, nullptr);
  EXPECT_NE(ctl->Dispatch(), nullptr);
  EXPECT_EQ(ctl->BoxSize().cx, 50);
  EXPECT_EQ(ctl->BoxSize().cy, 20);
  // Without type information there is no default source interface to advise.
  ITypeInfo* events = nullptr;
  EXPECT_EQ(ctl->EventTypeInfo(&events), TYPE_E_ELEMENTNOTFOUND);
  DWORD cookie = 0;
  EXPECT_EQ(ctl->AdviseEvents(static_cast<IDispatch*>(&b.sink), &cookie), TYPE_E_ELEMENTNOTFOUND);
  // The site's ambient properties.
  struct Ambient {
    DISPID id;
    HRESULT hr;
    VARTYPE vt;
    LONG value;
  } ambients[] = {{-709, S_OK, VT_BOOL, VARIANT_TRUE},
                  {-710, S_OK, VT_BOOL, VARIANT_FALSE},
                  {-705, S_OK, VT_I4, 2052},
                  {-5512, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0},
                  {-701, DISP_E_MEMBERNOTFOUND, VT_EMPTY, 0}};
  for (const auto& a : ambients) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(ctl->Invoke(a.id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), a.hr) << a.id;
    EXPECT_EQ(v.vt, a.vt) << a.id;
    EXPECT_EQ(v.vt == VT_BOOL ? v.boolVal : v.lVal, a.value) << a.id;
  }
  EXPECT_EQ(ControlOf(b, u"bad"), nullptr);
  EXPECT_EQ(ControlOf(b, u"absent"), nullptr);

  KvBrowserControlLogClear();
  ASSERT_EQ(S_OK, b.Navigate("about:blank"));
  b.Run();
  EXPECT_EQ(g_live, 0);
  EXPECT_EQ(Log(), "ctl released\nplain released\n");
}

TEST_F(PageObjects, AmbientFlagForbiddingControlsCreatesNone) {
  g_behaviour = {true, S_OK, S_OK, true};
  HostedBrowser b;
  b.site->OnAmbient = [](DISPID id) {
    VARIANT v;
    VariantInit(&v);
    if (id == -5512) {
      v.vt = VT_I4;
      v.lVal = 0x200;
    }
    return v;
  };
  ASSERT_EQ(S_OK, b.Navigate(Page(std::string(kObject) + "</object>")));
  b.Run();
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(g_live, 0);
  EXPECT_EQ(ControlOf(b, u"ctl"), nullptr);
}

TEST_F(PageObjects, AControlLeavingTheTreeIsReleased) {
  g_behaviour = {true, S_OK, S_OK, false};
  HostedBrowser b;
  ASSERT_EQ(S_OK, b.Navigate(Page("<div id=box>" + std::string(kObject) + "</object></div>")));
  b.Run();
  ASSERT_EQ(g_live, 1);
  IHTMLElement* box = b.ById(u"box");
  ASSERT_NE(box, nullptr);
  BSTR text = SysAllocString(u"gone");
  EXPECT_EQ(box->put_innerHTML(text), S_OK);
  SysFreeString(text);
  box->Release();
  EXPECT_EQ(g_live, 0);
  EXPECT_NE(Log().find("ctl released\n"), std::string::npos) << Log();
}

}  // namespace
