#include "framework/controls/tabs.h"

#include <algorithm>
#include <cstdio>

#include "platform/comctl/tab.h"

// ---- TCustomTabControl -----------------------------------------------------------------------------

TCustomTabControl::TCustomTabControl(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 289;
  height_ = 193;
  tab_stop_ = true;
}

void TCustomTabControl::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  CreateSubClass(Params, "SysTabControl32");
  Params.Style |= WS_CLIPCHILDREN;
  switch (tab_position_) {
    case tpTop: break;
    case tpBottom: Params.Style |= TCS_BOTTOM; break;
    case tpLeft: Params.Style |= TCS_VERTICAL; break;
    case tpRight: Params.Style |= TCS_VERTICAL | TCS_RIGHT; break;
  }
}

void TCustomTabControl::FillWindow() {
  SendMessageA(handle_, TCM_DELETEALLITEMS, 0, 0);
  for (size_t i = 0; i < texts_.size(); ++i) {
    TCITEMA it{};
    it.mask = TCIF_TEXT;
    it.pszText = const_cast<LPSTR>(texts_[i].c_str());
    SendMessageA(handle_, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&it));
  }
  SendMessageA(handle_, TCM_SETCURSEL, static_cast<WPARAM>(tab_index_), 0);
}

void TCustomTabControl::CreateWnd() {
  TWinControl::CreateWnd();
  FillWindow();
  Realign();
}

void TCustomTabControl::DestroyWnd() {
  tab_index_ = CurrentTab();
  TWinControl::DestroyWnd();
}

void TCustomTabControl::SetTabPosition(TTabPosition Value) {
  if (tab_position_ == Value) return;
  tab_position_ = Value;
  RecreateWnd();
  Realign();
}

TRect TCustomTabControl::DisplayRect() {
  TRect r = ClientRect();
  if (handle_) SendMessageA(handle_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
  return r;
}

void TCustomTabControl::AlignControls(TControl* AControl, TRect& Rect) {
  Rect = DisplayRect();
  TWinControl::AlignControls(AControl, Rect);
}

void TCustomTabControl::SetTabTexts(const std::vector<AnsiString>& Texts) {
  int keep = CurrentTab();
  texts_ = Texts;
  tab_index_ = texts_.empty() ? -1 : std::clamp(keep, 0, TabCount() - 1);
  if (handle_) FillWindow();
}

int TCustomTabControl::CurrentTab() {
  if (handle_) tab_index_ = static_cast<int>(SendMessageA(handle_, TCM_GETCURSEL, 0, 0));
  return tab_index_;
}

void TCustomTabControl::SelectTab(int Index) {
  tab_index_ = (Index >= 0 && Index < TabCount()) ? Index : -1;
  if (handle_) SendMessageA(handle_, TCM_SETCURSEL, static_cast<WPARAM>(tab_index_), 0);
}

bool TCustomTabControl::CanChange() {
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  return allow;
}

void TCustomTabControl::Change() {
  if (OnChange) OnChange(this);
}

void TCustomTabControl::WndProc(TMessage& Message) {
  if (Message.Msg == CN_NOTIFY) {
    auto* hdr = reinterpret_cast<const NMHDR*>(Message.LParam);
    Message.Result = 0;
    if (hdr && hdr->code == static_cast<UINT>(TCN_SELCHANGING)) Message.Result = CanChange() ? 0 : 1;
    if (hdr && hdr->code == static_cast<UINT>(TCN_SELCHANGE)) {
      tab_index_ = CurrentTab();
      Change();
    }
    return;
  }
  TWinControl::WndProc(Message);
  if (Message.Msg == WM_SIZE) Realign();
}

// ---- TTabControl -----------------------------------------------------------------------------------

TTabControl::TTabControl(TComponent* AOwner) : TCustomTabControl(AOwner), tabs_(std::make_unique<TStringList>()) {
  tabs_->OnChange = [this](TObject*) {
    std::vector<AnsiString> texts;
    for (int i = 0; i < tabs_->Count(); ++i) texts.push_back(tabs_->Get(i));
    SetTabTexts(texts);
  };
}

// ---- TTabSheet -------------------------------------------------------------------------------------

TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner) {
  align_ = alClient;
  visible_ = false;
}

TTabSheet::~TTabSheet() {
  if (page_control_) page_control_->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* Value) {
  if (page_control_ == Value) return;
  if (page_control_) page_control_->RemovePage(this);
  SetParent(Value);
  if (Value) Value->InsertPage(this);
}

void TTabSheet::SetTabVisible(bool Value) {
  if (tab_visible_ == Value) return;
  tab_visible_ = Value;
  if (!page_control_) return;
  TPageControl* pc = page_control_;
  if (!Value && pc->active_ == this) {
    // The next page with a tab takes over, else the one before.
    TTabSheet* next = nullptr;
    int at = PageIndex();
    for (int i = at + 1; i < pc->PageCount() && !next; ++i)
      if (pc->pages_[static_cast<size_t>(i)]->tab_visible_) next = pc->pages_[static_cast<size_t>(i)];
    for (int i = at - 1; i >= 0 && !next; --i)
      if (pc->pages_[static_cast<size_t>(i)]->tab_visible_) next = pc->pages_[static_cast<size_t>(i)];
    pc->active_ = next;
  }
  pc->UpdateTabs();
}

int TTabSheet::PageIndex() const {
  if (!page_control_) return -1;
  auto& p = page_control_->pages_;
  return static_cast<int>(std::find(p.begin(), p.end(), this) - p.begin());
}

int TTabSheet::TabIndex() const {
  if (!page_control_ || !tab_visible_) return -1;
  int n = 0;
  for (TTabSheet* s : page_control_->pages_) {
    if (s == this) return n;
    if (s->tab_visible_) ++n;
  }
  return -1;
}

void TTabSheet::WndProc(TMessage& Message) {
  TWinControl::WndProc(Message);
  if (Message.Msg == CM_TEXTCHANGED && page_control_) page_control_->UpdateTabs();
}

// ---- TPageControl ----------------------------------------------------------------------------------

TPageControl::TPageControl(TComponent* AOwner) : TCustomTabControl(AOwner) {}

TPageControl::~TPageControl() {
  // The pages go with their parent; they need not tell a page control that is going.
  for (TTabSheet* s : pages_) s->page_control_ = nullptr;
  pages_.clear();
  active_ = nullptr;
}

TTabSheet* TPageControl::Pages(int Index) const {
  if (Index < 0 || Index >= PageCount()) {
    char text[64];
    std::snprintf(text, sizeof text, "List index out of bounds (%d)", Index);
    throw EListError(text);
  }
  return pages_[static_cast<size_t>(Index)];
}

TTabSheet* TPageControl::PageForTab(int TabIndex) const {
  if (TabIndex < 0) return nullptr;
  int n = 0;
  for (TTabSheet* s : pages_) {
    if (!s->tab_visible_) continue;
    if (n++ == TabIndex) return s;
  }
  return nullptr;
}

void TPageControl::InsertPage(TTabSheet* Page) {
  pages_.push_back(Page);
  Page->page_control_ = this;
  if (!active_ && Page->tab_visible_) active_ = Page;
  UpdateTabs();
}

void TPageControl::RemovePage(TTabSheet* Page) {
  int at = Page->PageIndex();
  pages_.erase(std::remove(pages_.begin(), pages_.end(), Page), pages_.end());
  Page->page_control_ = nullptr;
  if (active_ == Page) {
    active_ = nullptr;
    // The page that took its place, else the last one, when it has a tab.
    for (int i = std::min(at, PageCount() - 1); i >= 0 && !active_; --i)
      if (pages_[static_cast<size_t>(i)]->tab_visible_) active_ = pages_[static_cast<size_t>(i)];
  }
  UpdateTabs();
}

void TPageControl::UpdateTabs() {
  std::vector<AnsiString> texts;
  for (TTabSheet* s : pages_)
    if (s->tab_visible_) texts.push_back(s->Caption());
  SetTabTexts(texts);
  SelectTab(active_ ? active_->TabIndex() : -1);
  ShowActive();
}

void TPageControl::ShowActive() {
  for (TTabSheet* s : pages_) s->SetVisible(s == active_);
}

void TPageControl::SetActivePage(TTabSheet* Page) {
  if (Page && (Page->page_control_ != this || !Page->tab_visible_)) return;
  active_ = Page;
  SelectTab(Page ? Page->TabIndex() : -1);
  ShowActive();
}

void TPageControl::SetActivePageIndex(int Value) {
  SetActivePage(Value >= 0 && Value < PageCount() ? pages_[static_cast<size_t>(Value)] : nullptr);
}

void TPageControl::Change() {
  SetActivePage(PageForTab(CurrentTab()));
  TCustomTabControl::Change();
}
