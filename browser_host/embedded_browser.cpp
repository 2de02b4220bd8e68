#include "browser_host/embedded_browser.h"

#include <cstdlib>
#include <cstring>
#include <map>

#include "browser_host/browser_fixes.h"
#include "browser_host/ewb_strings.h"
#include "browser_host/ewb_tools.h"
#include "framework/automation/comobj.h"
#include "framework/automation/streamadapter.h"
#include "framework/core/registry.h"
#include "framework/controls/forms.h"
#include "platform/base/codepage.h"
#include "platform/comctl/listview.h"
#include "platform/base/time.h"

namespace {

const char kUserAgentKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent";
const char kPostPlatformKey[] =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Post Platform";
const char kBaseAgent[] = "User-agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)";
constexpr UINT kDocWindowActivate = 0xB02B;  // CM_DOCWINDOWACTIVATE
constexpr UINT kDialogChar = 0xB006;         // CM_DIALOGCHAR
constexpr UINT kWantChars = 128;             // DLGC_WANTCHARS
constexpr DISPID kAmbientUserAgent = -5513;

// The owner-form hook, one per process.
struct OwnerHook {
  TEmbeddedWB* browser = nullptr;
  TCustomForm* form = nullptr;
  TWndMethod saved;
} owner_hook;

// The windows under the focus subclass and the component each belongs to.
std::map<HWND, TEmbeddedWB*>& FocusSubclassed() {
  static auto* windows = new std::map<HWND, TEmbeddedWB*>;  // never destroyed: used while windows go at exit
  return *windows;
}

bool IsArrowKey(WPARAM key) { return key == VK_LEFT || key == VK_UP || key == VK_RIGHT || key == VK_DOWN; }

// Moves the folder view's focus to the next item in the arrow's direction from the focused
// one: unless Extend (Shift held) the focused item loses selection and focus; the new
// one gets both, is scrolled into view, and the list view is told it has the focus.
void MoveFolderViewFocus(HWND list, WPARAM key, bool extend) {
  const UINT direction = key == VK_LEFT    ? LVNI_TOLEFT
                         : key == VK_UP    ? LVNI_ABOVE
                         : key == VK_RIGHT ? LVNI_TORIGHT
                                           : LVNI_BELOW;
  const int focused = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
  const int next = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(focused), direction));
  if (next < 0) return;
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  if (!extend && focused >= 0)
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(focused), reinterpret_cast<LPARAM>(&item));
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(next), reinterpret_cast<LPARAM>(&item));
  SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(next), FALSE);
  SendMessageW(list, WM_SETFOCUS, 0, 0);
}

bool StartsWithNoCase(const AnsiString& s, const char* prefix) {
  size_t n = std::strlen(prefix);
  return s.size() >= n && SameText(s.substr(0, n), prefix);
}

}  // namespace

void TDisableErrors::SetfpExceptions(bool Value) {
  fp_exceptions_ = Value;
  Set8087CW(Value ? SavedFPUControlWord() : 0x133F);
}

TEmbeddedWB::TEmbeddedWB(TComponent* AOwner)
    : TCustomEmbeddedWB(AOwner),
      about_("Embedded Web Browser component"),
      disable_errors_(std::make_unique<TDisableErrors>()),
      dialog_boxes_(std::make_unique<TDialogBoxes>()),
      html_code_(std::make_unique<TStringList>()),
      print_options_(std::make_unique<TPrintOptions>()),
      proxy_settings_(std::make_unique<TProxySettings>()),
      visual_effects_(std::make_unique<TVisualEffects>()),
      position_guard_start_(!IsVersion51SP2OrLater()),
      position_guard_(position_guard_start_) {
  html_code_->OnChange = [this](TObject*) { HTMLCodeChanged(); };
  UserAgentQuery = [this](WideString& agent) {
    if (user_agent_mode_ == uaInternal && !user_agent_.empty()) {
      agent = kv::AnsiToWide(user_agent_);
      return S_OK;
    }
    agent.clear();
    return S_FALSE;
  };
  ListViewCommandHook = [this] { InstallFocusSubclass(); };
}

TEmbeddedWB::~TEmbeddedWB() {
  *alive_ = false;
  Destroying();
  RemoveFocusSubclasses();
  html_code_->OnChange = nullptr;
  if (visual_effects_->TextSize != 2 && ControlCreated()) SetZoom(2);
  RemoveUserAgentEntry();
  if (hooked_owner_ && owner_hook.form) {
    owner_hook.form->WindowProc = owner_hook.saved;
    owner_hook = OwnerHook();
  }
}

// ---- Navigation and waiting -----------------------------------------------------------------------------------

bool TEmbeddedWB::Go(const AnsiString& URL, DWORD TimeOut) {
  if (!URL.empty() && DirectoryExists(URL)) {
    Navigate(kv::AnsiToWide("file:///" + URL));
    return true;
  }
  if (Trim(URL).empty()) return true;
  Navigate2(OleVariant(URL), 0, 0, 0, 0);
  return TimeOut ? WaitWhileBusy(TimeOut) : true;
}

bool TEmbeddedWB::WaitWhileBusy(DWORD TimeOut) {
  if (!HandleAllocated()) return true;
  std::shared_ptr<bool> alive = alive_;
  const DWORD start = GetTickCount();
  for (;;) {
    LONG state = 0;
    if (FAILED(DefaultInterface()->get_ReadyState(&state)) || state == READYSTATE_COMPLETE) return true;
    bool cancel = false;
    if (OnBusyWait) OnBusyWait(this, start, TimeOut, cancel);
    if (!*alive) return false;
    if (cancel) return false;
    if (TimeOut && GetTickCount() - start > TimeOut) return false;
    if (Application->Terminated()) return true;
    Application->ProcessMessages();
    if (!*alive) return false;  // freed by a handler while the messages ran
    Sleep(1);
  }
}

IHTMLDocument2* TEmbeddedWB::WaitDocument2() {
  WaitWhileBusy(0);
  IDispatch* disp = nullptr;
  if (FAILED(DefaultInterface()->get_Document(&disp)) || !disp) return nullptr;
  IHTMLDocument2* doc = nullptr;
  disp->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&doc));
  disp->Release();
  if (!doc) throw EIntfCastError("Interface not supported");
  return doc;
}

void TEmbeddedWB::Stop() {
  try {
    DefaultInterface()->Stop();
  } catch (...) {
  }
}

void TEmbeddedWB::GoBack() {
  try {
    DefaultInterface()->GoBack();
  } catch (...) {
  }
}

void TEmbeddedWB::GoForward() {
  try {
    DefaultInterface()->GoForward();
  } catch (...) {
  }
}

void TEmbeddedWB::NavigateBlank(bool Wait) {
  Navigate(u"about:blank");
  if (Wait) WaitWhileBusy(0);
}

// ---- Document services ------------------------------------------------------------------------------------------

void TEmbeddedWB::GetDocumentCookie(AnsiString& Cookie) {
  Cookie.clear();
  try {
    GetCookieByDispatch(OleVariant(DefaultDispatch()), Cookie);
  } catch (...) {
    Cookie.clear();
  }
}

bool TEmbeddedWB::SavePageImage(const AnsiString& FileName) {
  IHTMLDocument2* doc = GetDocument2();
  if (!doc) return false;
  bool ok = SaveViewAsBitmap(doc, Width(), Height(), FileName);
  doc->Release();
  return ok;
}

bool TEmbeddedWB::SaveThumbnail(const AnsiString& FileName, int ThumbWidth, int ThumbHeight, int SourceWidth,
                                int SourceHeight) {
  return SaveViewAsJpeg(DefaultInterface(), FileName, ThumbWidth, ThumbHeight, SourceWidth, SourceHeight);
}

void TEmbeddedWB::ExploreFolder(const AnsiString& Path) { ShellExplore(HandleAllocated() ? Handle() : nullptr, Path); }
void TEmbeddedWB::AddToRestrictedZone(const AnsiString& URL) { AddHostToRestrictedZone(URL); }
void TEmbeddedWB::AddToFavorites(const AnsiString& URL, const AnsiString& Title) { AddFavoriteEntry(URL, Title); }

void TEmbeddedWB::InvokeScript(const AnsiString& Name, const std::vector<TVarRec>& Args, OleVariant& Result) {
  IHTMLDocument2* doc = GetDocument2();
  if (!doc) return;
  IDispatch* script = nullptr;
  doc->get_Script(&script);
  doc->Release();
  if (!script) return;
  try {
    CallScriptFunction(script, Name, Args, Result);
  } catch (...) {
    script->Release();
    throw;
  }
  script->Release();
}

HRESULT TEmbeddedWB::LoadFromStrings(TStrings* Lines) {
  try {
    TMemoryStream stream;
    Lines->SaveToStream(&stream);
    return LoadFromStream(&stream);
  } catch (...) {
    return S_FALSE;
  }
}

HRESULT TEmbeddedWB::LoadFromStream(TStream* Stream) {
  IHTMLDocument2* doc = GetDocument2();
  if (!doc) {
    // Navigation is asynchronous: the blank page is there only after the messages ran.
    NavigateBlank(false);
    return S_FALSE;
  }
  IPersistStreamInit* persist = nullptr;
  doc->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist));
  doc->Release();
  if (!persist) return E_NOINTERFACE;
  Stream->SetPosition(0);
  auto* adapter = new TStreamAdapter(Stream);
  HRESULT hr = persist->Load(adapter);
  adapter->Release();
  persist->Release();
  return hr;
}

void TEmbeddedWB::HTMLCodeChanged() {
  if (html_code_->Count() == 1) {
    const AnsiString line = html_code_->Strings(0);
    if (StartsWithNoCase(line, "http") || StartsWithNoCase(line, "www.") || StartsWithNoCase(line, "ftp:") ||
        StartsWithNoCase(line, "file") || StartsWithNoCase(line, "about:")) {
      Go(line, 0);
      return;
    }
  }
  LoadFromStrings(html_code_.get());
}

HRESULT TEmbeddedWB::GetHostInfo(DOCHOSTUIINFO* info) {
  HRESULT hr = TCustomEmbeddedWB::GetHostInfo(info);
  if (FAILED(hr)) return hr;
  if (!info->pchHostCss && !HostCSS.empty()) info->pchHostCss = AnsiToTaskMemWide(HostCSS);
  if (!info->pchHostNS && !HostNS.empty()) info->pchHostNS = AnsiToTaskMemWide(HostNS);
  return hr;
}

// ---- User agent -----------------------------------------------------------------------------------------------------

void TEmbeddedWB::SetUserAgent(const AnsiString& Value) {
  if (Value == user_agent_) return;
  user_agent_ = Value;
  ApplyUserAgentMode();
}

void TEmbeddedWB::SetUserAgentMode(TUserAgentMode Value) {
  if (Value == user_agent_mode_) return;
  user_agent_mode_ = Value;
  ApplyUserAgentMode();
}

void TEmbeddedWB::ApplyUserAgentMode() {
  switch (user_agent_mode_) {
    case uaDefault: RemoveUserAgentEntry(); break;
    case uaInternal:
      if (user_agent_ != pushed_agent_) {
        RemoveUserAgentEntry();
        AmbientPropertyChanged(kAmbientUserAgent);
        pushed_agent_ = user_agent_;
      }
      break;
    case uaRegistry: {
      const AnsiString entry = AnsiString(kBaseAgent) + "(" + user_agent_ + ")";
      if (entry_written_ && entry == written_entry_) break;
      RemoveUserAgentEntry();
      TRegistry reg;
      reg.SetRootKey(HKEY_CURRENT_USER);
      if (reg.OpenKey(kPostPlatformKey, true)) {
        reg.WriteString(entry, "");
        written_entry_ = entry;
        entry_written_ = true;
      }
      break;
    }
  }
}

// Deletes only the value this component wrote; the key and other programs' values stay.
void TEmbeddedWB::RemoveUserAgentEntry() {
  if (!entry_written_) return;
  try {
    TRegistry reg;
    reg.SetRootKey(HKEY_CURRENT_USER);
    if (reg.OpenKey(kPostPlatformKey, false)) reg.DeleteValue(written_entry_);
  } catch (...) {
  }
  entry_written_ = false;
  written_entry_.clear();
}

// ---- Load, proxy, owner hook -------------------------------------------------------------------------------------

void TEmbeddedWB::Loaded() {
  TCustomEmbeddedWB::Loaded();
  EnableMessageHandler = true;
  if (disable_errors_->ScriptErrorsSuppressed) ScriptErrorAction = eaContinue;
  disable_errors_->SetfpExceptions(disable_errors_->fpExceptions());
  InstallOwnerHook();
  if (proxy_settings_->AutoLoadProxy) ApplyProxy();
  if (visual_effects_->DisableSounds) {
    DisableNavigationSound(true);
    NoteNavigationSoundSwitchedOff();
  }
}

void TEmbeddedWB::ApplyProxy() {
  const TProxySettings& p = *proxy_settings_;
  bool ok = !p.UserName.empty()
                ? SetProcessProxyWithLogin(p.UserAgent, p.Address, p.Port, p.UserName, p.Password)
                : SetProcessProxy(p.UserAgent, p.Address + ":" + IntToStr(p.Port));
  NoteProcessProxySet(ok);
}

void TEmbeddedWB::InstallOwnerHook() {
  auto* form = dynamic_cast<TCustomForm*>(Owner());
  if (owner_hook.browser || !form || !form->HandleAllocated()) return;
  owner_hook.browser = this;
  owner_hook.form = form;
  owner_hook.saved = form->WindowProc;
  hooked_owner_ = true;
  form->WindowProc = [this](TMessage& m) {
    if (m.Msg == WM_ACTIVATE && LOWORD(m.WParam) == WA_INACTIVE && m.LParam)
      WatchBrowserDialog(this, reinterpret_cast<HWND>(m.LParam));
    if (m.Msg == kDialogChar) return;
    owner_hook.saved(m);
  };
}

void WatchBrowserDialog(TEmbeddedWB* Browser, HWND Dialog) {
  if (!IsWindow(Dialog)) return;
  const WideString cls = GetWindowClassNameW(Dialog);
  if (cls != u"#32770" && cls != u"Internet Explorer_TridentDlgFrame") return;
  const int ex_style = std::abs(static_cast<int>(GetWindowLongA(Dialog, GWL_EXSTYLE)));
  const AnsiString caption = GetWindowCaption(Dialog);
  TDialogBoxes& boxes = *Browser->DialogBoxes();
  if (Browser->OnShowDialog)
    Browser->OnShowDialog(Browser, static_cast<DWORD>(reinterpret_cast<uintptr_t>(Dialog)), ex_style, caption,
                          boxes.NewCaption, boxes.DisableAll);
  if (boxes.DisableAll) SendMessageA(Dialog, WM_CLOSE, 0, 0);
  if (!IsWindow(Dialog)) return;
  if (boxes.ReplaceIcon)
    SendMessageA(Dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(Application->Icon()));
  if (boxes.ReplaceCaption) {
    WideString text = kv::AnsiToWide(caption);
    size_t p = text.find(u"Microsoft ");
    if (p != WideString::npos) text.erase(p, 10);
    p = text.find(u"Internet Explorer");
    if (p != WideString::npos) text.replace(p, 17, boxes.NewCaption);
    SetWindowTextW(Dialog, text.c_str());
  }
  if (Browser->DisableErrors()->ScriptErrorsSuppressed) {
    const AnsiString upper = UpperCase(caption);
    if (upper.find("SCRIPT") != AnsiString::npos) {
      PostMessageA(Dialog, WM_LBUTTONDOWN, MK_LBUTTON, 0);
      PostMessageA(Dialog, WM_LBUTTONUP, 0, 0);
      PostMessageA(Dialog, WM_CLOSE, 0, 0);
      Application->ProcessMessages();
    } else if (upper.find("ERROR") != AnsiString::npos || ex_style == 0x410101) {
      DestroyWindow(Dialog);
    }
  }
}

// ---- Window procedure ------------------------------------------------------------------------------------------

void TEmbeddedWB::SetFocus() {
  if (CanFocus()) TCustomEmbeddedWB::SetFocus();
}

void TEmbeddedWB::SetVisible(bool Value) {
  if (Value == visible_cache_) return;
  visible_cache_ = Value;
  TControl::SetVisible(Value);
}

void TEmbeddedWB::WndProc(TMessage& Message) {
  bool handled = false;
  switch (Message.Msg) {
    case WM_CLOSE: {
      bool can_close = true;
      if (OnCloseQuery) OnCloseQuery(this, can_close);
      if (!can_close) return;
      break;
    }
    case CN_KEYDOWN:
    case CN_KEYUP: {
      if (Message.Msg == CN_KEYDOWN && IsArrowKey(Message.WParam)) {
        if (HWND list = FindChildWindow("SysListView32")) {
          MoveFolderViewFocus(list, Message.WParam, GetKeyState(VK_SHIFT) < 0);
          Message.Result = 1;
          handled = true;
        }
      }
      TKeyEventEx& event = Message.Msg == CN_KEYDOWN ? OnKeyDown : OnKeyUp;
      if (event) {
        WORD key = static_cast<WORD>(Message.WParam);
        event(this, key, static_cast<WORD>((Message.LParam >> 16) & 0xFF), KeyDataToShiftState(Message.LParam));
        if (key == 0) {
          Message.Result = 1;
          handled = true;
        }
      }
      break;
    }
    case WM_EWB_TAKE_FOCUS: {
      TCustomForm* form = GetParentForm();
      if (form && form->ActiveControl() && form->ActiveControl()->ClassName() == AnsiString("TEmbeddedWB") &&
          CanFocus()) {
        form->SetActiveControl(this);
        UIActivate();
      }
      return;
    }
    case CM_VISIBLECHANGED:
      visible_cache_ = Message.WParam == 1;
      if (OnVisible) OnVisible(this, visible_cache_);
      break;
    default: break;
  }
  if (!handled) {
    if (!(Message.Msg == kDocWindowActivate && Application->Terminated())) TCustomEmbeddedWB::WndProc(Message);
  }
  if (EnableMessageHandler && Message.Msg == CN_KEYDOWN && Message.WParam == VK_RETURN) Message.Result = 0;
  if (OnMessage) {
    bool h = LOBYTE(Message.Result) != 0;
    OnMessage(this, Message, h);
    Message.Result = h ? 1 : 0;
  }
  if (Message.Msg == WM_PARENTNOTIFY && (LOWORD(Message.WParam) == WM_LBUTTONDOWN ||
                                         LOWORD(Message.WParam) == WM_RBUTTONDOWN)) {
    if (OnClick) {
      TMouseButton button = LOWORD(Message.WParam) == WM_LBUTTONDOWN ? mbLeft : mbRight;
      OnClick(this, button, KeysToShiftState(HIWORD(Message.WParam)), static_cast<SHORT>(LOWORD(Message.LParam)),
              static_cast<SHORT>(HIWORD(Message.LParam)));
    }
  }
  switch (Message.Msg) {
    case WM_SIZE: position_guard_ = position_guard_start_; break;
    case WM_WINDOWPOSCHANGING: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(Message.LParam);
      if (position_guard_ && pos && (pos->flags & (SWP_NOSIZE | SWP_NOMOVE))) {
        if (!(pos->flags & SWP_NOMOVE)) {
          pos->flags |= SWP_NOSIZE;
          if (OnMove) OnMove(this, pos->x, pos->y);
        } else if (!(pos->flags & SWP_NOSIZE)) {
          pos->flags |= SWP_NOMOVE;
          if (OnResize) OnResize(this, pos->cx, pos->cy);
        }
      }
      break;
    }
    case WM_GETDLGCODE: Message.Result = kWantChars; break;
    default: break;
  }
}

// ---- Inner-window focus subclass ----------------------------------------------------------------------------------

void TEmbeddedWB::InstallFocusSubclass() {
  if (ComponentState().Contains(csDesigning) || !HandleAllocated()) return;
  if (!folder_view_.wnd) {
    if (HWND list = FindChildWindow("SysListView32")) {
      Hook(folder_view_, list);
      return;
    }
  }
  if (document_windows_[0].wnd || document_windows_[1].wnd) return;
  HWND first = ::GetWindow(Handle(), GW_CHILD);
  if (!first) return;
  Hook(document_windows_[0], first);
  if (HWND second = ::GetWindow(first, GW_CHILD)) Hook(document_windows_[1], second);
}

void TEmbeddedWB::Hook(Subclass& Slot, HWND Wnd) {
  Slot.wnd = Wnd;
  Slot.saved = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(Wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TEmbeddedWB::FocusSubclassProc)));
  FocusSubclassed()[Wnd] = this;
}

void TEmbeddedWB::RemoveFocusSubclasses() {
  for (Subclass* slot : {&folder_view_, &document_windows_[0], &document_windows_[1]}) {
    if (!slot->wnd) continue;
    // Put back only what is still ours: a later subclass on top keeps its own.
    if (IsWindow(slot->wnd) &&
        GetWindowLongPtrW(slot->wnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&TEmbeddedWB::FocusSubclassProc))
      SetWindowLongPtrW(slot->wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(slot->saved));
    FocusSubclassed().erase(slot->wnd);
    *slot = Subclass();
  }
}

LRESULT TEmbeddedWB::FocusSubclassProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  auto it = FocusSubclassed().find(Wnd);
  if (it == FocusSubclassed().end()) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  TEmbeddedWB* self = it->second;
  const bool document = Wnd != self->folder_view_.wnd;
  WNDPROC saved = document ? (Wnd == self->document_windows_[0].wnd ? self->document_windows_[0].saved
                                                                    : self->document_windows_[1].saved)
                           : self->folder_view_.saved;
  const LRESULT result = CallWindowProcW(saved, Wnd, Msg, WParam, LParam);
  // The saved procedure may have destroyed the component; it is still in the table only
  // while it is alive.
  it = FocusSubclassed().find(Wnd);
  if (it == FocusSubclassed().end() || it->second != self) return result;
  if (Msg == WM_DESTROY) {
    self->RemoveFocusSubclasses();
  } else if (Msg == WM_SETFOCUS) {
    TCustomForm* form = self->GetParentForm();
    if (form && self->CanFocus()) {
      form->SetActiveControl(self);
      if (document) self->UIActivate();
    }
  }
  return result;
}
