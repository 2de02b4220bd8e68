// The print control on a page: made by the browser for <object classid>, in place in the
// document window at its element's box, scripted through its IDispatch, its events
// advised through its type information, released with the page and its library unloaded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/automation/comobj.h"
#include "platform/base/module.h"
#include "platform/browser/element.h"
#include "platform/browser/object.h"
#include "platform/print/print.h"
#include "platform/registry/registry.h"
#include "print_control/dravik.h"
#include "testsupport/browser_site.h"
#include "testsupport/temp_home.h"
#include "testsupport/type_text.h"

namespace {

// Records the events the control raises.
class EventRecorder : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, zorbel::DIID_IDravikEvents)) {
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
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    calls.push_back(id);
    return S_OK;
  }
  ULONG refs = 1;
  std::vector<DISPID> calls;
};

std::string ControlLog() {
  char buf[8192];
  DWORD n = KvBrowserControlLog(buf, sizeof buf);
  return n < sizeof buf ? std::string(buf, n) : std::string("(log too long)");
}

class ZorbelOnAPage : public ::testing::Test {
 protected:
  void SetUp() override {
    KvRegistryReload();
    setenv("KORVANE_PRINT_CUPS", "0", 1);
    setenv("KORVANE_PRINT_DIR", (home_.path() + "/out").c_str(), 1);
    KvPrintRefresh();
    KvPrintClearDocuments();
    KvBrowserControlLogClear();
    HMODULE module = LoadLibraryA("Zorbel.ocx");
    ASSERT_NE(module, nullptr);
    auto reg = kv::ProcAddress<HRESULT (*)()>(module, "DllRegisterServer");
    ASSERT_NE(reg, nullptr);
    ASSERT_EQ(reg(), S_OK);
    FreeLibrary(module);
    ASSERT_EQ(GetModuleHandleA("Zorbel.ocx"), nullptr);
  }
  void TearDown() override { KvRegistryReload(); }
  kvtest::TempHome home_;
};

TEST_F(ZorbelOnAPage, CreatedInPlaceScriptedAndUnloadedWithThePage) {
  kvtest::HostedBrowser b;
  std::string page = home_.path() + "/invoice.html";
  kvtest::WriteFile(page,
                    "<html><body><p>Invoice</p>"
                    "<object id=prt classid=\"clsid:4EAAA8DD-B1DF-4F47-9203-CB9296507DB3\" width=120 height=30>"
                    "<param name=FontSize value=12></object></body></html>");
  ASSERT_EQ(S_OK, b.Navigate(page));
  b.Run();

  std::string log = ControlLog();
  for (const char* step : {
           "prt CoCreateInstance 0x00000000\n",
           "prt SetInterfaceSafetyOptions(IDispatch, 1, 1) 0x00000000\nprt SetClientSite 0x00000000\n",
           "prt IPersistStreamInit::InitNew 0x00000000\nprt params ignored: no IPersistPropertyBag\n",
           "prt DoVerb(OLEIVERB_INPLACEACTIVATE) 0x00000000\nprt created\n",
       }) {
    EXPECT_NE(log.find(step), std::string::npos) << step << "\nin:\n" << log;
  }
  EXPECT_NE(GetModuleHandleA("Zorbel.ocx"), nullptr);

  IHTMLElement* element = b.ById(u"prt");
  ASSERT_NE(element, nullptr);
  kv::browser::Element* own = nullptr;
  ASSERT_EQ(element->QueryInterface(kv::browser::IID_KvBrowserElement, reinterpret_cast<void**>(&own)), S_OK);
  kv::browser::PageControl* control = own->Control();
  own->Release();
  ASSERT_NE(control, nullptr);
  ASSERT_NE(control->Dispatch(), nullptr);

  // The control's window is a child of the document window, at the element's box.
  HWND document_window = b.FindChild(u"Internet Explorer_Server");
  ASSERT_NE(document_window, nullptr);
  HWND button = GetWindow(document_window, GW_CHILD);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(GetParent(button), document_window);
  EXPECT_TRUE(IsWindowVisible(button));
  RECT box{}, placed{};
  ASSERT_TRUE(KvBrowserElementRect(element, &box));
  GetWindowRect(button, &placed);
  EXPECT_EQ(placed.left, box.left);
  EXPECT_EQ(placed.top, box.top);
  EXPECT_EQ(placed.right - placed.left, 120);
  EXPECT_EQ(placed.bottom - placed.top, 30);
  element->Release();

  // The view draws the control through its own IViewObject, where its box is.
  RECT client{};
  GetClientRect(document_window, &client);
  POINT origin{0, 0};
  ClientToScreen(document_window, &origin);
  BITMAPINFO bmi{};
  bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 32, 0, 0, 0, 0, 0, 0};
  HDC dc = CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(bitmap, nullptr);
  SelectObject(dc, bitmap);
  IViewObject* view = nullptr;
  ASSERT_EQ(b.browser->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view)), S_OK);
  RECTL bounds{0, 0, client.right, client.bottom};
  EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0), S_OK);
  view->Release();
  auto pixel = [&](int x, int y) { return static_cast<uint32_t*>(bits)[y * client.right + x] & 0xFFFFFF; };
  int cx = (placed.left + placed.right) / 2 - origin.x, cy = (placed.top + placed.bottom) / 2 - origin.y;
  EXPECT_NE(pixel(cx, cy), 0xFFFFFFu);                           // the button's face
  EXPECT_EQ(pixel(placed.right - origin.x + 8, cy), 0xFFFFFFu);  // the page beside it
  DeleteDC(dc);
  DeleteObject(bitmap);

  // Scripted through its IDispatch, as the page's script would.
  IDispatch* d = control->Dispatch();
  DispatchInvoke(d, u"FontSize", DISPATCH_PROPERTYPUT, {OleVariant(9)});
  EXPECT_EQ(DispatchInvoke(d, u"fontsize", DISPATCH_PROPERTYGET, {}).AsInteger(), 9);
  DispatchInvoke(d, u"PrintStr", DISPATCH_PROPERTYPUT, {OleVariant("10,10,x")});
  DispatchInvoke(d, u"IsPrintSetup", DISPATCH_PROPERTYPUT, {OleVariant(0)});
  // A method is refused as a property get.
  EXPECT_THROW(DispatchInvoke(d, u"GetPrinterName", DISPATCH_PROPERTYGET, {}), EOleSysError);

  // Events from the default source interface its type information names.
  ITypeInfo* events = nullptr;
  ASSERT_EQ(control->EventTypeInfo(&events), S_OK);
  EXPECT_TRUE(IsEqualGUID(kvtest::TypeGuid(events), zorbel::DIID_IDravikEvents));
  EXPECT_EQ(kvtest::MemberLines(events).front(), "OnClick func 201 () void");
  events->Release();
  EventRecorder sink;
  DWORD cookie = 0;
  ASSERT_EQ(control->AdviseEvents(&sink, &cookie), S_OK);
  KvInjectClick((placed.left + placed.right) / 2, (placed.top + placed.bottom) / 2);
  b.Run();
  EXPECT_EQ(sink.calls, std::vector<DISPID>{zorbel::kDispidOnClick});
  EXPECT_EQ(KvPrintDocumentCount(), 1u);  // the click's print

  // Navigating away releases the control; its library unloads.
  KvBrowserControlLogClear();
  ASSERT_EQ(S_OK, b.Navigate("about:blank"));
  b.Run();
  EXPECT_EQ(ControlLog(), "prt released\n");
  EXPECT_EQ(sink.refs, 1u);  // unadvised
  EXPECT_FALSE(IsWindow(button));
  EXPECT_EQ(KvComLoadedServerCount(), 0u);
  EXPECT_EQ(GetModuleHandleA("Zorbel.ocx"), nullptr);
}

}  // namespace
