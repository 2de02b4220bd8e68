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
#include "platform/user/testing.h"
#include "print_control/dravik.h"
#include "print_control/tests/fixture.h"
#include "testsupport/browser_site.h"
#include "testsupport/http_server.h"
#include "testsupport/temp_home.h"
#include "testsupport/type_text.h"

namespace {

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
    ASSERT_TRUE(zorbel_test::RegisterZorbel());
    ASSERT_EQ(GetModuleHandleA("Zorbel.ocx"), nullptr);
  }
  void TearDown() override {
    unsetenv("KORVANE_PRINT_RASTERS");
    unsetenv("KORVANE_PRINT_DPIX");
    unsetenv("KORVANE_PRINT_DPIY");
    KvPrintRefresh();
    KvRegistryReload();
  }
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
  zorbel_test::EventSink sink;
  DWORD cookie = 0;
  ASSERT_EQ(control->AdviseEvents(&sink, &cookie), S_OK);
  KvInjectClick((placed.left + placed.right) / 2, (placed.top + placed.bottom) / 2);
  b.Run();
  EXPECT_EQ(sink.calls, std::vector<DISPID>{zorbel::kDispidOnClick});
  EXPECT_EQ(KvPrintDocumentCount(), 1u);  // the click's print

  // Navigating away releases the control; its library unloads and takes its window
  // classes with it, so the next page loads it afresh.
  HMODULE zorbel = GetModuleHandleA("Zorbel.ocx");
  KvBrowserControlLogClear();
  ASSERT_EQ(S_OK, b.Navigate("about:blank"));
  b.Run();
  EXPECT_EQ(ControlLog(), "prt released\n");
  EXPECT_EQ(sink.refs, 1u);  // unadvised
  EXPECT_FALSE(IsWindow(button));
  EXPECT_EQ(KvComLoadedServerCount(), 0u);
  EXPECT_EQ(GetModuleHandleA("Zorbel.ocx"), nullptr);
  WNDCLASSA wc{};
  EXPECT_FALSE(GetClassInfoA(zorbel, "TPUtilWindow", &wc));
  ASSERT_EQ(S_OK, b.Navigate(page));
  b.Run();
  EXPECT_NE(ControlLog().find("prt created\n"), std::string::npos) << ControlLog();
}

// The text of `s` as a script string literal.
std::string ScriptString(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\\' || c == '\'')
      out += std::string("\\") + c;
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out + "'";
}

std::string Title(kvtest::HostedBrowser& b) {
  IHTMLDocument2* doc = b.Document();
  if (!doc) return "(no document)";
  BSTR title = nullptr;
  doc->get_title(&title);
  doc->Release();
  std::string s = kv::WideToUtf8(kv::BstrText(title));
  SysFreeString(title);
  return s;
}

// The whole road from an http page: the page's script sets the control up and prints
// the example invoice with a picture fetched from the same server; a click on the
// control runs the page's OnClick handler before the control prints again.
TEST_F(ZorbelOnAPage, PrintsTheInvoiceFromAnHttpPage) {
  setenv("KORVANE_PRINT_RASTERS", "1", 1);
  setenv("KORVANE_PRINT_DPIX", "600", 1);
  setenv("KORVANE_PRINT_DPIY", "600", 1);
  KvPrintRefresh();
  kvtest::HttpServer server;
  server.Serve("/black.gif", zorbel_test::BlackGif(), "image/gif");
  // The example invoice (text, lines and inline pictures on two pages) with the fetched
  // picture added to its second page.
  const std::string job = kvtest::ReadFile(ZORBEL_EXAMPLES_DIR "/invoice/invoice.job") + "`<imgURL>60,120,10,10," +
                          server.Url("/black.gif");
  server.Serve("/invoice.html",
               "<html><head><title>start</title>"
               "<script for=\"prt\" event=\"OnClick()\">document.title = 'clicked ' + prt.ErrorNum;</script>"
               "</head><body><p>Invoice</p>"
               "<object id=\"prt\" classid=\"clsid:4EAAA8DD-B1DF-4F47-9203-CB9296507DB3\" width=120 height=30>"
               "</object><script>\n"
               "var setup = prt.IsPrintSetup;\n"
               "prt.FontSize = 10; prt.RepairX = 3; prt.RepairY = 2; prt.IsPrintSetup = 0;\n"
               "prt.Start_Print(" +
                   ScriptString(job) +
                   ");\n"
                   "document.title = [setup, prt.IsPrintSetup, prt.FontSize, prt.RepairX, prt.RepairY, prt.ErrorNum,"
                   " '[' + prt.ErrorMessage + ']'].join(' ');\n"
                   "</script></body></html>",
               "text/html; charset=utf-8");
  kvtest::HostedBrowser b;
  ASSERT_EQ(S_OK, b.Navigate(server.Url("/invoice.html")));
  ASSERT_TRUE(b.RunUntilIdle());

  EXPECT_EQ(Title(b), "1 0 10 3 2 0 []");
  ASSERT_EQ(KvPrintDocumentCount(), 1u);
  KvPrintDocument d{};
  ASSERT_TRUE(KvPrintLastDocument(0, &d));
  EXPECT_EQ(d.pages, 2u);
  EXPECT_FALSE(d.aborted);
  bool fetched = false;
  for (const auto& r : server.Requests()) fetched |= r.path == "/black.gif";
  EXPECT_TRUE(fetched);
  // The first page's 3-pixel line at 28 mm lies at 30 mm: the page's RepairY of 2 mm.
  char path[1100];
  snprintf(path, sizeof path, d.pngPattern, 1u);
  zorbel_test::Page one(path);
  ASSERT_TRUE(one.ok());
  EXPECT_TRUE(one.dark(zorbel_test::Px(103, 600), zorbel_test::Px(30, 600)));
  EXPECT_FALSE(one.dark(zorbel_test::Px(103, 600), zorbel_test::Px(28, 600)));
  // The fetched picture fills its box on the second page (moved by RepairX and RepairY).
  snprintf(path, sizeof path, d.pngPattern, 2u);
  zorbel_test::Page two(path);
  ASSERT_TRUE(two.ok());
  EXPECT_TRUE(two.dark(zorbel_test::Px(70, 600), zorbel_test::Px(123, 600)));

  // A click on the control's window: the page's handler, then the control's own print.
  HWND document_window = b.FindChild(u"Internet Explorer_Server");
  ASSERT_NE(document_window, nullptr);
  HWND button = GetWindow(document_window, GW_CHILD);
  ASSERT_NE(button, nullptr);
  RECT placed{};
  GetWindowRect(button, &placed);
  KvInjectClick((placed.left + placed.right) / 2, (placed.top + placed.bottom) / 2);
  b.Run();
  EXPECT_EQ(Title(b), "clicked 0");
  EXPECT_EQ(KvPrintDocumentCount(), 2u);

  // Navigating away releases the control, the page's event sink with it, and its
  // library unloads.
  ASSERT_EQ(S_OK, b.Navigate("about:blank"));
  b.Run();
  EXPECT_EQ(KvComLoadedServerCount(), 0u);
  EXPECT_EQ(GetModuleHandleA("Zorbel.ocx"), nullptr);
}

}  // namespace
