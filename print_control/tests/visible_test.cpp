// The control as a page sees it: Zorbel.ocx created through COM inside a container form,
// its button clicked and typed at by injected input, and its about box closed the same way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "print_control/tests/fixture.h"
#include "framework/activex/olectrls.h"
#include "framework/controls/comctrls.h"
#include "framework/controls/forms.h"
#include "framework/graphics/printers.h"
#include "platform/base/codepage.h"
#include "platform/base/module.h"
#include "platform/base/time.h"
#include "platform/com/com.h"
#include "platform/print/print.h"
#include "platform/registry/registry.h"
#include "platform/user/spy.h"
#include "platform/user/testing.h"
#include "print_control/dravik_about.h"
#include "print_control/dravik_control.h"
#include "print_control/texts.h"
#include "testsupport/temp_home.h"

namespace {

using namespace zorbel;

constexpr DISPID kPrintStr = 216, kIsPrintSetup = 218, kErrorNum = 223;

class Visible : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KORVANE_PRINT_CUPS", "0", 1);
    setenv("KORVANE_PRINT_DIR", (home_.path() + "/out").c_str(), 1);
    KvRegistryReload();
    KvPrintRefresh();
    KvPrintClearDocuments();
    Application->ResetState();
    KvUserReset();
    KvClockSetVirtual(TRUE);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_TRUE(zorbel_test::RegisterZorbel());
  }
  void TearDown() override {
    delete form_;
    CoFreeUnusedLibraries();
    CoUninitialize();
    Application->ResetState();
    KvUserReset();
    KvClockSetVirtual(FALSE);
    KvRegistryReload();
  }

  // A container form holding the control at (10, 20), 120 x 30.
  TOleControl* Host() {
    form_ = new TForm(nullptr);
    form_->SetBounds(40, 40, 300, 200);
    auto* ax = new TOleControl(form_, CLSID_Dravik, DIID_IDravikEvents);
    ax->SetParent(form_);
    ax->SetBounds(10, 20, 120, 30);
    return ax;
  }

  kvtest::TempHome home_;
  TForm* form_ = nullptr;
};

POINT Centre(HWND hwnd) {
  RECT r;
  GetWindowRect(hwnd, &r);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

TEST_F(Visible, InjectedClickRaisesOnClickThenPrintsAndKeysComeBackChanged) {
  TOleControl* ax = Host();
  std::vector<DWORD> documents_at_click;
  ax->EventHandlers[kDispidOnClick] = [&](TDispCall&) { documents_at_click.push_back(KvPrintDocumentCount()); };
  ax->EventHandlers[kDispidOnKeyPress] = [&](TDispCall& call) {
    EXPECT_EQ(call.Value(0).AsInteger(), 'x');
    call.SetArg(0, OleVariant(0x141));
  };
  form_->Show();
  ASSERT_TRUE(ax->ControlCreated());
  ax->SetProperty(kIsPrintSetup, OleVariant(0));
  ax->SetProperty(kPrintStr, OleVariant(u"148,210$^10,10,发票"));
  HWND button = GetWindow(ax->Handle(), GW_CHILD);
  ASSERT_TRUE(button);
  char cls[32];
  GetClassNameA(button, cls, sizeof cls);
  EXPECT_STREQ(cls, "TButton");

  POINT c = Centre(button);
  KvInjectClick(c.x, c.y);
  Application->ProcessMessages();
  // OnClick came before the print it starts; the print went through.
  ASSERT_EQ(documents_at_click, std::vector<DWORD>{0});
  ASSERT_EQ(KvPrintDocumentCount(), 1u);
  KvPrintDocument doc{};
  ASSERT_TRUE(KvPrintLastDocument(0, &doc));
  EXPECT_EQ(doc.pages, 1u);
  EXPECT_EQ(doc.paperWidth, 1480);
  EXPECT_EQ(ax->GetProperty(kErrorNum).AsInteger(), 0);

  // The sink answers 0x141 for 'x': the button goes on with 0x41.
  SetFocus(button);
  KvSpyStart(button);
  KvInjectChar(u'x');
  Application->ProcessMessages();
  KvSpyStop();
  std::vector<WPARAM> chars_passed_on;
  for (DWORD i = 0; i < KvSpyCount(); ++i) {
    KVSPYRECORD r{};
    if (KvSpyGet(i, &r) && r.kind == KV_SPY_DEFPROC && r.message == WM_CHAR) chars_passed_on.push_back(r.wParam);
  }
  EXPECT_EQ(chars_passed_on, std::vector<WPARAM>{0x41});

  // A disabled button takes no click.
  ax->SetProperty(-514, OleVariant(false));
  EXPECT_FALSE(IsWindowEnabled(button));
  KvInjectClick(c.x, c.y);
  Application->ProcessMessages();
  EXPECT_EQ(documents_at_click.size(), 1u);
  EXPECT_EQ(KvPrintDocumentCount(), 1u);
}

// The about box's window as the timer below found it.
struct AboutSeen {
  bool found = false;
  LONG style = 0;
  RECT client{};
  POINT centre{};
  std::u16string button_text;
  RECT button{};  // client coordinates of the dialog
};
AboutSeen seen;

void CloseAboutBox(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  HWND about = FindWindowW(nullptr, kv::Utf8ToWide(zorbel_texts::kAboutCaption).c_str());
  if (!about) return;
  seen.found = true;
  seen.style = GetWindowLongA(about, GWL_STYLE);
  GetClientRect(about, &seen.client);
  seen.centre = Centre(about);
  HWND ok = FindWindowExW(about, nullptr, nullptr, kv::Utf8ToWide(zorbel_texts::kAboutClose).c_str());
  if (!ok) return;
  char16_t text[32] = {};
  GetWindowTextW(ok, text, 32);
  seen.button_text = text;
  GetWindowRect(ok, &seen.button);
  MapWindowPoints(nullptr, about, reinterpret_cast<LPPOINT>(&seen.button), 2);
  POINT c = Centre(ok);
  KvInjectClick(c.x, c.y);
}

TEST_F(Visible, AboutBoxIsModalAndClosesFromItsButton) {
  IDravik* dravik = nullptr;
  ASSERT_EQ(
      CoCreateInstance(CLSID_Dravik, nullptr, CLSCTX_INPROC_SERVER, IID_IDravik, reinterpret_cast<void**>(&dravik)),
      S_OK);
  seen = AboutSeen{};
  ASSERT_NE(SetTimer(nullptr, 0, 200, CloseAboutBox), 0u);
  const DWORD start = KvClockNow();
  EXPECT_EQ(dravik->AboutBox(), S_OK);
  EXPECT_GE(KvClockNow() - start, 200u);  // it stayed up until the click
  ASSERT_TRUE(seen.found);
  EXPECT_TRUE(seen.style & WS_SYSMENU);
  EXPECT_FALSE(seen.style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_EQ(seen.client.right, 408);
  EXPECT_EQ(seen.client.bottom, 225);
  EXPECT_EQ(seen.centre.x, GetSystemMetrics(SM_CXSCREEN) / 2);
  EXPECT_EQ(seen.centre.y, GetSystemMetrics(SM_CYSCREEN) / 2);
  EXPECT_EQ(seen.button_text, kv::Utf8ToWide(zorbel_texts::kAboutClose));
  EXPECT_EQ(seen.button.left, 168);
  EXPECT_EQ(seen.button.top, 184);
  EXPECT_EQ(seen.button.right - seen.button.left, 75);
  EXPECT_EQ(seen.button.bottom - seen.button.top, 25);
  // Freed after it closed.
  EXPECT_EQ(FindWindowW(nullptr, kv::Utf8ToWide(zorbel_texts::kAboutCaption).c_str()), nullptr);
  dravik->Release();
}

TEST_F(Visible, AboutBoxCarriesItsTextsAndClosesOkOnEscOrEnter) {
  for (int key : {VK_ESCAPE, VK_RETURN}) {
    TDravikAbout about(nullptr);
    EXPECT_EQ(about.Name(), "DravikAbout");
    EXPECT_EQ(kv::AnsiToWide(about.Caption()), kv::Utf8ToWide(zorbel_texts::kAboutCaption));
    struct Label {
      TLabel* label;
      const char* name;
      int left, top;
      const char* text;
    } labels[] = {{about.NameLbl, "NameLbl", 72, 8, zorbel_texts::kAboutName},
                  {about.DescLbl, "DescLbl", 8, 42, zorbel_texts::kAboutDescription},
                  {about.CopyrightLbl, "CopyrightLbl", 88, 160, zorbel_texts::kAboutCopyright}};
    for (const Label& l : labels) {
      EXPECT_EQ(l.label->Name(), l.name);
      EXPECT_EQ(l.label->Left(), l.left) << l.name;
      EXPECT_EQ(l.label->Top(), l.top) << l.name;
      EXPECT_EQ(kv::AnsiToWide(l.label->Caption()), kv::Utf8ToWide(l.text)) << l.name;
    }
    EXPECT_TRUE(about.NameLbl->Font()->Style().Contains(fsBold));
    EXPECT_EQ(about.NameLbl->Alignment(), taCenter);
    EXPECT_TRUE(about.DescLbl->WordWrap());
    EXPECT_TRUE(about.OkBtn->Default());
    EXPECT_TRUE(about.OkBtn->Cancel());
    TTimer timer(nullptr);
    timer.SetInterval(100);
    timer.SetOnTimer([&](TObject*) {
      timer.SetEnabled(false);
      about.OkBtn->SetFocus();
      KvInjectKey(key, TRUE);
      KvInjectKey(key, FALSE);
    });
    EXPECT_EQ(about.ShowModal(), mrOk) << key;
  }
}

}  // namespace
