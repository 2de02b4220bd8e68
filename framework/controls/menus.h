// Menus: TMenuItem trees shown as the platform's menus (a form's menu bar, popup menus).
//
// A menu's platform handle is built from its items on first use and built again after
// any change of an item (caption, check, enabled, visible, items added or removed). Each
// item with no sub-items has a command number of its own (unique in the module);
// choosing it raises the item's OnClick. An item whose caption is "-" is a separator.
// An item with OnDrawItem or OnMeasureItem is owner-drawn (WM_MEASUREITEM / WM_DRAWITEM
// reach the form, which hands them to the item).
#pragma once

#include <functional>
#include <vector>

#include "framework/controls/controls.h"

class TMenu;
class TCustomImageList;

using TMenuDrawItemEvent = std::function<void(TObject* Sender, TCanvas* ACanvas, const TRect& ARect, bool Selected)>;
using TMenuMeasureItemEvent = std::function<void(TObject* Sender, TCanvas* ACanvas, int& Width, int& Height)>;

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* AOwner);
  // Frees the sub-items and leaves the parent item.
  ~TMenuItem() override;
  KV_CLASS_NAME(TMenuItem)

  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& Value);
  bool Checked() const { return checked_; }
  void SetChecked(bool Value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  bool Visible() const { return visible_; }
  void SetVisible(bool Value);
  bool IsLine() const { return caption_ == "-"; }
  WORD Command() const { return command_; }

  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int Index) const;
  void Add(TMenuItem* Item);
  void Insert(int Index, TMenuItem* Item);
  void Remove(TMenuItem* Item);
  void Delete(int Index);
  void Clear();
  int IndexOf(TMenuItem* Item) const;
  TMenuItem* Parent() const { return parent_; }
  int MenuIndex() const { return parent_ ? parent_->IndexOf(const_cast<TMenuItem*>(this)) : -1; }
  // The item (this or below) with the command number, or nullptr.
  TMenuItem* Find(WORD Command);
  // The menu the item belongs to (through its parents), or nullptr.
  TMenu* GetParentMenu() const;
  virtual void Click();

  TNotifyEvent OnClick;
  // The item's image in its menu's Images, -1 for none (drawn by owner-draw painters).
  int ImageIndex = -1;
  TMenuDrawItemEvent OnDrawItem;
  TMenuMeasureItemEvent OnMeasureItem;

 private:
  friend class TMenu;
  void Changed();
  void AppendTo(HMENU Menu);
  AnsiString caption_;
  bool checked_ = false;
  bool enabled_ = true;
  bool visible_ = true;
  WORD command_ = 0;
  TMenuItem* parent_ = nullptr;
  TMenu* menu_ = nullptr;  // set on a menu's root item
  std::vector<TMenuItem*> items_;
};

class TMenu : public TComponent {
 public:
  explicit TMenu(TComponent* AOwner);
  ~TMenu() override;
  KV_CLASS_NAME(TMenu)
  TMenuItem* Items() const { return items_; }
  // The platform menu, built from the items on first use.
  HMENU Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  // Runs the OnClick of the item with that command; false when no item has it.
  bool DispatchCommand(WORD Command);
  TMenuItem* FindItem(WORD Command) { return items_->Find(Command); }
  // WM_MEASUREITEM / WM_DRAWITEM of an owner-drawn item of this menu: the item's event
  // runs on Canvas (given the item's DC while drawing); false when no item of this menu
  // has the command and the event.
  bool MeasureItem(MEASUREITEMSTRUCT& Item, TCanvas* Canvas);
  bool DrawItem(const DRAWITEMSTRUCT& Item, TCanvas* Canvas);
  // An item changed: the handle is built again (and the menu's window told).
  virtual void MenuChanged();
  // The images of the items (ImageIndex), for owner-draw painters; not owned.
  TCustomImageList* Images = nullptr;

 protected:
  virtual HMENU CreateMenuHandle() = 0;
  void DestroyHandle();
  HMENU handle_ = nullptr;

 private:
  TMenuItem* items_;
};

// A form's menu bar (TCustomForm::SetMenu).
class TMainMenu : public TMenu {
 public:
  explicit TMainMenu(TComponent* AOwner) : TMenu(AOwner) {}
  KV_CLASS_NAME(TMainMenu)
  // The window showing the menu (set by the form).
  HWND WindowHandle = nullptr;
  void MenuChanged() override;

 protected:
  HMENU CreateMenuHandle() override { return CreateMenu(); }
};

class TPopupMenu : public TMenu {
 public:
  explicit TPopupMenu(TComponent* AOwner) : TMenu(AOwner) {}
  KV_CLASS_NAME(TPopupMenu)
  // Raises OnPopup, tracks the menu at the screen point (on injected input in tests)
  // and runs the chosen item's OnClick.
  void Popup(int X, int Y);
  TNotifyEvent OnPopup;
  // The popup menu being tracked by Popup (its owner-drawn items are measured and drawn
  // through the application's window), or nullptr.
  static TPopupMenu* Tracking();

 protected:
  HMENU CreateMenuHandle() override { return CreatePopupMenu(); }
};
