// TWinSkinForm: the per-window skinner. It replaces the window procedure, owns the
// non-client area (borders, caption, caption buttons, menu bar row) and paints it from the
// skin, cuts the window region to the border shapes and holds the control skinners.
// Window co-ordinates here are relative to the window rectangle's top-left corner.
#pragma once

#include <memory>
#include <vector>

#include "framework/controls/forms.h"
#include "skin/skin_data.h"

class TSkinControl;
class TSkinScrollbar;
class TWinSkinForm;
class TWinSkinMenu;
class TTimer;

// A clickable non-client object: caption buttons and menu-bar items.
class TNCObject {
 public:
  enum { kNormal = 1, kPressed = 2, kHot = 3 };
  explicit TNCObject(TWinSkinForm* AOwner) : Owner(AOwner) {}
  virtual ~TNCObject();
  virtual void MouseDown();
  virtual void MouseUp();
  virtual void MouseMove();
  virtual void MouseLeave();
  virtual void Paint() {}

  TWinSkinForm* Owner;
  TRect Rect{};
  bool Visible = true;
  int State = kNormal;
  bool Enabled = true;
};

class TWinSysButton : public TNCObject {
 public:
  TWinSysButton(TWinSkinForm* AOwner, TDataSkinSysButton* AElement) : TNCObject(AOwner), Element(AElement) {}
  void Paint() override;
  TDataSkinSysButton* Element;
};

class TMenuBtn : public TNCObject {
 public:
  using TNCObject::TNCObject;
  void Paint() override;
  TMenuItem* MenuItem = nullptr;
  int Index = 0;
  WideString Caption;
  bool ItemEnabled = true;
  HMENU Submenu = nullptr;
  UINT Command = 0;
};

class TWinSkinMenu {
 public:
  TWinSkinMenu(TWinSkinForm* AOwner, TSkinData* Data);
  void ReadItems();
  void RefreshItems();
  void PaintBar(HDC DC, const TRect& Row);
  void LayoutBar();
  TMenuBtn* ItemAt(POINT Point);
  int StartX(int RowWidth, int Margin);
  TMenuBtn* FindAccelItem(WCHAR Ch);
  void OpenByPost(TMenuBtn* Item);

  std::vector<std::unique_ptr<TMenuBtn>> Items;
  TMainMenu* FrameworkMenu = nullptr;
  TRect BarRect{};
  TSkinData* SkinData;
  TWinSkinForm* Owner;
  TBitmap Background;
  int ItemCount = 0;
  bool Painting = false;
  HMENU MenuHandle = nullptr;

 private:
  int Margin(int RowWidth) const;
  void DrawCaption(HDC DC, const TMenuBtn& Item, const TRect& R);
};

class TWinSkinForm : public TComponent {
 public:
  enum TPhase { phCreated = 0, phRunning = 1, phReskinning = 3, phRemoving = 4, phResizing = 5, phDestroyed = 6 };
  explicit TWinSkinForm(TComponent* AOwner);
  ~TWinSkinForm() override;
  KV_CLASS_NAME(TWinSkinForm)

  void AttachForm(TSkinData* Data, TCustomForm* AForm);
  void AttachWindow(TSkinData* Data);
  // The manager's way back: restores the window and its standard frame.
  void Remove();
  // The window is going away: undoes the hooks only.
  void Detach();
  void Unskin();
  void LoadBorderMetrics();
  void BuildRegion();
  void DropRegion();
  void LoadIcon(TBitmap* Bitmap);
  void DrawIcon(HDC DC, const TRect& Rect);
  bool AddControl(TSkinControl* Control);
  void RemoveControl(TSkinControl* Control);
  void ClearControls();
  // Frees the skinners whose window is gone.
  void FreeDeadControls();
  // After a skin change: the form takes the new face colour, every control skinner refreshes.
  void RefreshControls();

  // The class mapping: which control gets which skinner.
  void SkinChildren();
  void SkinComponents(TComponent* Container);
  void SkinControlsOf(TWinControl* Control);
  void MapControl(TControl* Control, TControl* Parent);
  bool MapByName(const AnsiString& ClassName, TControl* Control);
  void SkinRawChildren(HWND Window);
  // A scrolled control's skinner started through its own entry.
  void AttachScrolled(TSkinScrollbar* Skinner, TWinControl* Control);
  // The scroll-bar skinner of Window replaced by a fresh one of the same kind.
  void RebuildScrollSkinner(HWND Window);
  void MapWindow(HWND Window);
  TSkinControl* FindControlSkinner(HWND Window);
  // The skinner in Controls that belongs to the framework control, or nullptr.
  TSkinControl* SkinnerOf(TControl* Control);
  void RepaintWindow();
  bool Attached() const { return new_proc_; }

  // Frame painting.
  void PaintFrame(HDC DC);
  void PaintBorder(int Index, const TRect& Rect, HDC DC);
  bool IsButtonVisible(TWinSysButton& Button);
  void LayoutButtons();
  void PaintCaption(HDC DC);
  void PaintTitle(HDC DC, const TRect& R);

  // Window co-ordinates of a screen point.
  POINT WindowPoint(POINT Screen);
  TWinSysButton* ButtonAt(POINT Point);
  bool OpenDropDown(TMenuBtn* Item);
  void SetHot(TNCObject* Object) { HotObject = Object; }

  // Fields named as the system names them.
  WideString CaptionSuffix = u"  ", CaptionPrefix = u" ";
  AnsiString ClassNameText;
  bool FrameSkinned = false;
  TRect ClientRect{};
  DWORD LastSysMenuTick = 0;
  DWORD DoubleClickTime = 0;
  HWND OwnerWindow = nullptr;
  HICON IconHandle = nullptr;
  int IconSize = 16;
  int LeftWidth = 0, TopHeight = 0, RightWidth = 0, BottomHeight = 0;
  TRect WindowRect{}, TitleRect{}, SizeDelta{};
  int MenuHeight = 0;
  bool MenuTracking = false;
  bool RightToLeft = false, Sizeable = false, UnicodeWindow = false, IsDialog = false, IsChild = false;
  HMENU MenuHandle = nullptr, SystemMenu = nullptr, TrackedPopup = nullptr;
  TColor SavedColor = 0;
  DWORD Style = 0;
  int RightButtonsWidth = 0;
  TNCObject* HotObject = nullptr;
  bool RegionOwned = false;
  HRGN Region = nullptr;
  TCustomForm* Form = nullptr;
  HWND Wnd = nullptr;
  TSkinData* SkinData = nullptr;
  std::unique_ptr<TWinSkinMenu> SkinMenu;
  std::vector<std::unique_ptr<TWinSysButton>> SysButtons;
  TBitmap IconBitmap, CaptionBitmap;
  TCanvas ControlCanvas;
  TFont CaptionFont;
  std::vector<TSkinControl*> Controls;
  int WindowWidth = 0, WindowHeight = 0, RegionWidth = 0, RegionHeight = 0;
  bool WindowActive = true;
  int MDIKind = 0;    // 0 ordinary, 1 MDI frame, 2 MDI child
  int FrameKind = 0;  // 0 sizeable, 1 single fixed, 2 no caption, 3 dialog frame
  int CaptionCaps = 0;
  int ShowState = 0;  // 0 normal, 1 maximised, 2 minimised
  int Phase = phCreated;
  AnsiString SkinName;
  // An MDI frame's client window, and MenuUpdate as it was at attach time.
  HWND MDIClientWnd = nullptr;
  bool SavedMenuUpdate = true;
  // An MDI frame whose active child is maximised.
  bool ActiveChildMaximized();
  // The skinned system menu (Tag 33333), built again on each drop-down.
  std::unique_ptr<TPopupMenu> SystemPopup;

 private:
  void AttachSkinner(TSkinControl* Skinner, TWinControl* Control, bool KeepColour);
  void AttachRaw(TSkinControl* Skinner, HWND Window);
  void SkinGroupButtons(TWinControl* Group, bool Checks);
  static LRESULT Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT ClientProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT ClientWndProc(UINT Msg, WPARAM wParam, LPARAM lParam);
  void SubclassClient();
  void UnsubclassClient();
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam);
  LRESULT PassOn(UINT Msg, WPARAM wParam, LPARAM lParam);
  LRESULT Stage2(UINT Msg, WPARAM wParam, LPARAM lParam);
  LRESULT Stage3(UINT Msg, WPARAM wParam, LPARAM lParam);
  void DialogChar(TMessage& Message);
  void FormHook(TMessage& Message);
  void Start();
  void FitWindow(bool FromClient);
  LRESULT NcCalcSize(WPARAM wParam, LPARAM lParam);
  LRESULT NcHitTest(WPARAM wParam, LPARAM lParam);
  LRESULT NcMouse(UINT Msg, WPARAM wParam, LPARAM lParam);
  LRESULT SysCommand(WPARAM wParam, LPARAM lParam);
  LRESULT DrawItem(WPARAM wParam, LPARAM lParam);
  LRESULT MeasureItem(WPARAM wParam, LPARAM lParam);
  // The popup menus among the container's components (forms among them visited too) get
  // their items drawn from the skin (On) or given back to the system (Off).
  void SetPopupOwnerDraw(TComponent* Container, bool On);
  void RunAction(TWinSysButton& Button, POINT At);
  void MaximizeToggle();
  void MinimizeToggle();
  void ShowSystemMenu(POINT Screen);
  void BuildSystemPopup();
  void FreeSystemPopup();
  void LetGoOfWindow();
  void SystemMenuStyle(bool On);
  void ShowStateFromPlacement();
  void CheckHover();
  WideString WindowTextW();

  WNDPROC old_proc_ = nullptr;
  WNDPROC old_client_proc_ = nullptr;
  bool new_proc_ = false;
  TWndMethod old_form_proc_;
  bool form_hooked_ = false;
  std::unique_ptr<TTimer> hover_timer_;
  bool system_menu_taken_ = false;
};

// The skinned-item painter for menu items drawn by a skinned window (WM_DRAWITEM); an item
// with an image of Images at ImageIndex draws it in its glyph box.
void PaintSkinMenuItem(TSkinData* Data, HDC DC, const TRect& Rect, const WideString& Caption, bool Selected,
                       bool Enabled, bool Checked, TBitmap* Background, TCustomImageList* Images = nullptr,
                       int ImageIndex = -1);
