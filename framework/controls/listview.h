// The list view over the platform's "SysListView32": columns and items kept by the
// component and put into the window whenever it is made or they change.
#pragma once

#include <memory>
#include <vector>

#include "framework/controls/controls.h"
#include "framework/controls/stdctrls.h"
#include "framework/core/strings.h"

enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
enum TDisplayCode { drBounds, drIcon, drLabel, drSelectBounds };

class TCustomListView;

class TListColumn : public TCollectionItem {
 public:
  explicit TListColumn(TCollection* Collection) : TCollectionItem(Collection) {}
  KV_CLASS_NAME(TListColumn)
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& Value);
  int Width() const { return width_; }
  void SetWidth(int Value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);

 private:
  AnsiString caption_;
  int width_ = 50;
  TAlignment alignment_ = taLeftJustify;
};

class TListColumns : public TCollection {
 public:
  explicit TListColumns(TCustomListView* Owner);
  KV_CLASS_NAME(TListColumns)
  TListColumn* Add() { return static_cast<TListColumn*>(TCollection::Add()); }
  TListColumn* Items(int Index) const { return static_cast<TListColumn*>(TCollection::Items(Index)); }
  TPersistent* GetOwner() override;

 protected:
  void Update(TCollectionItem* Item) override;

 private:
  TCustomListView* owner_;
};

class TListItems;

class TListItem : public TPersistent {
 public:
  explicit TListItem(TListItems* Owner);
  KV_CLASS_NAME(TListItem)
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& Value);
  // The texts of the report view's further columns.
  TStrings* SubItems() { return &sub_items_; }
  void* Data = nullptr;
  int ImageIndex = -1;
  bool Selected() const;
  void SetSelected(bool Value);
  int Index() const;
  // The item's rectangle in the list view's client area (empty without a window).
  TRect DisplayRect(TDisplayCode Code);
  // The rectangle of report-view column SubItem on the item's row (empty without a window;
  // EListError for a column the view does not have).
  TRect SubItemRect(int SubItem);
  // Puts a changed SubItems list into the window.
  void Update();

 private:
  friend class TCustomListView;
  TListItems* owner_;
  AnsiString caption_;
  TStringList sub_items_;
  bool selected_ = false;
};

class TListItems : public TPersistent {
 public:
  explicit TListItems(TCustomListView* Owner) : owner_(Owner) {}
  KV_CLASS_NAME(TListItems)
  TListItem* Add();
  TListItem* Insert(int Index);
  void Delete(int Index);
  void Clear();
  int Count() const { return static_cast<int>(items_.size()); }
  // EListError "List index out of bounds (%d)" for a bad index.
  TListItem* Item(int Index) const;
  int IndexOf(const TListItem* Item) const;
  TCustomListView* Owner() const { return owner_; }

 private:
  TCustomListView* owner_;
  std::vector<std::unique_ptr<TListItem>> items_;
};

class TCustomListView : public TWinControl {
 public:
  explicit TCustomListView(TComponent* AOwner);
  ~TCustomListView() override;
  KV_CLASS_NAME(TCustomListView)
  TListColumns* Columns() { return columns_.get(); }
  TListItems* Items() { return items_.get(); }
  TViewStyle ViewStyle() const { return view_style_; }
  void SetViewStyle(TViewStyle Value);
  bool RowSelect() const { return row_select_; }
  void SetRowSelect(bool Value);
  bool GridLines() const { return grid_lines_; }
  void SetGridLines(bool Value);
  bool ShowColumnHeaders() const { return show_headers_; }
  void SetShowColumnHeaders(bool Value);
  // The first selected item, or nullptr.
  TListItem* Selected();
  // The item at a client point, or nullptr.
  TListItem* GetItemAt(int X, int Y);
  // Puts the columns and items into the window again.
  void UpdateItems();
  TNotifyEvent OnSelectItem;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& Message) override;

 private:
  friend class TListItem;
  std::unique_ptr<TListColumns> columns_;
  std::unique_ptr<TListItems> items_;
  TViewStyle view_style_ = vsIcon;
  bool row_select_ = false;
  bool grid_lines_ = false;
  bool show_headers_ = true;
};

class TListView : public TCustomListView {
 public:
  explicit TListView(TComponent* AOwner) : TCustomListView(AOwner) {}
  KV_CLASS_NAME(TListView)
};
