#include "browser_host/browser_fixes.h"

#include "browser_host/browser_libs.h"
#include "browser_host/ewb_strings.h"
#include "browser_host/ewb_tools.h"
#include "platform/base/sync.h"
#include "platform/com/com.h"
#include "platform/inet/urlmon.h"

// ---- Mouse wheel -----------------------------------------------------------------------------------------

namespace {
TEWBMouseHook* shared_hook = nullptr;
}

TEWBMouseHook* TEWBMouseHook::Acquire() {
  if (!shared_hook) shared_hook = new TEWBMouseHook;
  ++shared_hook->users_;
  return shared_hook;
}

void TEWBMouseHook::Release() {
  if (--users_ > 0) return;
  if (shared_hook == this) shared_hook = nullptr;
  delete this;
}

TEWBMouseHook::~TEWBMouseHook() { Uninstall(); }

void TEWBMouseHook::Install() {
  if (hook_) return;
  hook_ = SetWindowsHookExA(WH_MOUSE, &TEWBMouseHook::HookProc, nullptr, GetCurrentThreadId());
}

void TEWBMouseHook::Uninstall() {
  if (hook_) UnhookWindowsHookEx(hook_);
  hook_ = nullptr;
}

LRESULT TEWBMouseHook::HookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (shared_hook) return shared_hook->Hook(code, wParam, lParam);
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT TEWBMouseHook::Hook(int code, WPARAM wParam, LPARAM lParam) {
  if (code < 0 || code != HC_ACTION || wParam != WM_MOUSEWHEEL) return CallNextHookEx(hook_, code, wParam, lParam);
  auto* record = reinterpret_cast<MOUSEHOOKSTRUCT*>(lParam);
  TPoint point = record->pt;
  HWND under = WindowFromPoint(point);
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(point, under, lParam, handled);
  if (ActiveFormOnly) {
    TWinControl* control = nullptr;
    for (HWND h = under; h && !control; h = GetParent(h)) control = FindControl(h);
    TCustomForm* form = control ? control->GetParentForm() : nullptr;
    if (form) handled = form != Screen->ActiveForm();
  }
  HWND focus = GetFocus();
  if (!handled && under && focus) {
    HWND under_browser = FindParentWindowByClass(under, "Shell Embedding");
    HWND focus_browser = FindParentWindowByClass(focus, "Shell Embedding");
    if (under_browser &&
        (under_browser != focus_browser || GetWindowClassNameW(focus) == u"Shell DocObject View")) {
      SetFocus(under);
      return 2;
    }
  }
  return CallNextHookEx(hook_, code, wParam, lParam);
}

// ---- Focus back to the browser ---------------------------------------------------------------------------

TEWBFocusControl* TEWBFocusControl::instance_ = nullptr;

TAppHookWindow::TAppHookWindow() {
  hook_id_ = Application->HookMainWindow([this](TMessage& m) { return Hook(m); });
}

TAppHookWindow::~TAppHookWindow() {
  if (hook_id_ >= 0) Application->UnhookMainWindow(hook_id_);
}

bool TAppHookWindow::Hook(TMessage& Message) {
  if (Message.Msg != WM_WINDOWPOSCHANGING && Message.Msg != CM_ACTIVATE) return false;
  TCustomForm* form = Screen->ActiveForm();
  if (!form || !form->HandleAllocated()) return false;
  bool active;
  if (form->FormStyle() == fsMDIChild)
    active = IsChild(GetActiveWindow(), form->Handle());
  else
    active = !Application->Terminated() && form->Handle() == GetActiveWindow();
  if (!active || !form->CanFocus()) return false;
  TWinControl* control = form->ActiveControl();
  if (!control || !control->HandleAllocated()) return false;
  const AnsiString name = control->ClassName();
  if ((name == "TEmbeddedWB" || name == "TEWBCore") && control->Handle() != GetFocus())
    PostMessageA(control->Handle(), WM_EWB_TAKE_FOCUS, reinterpret_cast<WPARAM>(control), 0);
  return false;
}

void TEWBFocusControl::Create() {
  if (!instance_) instance_ = new TEWBFocusControl;
}

void TEWBFocusControl::Destroy() {
  delete instance_;
  instance_ = nullptr;
}

// ---- The switches ---------------------------------------------------------------------------------------

TMouseWheelFix::~TMouseWheelFix() {
  if (hook_) hook_->Release();
}

void TMouseWheelFix::SetActive(bool Value) {
  active_ = Value;
  if (Value) {
    if (hook_) return;
    hook_ = TEWBMouseHook::Acquire();
    hook_->OnMouseWheel = OnMouseWheel;
    hook_->ActiveFormOnly = active_form_only_;
    hook_->Install();
  } else if (hook_) {
    hook_->Release();  // the last user uninstalls it
    hook_ = nullptr;
  }
}

void TMouseWheelFix::SetActiveFormOnly(bool Value) {
  active_form_only_ = Value;
  if (hook_) hook_->ActiveFormOnly = Value;
}

void TFocusControl::SetActive(bool Value) {
  active_ = Value;
  if (Value)
    TEWBFocusControl::Create();
  else
    TEWBFocusControl::Destroy();
}

TEwbControl::TEwbControl(TComponent* AOwner)
    : TComponent(AOwner),
      mouse_wheel_fix_(std::make_unique<TMouseWheelFix>()),
      focus_control_(std::make_unique<TFocusControl>()) {}

TEwbControl::~TEwbControl() {
  mouse_wheel_fix_->SetActive(false);
  focus_control_->SetActive(false);
}

void TEwbControl::SetInternetFeatures(TInternetFeatures Value) {
  internet_features_ = Value;
  if (Value.Empty()) return;
  for (int f = ObjectCaching; f <= EntryCount; ++f) {
    SetBrowserFeatureEnabled(static_cast<DWORD>(f), SET_FEATURE_ON_PROCESS,
                             Value.Contains(static_cast<TInternetFeatureList>(f)));
  }
}

void TEwbControl::Loaded() {
  TComponent::Loaded();
  mouse_wheel_fix_->OnMouseWheel = OnMouseWheel;
}

// ---- Start-up and shut-down -------------------------------------------------------------------------------

namespace {
struct SuiteState {
  WORD control_word = Get8087CW();  // the word the process started with, until the suite starts
  bool proxy_set = false;
  bool sound_off = false;
  bool ole_here = false;
  TEwbControl* control = nullptr;
} suite;
}  // namespace

void StartBrowserSuite() {
  suite.control_word = Get8087CW();
  suite.proxy_set = false;
  suite.sound_off = false;
  suite.ole_here = OleInitialize(nullptr) == S_OK;
  suite.control = new TEwbControl(nullptr);
  suite.control->FocusControl()->SetActive(true);
  suite.control->MouseWheelFix()->SetActive(true);
}

void StopBrowserSuite() {
  if (suite.proxy_set) ResetProcessProxy();
  if (suite.sound_off) DisableNavigationSound(false);
  suite.proxy_set = suite.sound_off = false;
  Set8087CW(suite.control_word);
  if (suite.ole_here) OleUninitialize();
  suite.ole_here = false;
  delete suite.control;
  suite.control = nullptr;
  FreeBrowserLibraries();
}

TEwbControl* BrowserSuiteControl() { return suite.control; }
WORD SavedFPUControlWord() { return suite.control_word; }
void NoteProcessProxySet(bool Succeeded) { suite.proxy_set = Succeeded; }
void NoteNavigationSoundSwitchedOff() { suite.sound_off = true; }
