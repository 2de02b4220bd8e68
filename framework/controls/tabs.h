// Tab controls over the platform's "SysTabControl32": a tab control with a list of tab
// texts, and a page control whose tabs are its pages (TTabSheet) that show one at a time.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "framework/controls/controls.h"
#include "framework/core/strings.h"

enum TTabPosition { tpTop, tpBottom, tpLeft, tpRight };
using TTabChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

// A click or an arrow key first asks OnChanging (AllowChange false keeps the tab), then
// raises OnChange. Children are laid out in the display area inside the pane.
class TCustomTabControl : public TWinControl {
 public:
  explicit TCustomTabControl(TComponent* AOwner);
  KV_CLASS_NAME(TCustomTabControl)
  TTabPosition TabPosition() const { return tab_position_; }
  void SetTabPosition(TTabPosition Value);
  // The part of the client area inside the pane (client coordinates).
  TRect DisplayRect();

  TNotifyEvent OnChange;
  TTabChangingEvent OnChanging;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& Message) override;
  void AlignControls(TControl* AControl, TRect& Rect) override;
  // The tabs' texts; the window's tabs follow them. The selection is kept where it can be.
  void SetTabTexts(const std::vector<AnsiString>& Texts);
  int TabCount() const { return static_cast<int>(texts_.size()); }
  int CurrentTab();
  // Selects a tab without asking or telling (-1: none).
  void SelectTab(int Index);
  virtual bool CanChange();
  virtual void Change();

 private:
  void FillWindow();
  std::vector<AnsiString> texts_;
  int tab_index_ = -1;
  TTabPosition tab_position_ = tpTop;
};

class TTabControl : public TCustomTabControl {
 public:
  explicit TTabControl(TComponent* AOwner);
  KV_CLASS_NAME(TTabControl)
  TStrings* Tabs() { return tabs_.get(); }
  int TabIndex() { return CurrentTab(); }
  void SetTabIndex(int Value) { SelectTab(Value); }

 private:
  std::unique_ptr<TStringList> tabs_;
};

class TPageControl;

// A page of a page control: its Caption is the tab's text; a page whose TabVisible is
// false has no tab and is never shown.
class TTabSheet : public TWinControl {
 public:
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;
  KV_CLASS_NAME(TTabSheet)
  TPageControl* PageControl() const { return page_control_; }
  // Moves the page to another page control (its parent too), or out of any with nullptr.
  void SetPageControl(TPageControl* Value);
  bool TabVisible() const { return tab_visible_; }
  void SetTabVisible(bool Value);
  // Index among the page control's pages; -1 without one.
  int PageIndex() const;
  // Index of its tab among the visible tabs; -1 when it has none.
  int TabIndex() const;

 protected:
  void WndProc(TMessage& Message) override;

 private:
  friend class TPageControl;
  TPageControl* page_control_ = nullptr;
  bool tab_visible_ = true;
};

class TPageControl : public TCustomTabControl {
 public:
  explicit TPageControl(TComponent* AOwner);
  ~TPageControl() override;
  KV_CLASS_NAME(TPageControl)
  int PageCount() const { return static_cast<int>(pages_.size()); }
  // EListError for an index out of range.
  TTabSheet* Pages(int Index) const;
  TTabSheet* ActivePage() const { return active_; }
  // Shows the page (nullptr: none); a page of another control, or one without tab, is refused.
  void SetActivePage(TTabSheet* Page);
  int ActivePageIndex() const { return active_ ? active_->PageIndex() : -1; }
  void SetActivePageIndex(int Value);
  // The page whose tab is `TabIndex`, the hidden tabs skipped; nullptr when none.
  TTabSheet* PageForTab(int TabIndex) const;

 protected:
  void Change() override;

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* Page);
  void RemovePage(TTabSheet* Page);
  void UpdateTabs();
  void ShowActive();
  std::vector<TTabSheet*> pages_;
  TTabSheet* active_ = nullptr;
};
