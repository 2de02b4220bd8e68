#include "framework/controls/stdctrls.h"
#include "platform/user/button.h"
#include "platform/user/combobox.h"
#include "platform/user/edit.h"
#include "platform/user/listbox.h"
#include "platform/user/scrollbar.h"

#include <algorithm>

#include "framework/core/sysutils.h"

// ---- TButtonControl, TButton ----------------------------------------------------------------------------

TButtonControl::TButtonControl(TComponent* AOwner) : TWinControl(AOwner) {
  control_style_ = TControlStyle{csSetCaption, csDoubleClicks};
  tab_stop_ = true;
  color_ = clBtnFace;
  brush_->SetColor(color_);
}

void TButtonControl::SetWordWrap(bool Value) {
  if (word_wrap_ == Value) return;
  word_wrap_ = Value;
  RecreateWnd();
}

void TButtonControl::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  CreateSubClass(Params, "BUTTON");
  if (word_wrap_) Params.Style |= BS_MULTILINE;
}

TButton::TButton(TComponent* AOwner) : TButtonControl(AOwner) {
  width_ = 75;
  height_ = 25;
}

void TButton::CreateParams(TCreateParams& Params) {
  TButtonControl::CreateParams(Params);
  Params.Style |= default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::SetDefault(bool Value) {
  if (default_ == Value) return;
  default_ = Value;
  if (handle_) SendMessageA(handle_, BM_SETSTYLE, Value ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, 1);
}

void TButton::Click() {
  if (TCustomForm* form = GetParentForm(); form && modal_result_ != mrNone) form->SetModalResult(modal_result_);
  TButtonControl::Click();
}

void TButton::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case CN_COMMAND:
      if (HIWORD(Message.WParam) == BN_CLICKED) Click();
      return;
    case CM_DIALOGCHAR:
      if (IsAccel(Message.WParam, Caption()) && CanFocus()) {
        Click();
        Message.Result = 1;
        return;
      }
      break;
    case CM_DIALOGKEY:
      if (((Message.WParam == VK_RETURN && default_) || (Message.WParam == VK_ESCAPE && cancel_)) &&
          KeyDataToShiftState(Message.LParam).Empty() && CanFocus()) {
        Click();
        Message.Result = 1;
        return;
      }
      break;
    default: break;
  }
  TButtonControl::WndProc(Message);
}

// ---- TCustomCheckBox, TRadioButton ----------------------------------------------------------------------

TCustomCheckBox::TCustomCheckBox(TComponent* AOwner) : TButtonControl(AOwner) {
  width_ = 97;
  height_ = 17;
}

void TCustomCheckBox::CreateParams(TCreateParams& Params) {
  TButtonControl::CreateParams(Params);
  Params.Style |= BS_3STATE;
  if (Alignment == taLeftJustify) Params.Style |= BS_LEFTTEXT;
}

void TCustomCheckBox::CreateWnd() {
  TButtonControl::CreateWnd();
  SendMessageA(handle_, BM_SETCHECK, static_cast<WPARAM>(state_), 0);
}

void TCustomCheckBox::DestroyWnd() {
  state_ = State();
  TButtonControl::DestroyWnd();
}

TCheckBoxState TCustomCheckBox::State() {
  if (handle_) state_ = static_cast<TCheckBoxState>(SendMessageA(handle_, BM_GETCHECK, 0, 0) & 3);
  return state_;
}

void TCustomCheckBox::SetState(TCheckBoxState Value) {
  if (State() == Value) return;
  state_ = Value;
  if (handle_) SendMessageA(handle_, BM_SETCHECK, static_cast<WPARAM>(Value), 0);
  Click();
}

void TCustomCheckBox::Toggle() {
  switch (State()) {
    case cbUnchecked: SetState(AllowGrayed ? cbGrayed : cbChecked); break;
    case cbChecked: SetState(cbUnchecked); break;
    case cbGrayed: SetState(cbChecked); break;
  }
}

void TCustomCheckBox::WndProc(TMessage& Message) {
  if (Message.Msg == CN_COMMAND) {
    if (HIWORD(Message.WParam) == BN_CLICKED) Toggle();
    return;
  }
  TButtonControl::WndProc(Message);
}

TRadioButton::TRadioButton(TComponent* AOwner) : TButtonControl(AOwner) {
  width_ = 113;
  height_ = 17;
}

void TRadioButton::CreateParams(TCreateParams& Params) {
  TButtonControl::CreateParams(Params);
  Params.Style |= BS_RADIOBUTTON;
}

void TRadioButton::CreateWnd() {
  TButtonControl::CreateWnd();
  SendMessageA(handle_, BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TRadioButton::SetChecked(bool Value) {
  if (checked_ == Value) return;
  checked_ = Value;
  tab_stop_ = Value;
  if (handle_) SendMessageA(handle_, BM_SETCHECK, Value ? BST_CHECKED : BST_UNCHECKED, 0);
  if (Value) {
    if (parent_)
      for (int i = 0; i < parent_->ControlCount(); ++i)
        if (auto* r = dynamic_cast<TRadioButton*>(parent_->Controls(i)); r && r != this) r->SetChecked(false);
    Click();
  }
}

void TRadioButton::WndProc(TMessage& Message) {
  if (Message.Msg == CN_COMMAND) {
    if (HIWORD(Message.WParam) == BN_CLICKED) SetChecked(true);
    return;
  }
  TButtonControl::WndProc(Message);
}

// ---- TCustomLabel ------------------------------------------------------------------------------------------

TCustomLabel::TCustomLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  control_style_ << csOpaque;
  width_ = 65;
  height_ = 17;
  color_ = clBtnFace;
}

UINT TCustomLabel::DrawFlags() const {
  static const UINT align[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
  UINT flags = DT_EXPANDTABS | align[alignment_];
  flags |= word_wrap_ ? DT_WORDBREAK : DT_SINGLELINE;
  return flags;
}

void TCustomLabel::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  if (!transparent_) {
    c->Brush()->SetColor(color_);
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(r);
  }
  c->Brush()->SetStyle(bsClear);
  c->Font()->Assign(font_.get());
  if (!enabled_) c->Font()->SetColor(clGrayText);
  AnsiString text = text_;
  HDC dc = c->Handle();
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, DrawFlags());
}

void TCustomLabel::AdjustBounds() {
  if (!auto_size_) return;
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font_->Handle());
  RECT r{0, 0, word_wrap_ ? width_ : 0, 0};
  AnsiString text = text_.empty() ? AnsiString(" ") : text_;
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, DrawFlags() | DT_CALCRECT);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  int w = r.right - r.left, h = r.bottom - r.top;
  int x = left_;
  if (alignment_ == taRightJustify) x = left_ + width_ - w;
  SetBounds(x, top_, word_wrap_ ? width_ : w, h);
}

void TCustomLabel::SetAlignment(TAlignment Value) {
  if (alignment_ == Value) return;
  alignment_ = Value;
  Invalidate();
}

void TCustomLabel::SetAutoSize(bool Value) {
  if (auto_size_ == Value) return;
  auto_size_ = Value;
  AdjustBounds();
}

void TCustomLabel::SetWordWrap(bool Value) {
  if (word_wrap_ == Value) return;
  word_wrap_ = Value;
  AdjustBounds();
  Invalidate();
}

void TCustomLabel::SetTransparent(bool Value) {
  if (transparent_ == Value) return;
  transparent_ = Value;
  if (Value)
    control_style_ >> csOpaque;
  else
    control_style_ << csOpaque;
  Invalidate();
}

void TCustomLabel::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case CM_TEXTCHANGED:
    case CM_FONTCHANGED:
      AdjustBounds();
      Invalidate();
      return;
    default: break;
  }
  TGraphicControl::WndProc(Message);
}

// ---- TCustomEdit, TCustomMemo -----------------------------------------------------------------------------------

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 121;
  height_ = 21;
  tab_stop_ = true;
  parent_color_ = false;
  color_ = clWindow;
  brush_->SetColor(color_);
}

void TCustomEdit::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  CreateSubClass(Params, "EDIT");
  Params.Style |= ES_AUTOHSCROLL;
  Params.ExStyle |= WS_EX_CLIENTEDGE;
  if (read_only_) Params.Style |= ES_READONLY;
  if (password_char_) Params.Style |= ES_PASSWORD;
}

void TCustomEdit::CreateWnd() {
  TWinControl::CreateWnd();
  if (max_length_ > 0) SendMessageA(handle_, EM_LIMITTEXT, static_cast<WPARAM>(max_length_), 0);
}

void TCustomEdit::SetReadOnly(bool Value) {
  if (read_only_ == Value) return;
  read_only_ = Value;
  if (handle_) SendMessageA(handle_, EM_SETREADONLY, Value ? 1 : 0, 0);
}

void TCustomEdit::SetMaxLength(int Value) {
  max_length_ = std::max(Value, 0);
  if (handle_) SendMessageA(handle_, EM_LIMITTEXT, static_cast<WPARAM>(max_length_), 0);
}

void TCustomEdit::SetPasswordChar(char Value) {
  if (password_char_ == Value) return;
  password_char_ = Value;
  RecreateWnd();
}

int TCustomEdit::SelStart() {
  DWORD start = 0;
  SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
  return static_cast<int>(start);
}

int TCustomEdit::SelLength() {
  DWORD start = 0, end = 0;
  SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return static_cast<int>(end - start);
}

void TCustomEdit::SetSelStart(int Value) { SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(Value), Value); }

void TCustomEdit::SetSelLength(int Value) {
  int start = SelStart();
  SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(start), start + Value);
}

void TCustomEdit::SelectAll() { SendMessageA(Handle(), EM_SETSEL, 0, -1); }

void TCustomEdit::Change() {
  if (OnChange) OnChange(this);
}

void TCustomEdit::WndProc(TMessage& Message) {
  if (Message.Msg == CN_COMMAND) {
    if (HIWORD(Message.WParam) == EN_CHANGE) Change();
    return;
  }
  TWinControl::WndProc(Message);
}

TCustomMemo::TCustomMemo(TComponent* AOwner) : TCustomEdit(AOwner) {
  width_ = 185;
  height_ = 89;
}

void TCustomMemo::CreateParams(TCreateParams& Params) {
  TCustomEdit::CreateParams(Params);
  Params.Style |= ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL;
  if (word_wrap_) Params.Style &= ~static_cast<DWORD>(ES_AUTOHSCROLL);
  if (scroll_bars_ == ssHorizontal || scroll_bars_ == ssBoth) Params.Style |= WS_HSCROLL;
  if (scroll_bars_ == ssVertical || scroll_bars_ == ssBoth) Params.Style |= WS_VSCROLL;
}

void TCustomMemo::SetScrollBars(TScrollStyle Value) {
  if (scroll_bars_ == Value) return;
  scroll_bars_ = Value;
  RecreateWnd();
}

void TCustomMemo::SetWordWrap(bool Value) {
  if (word_wrap_ == Value) return;
  word_wrap_ = Value;
  RecreateWnd();
}

// ---- TCustomGroupBox -------------------------------------------------------------------------------------------

TCustomGroupBox::TCustomGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {
  control_style_ << csAcceptsControls;
  width_ = 185;
  height_ = 105;
  color_ = clBtnFace;
  brush_->SetColor(color_);
}

void TCustomGroupBox::Paint() {
  TCanvas* c = Canvas();
  c->Font()->Assign(font_.get());
  int h = c->TextHeight("0");
  TRect r = ClientRect();
  r.top += h / 2;
  c->Brush()->SetColor(clBtnShadow);
  c->FrameRect(r);
  AnsiString text = text_.empty() && handle_ ? Caption() : text_;
  if (!text.empty()) {
    c->Brush()->SetColor(color_);
    c->TextOut(8, 0, text);
  }
}

// ---- TControlItems ---------------------------------------------------------------------------------------------

void TControlItems::Check(int Index) const {
  if (Index < 0 || Index >= GetCount()) throw EStringListError(Format("List index out of bounds (%d)", Index));
}

AnsiString TControlItems::Get(int Index) const {
  Check(Index);
  return items_[static_cast<size_t>(Index)];
}

void TControlItems::Put(int Index, const AnsiString& S) {
  Check(Index);
  Delete(Index);
  Insert(Index, S);
}

void TControlItems::Insert(int Index, const AnsiString& S) {
  if (Index < 0 || Index > GetCount()) throw EStringListError(Format("List index out of bounds (%d)", Index));
  items_.insert(items_.begin() + Index, S);
  if (control_->HandleAllocated())
    SendMessageA(control_->Handle(), messages_.Insert, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(S.c_str()));
}

void TControlItems::Delete(int Index) {
  Check(Index);
  items_.erase(items_.begin() + Index);
  if (control_->HandleAllocated()) SendMessageA(control_->Handle(), messages_.Delete, static_cast<WPARAM>(Index), 0);
}

void TControlItems::Clear() {
  items_.clear();
  if (control_->HandleAllocated()) SendMessageA(control_->Handle(), messages_.Reset, 0, 0);
}

void TControlItems::Fill() {
  for (const AnsiString& s : items_)
    SendMessageA(control_->Handle(), messages_.Add, 0, reinterpret_cast<LPARAM>(s.c_str()));
}

// ---- TCustomComboBox ------------------------------------------------------------------------------------------

TCustomComboBox::TCustomComboBox(TComponent* AOwner)
    : TWinControl(AOwner),
      items_(std::make_unique<TControlItems>(
          this, TControlItems::TMessages{CB_ADDSTRING, CB_INSERTSTRING, CB_DELETESTRING, CB_RESETCONTENT})) {
  width_ = 145;
  height_ = 21;
  tab_stop_ = true;
  parent_color_ = false;
  color_ = clWindow;
  brush_->SetColor(color_);
  canvas_ = std::make_unique<TCanvas>();
}

TCustomComboBox::~TCustomComboBox() {
  Destroying();
  if (handle_) DestroyWindowHandle();
}

void TCustomComboBox::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  CreateSubClass(Params, "COMBOBOX");
  static const DWORD styles[] = {CBS_DROPDOWN, CBS_SIMPLE, CBS_DROPDOWNLIST, CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED};
  // The items are always strings, owner-drawn or not.
  Params.Style |= WS_VSCROLL | CBS_AUTOHSCROLL | CBS_HASSTRINGS | styles[style_];
}

void TCustomComboBox::CreateWnd() {
  AnsiString text = text_;
  TWinControl::CreateWnd();
  if (OwnerDrawn()) SendMessageA(handle_, CB_SETITEMHEIGHT, 0, item_height_);
  items_->Fill();
  if (item_index_ >= 0)
    SendMessageA(handle_, CB_SETCURSEL, static_cast<WPARAM>(item_index_), 0);
  else if (style_ != csDropDownList && !text.empty())
    SetWindowTextA(handle_, text.c_str());
}

void TCustomComboBox::DestroyWnd() {
  item_index_ = ItemIndex();
  TWinControl::DestroyWnd();
}

void TCustomComboBox::SetStyle(TComboBoxStyle Value) {
  if (style_ == Value) return;
  style_ = Value;
  RecreateWnd();
}

int TCustomComboBox::ItemIndex() {
  if (handle_) item_index_ = static_cast<int>(SendMessageA(handle_, CB_GETCURSEL, 0, 0));
  return item_index_;
}

void TCustomComboBox::SetItemIndex(int Value) {
  if (Value < -1 || Value >= items_->Count()) Value = -1;
  item_index_ = Value;
  if (handle_)
    SendMessageA(handle_, CB_SETCURSEL, static_cast<WPARAM>(Value), 0);
  else
    text_ = Value >= 0 ? items_->Get(Value) : AnsiString();
}

bool TCustomComboBox::DroppedDown() { return handle_ && SendMessageA(handle_, CB_GETDROPPEDSTATE, 0, 0) != 0; }

void TCustomComboBox::SetDroppedDown(bool Value) { SendMessageA(Handle(), CB_SHOWDROPDOWN, Value ? 1 : 0, 0); }

bool TCustomComboBox::OwnerDrawn() {
  return HandleAllocated() ? (GetWindowLongA(handle_, GWL_STYLE) & CBS_OWNERDRAWFIXED) != 0 : style_ == csOwnerDrawFixed;
}

int TCustomComboBox::ItemHeight() {
  if (handle_ && !OwnerDrawn()) return static_cast<int>(SendMessageA(handle_, CB_GETITEMHEIGHT, 0, 0));
  return item_height_;
}

void TCustomComboBox::SetItemHeight(int Value) {
  if (Value <= 0) return;
  item_height_ = Value;
  if (handle_ && OwnerDrawn()) SendMessageA(handle_, CB_SETITEMHEIGHT, 0, Value);
}

void TCustomComboBox::AdjustDropDown() {
  // The combo's window height is the height of the combo with its list dropped.
  const int shown = std::max(1, std::min(items_->Count(), DropDownCount));
  SetWindowPos(handle_, nullptr, 0, 0, Width(), ItemHeight() * shown + Height() + 2,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

void TCustomComboBox::DrawItem(int Index, const TRect& Rect, TOwnerDrawState State) {
  if (OnDrawItem) {
    OnDrawItem(this, Index, Rect, State);
    return;
  }
  canvas_->FillRect(Rect);
  if (Index >= 0 && Index < items_->Count()) canvas_->TextOut(Rect.left + 2, Rect.top, items_->Get(Index));
}

void TCustomComboBox::DrawItemMessage(const DRAWITEMSTRUCT& Item) {
  TOwnerDrawState state;
  if (Item.itemState & ODS_SELECTED) state << odSelected;
  if (Item.itemState & ODS_GRAYED) state << odGrayed;
  if (Item.itemState & ODS_DISABLED) state << odDisabled;
  if (Item.itemState & ODS_CHECKED) state << odChecked;
  if (Item.itemState & ODS_FOCUS) state << odFocused;
  if (Item.itemState & ODS_DEFAULT) state << odDefault;
  if (Item.itemState & ODS_COMBOBOXEDIT) state << odComboBoxEdit;
  TCanvasDC lent(canvas_.get(), Item.hDC);
  canvas_->Font()->Assign(Font());
  canvas_->Brush()->SetColor(Color());
  if (state.Contains(odSelected)) {
    canvas_->Brush()->SetColor(clHighlight);
    canvas_->Font()->SetColor(clHighlightText);
  }
  const TRect rect(Item.rcItem);
  DrawItem(static_cast<int>(Item.itemID), rect, state);
  if (state.Contains(odFocused)) DrawFocusRect(Item.hDC, &Item.rcItem);
}

void TCustomComboBox::WndProc(TMessage& Message) {
  if (Message.Msg == CN_COMMAND) {
    switch (HIWORD(Message.WParam)) {
      case CBN_SELCHANGE:
        item_index_ = ItemIndex();
        if (OnSelect) OnSelect(this);
        if (OnChange) OnChange(this);
        break;
      case CBN_EDITCHANGE:
        if (OnChange) OnChange(this);
        break;
      case CBN_DROPDOWN:
        if (OnDropDown) OnDropDown(this);
        AdjustDropDown();
        break;
      case CBN_CLOSEUP:
        if (OnCloseUp) OnCloseUp(this);
        break;
      case CBN_DBLCLK: DblClick(); break;
      default: break;
    }
    return;
  }
  if (Message.Msg == CN_DRAWITEM && Message.LParam) {
    DrawItemMessage(*reinterpret_cast<const DRAWITEMSTRUCT*>(Message.LParam));
    Message.Result = TRUE;
    return;
  }
  TWinControl::WndProc(Message);
}

// ---- TCustomListBox ------------------------------------------------------------------------------------------

TCustomListBox::TCustomListBox(TComponent* AOwner)
    : TWinControl(AOwner),
      items_(std::make_unique<TControlItems>(
          this, TControlItems::TMessages{LB_ADDSTRING, LB_INSERTSTRING, LB_DELETESTRING, LB_RESETCONTENT})) {
  width_ = 121;
  height_ = 97;
  tab_stop_ = true;
  parent_color_ = false;
  color_ = clWindow;
  brush_->SetColor(color_);
}

TCustomListBox::~TCustomListBox() {
  Destroying();
  if (handle_) DestroyWindowHandle();
}

void TCustomListBox::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  CreateSubClass(Params, "LISTBOX");
  Params.Style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL;
  Params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomListBox::CreateWnd() {
  TWinControl::CreateWnd();
  items_->Fill();
  if (item_index_ >= 0) SendMessageA(handle_, LB_SETCURSEL, static_cast<WPARAM>(item_index_), 0);
}

void TCustomListBox::DestroyWnd() {
  item_index_ = ItemIndex();
  TWinControl::DestroyWnd();
}

int TCustomListBox::ItemIndex() {
  if (handle_) item_index_ = static_cast<int>(SendMessageA(handle_, LB_GETCURSEL, 0, 0));
  return item_index_;
}

void TCustomListBox::SetItemIndex(int Value) {
  if (Value < -1 || Value >= items_->Count()) Value = -1;
  item_index_ = Value;
  if (handle_) SendMessageA(handle_, LB_SETCURSEL, static_cast<WPARAM>(Value), 0);
}

void TCustomListBox::WndProc(TMessage& Message) {
  if (Message.Msg == CN_COMMAND) {
    if (HIWORD(Message.WParam) == LBN_SELCHANGE) {
      item_index_ = ItemIndex();
      Click();
    } else if (HIWORD(Message.WParam) == LBN_DBLCLK) {
      DblClick();
    }
    return;
  }
  TWinControl::WndProc(Message);
}

// ---- TScrollBar -------------------------------------------------------------------------------------------

TScrollBar::TScrollBar(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 121;
  height_ = GetSystemMetrics(SM_CYHSCROLL);
  tab_stop_ = true;
}

void TScrollBar::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  CreateSubClass(Params, "ScrollBar");
  Params.Style |= kind_ == sbVertical ? SBS_VERT : SBS_HORZ;
}

void TScrollBar::CreateWnd() {
  TWinControl::CreateWnd();
  Apply();
}

void TScrollBar::Apply() {
  if (!handle_) return;
  SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, min_, max_, static_cast<UINT>(page_size_), position_, 0};
  SendMessageW(handle_, SBM_SETSCROLLINFO, TRUE, reinterpret_cast<LPARAM>(&si));
}

void TScrollBar::SetKind(TScrollBarKind Value) {
  if (kind_ == Value) return;
  kind_ = Value;
  // The bar turns: width and height change places.
  SetBounds(left_, top_, height_, width_);
  RecreateWnd();
}

void TScrollBar::SetPageSize(int Value) {
  page_size_ = std::max(Value, 0);
  SetParams(position_, min_, max_);
}

void TScrollBar::SetParams(int APosition, int AMin, int AMax) {
  if (AMax < AMin) throw EInvalidOperation("Scroll bar property out of range");
  min_ = AMin;
  max_ = AMax;
  // 64-bit: the range may span the whole int. The page is at most the range.
  const long long range = static_cast<long long>(max_) - min_ + 1;
  page_size_ = static_cast<int>(std::min<long long>(page_size_, range));
  const int last = static_cast<int>(std::max<long long>(min_, max_ - std::max(page_size_ - 1, 0)));
  const int before = position_;
  position_ = std::clamp(APosition, min_, last);
  Apply();
  if (position_ != before && OnChange) OnChange(this);
}

void TScrollBar::WndProc(TMessage& Message) {
  if (Message.Msg != CN_HSCROLL && Message.Msg != CN_VSCROLL) {
    TWinControl::WndProc(Message);
    return;
  }
  // The platform's request codes in the order of TScrollCode.
  const int code = LOWORD(Message.WParam);
  int pos = position_;
  switch (code) {
    case SB_LINEUP: pos -= small_change_; break;
    case SB_LINEDOWN: pos += small_change_; break;
    case SB_PAGEUP: pos -= large_change_; break;
    case SB_PAGEDOWN: pos += large_change_; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: {
      // The 16-bit position of the request, or the full one the bar tracks.
      SCROLLINFO si{sizeof si, SIF_TRACKPOS, 0, 0, 0, 0, 0};
      pos = SendMessageW(handle_, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(&si)) ? si.nTrackPos
                                                                                      : HIWORD(Message.WParam);
      break;
    }
    case SB_TOP: pos = min_; break;
    case SB_BOTTOM: pos = max_; break;
    default: break;
  }
  if (code >= SB_LINEUP && code <= SB_ENDSCROLL && OnScroll) OnScroll(this, static_cast<TScrollCode>(code), pos);
  SetPosition(pos);
  Message.Result = 0;
}
