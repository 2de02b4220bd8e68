// TDravikAbout: the print control's about box (form DravikAbout), a fixed dialog with the
// product's name, a description, the maker's notice and one button that closes it.
#pragma once

#include "framework/controls/forms.h"
#include "framework/controls/stdctrls.h"

namespace zorbel {

class TDravikAbout : public TForm {
 public:
  explicit TDravikAbout(TComponent* AOwner);
  KV_CLASS_NAME(TDravikAbout)

  TLabel* NameLbl;
  TLabel* DescLbl;
  TLabel* CopyrightLbl;
  TButton* OkBtn;
};

}  // namespace zorbel
