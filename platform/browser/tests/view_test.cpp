// The view: IViewObject::Draw of the fixed flow layout, probed pixel by pixel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/user/testing.h"
#include "testsupport/browser_site.h"
#include "testsupport/temp_home.h"

namespace {

struct Canvas {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HFONT font = nullptr;
  uint32_t* bits = nullptr;
  int w, h;
  Canvas(int width, int height) : w(width), h(height) {
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = -h;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    dc = CreateCompatibleDC(nullptr);
    void* p = nullptr;
    bitmap = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<uint32_t*>(p);
    SelectObject(dc, bitmap);
    font = CreateFontW(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, u"KvTestFont");
    SelectObject(dc, font);
  }
  ~Canvas() {
    DeleteDC(dc);
    DeleteObject(bitmap);
    DeleteObject(font);
  }
  uint32_t At(int x, int y) const { return bits[y * w + x] & 0xFFFFFF; }
  std::vector<uint32_t> Pixels() const { return std::vector<uint32_t>(bits, bits + w * h); }
  int LineHeight() const {
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    return tm.tmHeight;
  }
};

HRESULT DrawInto(IUnknown* object, Canvas& c) {
  IViewObject* view = nullptr;
  object->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view));
  RECTL bounds{0, 0, c.w, c.h};
  HRESULT hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, c.dc, &bounds, nullptr, nullptr, 0);
  view->Release();
  return hr;
}

constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0;

TEST(BrowserView, DrawsTheFlowLayoutDeterministically) {
  kvtest::TempHome home;
  kvtest::WriteFile(home.path() + "/v.html",
                    "<body><div style=\"display: none\">HIDDEN TEXT</div><input value=abc><br>"
                    "<input type=checkbox checked><p>Some words that wrap across the narrow page width</p></body>");
  kvtest::HostedBrowser b;
  Canvas c(200, 150);
  EXPECT_EQ(OLE_E_BLANK, DrawInto(b.browser, c));  // no document yet
  ASSERT_EQ(S_OK, b.Navigate(home.path() + "/v.html"));
  b.Run();

  ASSERT_EQ(S_OK, DrawInto(b.browser, c));
  std::vector<uint32_t> first = c.Pixels();
  std::memset(c.bits, 0x55, static_cast<size_t>(c.w * c.h * 4));
  ASSERT_EQ(S_OK, DrawInto(b.browser, c));
  EXPECT_TRUE(first == c.Pixels());  // same document, size and font: the same pixels

  // The hidden block takes no room: the field is a framed box at the top left, its value
  // drawn inside.
  int line = c.LineHeight();
  EXPECT_EQ(kBlack, c.At(0, 0));
  EXPECT_EQ(kBlack, c.At(0, line + 5));
  EXPECT_EQ(kWhite, c.At(1, 1));
  int inked = 0;
  for (int y = 3; y < 3 + line; ++y)
    for (int x = 3; x < 40; ++x) inked += c.At(x, y) == kBlack;
  EXPECT_LT(0, inked);
  // The checked box on the next line: frame, white margin, black mark.
  int top = line + 6;
  EXPECT_EQ(kBlack, c.At(0, top));
  EXPECT_EQ(kWhite, c.At(1, top + 1));
  EXPECT_EQ(kBlack, c.At(6, top + 6));
  // The paragraph wraps within the width and leaves the page white beside it.
  EXPECT_EQ(kWhite, c.At(c.w - 1, top + 14 + line));

  // Zooming out scales the line height: the same page draws differently.
  IHTMLDocument2* doc = b.Document();
  IOleCommandTarget* ct = nullptr;
  doc->QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(&ct));
  VARIANT range;
  ASSERT_EQ(S_OK, ct->Exec(nullptr, OLECMDID_GETZOOMRANGE, OLECMDEXECOPT_DONTPROMPTUSER, nullptr, &range));
  EXPECT_EQ(0x00040000, range.lVal);
  VARIANT level;
  level.vt = VT_I4;
  level.lVal = 4;
  ASSERT_EQ(S_OK, ct->Exec(nullptr, OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &level, nullptr));
  ct->Release();
  doc->Release();
  ASSERT_EQ(S_OK, DrawInto(b.browser, c));
  EXPECT_FALSE(first == c.Pixels());
}

TEST(BrowserView, TheTopViewDrawsFrames) {
  kvtest::TempHome home;
  kvtest::WriteFile(home.path() + "/inner.html", "<input value=framed>");
  kvtest::WriteFile(home.path() + "/outer.html", "<iframe src=inner.html></iframe>");
  kvtest::HostedBrowser b;
  ASSERT_EQ(S_OK, b.Navigate(home.path() + "/outer.html"));
  b.Run();
  Canvas c(200, 100);
  ASSERT_EQ(S_OK, DrawInto(b.browser, c));
  EXPECT_EQ(kBlack, c.At(0, 0));  // the frame's field, framed, at the top left
  EXPECT_EQ(kWhite, c.At(1, 1));
}

TEST(BrowserView, DocumentWindowPaintsTheDocument) {
  kvtest::TempHome home;
  kvtest::WriteFile(home.path() + "/w.html", "<body><input id=f value=x></body>");
  kvtest::HostedBrowser b;
  ASSERT_EQ(S_OK, b.Navigate(home.path() + "/w.html"));
  b.Run();
  HWND view = b.FindChild(u"Internet Explorer_Server");
  ASSERT_NE(nullptr, view);
  RECT rc{};
  IHTMLElement* f = b.ById(u"f");
  ASSERT_TRUE(KvBrowserElementRect(f, &rc));
  f->Release();
  // Window coordinates: the sunken border is part of the window.
  RECT window{};
  GetWindowRect(view, &window);
  POINT corner{rc.left - window.left, rc.top - window.top};
  EXPECT_EQ(RGB(0, 0, 0), KvWindowGetPixel(view, corner.x, corner.y));
  EXPECT_EQ(RGB(0xFF, 0xFF, 0xFF), KvWindowGetPixel(view, corner.x + 1, corner.y + 1));
}

}  // namespace
