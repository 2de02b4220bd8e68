#include "browser_host/ie_address.h"

#include <algorithm>

#include "framework/core/registry.h"
#include "framework/controls/forms.h"
#include "platform/base/codepage.h"
#include "platform/base/module.h"
#include "platform/inet/urlmon.h"
#include "platform/user/combobox.h"
#include "platform/user/edit.h"
#include "platform/user/shell_info.h"
#include "platform/user/user.h"

namespace {

const char kTypedUrls[] = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
constexpr int kMaxSaved = 24;
constexpr int kMaxLoaded = 25;

struct Theme {
  DWORD border, arrow, button, pressed;
};
// Border, arrow, button and pressed-button colour per TThemes member.
constexpr Theme kThemes[] = {
    {0, 0, 0xFF00000F, 0xFF000010},
    {0xFF000013, 0x800000, 0xF0CAA6, 0xFF000013},
    {0x808080, 0xFF000015, 0xC0C0C0, 0xFF00000A},
    {0x80, 0x80, 0xFF000018, 0xFF000016},
};

WideString Wide(const AnsiString& s) { return kv::AnsiToWide(s); }

constexpr int kIconArea = 16;  // the width of the icon in front of the text
constexpr size_t kMaxIcons = 64;  // icons kept for texts before they are made afresh

HICON SmallIcon(const AnsiString& path, DWORD attributes) {
  SHFILEINFOA info{};
  if (!SHGetFileInfoA(path.c_str(), attributes, &info, sizeof info,
                      SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES))
    return nullptr;
  return info.hIcon;
}

}  // namespace

HICON AddressIcon(const AnsiString& Text, AnsiString* Ext) {
  Ext->clear();
  const AnsiString text = Trim(Text);
  const bool file_url = SameText(text.substr(0, 7), "file://");
  const AnsiString path = file_url ? text.substr(7) : text;
  const DWORD attributes = text.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES || file_url)
    return SmallIcon(path, attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                               ? FILE_ATTRIBUTE_DIRECTORY
                               : FILE_ATTRIBUTE_NORMAL);
  const size_t dot = text.rfind('.');
  const AnsiString ext = dot == AnsiString::npos ? AnsiString() : LowerCase(text.substr(dot));
  for (const char* known : {".xml", ".txt", ".doc", ".bmp", ".zip", ".rar", ".jpg", ".gif", ".jpeg"})
    if (ext == known) return SmallIcon("*" + ext, FILE_ATTRIBUTE_NORMAL);
  *Ext = "htm";
  return SmallIcon("*.htm", FILE_ATTRIBUTE_NORMAL);
}

double ShellVersion() {
  HMODULE shlwapi = LoadLibraryA("Shlwapi.dll");
  if (!shlwapi) return 0;
  double version = 0;
  if (auto get = reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void*>(GetProcAddress(shlwapi, "DllGetVersion")))) {
    DLLVERSIONINFO info{};
    info.cbSize = sizeof info;  // the 20-byte record
    if (SUCCEEDED(get(&info))) version = info.dwMajorVersion + info.dwMinorVersion / 100.0;
  }
  FreeLibrary(shlwapi);
  return version;
}

DWORD AutoComplete2Flags(TAutoComplete2Options Options) {
  // acoNone is flag 0; each later member the next bit.
  DWORD flags = 0;
  for (int m = acoAutoSuggest; m <= acoNoPrefixFiltering; ++m)
    if (Options.Contains(static_cast<TAutoComplete2Option>(m))) flags |= 1u << (m - 1);
  return flags;
}

DWORD ShellAutoCompleteFlags(TAutoCompleteOptions Options) {
  DWORD flags = SHACF_FILESYSTEM | SHACF_URLHISTORY | SHACF_URLMRU | SHACF_USETAB;
  flags |= Options.Contains(acAutoSuggest) ? SHACF_AUTOSUGGEST_FORCE_ON : SHACF_AUTOSUGGEST_FORCE_OFF;
  flags |= Options.Contains(acAutoAppend) ? SHACF_AUTOAPPEND_FORCE_ON : SHACF_AUTOAPPEND_FORCE_OFF;
  return flags;
}

TColor ThemeColor(DWORD Value) {
  if ((Value & 0xFF000000u) == 0xFF000000u) return static_cast<TColor>(0x80000000u | (Value & 0xFF));
  return static_cast<TColor>(Value);
}

AnsiString FaviconAddress(const AnsiString& Url) {
  size_t scheme_end = Url.find("://");
  AnsiString scheme = "http";
  AnsiString rest = Url;
  if (scheme_end != AnsiString::npos) {
    scheme = LowerCase(Url.substr(0, scheme_end));
    rest = Url.substr(scheme_end + 3);
  }
  if (scheme != "http" && scheme != "https") return AnsiString();
  size_t cut = rest.find_first_of("/?#");
  AnsiString host = rest.substr(0, cut);
  if (host.empty()) return AnsiString();
  return scheme + "://" + host + "/favicon.ico";
}

AnsiString NormalisedAddress(const AnsiString& Text) {
  if (Text.empty() || Text.back() == '/') return Text;
  size_t slash = Text.rfind('/');
  size_t dot = Text.rfind('.');
  if (slash != AnsiString::npos && (dot == AnsiString::npos || slash > dot)) return Text + "/";
  return Text;
}

TCustomIEAddress::TCustomIEAddress(TComponent* AOwner) : TComboBox(AOwner) {
  SetBounds(Left(), Top(), 145, 22);
  SetItemHeight(16);
  ShowHint = true;
}

TCustomIEAddress::~TCustomIEAddress() {
  if (loaded_) Application->HintColor = loaded_hint_color_;
  ClearIcons();
  for (auto& [address, icon] : favicons_)
    if (icon) DestroyIcon(icon);
  if (auto_complete_) auto_complete_->Release();
}

void TCustomIEAddress::CreateParams(TCreateParams& Params) {
  TComboBox::CreateParams(Params);
  // An editable combo whose list items are drawn with their icons.
  if (Style() == csDropDown) Params.Style |= CBS_OWNERDRAWFIXED;
}

void TCustomIEAddress::CreateWnd() {
  TComboBox::CreateWnd();
  Shape();
  SetUpAutoComplete();
}

HWND TCustomIEAddress::EditField() {
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (!HandleAllocated() || !GetComboBoxInfo(Handle(), &info) || info.hwndItem == Handle()) return nullptr;
  return info.hwndItem;
}

void TCustomIEAddress::SetUpAutoComplete() {
  HWND edit = EditField();
  if (!edit) return;
  if (auto_complete_) {
    auto_complete_->Release();
    auto_complete_ = nullptr;
  }
  if (ac_version_ == AutoComplete1 || ShellVersion() <= 4.72) {
    SHAutoComplete(edit, ShellAutoCompleteFlags(ac_options_));
    return;
  }
  IUnknown* made = nullptr;
  if (FAILED(CoCreateInstance(CLSID_AutoComplete, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                              reinterpret_cast<void**>(&made))))
    return;
  IAutoComplete* complete = nullptr;
  if (SUCCEEDED(made->QueryInterface(IID_IAutoComplete, reinterpret_cast<void**>(&complete)))) {
    IAutoComplete2* complete2 = nullptr;
    if (SUCCEEDED(made->QueryInterface(IID_IAutoComplete2, reinterpret_cast<void**>(&complete2))))
      complete2->SetOptions(AutoComplete2Flags(ac2_options_));
    IUnknown* source = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ACLHistory, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&source)))) {
      if (SUCCEEDED(complete->Init(edit, source, nullptr, nullptr)) && complete2) {
        auto_complete_ = complete2;
        complete2 = nullptr;
      }
      source->Release();
    }
    if (complete2) complete2->Release();
    complete->Release();
  }
  made->Release();
}

void TCustomIEAddress::SetAutoCompleteOptions(TAutoCompleteOptions Value) {
  if (ac_options_ == Value) return;
  ac_options_ = Value;
  if (ac_version_ == AutoComplete1)
    if (HWND edit = EditField()) SHAutoComplete(edit, ShellAutoCompleteFlags(ac_options_));
}

void TCustomIEAddress::SetAutoComplete2Options(TAutoComplete2Options Value) {
  ac2_options_ = Value;
  if (auto_complete_) auto_complete_->SetOptions(AutoComplete2Flags(Value));
}

void TCustomIEAddress::SetAutoComplete2Source(TAutoComplete2Source Value) {
  if (ac2_source_ == Value) return;
  ac2_source_ = Value;
  if (HandleAllocated()) RecreateWnd();
}

void TCustomIEAddress::SetFlat(bool Value) {
  if (flat_ == Value) return;
  flat_ = Value;
  if (Value) has_border_ = false;
  Invalidate();
}

void TCustomIEAddress::SetHasBorder(bool Value) {
  has_border_ = Value;
  Invalidate();
}

void TCustomIEAddress::SetHasDropDown(bool Value) {
  has_drop_down_ = Value;
  Shape();
}

void TCustomIEAddress::Shape() {
  if (!HandleAllocated()) return;
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (has_drop_down_ || Style() == csSimple || !GetComboBoxInfo(Handle(), &info)) {
    SetWindowRgn(Handle(), nullptr, TRUE);
    return;
  }
  SetWindowRgn(Handle(), CreateRectRgn(0, 0, info.rcButton.left, Height()), TRUE);
}

void TCustomIEAddress::ClearIcons() {
  for (auto& [text, icon] : icons_)
    if (icon.first) DestroyIcon(icon.first);
  icons_.clear();
}

HICON TCustomIEAddress::IconOf(const AnsiString& Text) {
  auto it = icons_.find(Text);
  if (it == icons_.end()) {
    if (icons_.size() >= kMaxIcons) ClearIcons();
    AnsiString ext;
    HICON icon = AddressIcon(Text, &ext);
    it = icons_.emplace(Text, std::make_pair(icon, ext)).first;
    if (icon && !ext.empty() && !UseAppIcon && OnGetIcon) OnGetIcon(this, ext, icon);
  }
  const auto& [icon, ext] = it->second;
  if (ext.empty()) return icon;
  if (HICON site = Favicon(Text)) return site;
  if (!UseAppIcon) return icon;
  // A web address shows the application's icon unless the handler cancels.
  HICON app = Application->Icon();
  bool cancel = false;
  if (OnGetAppIcon) OnGetAppIcon(this, cancel, app);
  if (!cancel && app) return app;
  if (icon && OnGetIcon) OnGetIcon(this, ext, icon);
  return icon;
}

void TCustomIEAddress::DrawItem(int Index, const TRect& Rect, TOwnerDrawState State) {
  if (OnDrawItem) {
    TComboBox::DrawItem(Index, Rect, State);
    return;
  }
  TCanvas* c = Canvas();
  c->FillRect(Rect);
  if (Index < 0 || Index >= Items()->Count()) return;
  const AnsiString text = Items()->Strings(Index);
  const int top = Rect.top + std::max(0, static_cast<int>(Rect.bottom - Rect.top) - kIconArea) / 2;
  if (HICON icon = IconOf(text))
    DrawIconEx(c->Handle(), Rect.left + 2, top, icon, kIconArea, kIconArea, 0, nullptr, DI_NORMAL);
  c->TextOut(Rect.left + kIconArea + 6, Rect.top + std::max(0, (Rect.bottom - Rect.top - c->TextHeight(text)) / 2),
             text);
}

void TCustomIEAddress::WndProc(TMessage& Message) {
  if (Message.Msg == WM_MOUSEACTIVATE && DroppedDown()) {
    // The open list keeps its hold: the combo is not activated, its form is.
    Message.Result = MA_NOACTIVATE;
    if (HWND parent = GetParent(Handle())) {
      SetWindowPos(parent, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      HWND top = GetAncestor(parent, GA_ROOT);
      if (top && GetActiveWindow() != top) SetActiveWindow(top);
    }
    return;
  }
  TComboBox::WndProc(Message);
  switch (Message.Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_MOUSEMOVE: ButtonMouse(Message.Msg, Message.LParam); break;
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE:
      // The button is redrawn as the pointer comes and goes.
      mouse_inside_ = Message.Msg == CM_MOUSEENTER;
      if (HandleAllocated())
        if (HDC dc = GetDC(Handle())) {
          PaintButton(dc);
          ReleaseDC(Handle(), dc);
        }
      break;
    case WM_PAINT:
      if (Message.WParam) {
        PaintThemeAndIcon(reinterpret_cast<HDC>(Message.WParam));
      } else if (HDC dc = GetDC(Handle())) {
        PaintThemeAndIcon(dc);
        ReleaseDC(Handle(), dc);
      }
      break;
    case WM_SIZE:
    case CB_SHOWDROPDOWN: PlaceEditField(); break;
    case CN_COMMAND:
      if (HIWORD(Message.WParam) == CBN_SELENDOK && CursorOverList()) {
        ListItemClicked();
      } else if (HIWORD(Message.WParam) == CBN_DBLCLK) {
        ListItemDoubleClicked();
      } else if (HIWORD(Message.WParam) == CBN_CLOSEUP && button_pressed_) {
        // The press that opened the list ended in the list.
        ButtonMouse(WM_LBUTTONUP, 0);
      } else if (HIWORD(Message.WParam) == CBN_EDITCHANGE) {
        SetDroppedDown(false);
        Invalidate();
      }
      break;
    default: break;
  }
}

bool TCustomIEAddress::CursorOverList() {
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  RECT list{};
  POINT at{};
  return GetComboBoxInfo(Handle(), &info) && info.hwndList && GetWindowRect(info.hwndList, &list) &&
         GetCursorPos(&at) && PtInRect(&list, at);
}

void TCustomIEAddress::ListItemClicked() {
  bool cancel = false;
  if (OnUrlSelected) OnUrlSelected(this, Wide(Text()), cancel);
  if (cancel) return;
  Invalidate();  // the chosen item's icon
  if (AutoNavigateOnSelected) Navigate();
  Commit();
}

void TCustomIEAddress::ListItemDoubleClicked() {
  bool cancel = false;
  if (OnUrlSelected) OnUrlSelected(this, Wide(Text()), cancel);
  if (cancel) return;
  Invalidate();
  if (AutoNavigateOnDblClk) Navigate();
  Commit();
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (GetComboBoxInfo(Handle(), &info) && info.hwndItem != Handle()) SendMessageA(info.hwndItem, EM_SETREADONLY, 0, 0);
  SendMessageA(Handle(), CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
}

void TCustomIEAddress::PlaceEditField() {
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (!HandleAllocated() || !GetComboBoxInfo(Handle(), &info) || !info.hwndItem || info.hwndItem == Handle()) return;
  SetWindowPos(info.hwndItem, nullptr, kIconArea + 7, 5, std::max(0, Width() - 46), std::max(0, Height() - 7),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void TCustomIEAddress::PaintButton(HDC DC) {
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (GUI != gsThemes || !GetComboBoxInfo(Handle(), &info) || info.rcButton.right <= info.rcButton.left) return;
  auto fill = [DC](const RECT& r, TColor colour) {
    HBRUSH brush = CreateSolidBrush(ColorToRGB(colour));
    FillRect(DC, &r, brush);
    DeleteObject(brush);
  };
  const RECT& b = info.rcButton;
  fill(b, button_pressed_ ? ButtonPressedColor : ButtonColor);
  // Three lines narrowing downwards, centred in the button.
  const int cx = (b.left + b.right) / 2, cy = (b.top + b.bottom) / 2 - 1;
  for (int i = 0; i < 3; ++i) fill(RECT{cx - 2 + i, cy + i, cx + 3 - i, cy + i + 1}, ArrowColor);
}

void TCustomIEAddress::ButtonMouse(UINT Msg, LPARAM Pos) {
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (!GetComboBoxInfo(Handle(), &info)) return;
  const POINT at{static_cast<short>(LOWORD(Pos)), static_cast<short>(HIWORD(Pos))};
  const bool inside = PtInRect(&info.rcButton, at) != FALSE;
  bool redraw = false;
  if (Msg == WM_LBUTTONDOWN || Msg == WM_LBUTTONDBLCLK) {
    redraw = inside && !button_pressed_;
    button_pressed_ = inside;
  } else if (button_pressed_ && (Msg == WM_LBUTTONUP || !inside)) {
    // The press ends: released anywhere, or the pointer left the button.
    button_pressed_ = false;
    redraw = true;
  }
  if (Msg == WM_MOUSEMOVE && !mouse_inside_) {
    mouse_inside_ = true;
    redraw = true;
  }
  if (!redraw) return;
  if (HDC dc = GetDC(Handle())) {
    PaintButton(dc);
    ReleaseDC(Handle(), dc);
  }
}

void TCustomIEAddress::PaintThemeAndIcon(HDC DC) {
  RECT all{0, 0, Width(), Height()};
  if (flat_ || GUI == gsThemes) {
    // No 3-D look: the combo's sunken edge takes the control's colour.
    HBRUSH face = CreateSolidBrush(ColorToRGB(Color()));
    RECT edge = all;
    for (int i = 0; i < 2; ++i, InflateRect(&edge, -1, -1)) FrameRect(DC, &edge, face);
    DeleteObject(face);
  }
  if (GUI == gsThemes) {
    if (has_border_) {
      HBRUSH border = CreateSolidBrush(ColorToRGB(BorderColor));
      FrameRect(DC, &all, border);
      DeleteObject(border);
    }
    PaintButton(DC);
  }
  if (HICON icon = IconOf(Text())) DrawIconEx(DC, IconLeft, IconTop, icon, kIconArea, kIconArea, 0, nullptr, DI_NORMAL);
}

HICON TCustomIEAddress::Favicon(const AnsiString& Text) {
  if (!ShowFavicon || DroppedDown()) return nullptr;
  auto it = favicons_.find(FaviconAddress(Text));
  return it == favicons_.end() ? nullptr : it->second;
}

void TCustomIEAddress::FetchFavicon() {
  if (!ShowFavicon || DroppedDown()) return;
  const AnsiString address = FaviconAddress(Text());
  if (address.empty() || favicons_.count(address) || IsValidURL(nullptr, Wide(Text()).c_str(), 0) != S_OK) return;
  HICON icon = nullptr;
  try {
    TRegistry reg;
    reg.SetRootKey(HKEY_CURRENT_USER);
    if (!reg.OpenKeyReadOnly("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders")) return;
    const AnsiString folder = reg.ReadString("Cache");
    if (folder.empty()) return;
    bool cancel = false;
    if (OnGetFavicon) OnGetFavicon(this, Wide(address), Wide(Text()), cancel, icon);
    if (cancel) return;
    icon = nullptr;  // the first question offers no icon and takes none
    const AnsiString file = folder + "\\favicon.ico";
    // Each site is tried once: a failed fetch is remembered as no icon.
    favicons_[address] = nullptr;
    if (URLDownloadToFileA(nullptr, address.c_str(), file.c_str(), 0, nullptr) != S_OK) return;
    icon = static_cast<HICON>(LoadImageA(nullptr, file.c_str(), IMAGE_ICON, kIconArea, kIconArea, LR_LOADFROMFILE));
    if (!icon) return;
    HICON offered = icon;
    cancel = false;
    if (OnGetFavicon) OnGetFavicon(this, Wide(address), Wide(Text()), cancel, icon);
    if (icon != offered) DestroyIcon(offered);
    if (cancel || !icon) {
      if (icon) DestroyIcon(icon);
      return;
    }
    favicons_[address] = icon;
    icon = nullptr;
    if (HandleAllocated())
      if (HDC dc = GetDC(Handle())) {
        DrawIconEx(dc, IconLeft, IconTop, favicons_[address], kIconArea, kIconArea, 0, nullptr, DI_NORMAL);
        ReleaseDC(Handle(), dc);
      }
  } catch (...) {
    if (icon) DestroyIcon(icon);
  }
}

void TCustomIEAddress::DeleteSelected() {
  int i = ItemIndex();
  if (i >= 0) Items()->Delete(i);
}

void TCustomIEAddress::LoadTypedUrls() {
  Items()->Clear();
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  try {
    if (!reg.OpenKeyReadOnly(kTypedUrls)) return;
    for (int i = 1; i <= kMaxLoaded; ++i) {
      const AnsiString name = "Url" + IntToStr(i);
      if (!reg.ValueExists(name)) continue;
      const AnsiString url = Trim(reg.ReadString(name));
      if (url.empty() || Items()->Text().find(url) != AnsiString::npos) continue;
      Items()->Add(url);
    }
  } catch (...) {
  }
}

void TCustomIEAddress::SaveTypedUrls() {
  if (Trim(Text()).empty()) return;
  bool cancel = false;
  if (OnUpdateRegistry) OnUpdateRegistry(this, Wide(Text()), cancel);
  if (cancel) return;
  try {
    TRegistry reg;
    reg.SetRootKey(HKEY_CURRENT_USER);
    if (!reg.OpenKey(kTypedUrls, true)) return;
    int n = 0;
    for (int i = 0; i < Items()->Count() && n < kMaxSaved; ++i) {
      const AnsiString item = Items()->Strings(i);
      if (item.empty()) continue;
      reg.WriteString("Url" + IntToStr(++n), item);
    }
    // Values beyond the new count are stale entries of an older, longer list.
    for (int i = n + 1; i <= kMaxLoaded; ++i) reg.DeleteValue("Url" + IntToStr(i));
  } catch (...) {
  }
}

void TCustomIEAddress::Normalise() {
  const AnsiString text = Text();
  const AnsiString normal = NormalisedAddress(text);
  if (normal != text) SetText(normal);
}

void TCustomIEAddress::ApplySecureColor() {
  if (!UseSecureSiteBGColor) return;
  SetColor(Text().compare(0, 5, "https") == 0 ? SecureSiteBG : loaded_color_);
}

void TCustomIEAddress::UpdateTextFromBrowser() {
  if (!LinkedBrowser || !UpdateTextAfterNav) return;
  try {
    if (LinkedBrowser->HandleAllocated() && !LinkedBrowser->WaitWhileBusy(kAddressPageWait)) return;
    BSTR value = nullptr;
    IWebBrowser2* b = LinkedBrowser->DefaultInterface();
    HRESULT hr = TextAfterNav == anLocationUrl ? b->get_LocationURL(&value) : b->get_LocationName(&value);
    if (FAILED(hr)) return;
    const WideString fresh = kv::BstrText(value);
    SysFreeString(value);
    bool cancel = false;
    if (OnUpdateText) OnUpdateText(this, Wide(Text()), fresh, cancel);
    if (!cancel) SetText(kv::WideToAnsi(fresh));
  } catch (...) {
  }
}

void TCustomIEAddress::SetSiteToolTip() {
  if (!LinkedBrowser || !ShowSiteToolTip) return;
  try {
    if (LinkedBrowser->HandleAllocated() && !LinkedBrowser->WaitWhileBusy(kAddressPageWait)) return;
    ShowHint = true;
    Application->HintColor = HintColor;
    BSTR url = nullptr, name = nullptr;
    IWebBrowser2* b = LinkedBrowser->DefaultInterface();
    if (SUCCEEDED(b->get_LocationURL(&url)) && kv::WideToAnsi(kv::BstrText(url)) == Text() &&
        SUCCEEDED(b->get_LocationName(&name)))
      Hint = kv::WideToAnsi(kv::BstrText(name));
    SysFreeString(url);
    SysFreeString(name);
  } catch (...) {
  }
}

void TCustomIEAddress::Commit() {
  Normalise();
  SaveTypedUrls();
  ApplySecureColor();
  UpdateTextFromBrowser();
  const AnsiString text = Text();
  bool listed = false;
  for (int i = 0; i < Items()->Count() && !listed; ++i) listed = Items()->Strings(i) == text;
  if (!listed) Items()->Insert(0, text);
  SetSiteToolTip();
  FetchFavicon();
}

void TCustomIEAddress::Navigate() {
  if (LinkedBrowser) LinkedBrowser->Go(Text(), 0);
}

void TCustomIEAddress::KeyDown(WORD& Key, TShiftState Shift) {
  TComboBox::KeyDown(Key, Shift);
  const bool alt = Shift.Contains(ssAlt);
  if (DroppedDown()) {
    switch (Key) {
      case VK_RETURN: ChooseFromList(); break;
      case VK_ESCAPE: SetDroppedDown(false); break;
      case VK_DOWN:
      case VK_UP:
        if (alt) {
          SetDroppedDown(false);
        } else {
          const int last = std::min(Items()->Count() - 1, kMaxSaved);
          const int at = ItemIndex();
          SetItemIndex(Key == VK_DOWN ? std::min(at + 1, last) : std::max(at - 1, 0));
          if (AutoNavigateOnSelected) Navigate();
        }
        break;
      default: return;
    }
    Key = VK_CLEAR;  // the combo's own handling stays out
    return;
  }
  if (Key == VK_DOWN) {
    SetDroppedDown(true);
    const LPARAM end = static_cast<LPARAM>(Text().size());
    SendMessageA(Handle(), CB_SETEDITSEL, 0, MAKELPARAM(end, end));
    if (AutoNavigateOnSelected) Navigate();
    Key = VK_CLEAR;
    return;
  }
  if (Key == VK_UP) {
    Key = VK_CLEAR;
    return;
  }
  if (Key != VK_RETURN || Text().empty()) return;
  bool cancel = false;
  if (OnUrlSelected) OnUrlSelected(this, Wide(Text()), cancel);
  if (cancel) return;
  if (AutoNavigateOnEnterKey) Navigate();
  Commit();
}

void TCustomIEAddress::ChooseFromList() {
  const int at = ItemIndex();
  const AnsiString chosen = at >= 0 ? Items()->Strings(at) : Text();
  bool cancel = false;
  if (OnUrlSelected) OnUrlSelected(this, Wide(chosen), cancel);
  if (cancel) return;
  if (at > 0) {
    Items()->Delete(at);
    Items()->Insert(0, chosen);
  }
  SetDroppedDown(false);
  SetItemIndex(at >= 0 ? 0 : -1);
  SetText(chosen);
  SendMessageA(Handle(), CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
  // The browser goes first: the commit takes the text from the browser's page.
  if (AutoNavigateOnEnterKey) Navigate();
  if (AutoNavigateOnSelected) Navigate();
  Commit();
}

void TCustomIEAddress::Loaded() {
  TComboBox::Loaded();
  loaded_ = true;
  loaded_color_ = Color();
  loaded_hint_color_ = Application->HintColor;
  if (GUI == gsThemes) {
    const Theme& t = kThemes[Themes];
    BorderColor = ThemeColor(t.border);
    ArrowColor = ThemeColor(t.arrow);
    ButtonColor = ThemeColor(t.button);
    ButtonPressedColor = ThemeColor(t.pressed);
  }
  LoadTypedUrls();
  Normalise();
  ApplySecureColor();
  UpdateTextFromBrowser();
  SetSiteToolTip();
  FetchFavicon();
  if (LinkedBrowser) {
    switch (TextOnLoad) {
      case tlIEHomePage: {
        TRegistry reg;
        reg.SetRootKey(HKEY_CURRENT_USER);
        try {
          if (reg.OpenKeyReadOnly("\\Software\\Microsoft\\Internet Explorer\\Main") && reg.ValueExists("Start Page"))
            SetText(reg.ReadString("Start Page"));
        } catch (...) {
        }
        break;
      }
      case tlBlank: LinkedBrowser->Go("about:blank", 0); break;
      case tlUserDefine: SetText(kv::WideToAnsi(TextOnShow)); break;
      case tlIELastVisited: break;
    }
    if (AutoNavigateOnLoad) Navigate();
  } else if (TextOnLoad != tlUserDefine) {
    SetText(Items()->Count() > 0 ? Trim(Items()->Strings(0)) : AnsiString());
  }
}
