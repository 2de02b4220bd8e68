// The fixture of the skinner tests: a form skinned by the built-in skin, controls made on
// it, and probes of the pictures they show.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/base/time.h"
#include "platform/user/testing.h"
#include "skin/skin_controls.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"
#include "skin/tests/skinned_desktop.h"

namespace skintest {

inline COLORREF ImagePixel(TBitmap* image, int x, int y) { return static_cast<COLORREF>(image->Canvas()->Pixels(x, y)); }

// The colour a skin picture shows at (x, y): magenta lets Under through.
inline COLORREF Shown(TBitmap* picture, int x, int y, COLORREF under) {
  const COLORREF c = ImagePixel(picture, x, y);
  return c == kSkinMagenta ? under : c;
}

class SkinnersFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    data = skintest::StartSkinnedDesktop();
    ASSERT_NE(data, nullptr);
    form = new TForm(nullptr);
    form->SetCaption("Skinned");
    form->SetBounds(100, 80, 480, 360);
  }
  void TearDown() override {
    for (HWND w : windows) DestroyWindow(w);
    delete form;
    skintest::EndSkinnedDesktop(data);
  }
  void Show() {
    form->Show();
    KvPumpMessages();
    skinner = TSkinManage::Instance()->FindSkinned(form->Handle());
    ASSERT_NE(skinner, nullptr);
  }
  template <class T>
  T* Make(int x, int y, int w, int h, TWinControl* parent = nullptr) {
    auto* c = new T(form);
    c->SetParent(parent ? parent : form);
    c->SetBounds(x, y, w, h);
    return c;
  }
  // The class name of the skinner that the control got, or "" when it stays plain.
  std::string SkinnerName(TControl* c) {
    TSkinControl* s = skinner->SkinnerOf(c);
    auto* win = dynamic_cast<TWinControl*>(c);
    if (!s && win && win->HandleAllocated()) s = skinner->FindControlSkinner(win->Handle());
    return s ? s->ClassName() : "";
  }
  POINT ScreenOf(HWND w, int x, int y) {
    POINT p{x, y};
    ClientToScreen(w, &p);
    return p;
  }
  COLORREF At(HWND w, int x, int y) { return KvWindowGetPixel(w, x, y); }
  // The pointer moved to client point (x, y) of w, the left button pressed or released.
  void MoveTo(HWND w, int x, int y) {
    const POINT p = ScreenOf(w, x, y);
    KvInjectMouseMove(p.x, p.y);
    KvPumpMessages();
  }
  void LeftButton(bool down) {
    KvInjectMouseButton(VK_LBUTTON, down ? TRUE : FALSE);
    KvPumpMessages();
  }
  COLORREF Face() { return SkinColorToRGB(data->Colour(csButtonFace)); }

  TSkinData* data = nullptr;
  TForm* form = nullptr;
  TWinSkinForm* skinner = nullptr;
  std::vector<HWND> windows;
};

// Frame K of the element's image laid out to W x H as the skinner draws it.
inline std::unique_ptr<TBitmap> Expected(TDataSkinObject* e, int w, int h, int n, int k) {
  return RenderSkinImage(TRect{0, 0, w, h}, e->Map.get(), e->Margins(), false, e->Tile != 0, n, k);
}

}  // namespace skintest
