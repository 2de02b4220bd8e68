// The class mapping of a skinned window: which child control gets which skinner. Framework
// controls go through the application's OnSkinControl, then the skin data's Skin3rd list,
// then a fixed chain of class tests and names; windows without a framework control are
// mapped by their window class.
#include <algorithm>

#include "framework/controls/comctrls.h"
#include "framework/controls/listview.h"
#include "framework/controls/stdctrls.h"
#include "framework/controls/tabs.h"
#include "platform/user/scrollbar.h"
#include "skin/skin_controls.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"

namespace {

bool Contains(const AnsiString& Text, const char* Part) { return Text.find(Part) != AnsiString::npos; }

bool OneOf(const AnsiString& Name, std::initializer_list<const char*> Names) {
  return std::any_of(Names.begin(), Names.end(), [&](const char* n) { return Name == n; });
}

bool HasScrollBars(TWinControl* Control) {
  const LONG style = GetWindowLongA(Control->Handle(), GWL_STYLE);
  return (style & (WS_HSCROLL | WS_VSCROLL)) != 0;
}

}  // namespace

void TWinSkinForm::FreeDeadControls() {
  // One at a time: a skinner takes the skinners it owns along (each leaves Controls as it goes).
  for (;;) {
    auto dead = std::find_if(Controls.begin(), Controls.end(), [](TSkinControl* c) { return c->State() == 6; });
    if (dead == Controls.end()) return;
    delete *dead;
  }
}

void TWinSkinForm::RefreshControls() {
  if (Form) Form->SetColor(SkinData->Colour(csButtonFace));
  for (TSkinControl* c : std::vector<TSkinControl*>(Controls)) c->SkinChanged();
}

TSkinControl* TWinSkinForm::FindControlSkinner(HWND Window) {
  // A skinner whose window is gone no longer owns the handle (the system may reuse it).
  for (TSkinControl* c : Controls)
    if (c->Handle() == Window && c->State() != 6) return c;
  return nullptr;
}

TSkinControl* TWinSkinForm::SkinnerOf(TControl* Control) {
  for (TSkinControl* c : Controls)
    if (c->SkinnedControl() == Control) return c;
  return nullptr;
}

void TWinSkinForm::AttachSkinner(TSkinControl* Skinner, TWinControl* Control, bool KeepColour) {
  Skinner->AttachControl(this, SkinData, Control, KeepColour, &ControlCanvas);
}

void TWinSkinForm::AttachScrolled(TSkinScrollbar* Skinner, TWinControl* Control) {
  Skinner->AttachScrolled(Control, SkinData, this, &ControlCanvas);
}

void TWinSkinForm::RebuildScrollSkinner(HWND Window) {
  TSkinScrollbar* old = nullptr;
  for (TSkinControl* c : Controls)
    if (c->Handle() == Window) old = dynamic_cast<TSkinScrollbar*>(c);
  if (!old) return;
  TWinControl* control = old->Control();
  const bool listView = dynamic_cast<TSkinListView*>(old) != nullptr, single = old->SingleBar();
  if (old->State() != 6) old->Detach();
  delete old;
  if (!control || !control->HandleAllocated()) return;
  AttachScrolled(listView ? new TSkinListView(control) : new TSkinScrollbar(control, single), control);
}

void TWinSkinForm::AttachRaw(TSkinControl* Skinner, HWND Window) {
  Skinner->AttachWindow(Window, SkinData, this, &ControlCanvas);
}

void TWinSkinForm::SkinChildren() {
  FreeDeadControls();
  SkinComponents(Form);
  std::vector<TWinControl*> list;
  Form->GetTabOrderList(list);
  for (TWinControl* c : list)
    if (c->HandleAllocated() && c->Tag() != SkinData->DisableTag && c->Perform(kSkinnedQueryMsg, 0, 0) != 1)
      MapControl(c, Form);
  SetPopupOwnerDraw(Form, true);
}

void TWinSkinForm::SkinComponents(TComponent* Container) {
  auto* parent = dynamic_cast<TControl*>(Container);
  for (int i = 0; i < Container->ComponentCount(); ++i)
    if (auto* c = dynamic_cast<TControl*>(Container->Components(i))) MapControl(c, parent);
}

void TWinSkinForm::SkinControlsOf(TWinControl* Control) {
  for (int i = 0; i < Control->ControlCount(); ++i) MapControl(Control->Controls(i), Control);
}

void TWinSkinForm::MapControl(TControl* Control, TControl* Parent) {
  TSkinData* data = SkinData;
  const auto& sc = data->SkinControls;
  auto* win = dynamic_cast<TWinControl*>(Control);
  if (Control->Tag() == data->DisableTag) {
    // A disabled radio or check group keeps its buttons plain too.
    const AnsiString lower = LowerCase(Control->ClassName());
    if (win && (Contains(lower, "radiogroup") || Contains(lower, "checkgroup")))
      for (int i = 0; i < win->ControlCount(); ++i) win->Controls(i)->SetTag(data->DisableTag);
    return;
  }
  if (!Control->Parent() || SkinnerOf(Control)) return;
  if (win && win->HandleAllocated() && win->Perform(kSkinnedQueryMsg, 0, 0) == 1) return;
  const AnsiString cls = UpperCase(Control->ClassName());
  if (win && !win->HandleAllocated()) {
    try {
      win->HandleNeeded();
    } catch (const Exception&) {
      return;
    }
  }
  if (data->OnSkinControl) {
    TComponent* skinned = nullptr;
    data->OnSkinControl(this, data, Parent, Control, cls, skinned);
    if (skinned) {
      auto* s = dynamic_cast<TSkinControl*>(skinned);
      if (s && win && std::find(Controls.begin(), Controls.end(), s) == Controls.end()) {
        AttachSkinner(s, win, s->KeepColour());
        if (dynamic_cast<TCustomPanel*>(win)) SkinControlsOf(win);
      }
      return;
    }
  }
  if (MapByName(cls, Control)) return;
  if (OneOf(cls, {"TDBCOMBOBOXEH", "TFRDESIGNERPAGE", "TFRPBOX"})) return;

  // The fixed chain: the first row that matches and whose gate is open decides.
  // A tool button gets no skinner of its own.
  if (dynamic_cast<TToolButton*>(Control) && FrameSkinned) return;
  if (!win) return;
  const bool tabs = sc.Contains(xcTab) && data->Element("Tabs");
  if (cls == "TTABSET" && tabs) {
    AttachSkinner(new TSkinTab31(win), win, false);
    return;
  }
  if (cls == "TTABBEDNOTEBOOK" && tabs) {
    AttachSkinner(new TSkinTab(win), win, false);
    return;
  }
  if (dynamic_cast<TTabSheet*>(win) && sc.Contains(xcTab)) {
    AttachSkinner(new TSkinTabSheet(win), win, false);
    return;
  }
  if (cls == "TMVCPANEL") {
    SkinControlsOf(win);
    return;
  }
  if (dynamic_cast<TCustomCheckBox*>(win) && sc.Contains(xcCheckBox)) {
    AttachSkinner(new TSkinCheckBox(win), win, false);
    return;
  }
  if (OneOf(cls, {"TUPDOWN", "TSPINBUTTON"}) && sc.Contains(xcSpin)) {
    AttachSkinner(new TSkinUpDown(win), win, false);
    return;
  }
  if (cls == "TMEDIAPLAYER" && sc.Contains(xcButton)) {
    AttachSkinner(new TSkinMP(win), win, false);
    return;
  }
  if (cls == "TDBNAVIGATOR" && sc.Contains(xcPanel)) {
    AttachSkinner(new TSkinBox(win), win, true);
    for (int i = 0; i < win->ControlCount(); ++i) MapControl(win->Controls(i), win);
    return;
  }
  const int glyphKind = OneOf(cls, {"TRZDBCHECKBOX", "TRZCHECKBOX"}) && sc.Contains(xcCheckBox)            ? 1
                        : OneOf(cls, {"TRZRADIOBUTTON", "TRZDBRADIOBUTTON"}) && sc.Contains(xcRadioButton) ? 2
                        : OneOf(cls, {"TCXDBCHECKBOX", "TCXCHECKBOX"}) && sc.Contains(xcCheckBox)          ? 3
                                                                                                           : 0;
  if (glyphKind) {
    AttachSkinner(new TSkinObjImage(win, glyphKind), win, true);
    return;
  }
  if (auto* bar = dynamic_cast<TToolBar*>(win); bar && sc.Contains(xcToolbar)) {
    SetPropText(bar, "Flat", "True");
    auto* box = new TSkinBox(win);
    if (!bar->OnCustomDraw) {
      box->PaintsToolBar = true;
      bar->OnCustomDraw = [data](TToolBar* Sender, const TRect& R, bool& DefaultDraw) {
        if (PaintToolBarBackground(data, Sender, R)) DefaultDraw = false;
      };
    }
    AttachSkinner(box, win, false);
    return;
  }
  if (dynamic_cast<TCustomStatusBar*>(win) && sc.Contains(xcStatusBar)) {
    AttachSkinner(new TSkinStatusBar(win), win, false);
    return;
  }
  if (dynamic_cast<TProgressBar*>(win) && sc.Contains(xcProgress)) {
    AttachSkinner(new TSkinProgress(win), win, false);
    return;
  }
  if ((cls == "TTNTCOMBOBOX" || dynamic_cast<TCustomComboBox*>(win)) && sc.Contains(xcCombo)) {
    AttachSkinner(new TSkinComBox(win), win, false);
    return;
  }
  const bool scrollbars = sc.Contains(xcScrollbar);
  if (scrollbars && OneOf(cls, {"TRICHEDIT", "TWWDBRICHEDIT", "TDXDBMEMO"})) {
    AttachScrolled(new TSkinScrollbar(win), win);
    return;
  }
  if (dynamic_cast<TCustomPanel*>(win) && sc.Contains(xcPanel)) {
    SkinControlsOf(win);
    AttachSkinner(new TSkinBox(win), win, true);
    return;
  }
  if (scrollbars && OneOf(cls, {"TDXTREELIST", "TDXDBTREELIST", "TDXDBGRID"})) {
    AttachScrolled(new TSkinScrollbar(win), win);
    return;
  }
  if (dynamic_cast<TCustomListView*>(win) && scrollbars) {
    AttachScrolled(new TSkinListView(win), win);
    return;
  }
  if (scrollbars && (dynamic_cast<TCustomMemo*>(win) || HasScrollBars(win) || dynamic_cast<TMemo*>(win))) {
    AttachScrolled(new TSkinScrollbar(win), win);
    return;
  }
  if (dynamic_cast<TButton*>(win) && sc.Contains(xcButton)) {
    AttachSkinner(new TSkinButton(win), win, false);
    return;
  }
  if (dynamic_cast<TCustomEdit*>(win) && sc.Contains(xcEdit)) {
    AttachSkinner(new TSkinEdit(win), win, false);
    return;
  }
  const bool dcEdit = OneOf(cls, {"TDCEDIT", "TDCDBEDIT"});
  if (auto* inner = dynamic_cast<TCustomForm*>(win); inner && !dcEdit) {
    AttachSkinner(new TSkinBox(win), win, true);
    SkinComponents(inner);
    return;
  }
  if (dcEdit) {
    const int buttons = PropInt(win, "NumButtons");
    if (buttons == 1 && sc.Contains(xcCombo))
      AttachSkinner(new TSkinComBox(win), win, false);
    else if (buttons == 0 && sc.Contains(xcEdit))
      AttachRaw(new TSkinEdit(win), win->Handle());
  }
}

bool TWinSkinForm::MapByName(const AnsiString& ClassName, TControl* Control) {
  TSkinData* data = SkinData;
  const AnsiString key = LowerCase(ClassName) + "=";
  AnsiString kind;
  bool found = false;
  for (int i = 0; i < data->Skin3rd.Count(); ++i) {
    const AnsiString line = LowerCase(data->Skin3rd.Strings(i));
    if (line.compare(0, key.size(), key) == 0) {
      kind = line.substr(line.find('=') + 1, 50);
      found = true;
      break;
    }
  }
  if (!found) return false;
  const auto& sc = data->SkinControls;
  if (auto* graphic = dynamic_cast<TGraphicControl*>(Control)) {
    if (kind == "speedbutton" && sc.Contains(xcSpeedButton))
      (new TSkinSpeedButton(graphic))->AttachGraphic(this, data, graphic, &ControlCanvas);
    else if (kind == "pngspeedbutton" && sc.Contains(xcButton))
      (new TSkinSpeedButton(graphic, "PngImage"))->AttachGraphic(this, data, graphic, &ControlCanvas);
    return true;
  }
  auto* win = dynamic_cast<TWinControl*>(Control);
  if (!win) return true;
  if (kind == "combobox" && sc.Contains(xcCombo)) {
    AttachSkinner(new TSkinComBox(win), win, false);
  } else if (kind == "comboboxex" && sc.Contains(xcCombo)) {
    AttachSkinner(new TSkinComBox(win, true), win, false);
  } else if (kind == "edit" && sc.Contains(xcEdit)) {
    RECT w{}, c{};
    GetWindowRect(win->Handle(), &w);
    GetClientRect(win->Handle(), &c);
    if (w.right - w.left != c.right || w.bottom - w.top != c.bottom) AttachSkinner(new TSkinEdit(win), win, false);
  } else if (kind == "radiobutton" && sc.Contains(xcRadioButton)) {
    AttachSkinner(new TSkinRadioButton(win), win, false);
  } else if (kind == "panel" && sc.Contains(xcPanel)) {
    SetPropText(win, "Transparent", "True");
    AttachSkinner(new TSkinBox(win), win, true);
  } else if (kind == "button" && sc.Contains(xcButton)) {
    AttachSkinner(new TSkinButton(win), win, false);
  } else if (kind == "mediaplayer" && sc.Contains(xcButton)) {
    AttachSkinner(new TSkinMP(win), win, false);
  } else if (kind == "bitbtn" && sc.Contains(xcButton)) {
    if (LowerCase(ClassName) == "tcxbutton" && PropText(win, "Kind") == "cxbkdropdownbutton")
      AttachSkinner(new TSkinMenuButton(win), win, false);
    else
      AttachSkinner(new TSkinBitButton(win), win, false);
  } else if (kind == "pngbitbtn" && sc.Contains(xcButton)) {
    AttachSkinner(new TSkinBitButton(win, "PngImage"), win, false);
  } else if (kind == "datetimepicker" && sc.Contains(xcCombo)) {
    AttachSkinner(new TSkinDateTime(win), win, false);
  } else if (kind == "menubtn" && sc.Contains(xcButton)) {
    AttachSkinner(new TSkinMenuButton(win), win, false);
  } else if (kind == "trackbar" && sc.Contains(xcButton)) {
    SetPropText(win, "Transparent", "True");
    AttachSkinner(new TSkinTrackBar(win), win, false);
  } else if (kind == "tab" && sc.Contains(xcTab) && data->Element("Tabs")) {
    AttachSkinner(new TSkinTab(win), win, false);
  } else if (kind == "progress" && sc.Contains(xcProgress)) {
    AttachSkinner(new TSkinProgress(win), win, false);
  } else if (kind == "scrollbar" && sc.Contains(xcScrollbar)) {
    AttachScrolled(new TSkinScrollbar(win), win);
    SkinControlsOf(win);
  } else if (kind == "singlescrollbar" && sc.Contains(xcScrollbar)) {
    AttachScrolled(new TSkinScrollbar(win, true), win);
  } else if (kind == "embedscrollbar" && sc.Contains(xcScrollbar)) {
    for (int i = 0; i < win->ControlCount(); ++i) {
      auto* child = dynamic_cast<TWinControl*>(win->Controls(i));
      if (child && child->HandleAllocated() && !SkinnerOf(child) &&
          (HasScrollBars(child) || dynamic_cast<TMemo*>(child)))
        AttachScrolled(new TSkinScrollbar(child), child);
    }
  } else if (kind == "container") {
    SkinControlsOf(win);
  } else if (kind == "groupbox" && sc.Contains(xcGroupBox)) {
    AttachSkinner(new TSkinGroupBox(win), win, true);
  } else if (kind == "advpagecontrol" && sc.Contains(xcTab)) {
    AttachSkinner(new TSkinAdvPage(win, 4), win, true);
  } else if (kind == "radiogroup" && sc.Contains(xcGroupBox)) {
    if (sc.Contains(xcRadioButton)) SkinGroupButtons(win, false);
    AttachSkinner(new TSkinGroupBox(win), win, true);
  } else if (kind == "checkgroup" && sc.Contains(xcPanel)) {
    if (sc.Contains(xcRadioButton)) SkinGroupButtons(win, true);
    if (sc.Contains(xcGroupBox)) AttachSkinner(new TSkinGroupBox(win), win, true);
  } else if (kind == "checkbox" && sc.Contains(xcCheckBox)) {
    AttachSkinner(new TSkinCheckBox(win), win, false);
  }
  return true;
}

// The buttons of a radio or check group: glyph controls (class names with "TRZ") take the
// skin's frames as glyphs, the others get a radio-button or check-box skinner.
void TWinSkinForm::SkinGroupButtons(TWinControl* Group, bool Checks) {
  for (int i = 0; i < Group->ControlCount(); ++i) {
    auto* child = dynamic_cast<TWinControl*>(Group->Controls(i));
    if (!child || SkinnerOf(child)) continue;
    if (Contains(UpperCase(child->ClassName()), "TRZ"))
      AttachSkinner(new TSkinObjImage(child, Checks ? 1 : 2), child, true);
    else if (Checks)
      AttachSkinner(new TSkinCheckBox(child), child, false);
    else
      AttachSkinner(new TSkinRadioButton(child), child, false);
  }
}

void TWinSkinForm::SkinRawChildren(HWND Window) {
  std::vector<HWND> children;
  for (HWND c = GetWindow(Window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (GetWindowLongA(c, GWL_STYLE) & WS_CHILD) children.push_back(c);
  for (HWND c : children) MapWindow(c);
}

void TWinSkinForm::MapWindow(HWND Window) {
  if (!Window || FindControlSkinner(Window)) return;
  const AnsiString cls = LowerCase(SkinClassName(Window));
  const DWORD style = static_cast<DWORD>(GetWindowLongA(Window, GWL_STYLE));
  const auto& sc = SkinData->SkinControls;
  TSkinControl* s = nullptr;
  HWND target = Window;
  auto faceColour = [&](HWND w) {
    if (TWinControl* c = FindControl(w)) c->SetColor(SkinData->Colour(csButtonFace));
  };
  if (cls == "button" && (style & 0xB) != 0xB) {
    if ((style & 7) == 7 || (style & 0x80)) return;
    if ((style & 3) == 3 || (style & 2) || (style & 5) == 5) {
      if (sc.Contains(xcCheckBox)) s = new TSkinCheckBox(this);
    } else if ((style & 9) == 9 || (style & 4)) {
      if (sc.Contains(xcRadioButton)) s = new TSkinRadioButton(this);
    } else if (sc.Contains(xcButton)) {
      s = new TSkinButton(this);
    }
  } else if (cls == "combobox" && sc.Contains(xcCombo)) {
    if ((style & 3) != CBS_SIMPLE) s = new TSkinComBox(this);
  } else if (cls == "comboboxex32") {
    target = GetWindow(Window, GW_CHILD);
    if (sc.Contains(xcCombo) && target) s = new TSkinComBox(this);
  } else if (cls == "scrollbar") {
    // Size boxes and size grips disappear into the face; a scroll bar is one skinned bar.
    if (style & (SBS_SIZEBOX | SBS_SIZEGRIP)) {
      if (!(style & 0x10000)) s = new TSkinSizer(this);
    } else if (sc.Contains(xcScrollbar)) {
      s = new TSkinScrollbar(this, true);
    }
  } else if (cls == "systreeview32") {
    return;
  } else if (cls == "#32770") {
    if (style & 0x10000) return;
    SkinRawChildren(Window);
    s = new TSkinBoxH(this);
  } else if (OneOf(cls, {"tpanel", "ttntpanel.unicodeclass", "ttntsilentpaintpanel.unicodeclass"})) {
    SkinRawChildren(Window);
    faceColour(Window);
  } else if (cls == "tcheckbox") {
    if (sc.Contains(xcCheckBox)) s = new TSkinCheckBox(this);
  } else if (cls == "tcombobox") {
    if (sc.Contains(xcCombo)) s = new TSkinComBox(this);
  } else if (cls == "tbutton") {
    if (sc.Contains(xcButton)) s = new TSkinButton(this);
  } else if (cls == "tprogressbar") {
    s = new TSkinProgress(this);
  } else if (cls == "tsilentpaintpanel") {
    faceColour(Window);
  } else if (cls == "systabcontrol32") {
    if (sc.Contains(xcTab) && !(style & TCS_OWNERDRAWFIXED)) s = new TSkinTab(this);
  } else if (cls == "toolbarwindow32") {
    s = new TSkinBoxH(this);
  } else if (cls == "edit") {
    if (sc.Contains(xcEdit)) s = new TSkinEdit(this);
  }
  if (s) AttachRaw(s, target);
}

bool PaintToolBarBackground(TSkinData* Data, TToolBar* Bar, const TRect& Rect) {
  TDataSkinObject* back = Data->Element("Toolbar");
  if (!back || !back->HasImage() || Data->Options.Contains(xoToolbarBK)) return false;
  HDC dc = Bar->Canvas()->Handle();
  const int old = SetStretchBltMode(dc, COLORONCOLOR);
  StretchBlt(dc, Rect.left, Rect.top, Rect.right - Rect.left, Rect.bottom - Rect.top, back->Map->Canvas()->Handle(), 0,
             0, back->Map->Width(), back->Map->Height(), SRCCOPY);
  SetStretchBltMode(dc, old);
  return true;
}
