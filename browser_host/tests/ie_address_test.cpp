// The address combo's rules: the slash, the secure colour, the typed-URL list in the
// registry (24 written back, stale values gone, substrings not loaded twice), the
// favicon address and the text taken from a linked browser; its keys, clicks and double
// clicks, its owner-drawn items, icons and shape.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "browser_host/ie_address.h"
#include "framework/core/registry.h"
#include "framework/controls/forms.h"
#include "platform/base/codepage.h"
#include "platform/base/time.h"
#include "platform/registry/registry.h"
#include "platform/user/combobox.h"
#include "platform/user/testing.h"
#include "testsupport/http_server.h"
#include "testsupport/temp_home.h"

namespace {

TEST(IEAddress, SlashRule) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"http://host.cn/dir", "http://host.cn/dir/"}, {"http://host.cn/page.html", "http://host.cn/page.html"},
      {"http://host.cn/", "http://host.cn/"},        {"nohost", "nohost"},
      {"a.b/c.d/e", "a.b/c.d/e/"},                   {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(NormalisedAddress(c.text), c.expected) << c.text;
}

TEST(IEAddress, FaviconFromThePagesOwnSchemeAndHost) {
  struct Case {
    const char* url;
    const char* icon;
  } cases[] = {
      {"https://secure.example:8443/a/b?c", "https://secure.example:8443/favicon.ico"},
      {"http://www.example.cn/index.html", "http://www.example.cn/favicon.ico"},
      {"HTTP://Upper.example/x", "http://Upper.example/favicon.ico"},
      {"plain.example/page", "http://plain.example/favicon.ico"},
      {"file:///c/page.html", ""},
      {"http://", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FaviconAddress(c.url), c.icon) << c.url;
}

TEST(IEAddress, ThemeColours) {
  EXPECT_EQ(ThemeColor(0xFF00000F), clBtnFace);
  EXPECT_EQ(ThemeColor(0x800000), static_cast<TColor>(0x800000));
}

class AddressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->ResetState();
    KvRegistryReload();
    KvClockSetVirtual(TRUE);
    reg_.SetRootKey(HKEY_CURRENT_USER);
    form_ = new TForm(nullptr);
    address_ = new TIEAddress(form_);
    address_->SetParent(form_);
  }
  void TearDown() override {
    delete form_;
    Application->ResetState();
    KvClockSetVirtual(FALSE);
    KvRegistryReload();
  }
  kvtest::TempHome home_;
  TRegistry reg_;
  TForm* form_ = nullptr;
  TIEAddress* address_ = nullptr;
  const AnsiString key_ = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
};

TEST_F(AddressTest, TypedUrlsLoadedWithoutBlanksOrSubstrings) {
  ASSERT_TRUE(reg_.OpenKey(key_, true));
  reg_.WriteString("Url1", " http://one.example/page ");
  reg_.WriteString("Url2", "one.example");  // already inside the list's text
  reg_.WriteString("Url3", "   ");
  reg_.WriteString("Url5", "http://five.example/");
  reg_.WriteString("Url26", "http://beyond.example/");
  reg_.CloseKey();
  address_->Loaded();
  ASSERT_EQ(address_->Items()->Count(), 2);
  EXPECT_EQ(address_->Items()->Strings(0), "http://one.example/page");
  EXPECT_EQ(address_->Items()->Strings(1), "http://five.example/");
  EXPECT_EQ(address_->Text(), "http://one.example/page") << "no browser: the first typed URL";
}

TEST_F(AddressTest, SaveWritesAtMost24AndDeletesStaleValues) {
  ASSERT_TRUE(reg_.OpenKey(key_, true));
  for (int i = 1; i <= 25; ++i) reg_.WriteString("Url" + IntToStr(i), "old" + IntToStr(i));
  reg_.CloseKey();
  for (int i = 1; i <= 30; ++i) address_->Items()->Add("http://site" + IntToStr(i) + ".example/");
  address_->SetText("http://site1.example/");
  address_->SaveTypedUrls();
  ASSERT_TRUE(reg_.OpenKeyReadOnly(key_));
  EXPECT_EQ(reg_.ReadString("Url1"), "http://site1.example/");
  EXPECT_EQ(reg_.ReadString("Url24"), "http://site24.example/");
  EXPECT_FALSE(reg_.ValueExists("Url25"));
  reg_.CloseKey();

  address_->Items()->Clear();
  address_->Items()->Add("http://only.example/");
  address_->SaveTypedUrls();
  ASSERT_TRUE(reg_.OpenKeyReadOnly(key_));
  EXPECT_EQ(reg_.ReadString("Url1"), "http://only.example/");
  EXPECT_FALSE(reg_.ValueExists("Url2")) << "no stale value past the new count";
}

TEST_F(AddressTest, CommitNormalisesColoursAndInsertsAtTheTop) {
  address_->Loaded();
  address_->SecureSiteBG = clYellow;
  const TColor normal = address_->Color();
  struct Case {
    const char* text;
    const char* after;
    TColor color;
  } cases[] = {
      {"https://secure.example/dir", "https://secure.example/dir/", clYellow},
      {"HTTPS://upper.example/a.html", "HTTPS://upper.example/a.html", normal},
      {"http://plain.example/b.html", "http://plain.example/b.html", normal},
  };
  for (const Case& c : cases) {
    address_->SetText(c.text);
    address_->Commit();
    EXPECT_EQ(address_->Text(), c.after);
    EXPECT_EQ(address_->Color(), c.color) << c.text;
    EXPECT_EQ(address_->Items()->Strings(0), c.after);
  }
  const int count = address_->Items()->Count();
  address_->Commit();
  EXPECT_EQ(address_->Items()->Count(), count) << "a listed text is not inserted again";
}

TEST_F(AddressTest, FaviconIsAskedFromThePagesHost) {
  ASSERT_TRUE(reg_.OpenKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", true));
  reg_.WriteString("Cache", home_.path());
  reg_.CloseKey();
  address_->ShowFavicon = true;
  std::vector<std::string> asked;
  address_->OnGetFavicon = [&](TObject*, const WideString& icon, const WideString&, bool& cancel, HICON&) {
    asked.push_back(kv::WideToUtf8(icon));
    cancel = true;  // no network here
  };
  address_->SetText("https://secure.example/invoices/list.html");
  address_->Commit();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], "https://secure.example/favicon.ico");
}

TEST_F(AddressTest, EnterNavigatesTheLinkedBrowserAndTakesItsAddress) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  {
    auto* wb = new TEmbeddedWB(form_);
    wb->SetParent(form_);
    wb->SetBounds(0, 30, 300, 200);
    form_->Show();
    const std::string page = home_.path() + "/addr";
    std::filesystem::create_directories(page);
    std::ofstream(page + "/index.html") << "<html><head><title>Start</title></head><body>x</body></html>";
    address_->LinkedBrowser = wb;
    address_->SetText(page + "/index.html");
    std::vector<std::string> selected;
    address_->OnUrlSelected = [&](TObject*, const WideString& url, bool&) { selected.push_back(kv::WideToUtf8(url)); };
    address_->TextAfterNav = anLocationName;
    SendMessageA(address_->Handle(), WM_KEYDOWN, VK_RETURN, 0);
    while (KvPumpMessages() > 0) {
    }
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(address_->Text(), "Start") << "the page's title after the navigation";
    EXPECT_EQ(address_->Items()->Strings(0), "Start");
  }
  delete form_;
  form_ = nullptr;
  CoUninitialize();
}

// The colour an icon shows in its middle, drawn 16 by 16 over black.
COLORREF IconMiddle(HICON icon) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateBitmap(16, 16, 1, 32, nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  RECT all{0, 0, 16, 16};
  FillRect(dc, &all, reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  DrawIconEx(dc, 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL);
  const COLORREF c = GetPixel(dc, 8, 11);
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  return c;
}

constexpr COLORREF kPage = RGB(255, 255, 255), kFolder = RGB(240, 200, 80);

TEST_F(AddressTest, IconOfTheText) {
  std::filesystem::create_directories(home_.path() + "/dir");
  std::ofstream(home_.path() + "/notes.pdf") << "n";
  struct Case {
    std::string text;
    COLORREF middle;
    const char* ext;  // "htm" when the web page's icon is taken
  } cases[] = {
      {home_.path() + "/notes.pdf", kPage, ""},   // an existing file
      {home_.path() + "/dir", kFolder, ""},       // an existing folder
      {"file:///nowhere/a.pdf", kPage, ""},       // a file URL, there or not
      {"http://host.cn/report.TXT ", kPage, ""},  // a document extension
      {"http://host.cn/page.asp", kPage, "htm"},  // anything else is a web page
      {"DESKTOP", kPage, "htm"},                  // no special folders here
      {"", kPage, "htm"},
  };
  for (const Case& c : cases) {
    AnsiString ext = "stale";
    HICON icon = AddressIcon(c.text, &ext);
    ASSERT_TRUE(icon) << c.text;
    EXPECT_EQ(IconMiddle(icon), c.middle) << c.text;
    EXPECT_EQ(ext, c.ext) << c.text;
    DestroyIcon(icon);
  }
}

TEST_F(AddressTest, PaintsTheThemesButtonAndTheTextsIcon) {
  form_->Show();
  address_->Themes = tmXP;
  address_->Loaded();
  std::vector<AnsiString> asked;
  address_->OnGetIcon = [&](TObject*, const AnsiString& ext, HICON icon) {
    EXPECT_TRUE(icon);
    asked.push_back(ext);
  };
  address_->SetText("http://host.cn/");
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(address_->Handle(), &info));
  // The edit field leaves room for the icon.
  RECT edit{};
  GetWindowRect(info.hwndItem, &edit);
  MapWindowPoints(nullptr, address_->Handle(), reinterpret_cast<POINT*>(&edit), 2);
  EXPECT_EQ(edit.left, 23);
  EXPECT_EQ(edit.top, 5);
  EXPECT_EQ(edit.right - edit.left, address_->Width() - 46);

  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateBitmap(address_->Width(), address_->Height(), 1, 32, nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  address_->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
  const RECT& b = info.rcButton;
  const int cx = (b.left + b.right) / 2, cy = (b.top + b.bottom) / 2 - 1;
  EXPECT_EQ(GetPixel(dc, 0, 0), ColorToRGB(ThemeColor(0xFF000013))) << "the border";
  EXPECT_EQ(GetPixel(dc, b.left + 1, b.top + 1), ColorToRGB(ThemeColor(0xF0CAA6))) << "the button";
  EXPECT_EQ(GetPixel(dc, cx, cy + 2), ColorToRGB(ThemeColor(0x800000))) << "the arrow's point";
  EXPECT_EQ(GetPixel(dc, cx - 2, cy + 2), ColorToRGB(ThemeColor(0xF0CAA6))) << "beside the point";
  EXPECT_EQ(GetPixel(dc, address_->IconLeft + 8, address_->IconTop + 11), kPage) << "the web page's icon";
  EXPECT_EQ(asked, std::vector<AnsiString>{"htm"});
  address_->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
  EXPECT_EQ(asked.size(), 1u) << "the icon is kept while the text stays";
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
}

// The address combo with its key handling in reach.
struct AddressProbe : TIEAddress {
  using TCustomIEAddress::KeyDown;
  using TIEAddress::TIEAddress;
};

TEST_F(AddressTest, KeysWithTheListOpenAndClosed) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  {
    auto* wb = new TEmbeddedWB(form_);
    wb->SetParent(form_);
    wb->SetBounds(0, 30, 300, 200);
    std::vector<std::string> went;
    wb->OnBeforeNavigate2 = [&](TObject*, IDispatch*, OleVariant& url, OleVariant&, OleVariant&, OleVariant&,
                                OleVariant&, VARIANT_BOOL& cancel) {
      went.push_back(url.AsString());
      cancel = VARIANT_TRUE;
    };
    auto* probe = new AddressProbe(form_);
    probe->SetParent(form_);
    form_->Show();
    probe->LinkedBrowser = wb;
    probe->UpdateTextAfterNav = false;
    probe->ShowSiteToolTip = false;
    for (const char* url : {"http://a.cn/", "http://b.cn/", "http://c.cn/"}) probe->Items()->Add(url);
    probe->SetText("http://a.cn/");
    std::vector<std::string> selected;
    probe->OnUrlSelected = [&](TObject*, const WideString& url, bool&) { selected.push_back(kv::WideToUtf8(url)); };
    struct Step {
      const char* what;
      WORD key;
      bool alt;
      WORD after;  // the key left for the combo
      bool open;
      const char* text;
      const char* went;  // the navigations of the step, " " between them
    } steps[] = {
        {"Down opens the list", VK_DOWN, false, VK_CLEAR, true, "http://a.cn/", "http://a.cn/"},
        {"Down selects the first", VK_DOWN, false, VK_CLEAR, true, "http://a.cn/", "http://a.cn/"},
        {"and the next", VK_DOWN, false, VK_CLEAR, true, "http://b.cn/", "http://b.cn/"},
        {"Up the one before", VK_UP, false, VK_CLEAR, true, "http://a.cn/", "http://a.cn/"},
        {"Up stays at the top", VK_UP, false, VK_CLEAR, true, "http://a.cn/", "http://a.cn/"},
        {"another key goes on", VK_F2, false, VK_F2, true, "http://a.cn/", ""},
        {"Alt+Down closes", VK_DOWN, true, VK_CLEAR, false, "http://a.cn/", ""},
        {"Up in a closed list is dropped", VK_UP, false, VK_CLEAR, false, "http://a.cn/", ""},
        {"Down opens again", VK_DOWN, false, VK_CLEAR, true, "http://a.cn/", "http://a.cn/"},
        {"Escape closes", VK_ESCAPE, false, VK_CLEAR, false, "http://a.cn/", ""},
        {"Down opens", VK_DOWN, false, VK_CLEAR, true, "http://a.cn/", "http://a.cn/"},
        {"Down to the second", VK_DOWN, false, VK_CLEAR, true, "http://b.cn/", "http://b.cn/"},
        {"Enter takes it, to the top", VK_RETURN, false, VK_CLEAR, false, "http://b.cn/", "http://b.cn/ http://b.cn/"},
    };
    for (const Step& st : steps) {
      SCOPED_TRACE(st.what);
      went.clear();
      WORD key = st.key;
      probe->KeyDown(key, st.alt ? TShiftState() << ssAlt : TShiftState());
      EXPECT_EQ(key, st.after);
      EXPECT_EQ(probe->DroppedDown(), st.open);
      EXPECT_EQ(probe->Text(), st.text);
      std::string all;
      for (const auto& u : went) all += (all.empty() ? "" : " ") + u;
      EXPECT_EQ(all, st.went);
    }
    EXPECT_EQ(selected, std::vector<std::string>{"http://b.cn/"});
    ASSERT_GE(probe->Items()->Count(), 3);
    EXPECT_EQ(probe->Items()->Strings(0), "http://b.cn/");
    EXPECT_EQ(probe->Items()->Strings(1), "http://a.cn/");
    EXPECT_EQ(probe->ItemIndex(), 0);
  }
  delete form_;
  form_ = nullptr;
  CoUninitialize();
}

TEST_F(AddressTest, AClickOnAListItemTakesItAndTypingClosesTheList) {
  form_->Show();
  address_->UpdateTextAfterNav = false;
  address_->ShowSiteToolTip = false;
  for (const char* url : {"http://a.cn/", "http://b.cn/", "http://c.cn/"}) address_->Items()->Add(url);
  std::vector<std::string> selected;
  address_->OnUrlSelected = [&](TObject*, const WideString& url, bool&) { selected.push_back(kv::WideToUtf8(url)); };
  auto pump = [] {
    while (KvPumpMessages() > 0) {
    }
  };
  address_->SetDroppedDown(true);
  pump();
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(address_->Handle(), &info));
  RECT list{};
  GetWindowRect(info.hwndList, &list);
  const int item_height = static_cast<int>(SendMessageA(address_->Handle(), CB_GETITEMHEIGHT, 0, 0));
  ASSERT_GE(list.bottom - list.top, item_height);
  KvInjectClick(list.left + 20, list.top + item_height / 2);  // the first item
  pump();
  EXPECT_FALSE(address_->DroppedDown());
  EXPECT_EQ(address_->Text(), "http://a.cn/");
  EXPECT_EQ(selected, std::vector<std::string>{"http://a.cn/"});

  // Closing the list from the keyboard with the cursor elsewhere is no click.
  address_->SetDroppedDown(true);
  pump();
  KvInjectMouseMove(list.right + 50, list.bottom + 50);
  pump();
  SendMessageA(address_->Handle(), WM_KEYDOWN, VK_F4, 0);
  pump();
  EXPECT_FALSE(address_->DroppedDown());
  EXPECT_EQ(selected.size(), 1u);

  address_->SetDroppedDown(true);
  pump();
  SendMessageA(info.hwndItem, WM_CHAR, 'x', 0);
  pump();
  EXPECT_FALSE(address_->DroppedDown()) << "typing closes the list";
  EXPECT_EQ(selected.size(), 1u);
}


// A 16 by 16 icon of one colour.
HICON SolidIcon(COLORREF colour) {
  HDC screen = GetDC(nullptr);
  HBITMAP bits = CreateCompatibleBitmap(screen, 16, 16);
  HBITMAP mask = CreateBitmap(16, 16, 1, 1, nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, bits);
  RECT all{0, 0, 16, 16};
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &all, brush);
  DeleteObject(brush);
  SelectObject(dc, mask);
  FillRect(dc, &all, reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  ICONINFO info{TRUE, 0, 0, mask, bits};
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(bits);
  DeleteObject(mask);
  return icon;
}

TEST_F(AddressTest, ListItemsAreDrawnWithTheirIcons) {
  std::filesystem::create_directories(home_.path() + "/dir");
  form_->Show();
  for (const std::string& item : {home_.path() + "/dir", std::string("http://host.cn/")})
    address_->Items()->Add(item.c_str());
  address_->SetItemIndex(1);
  ASSERT_TRUE(GetWindowLongA(address_->Handle(), GWL_STYLE) & CBS_OWNERDRAWFIXED);
  EXPECT_EQ(SendMessageA(address_->Handle(), CB_GETITEMHEIGHT, 0, 0), 16);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(address_->Handle(), &info));
  address_->SetDroppedDown(true);
  RECT list{};
  GetWindowRect(info.hwndList, &list);
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateBitmap(list.right - list.left, list.bottom - list.top, 1, 32, nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  SendMessageA(info.hwndList, WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
  address_->SetDroppedDown(false);
  const int right = 100;  // right of the icons, inside the list's scroll bar
  EXPECT_EQ(GetPixel(dc, 2 + 8, 11), kFolder) << "the folder's icon";
  EXPECT_EQ(GetPixel(dc, right, 1), ColorToRGB(clWindow));
  EXPECT_EQ(GetPixel(dc, 2 + 8, 16 + 11), kPage) << "the web page's icon";
  EXPECT_EQ(GetPixel(dc, right, 16 + 1), ColorToRGB(clHighlight)) << "the selected item";
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
}

TEST_F(AddressTest, AppIconForWebAddressesUnlessTheHandlerCancels) {
  constexpr COLORREF kApp = RGB(200, 0, 0);
  HICON app = SolidIcon(kApp);
  Application->SetIcon(app);
  struct Case {
    const char* text;
    bool use, cancel;
    COLORREF middle;
    int app_asked, icon_asked;
  } cases[] = {
      {"http://host.cn/a", false, false, kPage, 0, 1},
      {"http://host.cn/b", true, false, kApp, 1, 0},
      {"http://host.cn/c", true, true, kPage, 1, 1},
      {"http://host.cn/d.txt", true, false, kPage, 0, 0},  // a document's icon stays
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int app_asked = 0, icon_asked = 0;
    address_->UseAppIcon = c.use;
    address_->OnGetAppIcon = [&](TObject*, bool& cancel, HICON& icon) {
      ++app_asked;
      EXPECT_EQ(icon, app);
      cancel = c.cancel;
    };
    address_->OnGetIcon = [&](TObject*, const AnsiString& ext, HICON) {
      ++icon_asked;
      EXPECT_EQ(ext, "htm");
    };
    HICON icon = address_->IconOf(c.text);
    ASSERT_TRUE(icon);
    EXPECT_EQ(IconMiddle(icon), c.middle);
    EXPECT_EQ(app_asked, c.app_asked);
    EXPECT_EQ(icon_asked, c.icon_asked);
  }
  // The handler may hand another icon.
  HICON other = SolidIcon(RGB(0, 0, 200));
  address_->UseAppIcon = true;
  address_->OnGetAppIcon = [&](TObject*, bool&, HICON& icon) { icon = other; };
  EXPECT_EQ(address_->IconOf("http://host.cn/e"), other);
  address_->OnGetAppIcon = nullptr;
  address_->OnGetIcon = nullptr;
  Application->SetIcon(nullptr);
  DestroyIcon(other);
  DestroyIcon(app);
}

TEST_F(AddressTest, FlatBorderAndDropDownReshapeTheCombo) {
  form_->Show();
  address_->Loaded();
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(address_->Handle(), &info));
  auto pixel = [&](int x, int y) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateBitmap(address_->Width(), address_->Height(), 1, 32, nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    address_->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    const COLORREF c = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    return c;
  };
  const COLORREF face = ColorToRGB(address_->Color());
  address_->BorderColor = static_cast<TColor>(0x0000C0);
  EXPECT_EQ(pixel(0, 0), RGB(0xC0, 0, 0)) << "the theme's border";
  EXPECT_EQ(pixel(1, 1), face) << "no 3-D edge with the themes";
  address_->SetHasBorder(false);
  EXPECT_EQ(pixel(0, 0), face);
  address_->SetHasBorder(true);
  address_->SetFlat(true);
  EXPECT_FALSE(address_->HasBorder()) << "a flat combo has no border";
  EXPECT_EQ(pixel(0, 0), face);
  address_->GUI = gsCombobox;
  EXPECT_EQ(pixel(1, 1), face) << "flat without the themes";
  address_->SetFlat(false);
  EXPECT_NE(pixel(1, 1), face) << "the combo's own 3-D edge";

  HRGN region = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetWindowRgn(address_->Handle(), region), ERROR) << "the whole window";
  address_->SetHasDropDown(false);
  ASSERT_NE(GetWindowRgn(address_->Handle(), region), ERROR);
  RECT box{};
  GetRgnBox(region, &box);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.right, info.rcButton.left) << "the button's area cut away";
  address_->RecreateWnd();
  EXPECT_NE(GetWindowRgn(address_->Handle(), region), ERROR) << "a new window is shaped too";
  address_->SetHasDropDown(true);
  EXPECT_EQ(GetWindowRgn(address_->Handle(), region), ERROR);
  DeleteObject(region);
}

TEST_F(AddressTest, WithTheListOpenAClickActivatesTheFormNotTheCombo) {
  form_->Show();
  TForm other(nullptr);
  other.Show();
  SetActiveWindow(other.Handle());
  ASSERT_EQ(GetActiveWindow(), other.Handle());
  const LPARAM click = MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN);
  const WPARAM top = reinterpret_cast<WPARAM>(form_->Handle());
  EXPECT_NE(address_->Perform(WM_MOUSEACTIVATE, top, click), MA_NOACTIVATE) << "a closed list";
  SetActiveWindow(other.Handle());
  address_->SetDroppedDown(true);
  EXPECT_EQ(address_->Perform(WM_MOUSEACTIVATE, top, click), MA_NOACTIVATE);
  EXPECT_EQ(GetActiveWindow(), form_->Handle());
  EXPECT_TRUE(address_->DroppedDown()) << "the list stays open";
  address_->SetDroppedDown(false);
}

TEST_F(AddressTest, ADoubleClickInASimpleCombosListTakesTheItem) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  {
    auto* wb = new TEmbeddedWB(form_);
    wb->SetParent(form_);
    wb->SetBounds(0, 150, 300, 100);
    std::vector<std::string> went;
    wb->OnBeforeNavigate2 = [&](TObject*, IDispatch*, OleVariant& url, OleVariant&, OleVariant&, OleVariant&,
                                OleVariant&, VARIANT_BOOL& cancel) {
      went.push_back(url.AsString());
      cancel = VARIANT_TRUE;
    };
    address_->SetStyle(csSimple);
    address_->SetBounds(0, 0, 145, 120);
    address_->LinkedBrowser = wb;
    address_->UpdateTextAfterNav = false;
    address_->ShowSiteToolTip = false;
    form_->Show();
    for (const char* url : {"http://a.cn/", "http://b.cn/"}) address_->Items()->Add(url);
    std::vector<std::string> selected;
    address_->OnUrlSelected = [&](TObject*, const WideString& url, bool&) { selected.push_back(kv::WideToUtf8(url)); };
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetComboBoxInfo(address_->Handle(), &info));
    RECT list{};
    GetWindowRect(info.hwndList, &list);
    const int y = list.top + 1 + 16 + 8;  // the second item
    KvInjectClick(list.left + 30, y);
    while (KvPumpMessages() > 0) {
    }
    EXPECT_TRUE(selected.empty()) << "one click only selects";
    KvInjectClick(list.left + 30, y);
    while (KvPumpMessages() > 0) {
    }
    EXPECT_EQ(selected, std::vector<std::string>{"http://b.cn/"});
    EXPECT_EQ(went, std::vector<std::string>{"http://b.cn/"});
    EXPECT_EQ(address_->Text(), "http://b.cn/");
    const DWORD sel = static_cast<DWORD>(SendMessageA(address_->Handle(), CB_GETEDITSEL, 0, 0));
    EXPECT_EQ(LOWORD(sel), 0);
    EXPECT_EQ(HIWORD(sel), address_->Text().size()) << "all the text selected";
    address_->AutoNavigateOnDblClk = false;
    went.clear();
    KvInjectClick(list.left + 30, y);
    KvInjectClick(list.left + 30, y);
    while (KvPumpMessages() > 0) {
    }
    EXPECT_TRUE(went.empty());
  }
  delete form_;
  form_ = nullptr;
  CoUninitialize();
}

}  // namespace

TEST(IEAddress, AutoCompleteFlags) {
  const struct {
    TAutoComplete2Options options;
    DWORD flags;
  } cases[] = {
      {{acoAutoSuggest, acoAutoAppend, acoSearch}, ACO_AUTOSUGGEST | ACO_AUTOAPPEND | ACO_SEARCH},
      {{acoNone}, ACO_NONE},
      {{acoFilterPrefix, acoUseTab, acoUpDownKeyDropList}, ACO_FILTERPREFIXES | ACO_USETAB | ACO_UPDOWNKEYDROPSLIST},
      {{acoRtlReading, acoWordFilter, acoNoPrefixFiltering}, ACO_RTLREADING | ACO_WORDFILTER | ACO_NOPREFIXFILTERING},
  };
  for (const auto& c : cases) EXPECT_EQ(AutoComplete2Flags(c.options), c.flags) << c.flags;
  EXPECT_EQ(ShellAutoCompleteFlags({acAutoAppend, acUrlHistory}),
            0xFu | SHACF_AUTOSUGGEST_FORCE_OFF | SHACF_AUTOAPPEND_FORCE_ON);
  EXPECT_EQ(ShellAutoCompleteFlags({acAutoSuggest}), 0xFu | SHACF_AUTOSUGGEST_FORCE_ON | SHACF_AUTOAPPEND_FORCE_OFF);
  EXPECT_DOUBLE_EQ(ShellVersion(), 6.0);
}

TEST_F(AddressTest, AutoCompletionSetUpWithTheWindowAndItsSetters) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  ASSERT_TRUE(reg_.OpenKey(key_, true));
  reg_.WriteString("Url1", "http://www.complete.example/");
  reg_.CloseKey();
  form_->Show();
  IAutoComplete2* complete = address_->AutoCompleter();
  ASSERT_TRUE(complete) << "the auto-complete object is made with the window";
  DWORD options = 0;
  ASSERT_EQ(complete->GetOptions(&options), S_OK);
  EXPECT_EQ(options, static_cast<DWORD>(ACO_AUTOSUGGEST | ACO_AUTOAPPEND | ACO_SEARCH));
  address_->SetAutoComplete2Options({acoAutoAppend});
  ASSERT_EQ(complete->GetOptions(&options), S_OK);
  EXPECT_EQ(options, static_cast<DWORD>(ACO_AUTOAPPEND)) << "given to the live object";
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(address_->Handle(), &info));
  SetFocus(info.hwndItem);
  for (char c : std::string("http://www.co")) KvInjectChar(static_cast<WCHAR>(c));
  KvPumpMessages();
  EXPECT_EQ(address_->Text(), "http://www.complete.example/") << "typing appends the typed URL's rest";

  // A new source set re-creates the window, which gets a new object.
  const HWND before = address_->Handle();
  address_->SetAutoComplete2Source({acsHistory});
  (void)address_->Handle();
  EXPECT_NE(address_->Handle(), before);
  EXPECT_TRUE(address_->AutoCompleter());
  EXPECT_NE(address_->AutoCompleter(), complete);

  // The first version uses the shell's auto-complete: no object of the combo's own.
  address_->SetAutoCompleteVersion(AutoComplete1);
  address_->SetAutoComplete2Source({acsList});
  (void)address_->Handle();
  EXPECT_FALSE(address_->AutoCompleter());
  ASSERT_TRUE(GetComboBoxInfo(address_->Handle(), &info));
  SetFocus(info.hwndItem);
  address_->SetText("");
  for (char c : std::string("http://www.co")) KvInjectChar(static_cast<WCHAR>(c));
  KvPumpMessages();
  EXPECT_EQ(address_->Text(), "http://www.complete.example/") << "acAutoAppend forces appending on";
  address_->SetAutoCompleteOptions({acUrlHistory});
  address_->SetText("");
  for (char c : std::string("http://www.co")) KvInjectChar(static_cast<WCHAR>(c));
  KvPumpMessages();
  EXPECT_EQ(address_->Text(), "http://www.co") << "re-applied without appending";
  delete form_;
  form_ = nullptr;
  CoUninitialize();
}

// An ICO file of one 16 x 16 32-bit image, all of it the colour `bgr` and opaque.
std::string SolidIco(const char* bgr) {
  auto put = [](std::string& s, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  std::string image;
  put(image, 40, 4);
  put(image, 16, 4);
  put(image, 32, 4);
  put(image, 1, 2);
  put(image, 32, 2);
  image.append(24, '\0');
  for (int i = 0; i < 256; ++i) image += std::string(bgr, 3) + '\xFF';
  image.append(16 * 4, '\0');
  std::string file;
  put(file, 0, 2);
  put(file, 1, 2);
  put(file, 1, 2);
  file += std::string("\x10\x10\0\0", 4);
  put(file, 1, 2);
  put(file, 32, 2);
  put(file, static_cast<uint32_t>(image.size()), 4);
  put(file, 22, 4);
  return file + image;
}

TEST_F(AddressTest, FaviconFetchedFromTheLocalServerAndDrawn) {
  ASSERT_TRUE(reg_.OpenKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", true));
  reg_.WriteString("Cache", home_.path());
  reg_.CloseKey();
  kvtest::HttpServer server;
  server.Serve("/favicon.ico", SolidIco("\x00\x80\x00"), "image/x-icon");
  form_->Show();
  address_->ShowFavicon = true;
  struct Asked {
    std::string icon, site;
    bool with_icon;
  };
  std::vector<Asked> asked;
  bool cancel_second = false;
  address_->OnGetFavicon = [&](TObject*, const WideString& icon, const WideString& site, bool& cancel, HICON& hicon) {
    asked.push_back({kv::WideToUtf8(icon), kv::WideToUtf8(site), hicon != nullptr});
    if (hicon) cancel = cancel_second;
  };
  const std::string page = server.Url("/shop/index.html");
  address_->SetText(page);
  address_->Commit();
  ASSERT_EQ(asked.size(), 2u) << "asked before the download and with the icon";
  EXPECT_EQ(asked[0].icon, server.Url("/favicon.ico"));
  EXPECT_EQ(asked[0].site, page);
  EXPECT_FALSE(asked[0].with_icon);
  EXPECT_TRUE(asked[1].with_icon);
  EXPECT_EQ(KvWindowGetPixel(address_->Handle(), address_->IconLeft + 8, address_->IconTop + 8), RGB(0, 128, 0))
      << "the site's icon at (IconLeft, IconTop)";
  address_->Commit();
  EXPECT_EQ(asked.size(), 2u) << "a site is fetched once";

  // A cancelled icon, and a site whose icon is no ICO file, leave the page's icon.
  cancel_second = true;
  asked.clear();
  const std::string other = "http://localhost:" + std::to_string(server.Port()) + "/x/";
  address_->SetText(other);
  address_->Commit();
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(KvWindowGetPixel(address_->Handle(), address_->IconLeft + 8, address_->IconTop + 11), kPage);
  kvtest::HttpServer bad;
  bad.Serve("/favicon.ico", "not an icon", "image/x-icon");
  asked.clear();
  address_->SetText(bad.Url("/"));
  address_->Commit();
  EXPECT_EQ(asked.size(), 1u) << "a bad file is no icon, not asked about";
}

TEST_F(AddressTest, TheButtonIsRedrawnWhenAPressEndsOutsideIt) {
  address_->Themes = tmXP;
  address_->Loaded();
  address_->ButtonPressedColor = static_cast<TColor>(0x0000FF);
  form_->Show();
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(address_->Handle(), &info));
  const RECT& b = info.rcButton;
  auto button = [&] { return KvWindowGetPixel(address_->Handle(), b.left + 1, b.top + 1); };
  const COLORREF normal = ColorToRGB(ThemeColor(0xF0CAA6)), pressed = RGB(255, 0, 0);
  EXPECT_EQ(button(), normal);
  const LPARAM in = MAKELPARAM(b.left + 2, b.top + 2), out = MAKELPARAM(2, 2);
  address_->Perform(WM_LBUTTONDOWN, MK_LBUTTON, in);
  EXPECT_EQ(button(), pressed) << "pressed";
  address_->Perform(WM_MOUSEMOVE, MK_LBUTTON, in);
  EXPECT_EQ(button(), pressed) << "still pressed over the button";
  address_->Perform(WM_MOUSEMOVE, MK_LBUTTON, out);
  EXPECT_EQ(button(), normal) << "moving out of the button";
  address_->SetDroppedDown(false);
  address_->Perform(WM_LBUTTONDOWN, MK_LBUTTON, in);
  EXPECT_EQ(button(), pressed);
  address_->Perform(WM_LBUTTONUP, 0, out);
  EXPECT_EQ(button(), normal) << "released outside";
  address_->SetDroppedDown(false);
  address_->SetDroppedDown(true);
  InvalidateRect(address_->Handle(), nullptr, TRUE);
  EXPECT_EQ(button(), normal) << "an open list alone does not paint the button pressed";
}
