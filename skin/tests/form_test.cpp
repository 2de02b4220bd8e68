// A framework form skinned by the built-in skin: the manager attaches on activation, the
// frame, caption, caption buttons, menu bar and popup menus are drawn from the skin's images,
// and the caption buttons send the system commands.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "framework/controls/forms.h"
#include "framework/controls/menus.h"
#include "platform/base/module.h"
#include "platform/base/sync.h"
#include "platform/base/time.h"
#include "platform/user/testing.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"
#include "skin/tests/skin_test_util.h"
#include "skin/tests/skinned_desktop.h"

namespace {

COLORREF ImagePixel(TBitmap* image, int x, int y) { return static_cast<COLORREF>(image->Canvas()->Pixels(x, y)); }

class SkinFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data = skintest::StartSkinnedDesktop();
    ASSERT_NE(data, nullptr);
  }
  void TearDown() override {
    delete form;
    skintest::EndSkinnedDesktop(data);
  }
  void MakeForm(int tag = 0) {
    form = new TForm(nullptr);
    form->SetTag(tag);
    form->SetCaption("T");
    form->SetBounds(100, 80, 400, 300);
    menu = new TMainMenu(form);
    auto* file = new TMenuItem(menu);
    file->SetCaption("&File");
    open = new TMenuItem(menu);
    open->SetCaption("Open");
    file->Add(open);
    auto* exit = new TMenuItem(menu);
    exit->SetCaption("Exit");
    file->Add(exit);
    menu->Items()->Add(file);
    auto* help = new TMenuItem(menu);
    help->SetCaption("&Help");
    menu->Items()->Add(help);
    form->SetMenu(menu);
    form->OnCloseQuery = [this](TObject*, bool& CanClose) {
      ++closes;
      CanClose = false;
    };
    form->Show();
    KvPumpMessages();
  }
  HWND Wnd() { return form->Handle(); }
  RECT WindowRect() {
    RECT r;
    GetWindowRect(Wnd(), &r);
    return r;
  }
  COLORREF At(int x, int y) { return KvWindowGetPixel(Wnd(), x, y); }
  // Window co-ordinates to screen co-ordinates.
  POINT Screen(int x, int y) {
    RECT r = WindowRect();
    return POINT{r.left + x, r.top + y};
  }
  bool TitleHasColour(COLORREF c) {
    TWinSkinForm* s = TSkinManage::Instance()->FindSkinned(Wnd());
    for (int y = s->TitleRect.top; y < s->TitleRect.bottom; ++y)
      for (int x = s->TitleRect.left; x < s->TitleRect.right; ++x)
        if (At(x, y) == c) return true;
    return false;
  }
  TDataSkinSysButton* ButtonElement(const char* name) {
    for (const auto& b : data->SysButtons())
      if (b->IDName == name) return b.get();
    return nullptr;
  }

  TSkinData* data = nullptr;
  TForm* form = nullptr;
  TMainMenu* menu = nullptr;
  TMenuItem* open = nullptr;
  int closes = 0;
};

TEST_F(SkinFormTest, ActivationAttachesTheSkinnerAndTheFrameComesFromTheSkin) {
  MakeForm();
  TWinSkinForm* s = TSkinManage::Instance()->FindSkinned(Wnd());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Phase, TWinSkinForm::phRunning);
  EXPECT_EQ(SendMessageA(Wnd(), kSkinnedQueryMsg, 0, 0), 1);
  EXPECT_EQ(s->TopHeight, 24);
  EXPECT_EQ(s->LeftWidth, 4);
  EXPECT_EQ(s->BottomHeight, 4);
  EXPECT_GT(s->MenuHeight, 0);
  // The client keeps its size; the frame is the skin's.
  RECT c, w = WindowRect();
  GetClientRect(Wnd(), &c);
  EXPECT_EQ(w.right - w.left, c.right + 8);
  EXPECT_EQ(w.bottom - w.top, c.bottom + 24 + 4 + s->MenuHeight);
  const int width = w.right - w.left, height = w.bottom - w.top;
  // Caption row: frame 1 (active) of the top image, stretched across; left and bottom borders.
  TBitmap* top = data->Border(2)->Map.get();
  EXPECT_EQ(At(width / 2 + 40, 12), ImagePixel(top, 30, 12));
  EXPECT_EQ(At(1, height / 2), ImagePixel(data->Border(0)->Map.get(), 1, 15));
  EXPECT_EQ(At(width / 2, height - 1), ImagePixel(data->Border(3)->Map.get(), 15, 3));
  EXPECT_TRUE(TitleHasColour(SkinColorToRGB(data->Colour(csTitleTextActive))));
  // The rounded caption corners are cut out of the window region.
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(Wnd(), rgn), ERROR);
  EXPECT_FALSE(PtInRegion(rgn, 4, 0));  // the caption starts inside the left border
  EXPECT_TRUE(PtInRegion(rgn, 8, 0));
  EXPECT_TRUE(PtInRegion(rgn, width - 1, height - 1));
  DeleteObject(rgn);
  // The menu bar row: frame 1 of the menu bar image, and the items' captions laid from its margin.
  ASSERT_TRUE(s->SkinMenu);
  ASSERT_EQ(s->SkinMenu->Items.size(), 2u);
  EXPECT_EQ(s->SkinMenu->Items[0]->Rect.left, 4 + 2 + 4);
  EXPECT_EQ(GetMenu(Wnd()), nullptr);  // the system's bar is gone
  EXPECT_EQ(At(width - 30, 24), ImagePixel(data->Element("MenuBar")->Map.get(), 10, 0));

  // Inactive: frame 2 of the borders and the inactive caption text colour.
  HWND other = CreateWindowExA(0, "Button", "x", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 500, 100, 100, nullptr, nullptr,
                               nullptr, nullptr);
  SetActiveWindow(other);
  KvPumpMessages();
  EXPECT_FALSE(s->WindowActive);
  EXPECT_EQ(At(width / 2 + 40, 12), ImagePixel(top, 30, 24 + 12));
  EXPECT_EQ(At(1, height / 2), ImagePixel(data->Border(0)->Map.get(), 5, 15));
  EXPECT_TRUE(TitleHasColour(SkinColorToRGB(data->Colour(csTitleTextNoActive))));
  DestroyWindow(other);
}

TEST_F(SkinFormTest, DisableTagKeepsTheWindowPlain) {
  MakeForm(99);
  EXPECT_EQ(TSkinManage::Instance()->FindSkinned(Wnd()), nullptr);
  EXPECT_NE(SendMessageA(Wnd(), kSkinnedQueryMsg, 0, 0), 1);
  EXPECT_NE(GetMenu(Wnd()), nullptr);
}

TEST_F(SkinFormTest, CaptionButtonStatesAndCommands) {
  MakeForm();
  TWinSkinForm* s = TSkinManage::Instance()->FindSkinned(Wnd());
  ASSERT_NE(s, nullptr);
  const int width = WindowRect().right - WindowRect().left;
  TDataSkinSysButton* close = ButtonElement("BUTTON.CLOSE");
  ASSERT_NE(close, nullptr);
  // The close button sits Xcoord from the right edge; pixel (2, 8) of each 18-pixel frame.
  const int bx = width - 24;
  auto framePixel = [&](int frame) { return ImagePixel(close->Map.get(), 18 * (frame - 1) + 2, 8); };
  EXPECT_EQ(At(bx + 2, 4 + 8), framePixel(1));
  POINT p = Screen(bx + 8, 10);
  KvInjectMouseMove(p.x, p.y);
  KvPumpMessages();
  EXPECT_EQ(At(bx + 2, 4 + 8), framePixel(3));  // hot
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvPumpMessages();
  EXPECT_EQ(At(bx + 2, 4 + 8), framePixel(2));  // pressed
  KvInjectMouseButton(VK_LBUTTON, FALSE);
  KvPumpMessages();
  EXPECT_EQ(closes, 1);  // SC_CLOSE reached the form, which refused
  // Maximise through the caption button, then restore through the restore button in its place.
  const RECT normal = WindowRect();
  p = Screen(width - 44 + 8, 10);
  KvInjectClick(p.x, p.y);
  KvPumpMessages();
  EXPECT_TRUE(IsZoomed(Wnd()));
  RECT zoomed = WindowRect(), box;
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(Wnd(), rgn), ERROR);
  GetRgnBox(rgn, &box);
  EXPECT_EQ(box.right, zoomed.right - zoomed.left);
  EXPECT_EQ(box.bottom, zoomed.bottom - zoomed.top);
  const int zw = zoomed.right - zoomed.left;
  EXPECT_EQ(At(zw - 44 + 2, 12), ImagePixel(ButtonElement("BUTTON.RESTORE")->Map.get(), 2, 8));
  p = POINT{zoomed.left + zw - 44 + 8, zoomed.top + 10};
  KvInjectClick(p.x, p.y);
  KvPumpMessages();
  EXPECT_FALSE(IsZoomed(Wnd()));
  EXPECT_EQ(WindowRect().right - WindowRect().left, normal.right - normal.left);
  ASSERT_NE(GetWindowRgn(Wnd(), rgn), ERROR);
  GetRgnBox(rgn, &box);
  EXPECT_EQ(box.right, normal.right - normal.left);
  EXPECT_EQ(box.bottom, normal.bottom - normal.top);
  DeleteObject(rgn);
  // Minimise.
  p = Screen(width - 64 + 8, 10);
  KvInjectClick(p.x, p.y);
  KvPumpMessages();
  EXPECT_TRUE(IsIconic(Wnd()));
}

// A caption button with an action of the application's own: the window is asked whether it
// shows (0x3515, for visibility codes 1000..2000) and is told when it is clicked (0x3514).
TEST_F(SkinFormTest, ButtonOfTheApplicationsOwnAsksTheWindowAndPostsItsAction) {
  const std::string extra =
      "\n[Button.Extra]\nAction=50\nAlign=1\nXcoord=84\nYcoord=4\nVisibility=1500\nframe=3\n"
      "ButtonImage=close.bmp\n";
  const auto bytes = skintest::ContainerWith(skintest::DefaultDescription() + extra);
  ASSERT_TRUE(data->SetSkinBytes(bytes.data(), bytes.size()));
  struct Window {
    LRESULT show = 1;
    std::vector<std::pair<WPARAM, LPARAM>> asked;
    std::vector<WPARAM> actions;
  };
  auto window = std::make_shared<Window>();
  form = new TForm(nullptr);
  form->SetCaption("T");
  form->SetBounds(100, 80, 400, 300);
  const TWndMethod old = form->WindowProc;
  form->WindowProc = [window, old](TMessage& m) {
    if (m.Msg == kVisibilityMsg) {
      window->asked.emplace_back(m.WParam, m.LParam);
      m.Result = window->show;
      return;
    }
    if (m.Msg == kButtonActionMsg) window->actions.push_back(m.WParam);
    old(m);
  };
  form->Show();
  KvPumpMessages();
  TDataSkinSysButton* button = ButtonElement("BUTTON.EXTRA");
  ASSERT_NE(button, nullptr);
  ASSERT_FALSE(window->asked.empty());
  EXPECT_EQ(window->asked.back(), (std::pair<WPARAM, LPARAM>{1500, 50}));
  const int width = WindowRect().right - WindowRect().left;
  const COLORREF shown = ImagePixel(button->Map.get(), 2, 8);
  EXPECT_EQ(At(width - 84 + 2, 4 + 8), shown);
  const POINT p = Screen(width - 84 + 8, 10);
  KvInjectClick(p.x, p.y);
  KvPumpMessages();
  EXPECT_EQ(window->actions, std::vector<WPARAM>{50});
  // Answered 0: the button goes, and a click there is no longer the button's.
  window->show = 0;
  RedrawWindow(Wnd(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  KvPumpMessages();
  EXPECT_NE(At(width - 84 + 2, 4 + 8), shown);
  KvInjectClick(p.x, p.y);
  KvPumpMessages();
  EXPECT_EQ(window->actions, std::vector<WPARAM>{50});
}

// Probes taken while the drop-down is open (inside the menu loop).
struct DropDownProbe {
  HWND popup = nullptr;
  COLORREF corner = 0, selected = 0;
  RECT rect{};
};
DropDownProbe* gProbe = nullptr;
LRESULT ProbeHook(int code, WPARAM wp, LPARAM lp) {
  if (gProbe && code == MSGF_MENU && !gProbe->popup) {
    if (HWND popup = FindWindowA("#32768", nullptr)) {
      gProbe->popup = popup;
      GetWindowRect(popup, &gProbe->rect);
      gProbe->corner = KvWindowGetPixel(popup, 0, 0);
    }
  }
  if (gProbe && code == MSGF_MENU && gProbe->popup) {
    gProbe->selected = KvWindowGetPixel(gProbe->popup, 3 + 30, 3 + 1);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

TEST_F(SkinFormTest, MenuBarDropDownIsDrawnFromTheSkin) {
  MakeForm();
  TWinSkinForm* s = TSkinManage::Instance()->FindSkinned(Wnd());
  ASSERT_NE(s, nullptr);
  TMenuBtn* file = s->SkinMenu->Items[0].get();
  int opened = 0;
  open->OnClick = [&](TObject*) { ++opened; };
  DropDownProbe probe;
  gProbe = &probe;
  HHOOK hook = SetWindowsHookExA(WH_MSGFILTER, &ProbeHook, nullptr, GetCurrentThreadId());
  POINT p = Screen(file->Rect.left + 5, file->Rect.top + 5);
  KvInjectClick(p.x, p.y);
  // The first item is selected by the skinner's first key; then it is chosen.
  KvInjectKey(VK_RETURN, TRUE);
  KvInjectKey(VK_RETURN, FALSE);
  KvPumpMessages();
  UnhookWindowsHookEx(hook);
  gProbe = nullptr;
  ASSERT_NE(probe.popup, nullptr);
  EXPECT_EQ(probe.corner, ImagePixel(data->Element("MenuBackground")->Map.get(), 0, 0));
  // The selected item: frame 4 of the MenuItem image (its middle row).
  const COLORREF want = ImagePixel(data->Element("MenuItem")->Map.get(), 60 + 10, 1);
  for (int shift = 0; shift <= 16; shift += 8)  // the centre is stretched: allow one step of the gradient
    EXPECT_NEAR(static_cast<int>((probe.selected >> shift) & 0xFF), static_cast<int>((want >> shift) & 0xFF), 2);
  EXPECT_NE(probe.selected, SkinColorToRGB(data->Colour(csMenu)));
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(TSkinManage::Instance()->PopupCount(), 0u);
}

TEST_F(SkinFormTest, AltWithAnAcceleratorPressesItsMenuBarItem) {
  MakeForm();
  TWinSkinForm* s = TSkinManage::Instance()->FindSkinned(Wnd());
  ASSERT_NE(s, nullptr);
  ASSERT_NE(s->SkinMenu, nullptr);
  TMenuBtn* help = s->SkinMenu->Items[1].get();
  const POINT at = Screen(help->Rect.left + 1, help->Rect.top + 1);
  constexpr LPARAM kAlt = 0x20000000;
  EXPECT_EQ(form->Perform(CM_DIALOGCHAR, 'h', kAlt), 1);
  MSG m{};
  ASSERT_TRUE(PeekMessageA(&m, Wnd(), WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE));
  EXPECT_EQ(m.wParam, static_cast<WPARAM>(HTMENU));
  EXPECT_EQ(GET_X_LPARAM(m.lParam), at.x);
  EXPECT_EQ(GET_Y_LPARAM(m.lParam), at.y);
  // A character no item has, and an accelerator without Alt, press nothing.
  EXPECT_EQ(form->Perform(CM_DIALOGCHAR, 'x', kAlt), 0);
  EXPECT_EQ(form->Perform(CM_DIALOGCHAR, 'h', 0), 0);
  EXPECT_FALSE(PeekMessageA(&m, Wnd(), WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE));
}

TEST_F(SkinFormTest, DeactivationReturnsThePlainFrame) {
  MakeForm();
  ASSERT_NE(TSkinManage::Instance()->FindSkinned(Wnd()), nullptr);
  RECT c0;
  GetClientRect(Wnd(), &c0);
  data->SetActive(false);
  KvClockAdvance(300);
  KvPumpMessages();
  EXPECT_EQ(TSkinManage::Instance()->SkinnedCount(), 0u);
  EXPECT_NE(SendMessageA(Wnd(), kSkinnedQueryMsg, 0, 0), 1);
  EXPECT_NE(GetMenu(Wnd()), nullptr);  // the menu is back on the window
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetWindowRgn(Wnd(), rgn), ERROR);  // no region any more
  DeleteObject(rgn);
  RECT c1;
  GetClientRect(Wnd(), &c1);
  EXPECT_EQ(c1.right, c0.right);
  EXPECT_EQ(c1.bottom, c0.bottom);
  // The frame is the system's again: not the skin's caption colour.
  EXPECT_NE(At(200, 12), ImagePixel(data->Border(2)->Map.get(), 30, 12));
  // Active again: the visible form is skinned anew.
  data->SetActive(true);
  KvClockAdvance(300);
  KvPumpMessages();
  EXPECT_NE(TSkinManage::Instance()->FindSkinned(Wnd()), nullptr);
}

TEST_F(SkinFormTest, SecondSkinChangesThePixelsAndADamagedFileKeepsIt) {
  MakeForm();
  const int width = WindowRect().right - WindowRect().left;
  const COLORREF blue = At(width / 2 + 40, 12);
  data->SetSkinFile("second.skn");
  ASSERT_TRUE(data->SkinLoaded());
  EXPECT_EQ(data->SkinName(), "Second");
  KvClockAdvance(300);
  KvPumpMessages();
  const COLORREF green = At(width / 2 + 40, 12);
  EXPECT_NE(green, blue);
  EXPECT_EQ(green, ImagePixel(data->Border(2)->Map.get(), 30, 12));
  // A damaged file: the skin is marked not loaded, the elements and the window keep the last skin.
  {
    std::ifstream in("second.skn", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.resize(bytes.size() / 2);
    std::ofstream("damaged.skn", std::ios::binary) << bytes;
  }
  data->SetSkinFile("damaged.skn");
  EXPECT_FALSE(data->SkinLoaded());
  RedrawWindow(Wnd(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(At(width / 2 + 40, 12), green);
  std::remove("damaged.skn");
}

// The skinned system menu seen from inside its menu loop: the popup's pixels and item
// rectangles, then a click on one item.
struct SystemMenuProbe {
  TWinSkinForm* skinner = nullptr;
  HMENU menu = nullptr;
  HWND popup = nullptr;
  RECT window{};
  std::vector<RECT> items;  // popup window co-ordinates
  std::vector<COLORREF> pixels;
  int clickItem = -1;  // -1: the menu is closed with Escape
  COLORREF At(int x, int y) const {
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(window.right - window.left) + static_cast<size_t>(x)];
  }
};
SystemMenuProbe* gSysProbe = nullptr;
LRESULT SystemMenuHook(int code, WPARAM wp, LPARAM lp) {
  if (gSysProbe && code == MSGF_MENU && !gSysProbe->popup) {
    if (HWND popup = FindWindowA("#32768", nullptr)) {
      SystemMenuProbe& p = *gSysProbe;
      p.popup = popup;
      p.menu = p.skinner->SystemPopup->Handle();
      GetWindowRect(popup, &p.window);
      const int w = p.window.right - p.window.left, h = p.window.bottom - p.window.top;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.pixels.push_back(KvWindowGetPixel(popup, x, y));
      for (int i = 0; i < GetMenuItemCount(p.menu); ++i) {
        RECT r{};
        GetMenuItemRect(nullptr, p.menu, static_cast<UINT>(i), &r);
        OffsetRect(&r, -p.window.left, -p.window.top);
        p.items.push_back(r);
      }
      if (p.clickItem >= 0) {
        const RECT& r = p.items[static_cast<size_t>(p.clickItem)];
        KvInjectClick(p.window.left + (r.left + r.right) / 2, p.window.top + (r.top + r.bottom) / 2);
      } else {
        KvInjectKey(VK_ESCAPE, TRUE);
        KvInjectKey(VK_ESCAPE, FALSE);
      }
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

// A key the menu loop ignores: the loop's first message, which the probe answers.
void InjectIdleKey() {
  KvInjectKey(VK_SHIFT, TRUE);
  KvInjectKey(VK_SHIFT, FALSE);
}

// Opens the skinner's system menu through Open() with the probe hook installed.
template <typename F>
SystemMenuProbe ProbeSystemMenu(TWinSkinForm* s, int clickItem, F Open) {
  SystemMenuProbe probe;
  probe.clickItem = clickItem;
  probe.skinner = s;
  gSysProbe = &probe;
  HHOOK hook = SetWindowsHookExA(WH_MSGFILTER, &SystemMenuHook, nullptr, GetCurrentThreadId());
  InjectIdleKey();
  Open();
  KvPumpMessages();
  UnhookWindowsHookEx(hook);
  gSysProbe = nullptr;
  return probe;
}

TEST_F(SkinFormTest, SystemMenuIsACopyDrawnFromTheSkinAndItsItemsPostTheirCommands) {
  MakeForm();
  TWinSkinForm* s = TSkinManage::Instance()->FindSkinned(Wnd());
  ASSERT_NE(s, nullptr);
  HMENU sys = GetSystemMenu(Wnd(), FALSE);
  AppendMenuA(sys, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(sys, MF_STRING | MF_CHECKED, 0x1230, "Pinned");
  AppendMenuA(sys, MF_STRING | MFS_GRAYED, 0x1240, "Locked");
  AppendMenuA(sys, MF_STRING | MFS_GRAYED | MF_CHECKED, 0x1250, "Both");
  AppendMenuA(sys, MF_STRING | MF_GRAYED, 0x1260, "Dimmed");
  std::vector<WPARAM> commands;
  const TWndMethod old = form->WindowProc;
  form->WindowProc = [&commands, old](TMessage& m) {
    if (m.Msg == WM_SYSCOMMAND) commands.push_back(m.WParam);
    old(m);
  };
  TWinSysButton* icon = nullptr;
  for (auto& b : s->SysButtons)
    if (b->Element->Action == 3) icon = b.get();
  ASSERT_NE(icon, nullptr);
  const POINT at = Screen((icon->Rect.left + icon->Rect.right) / 2, (icon->Rect.top + icon->Rect.bottom) / 2);
  const int count = GetMenuItemCount(sys);
  int pinned = -1;
  for (int i = 0; i < count; ++i)
    if (GetMenuItemID(sys, i) == 0x1230) pinned = i;
  ASSERT_GE(pinned, 0);
  KvClockAdvance(1000);
  SystemMenuProbe probe = ProbeSystemMenu(s, pinned, [&] {
    KvPumpMessages();
    KvInjectClick(at.x, at.y);
    InjectIdleKey();
  });
  ASSERT_NE(probe.popup, nullptr);
  ASSERT_TRUE(s->SystemPopup);
  EXPECT_EQ(s->SystemPopup->Tag(), 33333);
  EXPECT_EQ(s->SystemPopup->Images, data->MenuGlyphs());
  ASSERT_EQ(s->SystemPopup->Items()->Count(), count);
  ASSERT_EQ(static_cast<int>(probe.items.size()), count);

  // The items by command: image, enabled (a normal window), check mark.
  struct Row {
    UINT id;
    int image;
    bool enabled, checked;
  };
  const Row rows[] = {
      {SC_RESTORE, 0, false, false}, {SC_MOVE, -1, true, false},    {SC_SIZE, -1, true, false},
      {SC_MINIMIZE, 2, true, false}, {SC_MAXIMIZE, 1, true, false}, {SC_CLOSE, 3, true, false},
      {0x1230, -1, true, true},      {0x1240, -1, false, false},    {0x1250, -1, false, true},
      {0x1260, -1, false, false},  // grayed alone, or grayed and checked, disables too
  };
  const COLORREF menuText = SkinColorToRGB(data->Colour(csMenuText));
  const COLORREF checkInk = SkinColorToRGB(data->Colour(csButtonText));
  const COLORREF shadow = SkinColorToRGB(data->Colour(csButtonShadow));
  const int glyphLeft = 1 + data->Element("MenuItem")->LeftMargin;
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "command " << std::hex << r.id);
    int index = -1;
    for (int i = 0; i < count; ++i)
      if (static_cast<UINT>(s->SystemPopup->Items()->Items(i)->Tag()) == r.id) index = i;
    ASSERT_GE(index, 0);
    TMenuItem* item = s->SystemPopup->Items()->Items(index);
    EXPECT_EQ(item->ImageIndex, r.image);
    EXPECT_EQ(item->Enabled(), r.enabled);
    EXPECT_EQ(item->Checked(), r.checked);
    const RECT& box = probe.items[static_cast<size_t>(index)];
    const int h = box.bottom - box.top;
    // Glyphs: the close cross and the maximise box's heavy title edge, in black.
    const int gx = box.left + glyphLeft, gy = box.top + std::max(1, (h - 16) / 2);
    if (r.id == SC_CLOSE) {
      EXPECT_EQ(probe.At(gx + 4, gy + 4), RGB(0, 0, 0));
      EXPECT_EQ(probe.At(gx + 11, gy + 4), RGB(0, 0, 0));
    }
    if (r.id == SC_MAXIMIZE) {
      EXPECT_EQ(probe.At(gx + 8, gy + 3), RGB(0, 0, 0));
    }
    // A check mark without an image: the mark in the glyph box.
    if (r.image < 0) {
      EXPECT_EQ(probe.At(box.left + glyphLeft + 6, box.top + h / 2) == checkInk, r.checked);
    }
    // The text's darkest ink is nearer the menu text colour when enabled, the shadow colour when not.
    auto distance = [](COLORREF a, COLORREF b) {
      int d = 0;
      for (int shift = 0; shift <= 16; shift += 8)
        d += std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
      return d;
    };
    COLORREF darkest = RGB(255, 255, 255);
    for (int y = box.top; y < box.bottom; ++y)
      for (int x = box.left + glyphLeft + 19; x < box.right - 1; ++x)
        if (distance(probe.At(x, y), 0) < distance(darkest, 0)) darkest = probe.At(x, y);
    EXPECT_EQ(distance(darkest, menuText) < distance(darkest, shadow), r.enabled);
  }
  // The click on "Pinned" posted its command to the window.
  EXPECT_NE(std::find(commands.begin(), commands.end(), WPARAM{0x1230}), commands.end());

  // A second click on the icon within the double-click time closes the window.
  closes = 0;
  KvClockAdvance(1000);
  ProbeSystemMenu(s, -1, [&] {
    KvPumpMessages();
    KvInjectClick(at.x, at.y);
    InjectIdleKey();
  });
  EXPECT_EQ(closes, 0);
  KvInjectClick(at.x, at.y);
  KvPumpMessages();
  EXPECT_EQ(closes, 2);  // the double click on the icon and the second click's release both close
}

}  // namespace

namespace {

// Raw windows of other kinds: a system dialog, a captionless popup and a right-to-left window.
TEST_F(SkinFormTest, MenuItemsMeasureFourPixelsTallerOnThe9xFamily) {
  auto measure = [this](WORD id) {
    MEASUREITEMSTRUCT mis{};
    mis.CtlType = ODT_MENU;
    mis.itemID = id;
    EXPECT_EQ(SendMessageA(Wnd(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis)), 1);
    return mis;
  };
  MakeForm();
  ASSERT_NE(TSkinManage::Instance()->FindSkinned(Wnd()), nullptr);
  const MEASUREITEMSTRUCT nt = measure(open->Command());
  KvUserSetVersion(4, 10, 1998, VER_PLATFORM_WIN32_WINDOWS);
  const MEASUREITEMSTRUCT win9x = measure(open->Command());
  EXPECT_GT(nt.itemHeight, 8u);
  EXPECT_EQ(win9x.itemHeight, nt.itemHeight + 4);
  EXPECT_EQ(win9x.itemWidth, nt.itemWidth);
}

TEST_F(SkinFormTest, PopupMenusOfTheFormAreDrawnFromTheSkinUntilItGoesPlain) {
  form = new TForm(nullptr);
  form->SetCaption("T");
  form->SetBounds(100, 80, 400, 300);
  auto* popup = new TPopupMenu(form);
  auto* cut = new TMenuItem(popup);
  cut->SetCaption("Cut");
  popup->Items()->Add(cut);
  auto* own = new TMenuItem(popup);
  own->SetCaption("Own");
  int ownMeasured = 0;
  own->OnMeasureItem = [&](TObject*, TCanvas*, int& W, int& H) {
    ++ownMeasured;
    W = 90;
    H = 20;
  };
  popup->Items()->Add(own);
  auto* plain = new TPopupMenu(form);
  plain->SetTag(data->DisableTag);
  auto* other = new TMenuItem(plain);
  other->SetCaption("Other");
  plain->Items()->Add(other);
  form->Show();
  KvPumpMessages();
  ASSERT_NE(TSkinManage::Instance()->FindSkinned(Wnd()), nullptr);
  EXPECT_TRUE(cut->OnDrawItem && cut->OnMeasureItem);
  EXPECT_FALSE(other->OnDrawItem || other->OnMeasureItem);  // DisableTag keeps that menu plain

  int cuts = 0;
  cut->OnClick = [&](TObject*) { ++cuts; };
  DropDownProbe probe;
  gProbe = &probe;
  HHOOK hook = SetWindowsHookExA(WH_MSGFILTER, &ProbeHook, nullptr, GetCurrentThreadId());
  for (int vk : {VK_DOWN, VK_RETURN}) {
    KvInjectKey(vk, TRUE);
    KvInjectKey(vk, FALSE);
  }
  popup->Popup(200, 200);
  UnhookWindowsHookEx(hook);
  gProbe = nullptr;
  EXPECT_EQ(cuts, 1);
  EXPECT_GT(ownMeasured, 0);  // the application's measurer is kept
  ASSERT_NE(probe.popup, nullptr);
  EXPECT_EQ(probe.corner, ImagePixel(data->Element("MenuBackground")->Map.get(), 0, 0));
  EXPECT_GE(probe.rect.right - probe.rect.left, 90);
  // The selected item: frame 4 of the MenuItem image.
  const COLORREF want = ImagePixel(data->Element("MenuItem")->Map.get(), 60 + 10, 1);
  for (int shift = 0; shift <= 16; shift += 8)
    EXPECT_NEAR(static_cast<int>((probe.selected >> shift) & 0xFF), static_cast<int>((want >> shift) & 0xFF), 2);

  // Going plain gives the items back to the system, the application's measurer stays.
  data->SetActive(false);
  KvClockAdvance(300);
  KvPumpMessages();
  EXPECT_FALSE(cut->OnDrawItem || cut->OnMeasureItem);
  EXPECT_FALSE(own->OnDrawItem);
  EXPECT_TRUE(own->OnMeasureItem);
}

class SkinRawWindowTest : public SkinFormTest {
 protected:
  HWND Open(const char16_t* cls, DWORD style, DWORD ex) {
    HWND w =
        CreateWindowExW(ex, cls, u"Raw", style | WS_VISIBLE, 120, 90, 300, 200, nullptr, nullptr, nullptr, nullptr);
    SetActiveWindow(w);
    KvPumpMessages();
    windows.push_back(w);
    return w;
  }
  void TearDown() override {
    for (HWND w : windows) DestroyWindow(w);
    KvPumpMessages();
    SkinFormTest::TearDown();
  }
  TWinSysButton* ButtonOf(TWinSkinForm* s, int action) {
    for (auto& b : s->SysButtons)
      if (b->Element->Action == action) return b.get();
    return nullptr;
  }
  std::vector<HWND> windows;
};

TEST_F(SkinRawWindowTest, DialogGetsTheDialogFrameWithoutIconOrSizeButtons) {
  HWND w = Open(u"#32770", WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME);
  TWinSkinForm* s = TSkinManage::Instance()->FindSkinned(w);
  ASSERT_NE(s, nullptr);  // a dialog of any module is skinned
  EXPECT_EQ(s->FrameKind, 3);
  EXPECT_TRUE(s->IsDialog);
  EXPECT_EQ(s->Phase, TWinSkinForm::phRunning);
  ASSERT_NE(ButtonOf(s, 0), nullptr);
  EXPECT_TRUE(ButtonOf(s, 0)->Visible);  // close, with the system menu
  ASSERT_NE(ButtonOf(s, 3), nullptr);
  EXPECT_FALSE(ButtonOf(s, 3)->Visible);  // no icon on a dialog frame
  for (int action : {1, 2}) {
    ASSERT_NE(ButtonOf(s, action), nullptr);
    EXPECT_FALSE(ButtonOf(s, action)->Enabled) << action;  // no size boxes
  }
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_EQ(KvWindowGetPixel(w, (r.right - r.left) / 2 + 40, 12), ImagePixel(data->Border(2)->Map.get(), 30, 12));
}

TEST_F(SkinRawWindowTest, CaptionlessWindowKeepsItsOwnFrame) {
  // A form without caption: skinned (the probe answers) but no caption, borders or menu row.
  form = new TForm(nullptr);
  form->SetBorderStyle(bsNone);
  form->SetBounds(120, 90, 300, 200);
  form->Show();
  KvPumpMessages();
  TWinSkinForm* s = TSkinManage::Instance()->FindSkinned(Wnd());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->FrameKind, 2);
  EXPECT_EQ(s->TopHeight + s->LeftWidth + s->MenuHeight, 0);
  EXPECT_EQ(SendMessageA(Wnd(), kSkinnedQueryMsg, 0, 0), 1);
  RECT wr, cr;
  GetWindowRect(Wnd(), &wr);
  GetClientRect(Wnd(), &cr);
  EXPECT_EQ(wr.bottom - wr.top, cr.bottom);
  EXPECT_NE(At(150, 12), ImagePixel(data->Border(2)->Map.get(), 30, 12));
  // The rule of the dialog class is stronger: a "#32770" without caption still gets the dialog frame.
  HWND dialog = Open(u"#32770", WS_POPUP | WS_BORDER, 0);
  ASSERT_NE(TSkinManage::Instance()->FindSkinned(dialog), nullptr);
  EXPECT_EQ(TSkinManage::Instance()->FindSkinned(dialog)->FrameKind, 3);
}

TEST_F(SkinRawWindowTest, RightToLeftWindowDrawsItsCaptionFromTheRight) {
  // The caption text's ink lies right of the middle for a right-to-left window, left of it otherwise.
  auto inkSide = [&](HWND w) {
    TWinSkinForm* s = TSkinManage::Instance()->FindSkinned(w);
    EXPECT_NE(s, nullptr);
    if (!s) return 0;
    const COLORREF text = SkinColorToRGB(data->Colour(csTitleTextActive));
    const int mid = (s->TitleRect.left + s->TitleRect.right) / 2;
    int left = 0, right = 0;
    for (int y = s->TitleRect.top; y < s->TitleRect.bottom; ++y)
      for (int x = s->TitleRect.left; x < s->TitleRect.right; ++x)
        if (KvWindowGetPixel(w, x, y) == text) ++(x < mid ? left : right);
    return right - left;
  };
  HWND rtl = Open(u"#32770", WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_LEFTSCROLLBAR | WS_EX_RTLREADING);
  ASSERT_NE(TSkinManage::Instance()->FindSkinned(rtl), nullptr);
  EXPECT_TRUE(TSkinManage::Instance()->FindSkinned(rtl)->RightToLeft);
  EXPECT_GT(inkSide(rtl), 0);
  HWND ltr = Open(u"#32770", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0);
  EXPECT_FALSE(TSkinManage::Instance()->FindSkinned(ltr)->RightToLeft);
  EXPECT_LT(inkSide(ltr), 0);
}

TEST_F(SkinRawWindowTest, RightToLeftMenuBarLaysItsItemsFromTheRight) {
  auto withMenu = [&](DWORD ex) {
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_STRING, 1, "&File");
    AppendMenuA(bar, MF_STRING, 2, "&Help");
    HWND w = CreateWindowExW(ex, u"#32770", u"Raw", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 120, 90, 300, 200,
                             nullptr, bar, nullptr, nullptr);
    SetActiveWindow(w);
    KvPumpMessages();
    windows.push_back(w);
    TWinSkinForm* s = TSkinManage::Instance()->FindSkinned(w);
    EXPECT_NE(s, nullptr);
    EXPECT_NE(s ? s->SkinMenu.get() : nullptr, nullptr);
    return s;
  };
  TWinSkinForm* rtl = withMenu(WS_EX_LEFTSCROLLBAR | WS_EX_RTLREADING);
  ASSERT_TRUE(rtl && rtl->SkinMenu && rtl->SkinMenu->Items.size() == 2);
  const TRect file = rtl->SkinMenu->Items[0]->Rect, help = rtl->SkinMenu->Items[1]->Rect;
  EXPECT_GT(file.left, help.left);  // the first item is the rightmost
  EXPECT_EQ(help.right, file.left);
  EXPECT_LE(file.right, rtl->WindowWidth - rtl->RightWidth);
  EXPECT_GT(file.right, (rtl->WindowWidth) / 2);
  TWinSkinForm* ltr = withMenu(0);
  ASSERT_TRUE(ltr && ltr->SkinMenu && ltr->SkinMenu->Items.size() == 2);
  EXPECT_EQ(ltr->SkinMenu->Items[0]->Rect.right, ltr->SkinMenu->Items[1]->Rect.left);
  EXPECT_LT(ltr->SkinMenu->Items[1]->Rect.right, ltr->WindowWidth / 2);
}

// The older NT family gets a fixed system menu, with the size entries only where the window
// has the boxes; a choice of it runs the skinner's own toggles.
TEST_F(SkinRawWindowTest, OlderNtFamilyGetsTheFixedSystemMenu) {
  struct Item {
    const char* caption;
    int tag, image;
  };
  const Item restore{" Restore ", 0, 0}, maximize{" Maximize ", 1, 1}, minimize{" Minimize ", 2, 2}, line{"-", 100, -1},
      close{" Close \tALT+F4", 3, 3};
  struct Row {
    DWORD style;
    std::vector<Item> items;
  };
  const Row rows[] = {
      {WS_MINIMIZEBOX | WS_MAXIMIZEBOX, {restore, maximize, minimize, line, close}},
      {WS_MINIMIZEBOX, {restore, minimize, line, close}},
      {0, {restore, line, close}},
  };
  KvUserSetVersion(4, 0, 1381, VER_PLATFORM_WIN32_NT);
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "style " << std::hex << r.style);
    HWND w = Open(u"#32770", WS_POPUP | WS_CAPTION | WS_SYSMENU | r.style, 0);
    TWinSkinForm* s = TSkinManage::Instance()->FindSkinned(w);
    ASSERT_NE(s, nullptr);
    KvClockAdvance(1000);
    SystemMenuProbe probe = ProbeSystemMenu(s, -1, [&] { SendMessageA(w, WM_SYSCOMMAND, SC_KEYMENU, ' '); });
    EXPECT_NE(probe.popup, nullptr);
    ASSERT_TRUE(s->SystemPopup);
    ASSERT_EQ(s->SystemPopup->Items()->Count(), static_cast<int>(r.items.size()));
    for (size_t i = 0; i < r.items.size(); ++i) {
      TMenuItem* item = s->SystemPopup->Items()->Items(static_cast<int>(i));
      EXPECT_EQ(item->Caption(), r.items[i].caption);
      EXPECT_EQ(item->Tag(), r.items[i].tag);
      EXPECT_EQ(item->ImageIndex, r.items[i].image);
    }
  }
  // " Close " posts WM_CLOSE.
  static int closed;
  closed = 0;
  WNDCLASSA wc{};
  wc.lpfnWndProc = [](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    if (m == WM_CLOSE) ++closed;
    return DefWindowProcA(h, m, wp, lp);
  };
  wc.lpszClassName = "SkinTestPlain";
  wc.hInstance = GetModuleHandleA(nullptr);  // a window of the application's own module
  RegisterClassA(&wc);
  HWND plain = CreateWindowExA(0, "SkinTestPlain", "Plain", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 120, 90,
                               300, 200, nullptr, nullptr, wc.hInstance, nullptr);
  windows.push_back(plain);
  SetActiveWindow(plain);
  KvPumpMessages();
  TWinSkinForm* s = TSkinManage::Instance()->FindSkinned(plain);
  ASSERT_NE(s, nullptr);
  KvClockAdvance(1000);
  ProbeSystemMenu(s, 2, [&] { SendMessageA(plain, WM_SYSCOMMAND, SC_KEYMENU, ' '); });
  EXPECT_EQ(closed, 1);
}

// The platform's version decides: the caption-button bit that keeps WS_SYSMENU on version 5.0,
// the system-menu skinning gate (NT only) and a popup menu's background erase (the 9x family
// leaves it unprocessed).
TEST_F(SkinRawWindowTest, PlatformVersionBranches) {
  struct Row {
    DWORD major, minor, platform;
    bool keepsSysMenuStyle, skinsSystemMenu;
    LRESULT erase;
  };
  const Row rows[] = {
      {5, 0, VER_PLATFORM_WIN32_NT, true, true, 1},
      {5, 1, VER_PLATFORM_WIN32_NT, false, true, 1},
      {6, 1, VER_PLATFORM_WIN32_NT, false, true, 1},
      {4, 10, VER_PLATFORM_WIN32_WINDOWS, false, false, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.major << "." << r.minor << " platform " << r.platform);
    KvUserSetVersion(r.major, r.minor, 2195, r.platform);
    data->SkinControls << xcSystemMenu;
    HWND w = Open(u"#32770", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0);
    TWinSkinForm* s = TSkinManage::Instance()->FindSkinned(w);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ((s->CaptionCaps & 16) != 0, r.keepsSysMenuStyle);
    EXPECT_EQ(data->SkinControls.Contains(xcSystemMenu), r.skinsSystemMenu);

    HWND popup = CreateWindowExA(0, "#32768", "", WS_POPUP, 10, 10, 80, 60, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(SendMessageA(popup, kSkinnedQueryMsg, 0, 0), 1);
    HDC dc = GetDC(popup);
    EXPECT_EQ(SendMessageA(popup, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), r.erase);
    ReleaseDC(popup, dc);
    DestroyWindow(popup);
  }
}

}  // namespace
