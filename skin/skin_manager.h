// TSkinManage: the process-wide manager of the skin engine. A CBT hook on the GUI thread
// watches window creation and activation and attaches a form skinner (TWinSkinForm) to every
// qualifying window and a popup skinner to every popup menu; a timer runs the delayed
// commands of the skin data (1 apply, 2 remove, 3 refresh).
#pragma once

#include <memory>
#include <vector>

#include "framework/core/classes.h"
#include "platform/user/user.h"

class TSkinData;
class TWinSkinForm;
class TWinSkinPopMenu;
class TTimer;
class TCustomForm;

// The optional user32 entries, bound by name (each may be missing).
namespace skin_user32 {
using GetScrollBarInfoFn = BOOL (*)(HWND, LONG, PSCROLLBARINFO);
using TrackMouseEventFn = BOOL (*)(LPTRACKMOUSEEVENT);
using GetComboBoxInfoFn = BOOL (*)(HWND, PCOMBOBOXINFO);
using DisableGhostingFn = void (*)(void);
extern GetScrollBarInfoFn GetScrollBarInfo;
extern TrackMouseEventFn TrackMouseEvent;
extern GetComboBoxInfoFn GetComboBoxInfo;
extern DisableGhostingFn DisableProcessWindowsGhosting;
// (Re)binds the entries from "user32.dll".
void Bind();
// False when GetScrollBarInfo is missing, else its answer.
bool ScrollBarInfo(HWND Window, LONG Object, PSCROLLBARINFO Info);
// Asks for WM_MOUSELEAVE on Window; nothing when TrackMouseEvent is missing.
void TrackLeave(HWND Window);
}  // namespace skin_user32

// Private messages of the skin engine.
constexpr UINT kSkinChangeMsg = 0x3401;     // re-apply the skin's colours and skinners
constexpr UINT kRepaintFrameMsg = 0x3502;   // repaint the frame
constexpr UINT kStartMsg = 0x3503;          // finish the set-up (posted by the manager, lParam 1000)
constexpr UINT kControlPaintMsg = 0x3506;   // a control skinner's painting on (wParam > 0) or off
constexpr UINT kButtonActionMsg = 0x3514;   // a caption button's unlisted action (wParam)
constexpr UINT kVisibilityMsg = 0x3515;     // visibility question for codes 1000..2000
constexpr UINT kRedrawClientMsg = 0x3516;   // redraw the MDI client
constexpr UINT kRebuildScrollMsg = 0x3517;  // rebuild a control's scroll-bar skinner
constexpr UINT kOpenMenuAtMsg = 0x3518;     // open the menu-bar drop-down under a screen point
constexpr UINT kSkinnedQueryMsg = 0x3523;   // answered 1 by every skinned window
constexpr UINT kClientPaintMsg = 0xBC4A;    // paint the client on the DC in wParam (lParam 0x41A2)
constexpr UINT kPaintFrameOnMsg = 0xBC4B;   // paint the frame on the DC in wParam (lParam 0x41A2)
constexpr UINT kSkinProbeMsg = 0xBC4D;
constexpr UINT kSkinnedNotifyMsg = 0xBC4E;  // skinning done (lParam 0x41A2)
constexpr LPARAM kSkinSignature = 0x41A2;
constexpr UINT kMouseLeaveMsg = 0xB014;  // the framework's mouse-leave notification

class TSkinManage {
 public:
  enum { kIdle = 0, kRunning = 1, kDestroying = 4 };

  // The one manager, made on first use.
  static TSkinManage* Instance();
  static bool Exists();
  // Frees the manager (every skinner restores its window first).
  static void Shutdown();
  // Skin data components leave the manager when destroyed.
  static void Forget(TSkinData* Data);

  ~TSkinManage();

  void Register(TSkinData* Data);
  void InstallHook();
  // Stores the command and starts the timer; while idle, commands 1 and 2 only switch the
  // enabled flag.
  void Command(int Type, unsigned IntervalMs);
  void SetCurrent(TSkinData* Data) { pending_data_ = Data; }
  int State() const { return state_; }
  void SetState(int Value) { state_ = Value; }
  void RaiseState() { ++state_; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value) { enabled_ = Value; }
  int MenuMode() const { return menu_mode_; }
  void SetMenuMode(int Value) { menu_mode_ = Value; }
  void SetMenuBarTracking(bool Value);
  bool HideWhileSkinning = false;
  // Maximised-child mode: an MDI child is maximised. When it changes (and the primary skin
  // data keeps no standard MDI child border) every skinned MDI child lays out its frame again.
  bool MaxChildMode() const { return max_child_mode_; }
  void SetMaxChildMode(bool Value);
  // The MDI client of the last skinned MDI frame and that frame's form (nullptr: none).
  HWND MDIClient = nullptr;
  TCustomForm* MDIFrameForm = nullptr;

  // The window filter; true when a skinner was attached.
  bool SkinWindow(HWND Window);
  void SkinPopup(HWND Window);
  void UnskinPopup(HWND Window);
  TWinSkinForm* FindSkinned(HWND Window);
  // Every skinned window of Data reloads its skin images.
  void ReloadSkinned(TSkinData* Data);
  // Popup menus: the newest one without a menu handle takes Menu; the frame bitmap of the
  // popup showing Menu (nullptr when none).
  void AttachPopupMenu(HMENU Menu);
  class TBitmap* PopupBackground(HMENU Menu);
  size_t SkinnedCount();
  size_t PopupCount() const { return popups_.size(); }

 private:
  TSkinManage();
  static LRESULT CbtHook(int Code, WPARAM wParam, LPARAM lParam);
  void RunCommand();
  void DropDead();
  TSkinData* ChooseData(HWND Window, const AnsiString& ClassName);
  void RemoveAll(TSkinData* Data, bool OnlyFirst);

  std::unique_ptr<TTimer> timer_;
  std::vector<std::unique_ptr<TWinSkinForm>> forms_;
  std::vector<std::unique_ptr<TWinSkinPopMenu>> popups_;
  std::vector<TSkinData*> data_;
  bool enabled_ = false;
  bool force_ = false;
  int state_ = kIdle;
  int menu_mode_ = 0;
  bool menu_bar_tracking_ = false;
  bool max_child_mode_ = false;
  int pending_command_ = 0;
  TSkinData* pending_data_ = nullptr;
  TSkinData* primary_ = nullptr;
  HHOOK hook_ = nullptr;
};

// The window's class name, at most 100 characters.
AnsiString SkinClassName(HWND Window);
// True on the NT family (the high bit of the version word clear).
bool SkinIsNT();
