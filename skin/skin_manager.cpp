#include "skin/skin_manager.h"

#include <algorithm>

#include "framework/controls/comctrls.h"
#include "framework/controls/forms.h"
#include "framework/core/sysutils.h"
#include "skin/skin_data.h"
#include "platform/base/module.h"
#include "platform/base/sync.h"
#include "skin/skin_form.h"
#include "skin/skin_popup.h"

namespace skin_user32 {
GetScrollBarInfoFn GetScrollBarInfo = nullptr;
TrackMouseEventFn TrackMouseEvent = nullptr;
GetComboBoxInfoFn GetComboBoxInfo = nullptr;
DisableGhostingFn DisableProcessWindowsGhosting = nullptr;

void Bind() {
  HMODULE user = LoadLibraryA("user32.dll");
  auto get = [&](const char* name) { return user ? reinterpret_cast<void*>(GetProcAddress(user, name)) : nullptr; };
  GetScrollBarInfo = reinterpret_cast<GetScrollBarInfoFn>(get("GetScrollBarInfo"));
  TrackMouseEvent = reinterpret_cast<TrackMouseEventFn>(get("TrackMouseEvent"));
  GetComboBoxInfo = reinterpret_cast<GetComboBoxInfoFn>(get("GetComboBoxInfo"));
  DisableProcessWindowsGhosting = reinterpret_cast<DisableGhostingFn>(get("DisableProcessWindowsGhosting"));
  if (user) FreeLibrary(user);  // a built-in module stays loaded
}

bool ScrollBarInfo(HWND Window, LONG Object, PSCROLLBARINFO Info) {
  return GetScrollBarInfo && GetScrollBarInfo(Window, Object, Info);
}

void TrackLeave(HWND Window) {
  if (!TrackMouseEvent) return;
  TRACKMOUSEEVENT t{};
  t.cbSize = sizeof t;
  t.dwFlags = TME_LEAVE;
  t.hwndTrack = Window;
  TrackMouseEvent(&t);
}
}  // namespace skin_user32

AnsiString SkinClassName(HWND Window) {
  char buffer[101] = {};
  GetClassNameA(Window, buffer, sizeof buffer);
  return buffer;
}

bool SkinIsNT() { return (GetVersion() & 0x80000000u) == 0; }

namespace {
TSkinManage* gManager = nullptr;
}

TSkinManage* TSkinManage::Instance() {
  if (!gManager) gManager = new TSkinManage();
  return gManager;
}

bool TSkinManage::Exists() { return gManager != nullptr; }

void TSkinManage::Shutdown() {
  delete gManager;
  gManager = nullptr;
}

void TSkinManage::Forget(TSkinData* Data) {
  if (!gManager) return;
  TSkinManage* m = gManager;
  // Skinners using this skin data give their windows back first.
  for (auto& f : m->forms_)
    if (f->SkinData == Data && f->Phase != TWinSkinForm::phDestroyed) f->Remove();
  m->forms_.erase(
      std::remove_if(m->forms_.begin(), m->forms_.end(), [&](const auto& f) { return f->SkinData == Data; }),
      m->forms_.end());
  m->data_.erase(std::remove(m->data_.begin(), m->data_.end(), Data), m->data_.end());
  if (m->primary_ == Data) m->primary_ = nullptr;
  if (m->pending_data_ == Data) m->pending_data_ = nullptr;
}

TSkinManage::TSkinManage() {
  timer_ = std::make_unique<TTimer>(nullptr);
  timer_->SetEnabled(false);
  timer_->SetInterval(100);
  timer_->SetOnTimer([this](TObject*) { RunCommand(); });
}

TSkinManage::~TSkinManage() {
  state_ = kDestroying;
  enabled_ = false;
  timer_.reset();
  for (auto& f : forms_)
    if (f->Phase != TWinSkinForm::phDestroyed) f->Remove();
  forms_.clear();
  for (auto& p : popups_) p->Detach();
  popups_.clear();
  if (hook_) UnhookWindowsHookEx(hook_);
  hook_ = nullptr;
}

void TSkinManage::Register(TSkinData* Data) {
  if (std::find(data_.begin(), data_.end(), Data) != data_.end()) return;
  data_.push_back(Data);
  if (!primary_ && Data->SkinFormtype == sfMainform) primary_ = Data;
}

void TSkinManage::InstallHook() {
  if (!hook_) hook_ = SetWindowsHookExA(WH_CBT, &TSkinManage::CbtHook, nullptr, GetCurrentThreadId());
}

void TSkinManage::Command(int Type, unsigned IntervalMs) {
  pending_command_ = Type;
  timer_->SetInterval(IntervalMs);
  if (state_ != kIdle) {
    timer_->SetEnabled(true);
  } else if (Type == 1) {
    enabled_ = true;
  } else if (Type == 2) {
    enabled_ = false;
  }
}

void TSkinManage::SetMenuBarTracking(bool Value) {
  menu_bar_tracking_ = Value;
  if (Value)
    for (auto& p : popups_) p->OpenedFromMenuBar = true;
}

void TSkinManage::SetMaxChildMode(bool Value) {
  if (max_child_mode_ == Value) return;
  max_child_mode_ = Value;
  if (primary_ && primary_->Options.Contains(xoMDIChildBorder)) return;
  for (auto& f : forms_)
    if (f->MDIKind == 2 && f->Phase != TWinSkinForm::phDestroyed && IsWindow(f->Wnd))
      SetWindowPos(f->Wnd, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

LRESULT TSkinManage::CbtHook(int Code, WPARAM wParam, LPARAM lParam) {
  TSkinManage* m = gManager;
  if (m && m->state_ != kDestroying) {
    HWND h = reinterpret_cast<HWND>(wParam);
    if (Code == HCBT_CREATEWND) {
      auto* cbt = reinterpret_cast<CBT_CREATEWNDA*>(lParam);
      const DWORD style = cbt && cbt->lpcs ? static_cast<DWORD>(cbt->lpcs->style) : 0;
      const DWORD ex = cbt && cbt->lpcs ? cbt->lpcs->dwExStyle : 0;
      if (!(style & WS_CHILD) && SkinClassName(h) == "#32768")
        m->SkinPopup(h);
      else if (ex & WS_EX_MDICHILD)
        m->SkinWindow(h);
    } else if (Code == HCBT_DESTROYWND) {
      m->UnskinPopup(h);
    } else if (Code == HCBT_ACTIVATE) {
      if (m->state_ == kIdle) m->state_ = kRunning;
      m->SkinWindow(h);
    }
  }
  return CallNextHookEx(nullptr, Code, wParam, lParam);
}

void TSkinManage::DropDead() {
  forms_.erase(std::remove_if(forms_.begin(), forms_.end(),
                              [](const auto& f) { return f->Phase == TWinSkinForm::phDestroyed || !f->Attached(); }),
               forms_.end());
}

size_t TSkinManage::SkinnedCount() {
  DropDead();
  return forms_.size();
}

TWinSkinForm* TSkinManage::FindSkinned(HWND Window) {
  for (auto& f : forms_)
    if (f->Wnd == Window && f->Phase != TWinSkinForm::phDestroyed) return f.get();
  return nullptr;
}

TSkinData* TSkinManage::ChooseData(HWND Window, const AnsiString& ClassName) {
  TSkinData* chosen = nullptr;
  for (TSkinData* d : data_)
    if (d->SkinFormtype == sfOnlyThisForm)
      if (auto* owner = dynamic_cast<TWinControl*>(d->Owner());
          owner && owner->HandleAllocated() && owner->Handle() == Window)
        chosen = d;
  if (!chosen && (LowerCase(ClassName) == "tmessageform" || ClassName == "#32770"))
    for (TSkinData* d : data_)
      if (d->SkinFormtype == sfDialog) chosen = d;
  if (!chosen)
    for (TSkinData* d : data_)
      if (d->SkinFormtype == sfMainform) chosen = d;
  if (!chosen && !data_.empty()) chosen = data_.front();
  return chosen;
}

bool TSkinManage::SkinWindow(HWND Window) {
  if (!enabled_ || !IsWindow(Window)) return false;
  DropDead();
  if (SendMessageA(Window, kSkinnedQueryMsg, 0, 0) == 1 || FindSkinned(Window)) return false;
  TCustomForm* form = nullptr;
  if (Screen)
    for (int i = 0; i < Screen->FormCount(); ++i)
      if (Screen->Forms(i)->HandleAllocated() && Screen->Forms(i)->Handle() == Window) form = Screen->Forms(i);
  if (!form) form = dynamic_cast<TCustomForm*>(FindControl(Window));
  const DWORD style = static_cast<DWORD>(GetWindowLongA(Window, GWL_STYLE));
  const DWORD ex = static_cast<DWORD>(GetWindowLongA(Window, GWL_EXSTYLE));
  const AnsiString cls = SkinClassName(Window);
  if (!force_ && (style & WS_CHILD) && !(ex & WS_EX_MDICHILD) &&
      LowerCase(SkinClassName(GetParent(Window))) != "mdiclient")
    return false;
  const bool ours = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(Window, GWLP_HINSTANCE)) == GetModuleHandleA(nullptr);
  if (!form && !ours && cls != "#32770") return false;
  RECT r{};
  GetWindowRect(Window, &r);
  if ((r.right - r.left) * (r.bottom - r.top) == 0 && !(ex & WS_EX_MDICHILD)) return false;
  // The manager's own rule: Tag 99 is never skinned, whatever DisableTag holds.
  if (form && form->Tag() == 99) return false;
  if (cls.find("TcxPopupEditPopupWindow") != AnsiString::npos || cls.find("TTERenderWindow") != AnsiString::npos ||
      cls == "TApplication")
    return false;
  if (primary_) {
    const AnsiString lower = LowerCase(cls);
    if (lower.find("preview") != AnsiString::npos && !primary_->Options.Contains(xoPreview)) return false;
    if (cls == "#32770" && (style & 0x200)) return false;
    if (lower == "tpopupdbtreeview") return false;
    if (!primary_->CanSkinWindow(Window, cls)) return false;
  }
  TSkinData* data = ChooseData(Window, cls);
  if (!data || !data->SkinLoaded()) return false;
  auto skinner = std::make_unique<TWinSkinForm>(nullptr);
  skinner->Wnd = Window;
  skinner->SkinName = cls;
  if (form)
    skinner->AttachForm(data, form);
  else
    skinner->AttachWindow(data);
  forms_.push_back(std::move(skinner));
  PostMessageA(Window, kStartMsg, 0, 1000);
  return true;
}

void TSkinManage::SkinPopup(HWND Window) {
  if (!enabled_) return;
  if (SendMessageA(Window, kSkinnedQueryMsg, 0, 0) == 1) return;
  for (auto& p : popups_)
    if (p->Window() == Window) return;
  TSkinData* data = ChooseData(Window, "#32768");
  if (!data || !data->SkinLoaded()) return;
  const auto& sc = data->SkinControls;
  if (menu_mode_ == 0 && !sc.Contains(xcPopupMenu)) return;
  if (menu_mode_ == 1 && !sc.Contains(xcMainMenu) && !sc.Contains(xcMenuItem)) return;
  if (menu_mode_ == 2 && !sc.Contains(xcSystemMenu)) return;
  auto popup = std::make_unique<TWinSkinPopMenu>();
  popup->Attach(Window, data, nullptr);
  popup->OpenedFromMenuBar = menu_bar_tracking_;
  popups_.push_back(std::move(popup));
}

void TSkinManage::UnskinPopup(HWND Window) {
  auto it = std::find_if(popups_.begin(), popups_.end(), [&](const auto& p) { return p->Window() == Window; });
  if (it == popups_.end()) return;
  (*it)->Detach();
  popups_.erase(it);
  if (popups_.empty()) {
    menu_mode_ = 0;
    menu_bar_tracking_ = false;
  }
}

void TSkinManage::AttachPopupMenu(HMENU Menu) {
  for (auto& p : popups_)
    if (p->Menu() == Menu) return;
  for (auto it = popups_.rbegin(); it != popups_.rend(); ++it)
    if (!(*it)->Menu()) {
      (*it)->SetMenu(Menu);
      return;
    }
}

TBitmap* TSkinManage::PopupBackground(HMENU Menu) {
  for (auto& p : popups_)
    if (p->Menu() == Menu && !p->FrameBitmap()->Empty()) return p->FrameBitmap();
  return nullptr;
}

void TSkinManage::ReloadSkinned(TSkinData* Data) {
  DropDead();
  for (auto& f : forms_)
    if (f->SkinData == Data) {
      f->LoadBorderMetrics();
      f->LoadIcon(&f->IconBitmap);
    }
}

void TSkinManage::RemoveAll(TSkinData* Data, bool OnlyFirst) {
  DropDead();
  for (size_t i = forms_.size(); i-- > 0;) {
    if (Data && forms_[i]->SkinData != Data) continue;
    forms_[i]->Remove();
    forms_.erase(forms_.begin() + static_cast<std::ptrdiff_t>(i));
    if (OnlyFirst) break;
  }
}

void TSkinManage::RunCommand() {
  timer_->SetEnabled(false);
  TSkinData* data = pending_data_;
  if (!data) return;
  const int cmd = pending_command_;
  DropDead();
  auto offer = [&](TCustomForm* f) {
    if (f && f->HandleAllocated() && IsWindowVisible(f->Handle()) &&
        !(GetWindowLongA(f->Handle(), GWL_STYLE) & WS_CHILD))
      SkinWindow(f->Handle());
  };
  if (data->SkinFormtype == sfOnlyThisForm) {
    if (cmd == 1) {
      enabled_ = true;
      force_ = true;
      offer(dynamic_cast<TCustomForm*>(data->Owner()));
      force_ = false;
    } else if (cmd == 2) {
      enabled_ = false;
      RemoveAll(data, true);
    } else if (cmd == 3) {
      for (auto& f : forms_)
        if (f->SkinData == data) {
          f->LoadBorderMetrics();
          f->RefreshControls();
          f->RepaintWindow();
          break;
        }
    }
  } else {
    if (cmd == 1) {
      enabled_ = true;
      HideWhileSkinning = false;
      force_ = true;
      if (Screen)
        for (int i = Screen->FormCount(); i-- > 0;) offer(Screen->Forms(i));
      force_ = false;
    } else if (cmd == 2) {
      enabled_ = false;
      RemoveAll(nullptr, false);
    } else if (cmd == 3) {
      for (auto& f : forms_)
        if (f->SkinData == data) {
          f->LoadBorderMetrics();
          f->Phase = TWinSkinForm::phReskinning;
          f->BuildRegion();
          f->Phase = TWinSkinForm::phRunning;
          SetWindowPos(f->Wnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
          f->RefreshControls();
          f->RepaintWindow();
        }
    }
  }
  data->SkinChanged();
  pending_data_ = nullptr;
}
