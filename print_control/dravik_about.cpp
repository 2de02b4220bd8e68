#include "print_control/dravik_about.h"

#include "platform/base/codepage.h"
#include "print_control/texts.h"

namespace zorbel {
namespace {

AnsiString T(const char* utf8) { return kv::WideToAnsi(kv::Utf8ToWide(utf8)); }

TLabel* MakeLabel(TForm* form, const char* name, int left, int top) {
  auto* label = new TLabel(form);
  label->SetName(name);
  label->SetParent(form);
  label->SetLeft(left);
  label->SetTop(top);
  return label;
}

}  // namespace

TDravikAbout::TDravikAbout(TComponent* AOwner) : TForm(AOwner) {
  SetName("DravikAbout");
  SetBorderStyle(bsDialog);
  SetBorderIcons({biSystemMenu});
  SetClientSize(408, 225);
  SetPosition(poScreenCenter);
  SetCaption(T(zorbel_texts::kAboutCaption));

  NameLbl = MakeLabel(this, "NameLbl", 72, 8);
  NameLbl->SetAutoSize(false);
  NameLbl->SetWidth(264);
  NameLbl->SetHeight(24);
  NameLbl->SetAlignment(taCenter);
  NameLbl->Font()->SetStyle({fsBold});
  NameLbl->SetCaption(T(zorbel_texts::kAboutName));

  DescLbl = MakeLabel(this, "DescLbl", 8, 42);
  DescLbl->SetAutoSize(false);
  DescLbl->SetWidth(392);
  DescLbl->SetHeight(110);
  DescLbl->SetWordWrap(true);
  DescLbl->SetCaption(T(zorbel_texts::kAboutDescription));

  CopyrightLbl = MakeLabel(this, "CopyrightLbl", 88, 160);
  CopyrightLbl->SetAutoSize(false);
  CopyrightLbl->SetWidth(312);
  CopyrightLbl->SetHeight(17);
  CopyrightLbl->SetCaption(T(zorbel_texts::kAboutCopyright));

  OkBtn = new TButton(this);
  OkBtn->SetName("OkBtn");
  OkBtn->SetParent(this);
  OkBtn->SetBounds(168, 184, 75, 25);
  OkBtn->SetCaption(T(zorbel_texts::kAboutClose));
  OkBtn->SetDefault(true);
  OkBtn->SetCancel(true);
  OkBtn->SetModalResult(mrOk);
}

}  // namespace zorbel
