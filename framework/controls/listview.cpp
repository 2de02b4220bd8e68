#include "framework/controls/listview.h"
#include "platform/comctl/listview.h"

#include "framework/core/sysutils.h"

// ---- Columns ---------------------------------------------------------------------------------------

void TListColumn::SetCaption(const AnsiString& Value) {
  caption_ = Value;
  Changed(false);
}

void TListColumn::SetWidth(int Value) {
  width_ = Value;
  Changed(false);
}

void TListColumn::SetAlignment(TAlignment Value) {
  alignment_ = Value;
  Changed(false);
}

TListColumns::TListColumns(TCustomListView* Owner) : TCollection(CollectionItemClass<TListColumn>()), owner_(Owner) {}

TPersistent* TListColumns::GetOwner() { return owner_; }

void TListColumns::Update(TCollectionItem*) { owner_->UpdateItems(); }

// ---- Items ---------------------------------------------------------------------------------------------

TListItem::TListItem(TListItems* Owner) : owner_(Owner) {}

void TListItem::SetCaption(const AnsiString& Value) {
  caption_ = Value;
  Update();
}

int TListItem::Index() const { return owner_->IndexOf(this); }

TRect TListItem::DisplayRect(TDisplayCode Code) {
  TCustomListView* lv = owner_->Owner();
  RECT r{};
  if (!lv->HandleAllocated()) return r;
  static const int codes[] = {LVIR_BOUNDS, LVIR_ICON, LVIR_LABEL, LVIR_SELECTBOUNDS};
  r.left = codes[Code];
  if (!SendMessageA(lv->Handle(), LVM_GETITEMRECT, static_cast<WPARAM>(Index()), reinterpret_cast<LPARAM>(&r)))
    return RECT{};
  return r;
}

TRect TListItem::SubItemRect(int SubItem) {
  TCustomListView* lv = owner_->Owner();
  RECT r{};
  if (!lv->HandleAllocated()) return r;
  r.top = SubItem;
  r.left = LVIR_BOUNDS;
  if (!SendMessageA(lv->Handle(), LVM_GETSUBITEMRECT, static_cast<WPARAM>(Index()), reinterpret_cast<LPARAM>(&r)))
    throw EListError(Format("List index out of bounds (%d)", SubItem));
  return r;
}

bool TListItem::Selected() const {
  TCustomListView* lv = owner_->Owner();
  if (lv->HandleAllocated())
    return (SendMessageA(lv->Handle(), LVM_GETITEMSTATE, static_cast<WPARAM>(Index()), LVIS_SELECTED) &
            LVIS_SELECTED) != 0;
  return selected_;
}

void TListItem::SetSelected(bool Value) {
  selected_ = Value;
  TCustomListView* lv = owner_->Owner();
  if (!lv->HandleAllocated()) return;
  LVITEMA it{};
  it.mask = LVIF_STATE;
  it.stateMask = LVIS_SELECTED;
  it.state = Value ? LVIS_SELECTED : 0;
  SendMessageA(lv->Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(Index()), reinterpret_cast<LPARAM>(&it));
}

void TListItem::Update() {
  TCustomListView* lv = owner_->Owner();
  if (!lv->HandleAllocated()) return;
  int index = Index();
  auto set_text = [&](int sub, const AnsiString& text) {
    LVITEMA it{};
    it.iSubItem = sub;
    it.pszText = const_cast<char*>(text.c_str());
    SendMessageA(lv->Handle(), LVM_SETITEMTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&it));
  };
  set_text(0, caption_);
  for (int i = 0; i < sub_items_.Count(); ++i) set_text(i + 1, sub_items_.Get(i));
}

TListItem* TListItems::Add() { return Insert(Count()); }

TListItem* TListItems::Insert(int Index) {
  if (Index < 0 || Index > Count()) throw EListError(Format("List index out of bounds (%d)", Index));
  items_.insert(items_.begin() + Index, std::make_unique<TListItem>(this));
  owner_->UpdateItems();
  return items_[static_cast<size_t>(Index)].get();
}

void TListItems::Delete(int Index) {
  Item(Index);
  items_.erase(items_.begin() + Index);
  owner_->UpdateItems();
}

void TListItems::Clear() {
  items_.clear();
  owner_->UpdateItems();
}

TListItem* TListItems::Item(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
  return items_[static_cast<size_t>(Index)].get();
}

int TListItems::IndexOf(const TListItem* Item) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == Item) return static_cast<int>(i);
  return -1;
}

// ---- TCustomListView -------------------------------------------------------------------------------------

TCustomListView::TCustomListView(TComponent* AOwner)
    : TWinControl(AOwner), columns_(std::make_unique<TListColumns>(this)), items_(std::make_unique<TListItems>(this)) {
  width_ = 250;
  height_ = 150;
  tab_stop_ = true;
  parent_color_ = false;
  color_ = clWindow;
  brush_->SetColor(color_);
}

TCustomListView::~TCustomListView() {
  Destroying();
  if (handle_) DestroyWindowHandle();
}

void TCustomListView::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  CreateSubClass(Params, "SysListView32");
  static const DWORD views[] = {LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
  Params.Style |= views[view_style_] | LVS_SHOWSELALWAYS;
  if (!show_headers_) Params.Style |= LVS_NOCOLUMNHEADER;
  Params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomListView::CreateWnd() {
  TWinControl::CreateWnd();
  DWORD ex = (row_select_ ? LVS_EX_FULLROWSELECT : 0) | (grid_lines_ ? LVS_EX_GRIDLINES : 0);
  SendMessageA(handle_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES, static_cast<LPARAM>(ex));
  UpdateItems();
}

void TCustomListView::DestroyWnd() {
  for (int i = 0; i < items_->Count(); ++i) items_->Item(i)->selected_ = items_->Item(i)->Selected();
  TWinControl::DestroyWnd();
}

void TCustomListView::UpdateItems() {
  if (!handle_) return;
  SendMessageA(handle_, LVM_DELETEALLITEMS, 0, 0);
  while (SendMessageA(handle_, LVM_DELETECOLUMN, 0, 0)) {
  }
  for (int i = 0; i < columns_->Count(); ++i) {
    TListColumn* c = columns_->Items(i);
    LVCOLUMNA col{};
    static const int formats[] = {LVCFMT_LEFT, LVCFMT_RIGHT, LVCFMT_CENTER};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
    // The first column of the platform's list view is always left-aligned.
    col.fmt = i == 0 ? LVCFMT_LEFT : formats[c->Alignment()];
    col.pszText = const_cast<char*>(c->Caption().c_str());
    col.cx = c->Width();
    col.iSubItem = i;
    SendMessageA(handle_, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col));
  }
  for (int i = 0; i < items_->Count(); ++i) {
    TListItem* item = items_->Item(i);
    LVITEMA it{};
    it.mask = LVIF_TEXT | LVIF_STATE;
    it.iItem = i;
    it.pszText = const_cast<char*>(item->caption_.c_str());
    it.stateMask = LVIS_SELECTED;
    it.state = item->selected_ ? LVIS_SELECTED : 0;
    SendMessageA(handle_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it));
    item->Update();
  }
}

void TCustomListView::SetViewStyle(TViewStyle Value) {
  if (view_style_ == Value) return;
  view_style_ = Value;
  RecreateWnd();
}

void TCustomListView::SetRowSelect(bool Value) {
  if (row_select_ == Value) return;
  row_select_ = Value;
  RecreateWnd();
}

void TCustomListView::SetGridLines(bool Value) {
  if (grid_lines_ == Value) return;
  grid_lines_ = Value;
  RecreateWnd();
}

void TCustomListView::SetShowColumnHeaders(bool Value) {
  if (show_headers_ == Value) return;
  show_headers_ = Value;
  RecreateWnd();
}

TListItem* TCustomListView::Selected() {
  for (int i = 0; i < items_->Count(); ++i)
    if (items_->Item(i)->Selected()) return items_->Item(i);
  return nullptr;
}

TListItem* TCustomListView::GetItemAt(int X, int Y) {
  if (!HandleAllocated()) return nullptr;
  LVHITTESTINFO ht{};
  ht.pt = POINT{X, Y};
  int i = static_cast<int>(SendMessageA(handle_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&ht)));
  return i >= 0 && i < items_->Count() && (ht.flags & LVHT_ONITEM) ? items_->Item(i) : nullptr;
}

void TCustomListView::WndProc(TMessage& Message) {
  if (Message.Msg == CN_NOTIFY) {
    auto* hdr = reinterpret_cast<const NMHDR*>(Message.LParam);
    if (hdr && hdr->code == static_cast<UINT>(LVN_ITEMCHANGED) && OnSelectItem) OnSelectItem(this);
    Message.Result = 0;
    return;
  }
  TWinControl::WndProc(Message);
}
