#include "framework/controls/menus.h"

#include <algorithm>

#include "framework/controls/forms.h"
#include "framework/core/sysutils.h"

namespace {

// Command numbers in use in this module.
std::vector<bool>& Commands() {
  static std::vector<bool> used(1, true);  // 0 is never a command
  return used;
}

WORD AllocateCommand() {
  auto& used = Commands();
  for (size_t i = 1; i < used.size(); ++i)
    if (!used[i]) {
      used[i] = true;
      return static_cast<WORD>(i);
    }
  if (used.size() > 0xFFFF) throw EOutOfResources("Out of menu command numbers");
  used.push_back(true);
  return static_cast<WORD>(used.size() - 1);
}

void FreeCommand(WORD c) {
  auto& used = Commands();
  if (c && c < used.size()) used[c] = false;
}

}  // namespace

// ---- TMenuItem ---------------------------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner), command_(AllocateCommand()) {}

TMenuItem::~TMenuItem() {
  while (!items_.empty()) {
    TMenuItem* child = items_.back();
    items_.pop_back();
    child->parent_ = nullptr;
    delete child;
  }
  if (parent_) parent_->Remove(this);
  FreeCommand(command_);
}

TMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* i = this;
  while (i->parent_) i = i->parent_;
  return i->menu_;
}

void TMenuItem::Changed() {
  if (TMenu* m = GetParentMenu()) m->MenuChanged();
}

void TMenuItem::SetCaption(const AnsiString& Value) {
  if (caption_ == Value) return;
  caption_ = Value;
  Changed();
}

void TMenuItem::SetChecked(bool Value) {
  if (checked_ == Value) return;
  checked_ = Value;
  Changed();
}

void TMenuItem::SetEnabled(bool Value) {
  if (enabled_ == Value) return;
  enabled_ = Value;
  Changed();
}

void TMenuItem::SetVisible(bool Value) {
  if (visible_ == Value) return;
  visible_ = Value;
  Changed();
}

TMenuItem* TMenuItem::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
  return items_[static_cast<size_t>(Index)];
}

void TMenuItem::Add(TMenuItem* Item) { Insert(Count(), Item); }

void TMenuItem::Insert(int Index, TMenuItem* Item) {
  if (!Item) return;
  if (Item->parent_) throw EInvalidOperation("Menu inserted twice");
  if (Index < 0 || Index > Count()) throw EListError(Format("List index out of bounds (%d)", Index));
  for (const TMenuItem* p = this; p; p = p->parent_)
    if (p == Item) throw EInvalidOperation("A menu item cannot contain itself");
  items_.insert(items_.begin() + Index, Item);
  Item->parent_ = this;
  Changed();
}

void TMenuItem::Remove(TMenuItem* Item) {
  auto it = std::find(items_.begin(), items_.end(), Item);
  if (it == items_.end()) return;
  items_.erase(it);
  Item->parent_ = nullptr;
  Changed();
}

void TMenuItem::Delete(int Index) {
  TMenuItem* item = Items(Index);
  Remove(item);
  delete item;
}

void TMenuItem::Clear() {
  while (Count() > 0) Delete(Count() - 1);
}

int TMenuItem::IndexOf(TMenuItem* Item) const {
  auto it = std::find(items_.begin(), items_.end(), Item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

TMenuItem* TMenuItem::Find(WORD Command) {
  if (command_ == Command && items_.empty()) return this;
  for (TMenuItem* i : items_)
    if (TMenuItem* f = i->Find(Command)) return f;
  return nullptr;
}

void TMenuItem::Click() {
  if (OnClick) OnClick(this);
}

void TMenuItem::AppendTo(HMENU Menu) {
  if (!visible_) return;
  UINT flags = (checked_ ? MF_CHECKED : 0) | (enabled_ ? 0 : MF_GRAYED);
  if (IsLine()) {
    AppendMenuA(Menu, MF_SEPARATOR, 0, nullptr);
    return;
  }
  bool owner_draw = OnDrawItem || OnMeasureItem;
  if (!items_.empty()) {
    HMENU sub = CreatePopupMenu();
    for (TMenuItem* i : items_) i->AppendTo(sub);
    if (owner_draw)
      AppendMenuA(Menu, flags | MF_POPUP | MF_OWNERDRAW, reinterpret_cast<UINT_PTR>(sub),
                  reinterpret_cast<LPCSTR>(this));
    else
      AppendMenuA(Menu, flags | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), caption_.c_str());
  } else if (owner_draw) {
    AppendMenuA(Menu, flags | MF_OWNERDRAW, command_, reinterpret_cast<LPCSTR>(this));
  } else {
    AppendMenuA(Menu, flags | MF_STRING, command_, caption_.c_str());
  }
}

// ---- TMenu, TMainMenu, TPopupMenu --------------------------------------------------------------------

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner), items_(new TMenuItem(nullptr)) { items_->menu_ = this; }

TMenu::~TMenu() {
  DestroyHandle();
  items_->menu_ = nullptr;
  delete items_;
}

void TMenu::DestroyHandle() {
  if (handle_ && IsMenu(handle_)) DestroyMenu(handle_);
  handle_ = nullptr;
}

HMENU TMenu::Handle() {
  if (handle_ && IsMenu(handle_)) return handle_;
  HMENU h = CreateMenuHandle();
  if (!h) throw EOutOfResources("Cannot create a menu");
  for (int i = 0; i < items_->Count(); ++i) items_->Items(i)->AppendTo(h);
  handle_ = h;
  return handle_;
}

void TMenu::MenuChanged() {
  if (!handle_) return;
  DestroyHandle();
}

bool TMenu::DispatchCommand(WORD Command) {
  TMenuItem* item = FindItem(Command);
  if (!item) return false;
  item->Click();
  return true;
}

bool TMenu::MeasureItem(MEASUREITEMSTRUCT& Item, TCanvas* Canvas) {
  TMenuItem* item = FindItem(static_cast<WORD>(Item.itemID));
  if (!item || !item->OnMeasureItem) return false;
  int w = static_cast<int>(Item.itemWidth), h = static_cast<int>(Item.itemHeight);
  item->OnMeasureItem(item, Canvas, w, h);
  Item.itemWidth = static_cast<UINT>(std::max(0, w));
  Item.itemHeight = static_cast<UINT>(std::max(0, h));
  return true;
}

bool TMenu::DrawItem(const DRAWITEMSTRUCT& Item, TCanvas* Canvas) {
  TMenuItem* item = FindItem(static_cast<WORD>(Item.itemID));
  if (!item || !item->OnDrawItem) return false;
  TCanvasDC lent(Canvas, Item.hDC);
  item->OnDrawItem(item, Canvas, Item.rcItem, (Item.itemState & ODS_SELECTED) != 0);
  return true;
}

void TMainMenu::MenuChanged() {
  bool shown = handle_ && WindowHandle && IsWindow(WindowHandle) && GetMenu(WindowHandle) == handle_;
  if (shown) SetMenu(WindowHandle, nullptr);
  TMenu::MenuChanged();
  if (shown) {
    SetMenu(WindowHandle, Handle());
    DrawMenuBar(WindowHandle);
  }
}

namespace {
TPopupMenu* gTracking = nullptr;
}

TPopupMenu* TPopupMenu::Tracking() { return gTracking; }

void TPopupMenu::Popup(int X, int Y) {
  if (OnPopup) OnPopup(this);
  HWND owner = Application->Handle();
  TPopupMenu* outer = gTracking;
  gTracking = this;
  UINT cmd = static_cast<UINT>(
      TrackPopupMenu(Handle(), TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, X, Y, 0, owner, nullptr));
  gTracking = outer;
  if (cmd) DispatchCommand(static_cast<WORD>(cmd));
}
