// skin_bench: 1,000 WM_NCPAINT of a skinned 1024 x 768 form against 1,000 of the same form
// with the plain frame, in one run; prints the time per paint and the ratio.
#include <chrono>
#include <cstdio>

#include "framework/controls/forms.h"
#include "framework/controls/menus.h"
#include "platform/base/time.h"
#include "platform/user/testing.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"

namespace {

double PaintMicros(HWND wnd, int count) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) SendMessageA(wnd, WM_NCPAINT, 1, 0);
  const auto stop = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::micro>(stop - start).count() / count;
}

TForm* MakeForm() {
  auto* form = new TForm(nullptr);
  form->SetCaption("Invoices");
  form->SetBounds(0, 0, 1024, 768);
  auto* menu = new TMainMenu(form);
  for (const char* caption : {"&File", "&Edit", "&View", "&Help"}) {
    auto* item = new TMenuItem(menu);
    item->SetCaption(caption);
    auto* sub = new TMenuItem(menu);
    sub->SetCaption("Item");
    item->Add(sub);
    menu->Items()->Add(item);
  }
  form->SetMenu(menu);
  return form;
}

}  // namespace

int main() {
  KvClockSetVirtual(TRUE);
  constexpr int kPaints = 1000;
  TForm* plain = MakeForm();
  plain->Show();
  KvPumpMessages();
  PaintMicros(plain->Handle(), 20);
  const double plainUs = PaintMicros(plain->Handle(), kPaints);
  delete plain;

  auto* data = new TSkinData(nullptr);
  data->SetSkinBytes(DefaultSkinData(), DefaultSkinSize());
  data->SetActive(true);
  data->Loaded();
  TForm* skinned = MakeForm();
  skinned->Show();
  KvPumpMessages();
  if (!TSkinManage::Instance()->FindSkinned(skinned->Handle())) {
    std::fprintf(stderr, "skin_bench: the form was not skinned\n");
    return 1;
  }
  PaintMicros(skinned->Handle(), 20);
  const double skinnedUs = PaintMicros(skinned->Handle(), kPaints);
  delete skinned;
  delete data;
  TSkinManage::Shutdown();
  Application->Finalize();

  std::printf("WM_NCPAINT of a 1024 x 768 form, %d paints each\n", kPaints);
  std::printf("  plain frame:   %9.1f us per paint\n", plainUs);
  std::printf("  skinned frame: %9.1f us per paint\n", skinnedUs);
  std::printf("  ratio skinned / plain: %.2f (target within 5)\n", skinnedUs / plainUs);
  return 0;
}
