// The standard controls: buttons, check boxes, radio buttons, labels, edits, memos, group
// boxes, combo boxes and list boxes, each over the platform's control of the same kind.
#pragma once

#include <algorithm>
#include <vector>

#include "framework/controls/controls.h"
#include "framework/controls/forms.h"
#include "framework/core/strings.h"

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed };
// The state of an owner-drawn item.
enum TOwnerDrawStateItem { odSelected, odGrayed, odDisabled, odChecked, odFocused, odDefault, odComboBoxEdit };
using TOwnerDrawState = Set<TOwnerDrawStateItem, odSelected, odComboBoxEdit>;
using TDrawItemEvent =
    std::function<void(TWinControl* Control, int Index, const TRect& Rect, TOwnerDrawState State)>;

// ---- Buttons ------------------------------------------------------------------------------------------
class TButtonControl : public TWinControl {
 public:
  explicit TButtonControl(TComponent* AOwner);
  KV_CLASS_NAME(TButtonControl)
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool Value);

 protected:
  void CreateParams(TCreateParams& Params) override;
  bool word_wrap_ = false;
};

// A push button. A click (the platform's BN_CLICKED, or Enter on a Default button and
// Esc on a Cancel button of the focused form) sets the form's ModalResult from
// ModalResult and raises OnClick.
class TButton : public TButtonControl {
 public:
  explicit TButton(TComponent* AOwner);
  KV_CLASS_NAME(TButton)
  bool Default() const { return default_; }
  void SetDefault(bool Value);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool Value) { cancel_ = Value; }
  TModalResult ModalResult() const { return modal_result_; }
  void SetModalResult(TModalResult Value) { modal_result_ = Value; }
  void Click() override;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void WndProc(TMessage& Message) override;

 private:
  bool default_ = false;
  bool cancel_ = false;
  TModalResult modal_result_ = mrNone;
};

class TCustomCheckBox : public TButtonControl {
 public:
  explicit TCustomCheckBox(TComponent* AOwner);
  KV_CLASS_NAME(TCustomCheckBox)
  TCheckBoxState State();
  void SetState(TCheckBoxState Value);
  bool Checked() { return State() == cbChecked; }
  void SetChecked(bool Value) { SetState(Value ? cbChecked : cbUnchecked); }
  bool AllowGrayed = false;
  TAlignment Alignment = taRightJustify;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& Message) override;
  virtual void Toggle();
  TCheckBoxState state_ = cbUnchecked;
};

class TCheckBox : public TCustomCheckBox {
 public:
  explicit TCheckBox(TComponent* AOwner) : TCustomCheckBox(AOwner) {}
  KV_CLASS_NAME(TCheckBox)
};

// Checking a radio button unchecks the other radio buttons of the same parent.
class TRadioButton : public TButtonControl {
 public:
  explicit TRadioButton(TComponent* AOwner);
  KV_CLASS_NAME(TRadioButton)
  bool Checked() const { return checked_; }
  void SetChecked(bool Value);

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void WndProc(TMessage& Message) override;

 private:
  bool checked_ = false;
};

// ---- Labels ------------------------------------------------------------------------------------------
class TCustomLabel : public TGraphicControl {
 public:
  explicit TCustomLabel(TComponent* AOwner);
  KV_CLASS_NAME(TCustomLabel)
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool Value);
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool Value);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool Value);

 protected:
  void Paint() override;
  void WndProc(TMessage& Message) override;
  void AdjustBounds();
  UINT DrawFlags() const;

 private:
  TAlignment alignment_ = taLeftJustify;
  bool auto_size_ = true;
  bool word_wrap_ = false;
  bool transparent_ = false;
};

class TLabel : public TCustomLabel {
 public:
  explicit TLabel(TComponent* AOwner) : TCustomLabel(AOwner) {}
  KV_CLASS_NAME(TLabel)
};

// ---- Edits -------------------------------------------------------------------------------------------
class TCustomEdit : public TWinControl {
 public:
  explicit TCustomEdit(TComponent* AOwner);
  KV_CLASS_NAME(TCustomEdit)
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool Value);
  int MaxLength() const { return max_length_; }
  void SetMaxLength(int Value);
  char PasswordChar() const { return password_char_; }
  void SetPasswordChar(char Value);
  int SelStart();
  int SelLength();
  void SetSelStart(int Value);
  void SetSelLength(int Value);
  void SelectAll();
  void Clear() { SetText(""); }
  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void WndProc(TMessage& Message) override;
  virtual void Change();

 private:
  bool read_only_ = false;
  int max_length_ = 0;
  char password_char_ = 0;
};

class TEdit : public TCustomEdit {
 public:
  explicit TEdit(TComponent* AOwner) : TCustomEdit(AOwner) {}
  KV_CLASS_NAME(TEdit)
};

class TCustomMemo : public TCustomEdit {
 public:
  explicit TCustomMemo(TComponent* AOwner);
  KV_CLASS_NAME(TCustomMemo)
  TScrollStyle ScrollBars() const { return scroll_bars_; }
  void SetScrollBars(TScrollStyle Value);
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool Value);

 protected:
  void CreateParams(TCreateParams& Params) override;

 private:
  TScrollStyle scroll_bars_ = ssNone;
  bool word_wrap_ = true;
};

class TMemo : public TCustomMemo {
 public:
  explicit TMemo(TComponent* AOwner) : TCustomMemo(AOwner) {}
  KV_CLASS_NAME(TMemo)
};

// ---- Group box ------------------------------------------------------------------------------------------
class TCustomGroupBox : public TCustomControl {
 public:
  explicit TCustomGroupBox(TComponent* AOwner);
  KV_CLASS_NAME(TCustomGroupBox)

 protected:
  void Paint() override;
};

class TGroupBox : public TCustomGroupBox {
 public:
  explicit TGroupBox(TComponent* AOwner) : TCustomGroupBox(AOwner) {}
  KV_CLASS_NAME(TGroupBox)
};

// ---- Item lists ---------------------------------------------------------------------------------------------
// The items of a combo box or list box: kept by the control and mirrored into its window.
class TControlItems : public TStrings {
 public:
  struct TMessages {
    UINT Add, Insert, Delete, Reset;
  };
  TControlItems(TWinControl* Control, TMessages Messages) : control_(Control), messages_(Messages) {}
  KV_CLASS_NAME(TControlItems)
  AnsiString Get(int Index) const override;
  void Put(int Index, const AnsiString& S) override;
  int GetCount() const override { return static_cast<int>(items_.size()); }
  void Insert(int Index, const AnsiString& S) override;
  void Delete(int Index) override;
  void Clear() override;
  // Puts every item into the control's new window.
  void Fill();

 private:
  void Check(int Index) const;
  TWinControl* control_;
  TMessages messages_;
  std::vector<AnsiString> items_;
};

// A combo box. Its dropped list shows up to DropDownCount items. With csOwnerDrawFixed
// (a drop-down list) each item, and the selected one in the selection field, is drawn by
// DrawItem on Canvas: OnDrawItem when set, else the item's text; the items are
// ItemHeight high.
class TCustomComboBox : public TWinControl {
 public:
  explicit TCustomComboBox(TComponent* AOwner);
  ~TCustomComboBox() override;
  KV_CLASS_NAME(TCustomComboBox)
  TStrings* Items() { return items_.get(); }
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle Value);
  int ItemIndex();
  void SetItemIndex(int Value);
  bool DroppedDown();
  void SetDroppedDown(bool Value);
  // The height of the list's items: the window's own unless the items are owner-drawn.
  int ItemHeight();
  void SetItemHeight(int Value);
  // The canvas an owner-drawn item is drawn on (its DC only while the item is drawn).
  TCanvas* Canvas() { return canvas_.get(); }
  int DropDownCount = 8;
  TNotifyEvent OnChange;
  TNotifyEvent OnSelect;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;
  TDrawItemEvent OnDrawItem;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& Message) override;
  virtual void DrawItem(int Index, const TRect& Rect, TOwnerDrawState State);
  // Whether the window's items are drawn by DrawItem.
  bool OwnerDrawn();

 private:
  // Sizes the list that is about to drop for DropDownCount items at most.
  void AdjustDropDown();
  void DrawItemMessage(const DRAWITEMSTRUCT& Item);
  std::unique_ptr<TControlItems> items_;
  std::unique_ptr<TCanvas> canvas_;
  TComboBoxStyle style_ = csDropDown;
  int item_index_ = -1;
  int item_height_ = 16;
};

class TComboBox : public TCustomComboBox {
 public:
  explicit TComboBox(TComponent* AOwner) : TCustomComboBox(AOwner) {}
  KV_CLASS_NAME(TComboBox)
};

class TCustomListBox : public TWinControl {
 public:
  explicit TCustomListBox(TComponent* AOwner);
  ~TCustomListBox() override;
  KV_CLASS_NAME(TCustomListBox)
  TStrings* Items() { return items_.get(); }
  int ItemIndex();
  void SetItemIndex(int Value);

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& Message) override;

 private:
  std::unique_ptr<TControlItems> items_;
  int item_index_ = -1;
};

class TListBox : public TCustomListBox {
 public:
  explicit TListBox(TComponent* AOwner) : TCustomListBox(AOwner) {}
  KV_CLASS_NAME(TListBox)
};

// ---- Scroll bar -------------------------------------------------------------------------------------------
enum TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };
// OnScroll may change ScrollPos: the bar takes the value it leaves.
using TScrollEvent = std::function<void(TObject* Sender, TScrollCode ScrollCode, int& ScrollPos)>;

// A "ScrollBar" control: the whole window is one bar. Presses on it come back as scroll
// requests, which step Position by SmallChange or LargeChange or follow the thumb.
class TScrollBar : public TWinControl {
 public:
  explicit TScrollBar(TComponent* AOwner);
  KV_CLASS_NAME(TScrollBar)
  TScrollBarKind Kind() const { return kind_; }
  void SetKind(TScrollBarKind Value);
  int Min() const { return min_; }
  void SetMin(int Value) { SetParams(position_, Value, std::max(Value, max_)); }
  int Max() const { return max_; }
  void SetMax(int Value) { SetParams(position_, std::min(min_, Value), Value); }
  int Position() const { return position_; }
  // Kept within [Min, Max - PageSize + 1].
  void SetPosition(int Value) { SetParams(Value, min_, max_); }
  int PageSize() const { return page_size_; }
  void SetPageSize(int Value);
  int SmallChange() const { return small_change_; }
  void SetSmallChange(int Value) { small_change_ = Value; }
  int LargeChange() const { return large_change_; }
  void SetLargeChange(int Value) { large_change_ = Value; }
  void SetParams(int APosition, int AMin, int AMax);
  TNotifyEvent OnChange;
  TScrollEvent OnScroll;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void WndProc(TMessage& Message) override;

 private:
  void Apply();
  TScrollBarKind kind_ = sbHorizontal;
  int min_ = 0, max_ = 100, position_ = 0, page_size_ = 0;
  int small_change_ = 1, large_change_ = 1;
};
