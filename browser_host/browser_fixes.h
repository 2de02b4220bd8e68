// Process-wide fixes of the browser suite: a thread mouse hook that gives the keyboard
// focus to the browser under the pointer when the wheel turns over it, a hook on the
// application window that gives the focus back to a browser when its form becomes active
// again, and TEwbControl, the component that switches both and the browser's feature
// controls.
#pragma once

#include <functional>

#include "framework/controls/forms.h"

// The wheel handler: the pointer, the window under it, the hook record; Handled stops the fix.
using TMouseWheelEvent = std::function<void(TPoint& Point, HWND hwndFromPoint, LPARAM lp, bool& Handled)>;

// The WH_MOUSE hook of the GUI thread, one per process: every Acquire hands out the same
// object and counts it; the last Release uninstalls and frees it.
class TEWBMouseHook {
 public:
  static TEWBMouseHook* Acquire();
  void Release();

  void Install();
  void Uninstall();
  bool Installed() const { return hook_ != nullptr; }
  TMouseWheelEvent OnMouseWheel;
  bool ActiveFormOnly = false;

 private:
  TEWBMouseHook() = default;
  ~TEWBMouseHook();
  static LRESULT HookProc(int code, WPARAM wParam, LPARAM lParam);
  LRESULT Hook(int code, WPARAM wParam, LPARAM lParam);

  HHOOK hook_ = nullptr;
  int users_ = 0;
};

// The hook on the application window (at most one per process): on WM_WINDOWPOSCHANGING
// and the framework's activate message, an active form whose active control is a browser
// without the focus gets message 0x444 posted to that browser.
class TAppHookWindow {
 public:
  TAppHookWindow();
  ~TAppHookWindow();
  TAppHookWindow(const TAppHookWindow&) = delete;
  TAppHookWindow& operator=(const TAppHookWindow&) = delete;

 private:
  bool Hook(TMessage& Message);
  int hook_id_ = -1;
};

// At most one per process; it owns the process's TAppHookWindow.
class TEWBFocusControl {
 public:
  static TEWBFocusControl* Instance() { return instance_; }
  static void Create();
  static void Destroy();

 private:
  TEWBFocusControl() = default;
  TAppHookWindow hook_window_;
  static TEWBFocusControl* instance_;
};

// The message a browser gets to take the focus back (answered by TEmbeddedWB).
constexpr UINT WM_EWB_TAKE_FOCUS = 0x444;

class TMouseWheelFix : public TPersistent {
 public:
  ~TMouseWheelFix() override;
  KV_CLASS_NAME(TMouseWheelFix)
  bool Active() const { return active_; }
  void SetActive(bool Value);
  bool ActiveFormOnly() const { return active_form_only_; }
  void SetActiveFormOnly(bool Value);
  TMouseWheelEvent OnMouseWheel;  // handed to the hook when it is taken

 private:
  bool active_ = true;
  bool active_form_only_ = false;
  TEWBMouseHook* hook_ = nullptr;
};

class TFocusControl : public TPersistent {
 public:
  KV_CLASS_NAME(TFocusControl)
  bool Active() const { return active_; }
  void SetActive(bool Value);

 private:
  bool active_ = true;
};

// The browser's feature controls; each ordinal is the platform's feature number.
enum TInternetFeatureList {
  ObjectCaching, ZoneElevation, MimeHandling, MimeSniffing, WindowRestrictions, WebocPopupManagement, Behaviors,
  DisableMkProtocol, LocalMachineLockDown, Securityband, RestrictActivexInstall, ValidateNavigateUrl,
  RestrictFileDownload, AddonManagement, ProtocolLockdown, HttpUsernamePasswordDisable, SafeBindToObject,
  UncSavedFileCheck, GetUrlDomFilePathUnencoded, TabbedBrowsing, Sslux, DisableNavigationSounds,
  DisableLegacyCompression, ForceAddrAndStatus, XmlHttp, DisableTelnetProtocol, Feeds, BlockInputPrompts, EntryCount
};
using TInternetFeatures = Set<TInternetFeatureList, ObjectCaching, EntryCount>;

// Both parts start Active in their fields with nothing installed: only their setters
// install (the suite's start-up sets both).
class TEwbControl : public TComponent {
 public:
  explicit TEwbControl(TComponent* AOwner);
  ~TEwbControl() override;
  KV_CLASS_NAME(TEwbControl)

  TMouseWheelFix* MouseWheelFix() const { return mouse_wheel_fix_.get(); }
  TFocusControl* FocusControl() const { return focus_control_.get(); }
  TMouseWheelEvent OnMouseWheel;
  TInternetFeatures InternetFeatures() const { return internet_features_; }
  // A non-empty set switches every feature 0..28 for the process on or off by
  // membership; the empty set changes nothing.
  void SetInternetFeatures(TInternetFeatures Value);
  void Loaded() override;

 private:
  std::unique_ptr<TMouseWheelFix> mouse_wheel_fix_;
  std::unique_ptr<TFocusControl> focus_control_;
  TInternetFeatures internet_features_;
};

// ---- The suite's start-up and shut-down --------------------------------------------------------------
// Start: saves the floating-point control word, initialises OLE (remembering whether
// that answered S_OK) and makes the process-wide TEwbControl with both fixes switched on.
// Stop: resets the process proxy and restores the navigation sound when a component
// changed them, loads the saved control word again, uninitialises OLE when the start
// did initialise it, frees the TEwbControl (both fixes off) and the optional libraries.
void StartBrowserSuite();
void StopBrowserSuite();
TEwbControl* BrowserSuiteControl();
// The control word the process started with (saved by StartBrowserSuite).
WORD SavedFPUControlWord();
// Told by the browser component when it set the process proxy or switched the sound off.
void NoteProcessProxySet(bool Succeeded);
void NoteNavigationSoundSwitchedOff();
