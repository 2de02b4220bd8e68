// The browser control's windows (the embedding window, the view, the document window or
// the folder list) and the user's input in them: accelerators, mouse, keys, context menu.
#include <ctime>

#include "platform/base/codepage.h"
#include "platform/base/trace.h"
#include "platform/browser/control.h"
#include "platform/browser/internal.h"
#include "platform/browser/layout.h"
#include "platform/browser/recorders.h"
#include "platform/comctl/comctl.h"
#include "platform/comctl/listview.h"
#include "platform/user/user.h"

namespace kv::browser {
namespace {

inline constexpr GUID CGID_MSHTML = {0xDE4BA900, 0x59CA, 0x11CF, {0x95, 0x92, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const WCHAR kEmbeddingClass[] = u"Shell Embedding";
const WCHAR kViewClass[] = u"Shell DocObject View";
const WCHAR kDocumentClass[] = u"Internet Explorer_Server";

// Own context-menu commands.
constexpr UINT kCmdBack = 2282, kCmdForward = 2283, kCmdRefresh = 2300, kCmdSelectAll = 31, kCmdPrint = 27,
               kCmdViewSource = 2139, kCmdProperties = 28, kCmdOpenLink = 2136, kCmdOpenNewWindow = 2137;

// The window procedures find their browser through GWLP_USERDATA.
WebBrowser* BrowserOf(HWND hwnd) { return reinterpret_cast<WebBrowser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

LRESULT EmbeddingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_SIZE) {
    // The view fills the embedding window, the document window fills the view.
    if (HWND child = GetWindow(hwnd, GW_CHILD)) MoveWindow(child, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
  }
  if (msg == WM_NCDESTROY)
    if (WebBrowser* b = BrowserOf(hwnd)) b->WindowGone(hwnd);
  return DefWindowProcW(hwnd, msg, wp, lp);
}
LRESULT ViewProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  WebBrowser* b = BrowserOf(hwnd);
  if (msg == WM_SIZE) {
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
      MoveWindow(child, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
  }
  if (msg == WM_NCDESTROY && b) b->WindowGone(hwnd);
  if (b && msg == WM_NOTIFY) return b->ViewWindowMessage(hwnd, msg, wp, lp);
  return DefWindowProcW(hwnd, msg, wp, lp);
}
LRESULT DocumentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  WebBrowser* b = BrowserOf(hwnd);
  if (msg == WM_NCDESTROY && b) b->WindowGone(hwnd);
  if (b) return b->DocumentWindowMessage(hwnd, msg, wp, lp);
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void RegisterClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  InitCommonControls();
  const struct {
    const WCHAR* name;
    WNDPROC proc;
  } classes[] = {{kEmbeddingClass, EmbeddingProc}, {kViewClass, ViewProc}, {kDocumentClass, DocumentProc}};
  for (const auto& c : classes) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = c.proc;
    wc.lpszClassName = c.name;
    RegisterClassW(&wc);
  }
}

}  // namespace

// ---- Windows
// ---------------------------------------------------------------------------------------------------------
void WebBrowser::EnsureWindows(HWND parent, const RECT& pos) {
  RegisterClasses();
  int w = pos.right - pos.left, h = pos.bottom - pos.top;
  embedding_ = CreateWindowExW(0, kEmbeddingClass, u"", WS_CHILD | WS_CLIPCHILDREN, pos.left, pos.top, w, h, parent,
                               nullptr, nullptr, nullptr);
  SetWindowLongPtrW(embedding_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  view_ = CreateWindowExW(0, kViewClass, u"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, w, h, embedding_, nullptr,
                          nullptr, nullptr);
  SetWindowLongPtrW(view_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ShowView();
}

void WebBrowser::ShowView() {
  if (!view_) return;
  RECT rc{};
  GetClientRect(view_, &rc);
  bool folder = folder_document_ != nullptr;
  if (folder) {
    if (document_window_) DestroyWindow(document_window_);
    if (folder_window_) DestroyWindow(folder_window_);
    folder_window_ = CreateWindowExW(0, u"SysListView32", u"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, rc.right,
                                     rc.bottom, view_, nullptr, nullptr, nullptr);
    const WCHAR* columns[] = {u"Name", u"Size", u"Modified"};
    for (int i = 0; i < 3; ++i) {
      LVCOLUMNW col{};
      col.mask = LVCF_TEXT | LVCF_WIDTH;
      col.cx = i == 0 ? 200 : 100;
      col.pszText = const_cast<LPWSTR>(columns[i]);
      SendMessageW(folder_window_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col));
    }
    int row = 0;
    for (const auto& e : folder_entries_) {
      std::u16string name = Utf8ToWide(e.name + (e.folder ? "/" : ""));
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = row;
      item.pszText = name.data();
      SendMessageW(folder_window_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
      char when[32] = "";
      time_t t = static_cast<time_t>(e.modified);
      struct tm tmv {};
      if (localtime_r(&t, &tmv)) strftime(when, sizeof when, "%Y-%m-%d %H:%M", &tmv);
      std::u16string cells[] = {e.folder ? u"" : Utf8ToWide(std::to_string(e.size)), Utf8ToWide(when)};
      for (int c = 0; c < 2; ++c) {
        LVITEMW sub{};
        sub.iSubItem = c + 1;
        sub.pszText = cells[c].data();
        SendMessageW(folder_window_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&sub));
      }
      ++row;
    }
  } else {
    if (folder_window_) DestroyWindow(folder_window_);
    // The host's flags of the last GetHostInfo: a vertical scroll bar and a sunken border
    // unless it asks for none.
    const DWORD style = WS_CHILD | WS_VISIBLE | ((host_flags_ & DOCHOSTUIFLAG_SCROLL_NO) ? 0 : WS_VSCROLL);
    const DWORD ex_style = (host_flags_ & DOCHOSTUIFLAG_NO3DBORDER) ? 0 : WS_EX_CLIENTEDGE;
    if (!document_window_) {
      document_window_ = CreateWindowExW(ex_style, kDocumentClass, u"", style, 0, 0, rc.right, rc.bottom, view_,
                                         nullptr, nullptr, nullptr);
      SetWindowLongPtrW(document_window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    } else if (static_cast<DWORD>(GetWindowLongPtrW(document_window_, GWL_STYLE)) != style ||
               static_cast<DWORD>(GetWindowLongPtrW(document_window_, GWL_EXSTYLE)) != ex_style) {
      SetWindowLongPtrW(document_window_, GWL_STYLE, style);
      SetWindowLongPtrW(document_window_, GWL_EXSTYLE, ex_style);
      SetWindowPos(document_window_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }
    // The document is drawn from its top and never scrolls, so its bar shows disabled, as
    // for a page that fits.
    if (style & WS_VSCROLL) EnableScrollBar(document_window_, SB_VERT, ESB_DISABLE_BOTH);
    InvalidateRect(document_window_, nullptr, TRUE);
  }
}

void WebBrowser::DestroyWindows() {
  if (embedding_) {
    HWND e = embedding_;
    DestroyWindow(e);  // children go with it; WindowGone clears the handles
  }
  embedding_ = view_ = document_window_ = folder_window_ = nullptr;
  ui_active_ = false;
}

void WebBrowser::WindowGone(HWND hwnd) {
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  if (hwnd == embedding_) embedding_ = nullptr;
  if (hwnd == view_) view_ = nullptr;
  if (hwnd == document_window_) document_window_ = nullptr;
}

LRESULT WebBrowser::ViewWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NOTIFY && folder_window_) {
    auto* hdr = reinterpret_cast<NMHDR*>(lp);
    if (hdr && hdr->hwndFrom == folder_window_ &&
        (hdr->code == static_cast<UINT>(NM_RETURN) || hdr->code == static_cast<UINT>(NM_DBLCLK) ||
         hdr->code == static_cast<UINT>(LVN_ITEMACTIVATE))) {
      int i = static_cast<int>(SendMessageW(folder_window_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
      if (i >= 0 && static_cast<size_t>(i) < folder_entries_.size() && folder_entries_[static_cast<size_t>(i)].folder) {
        std::string base = location_url_;
        if (base.empty() || base.back() != '/') base += '/';
        StartNavigation(base + folder_entries_[static_cast<size_t>(i)].name + "/", {}, "", 0, -1, false);
      }
      return 0;
    }
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// ---- Input
// -----------------------------------------------------------------------------------------------------------
bool WebBrowser::AllowFocus() {
  if (!services_) return true;
  IProtectFocus* protect = nullptr;
  if (FAILED(Noted("QueryService IProtectFocus",
                   services_->QueryService(IID_IProtectFocus, IID_IProtectFocus, reinterpret_cast<void**>(&protect)))) ||
      !protect)
    return true;
  BOOL allow = TRUE;
  Noted("AllowFocusChange", protect->AllowFocusChange(&allow));
  protect->Release();
  return allow != FALSE;
}

void WebBrowser::UIActivate() {
  if (!embedding_) return;
  if (!ui_active_) {
    ui_active_ = true;
    if (inplace_site_) inplace_site_->OnUIActivate();
    if (ui_handler_) Noted("ShowUI", ui_handler_->ShowUI(1 /* DOCHOSTUITYPE_BROWSE */, this, this, nullptr, nullptr));
  }
  HWND target = document_window_ ? document_window_ : folder_window_;
  if (target && GetFocus() != target && AllowFocus()) ::SetFocus(target);
}

bool WebBrowser::AskRefresh(DWORD command) {
  // The host may cancel a refresh the user asks for.
  if (host_commands_ && Noted("Exec " + std::to_string(command),
                              host_commands_->Exec(&CGID_DocHostCommandHandler, command, 0, nullptr, nullptr)) == S_OK)
    return false;
  return true;
}

bool WebBrowser::Accelerator(const MSG& msg) {
  if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
  AddRef();
  bool handled = false;
  MSG copy = msg;
  if (ui_handler_ && Noted("TranslateAccelerator " + std::to_string(copy.message) + " " + std::to_string(copy.wParam),
                           ui_handler_->TranslateAccelerator(&copy, &CGID_MSHTML, 0)) == S_OK)
    handled = true;
  if (!handled && !closed_ && (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN)) {
    bool ctrl = GetKeyState(VK_CONTROL) < 0, alt = GetKeyState(VK_MENU) < 0, shift = GetKeyState(VK_SHIFT) < 0;
    switch (msg.wParam) {
      case VK_F5:
        handled = true;
        if (AskRefresh(ctrl ? 6042 : 6041)) Refresh();
        break;
      case VK_LEFT:
      case VK_RIGHT:
        if (alt) {
          handled = true;
          if (msg.wParam == VK_LEFT)
            GoBack();
          else
            GoForward();
        }
        break;
      case VK_ESCAPE:
        handled = true;
        Stop();
        break;
      case 'N':
        if (ctrl) {
          handled = true;
          KvTrace("browser", "new window (Ctrl+N) refused");
        }
        break;
      case VK_F1:
        handled = true;
        if (show_ui_) {
          POINT pt{0, 0};
          Noted("ShowHelp", show_ui_->ShowHelp(embedding_, nullptr, 0, 0, pt, nullptr));
        }
        break;
      case VK_F10:
        if (shift) {
          handled = true;
          ContextMenu(0, 0, true);
        }
        break;
      default: break;
    }
  }
  Release();
  return handled;
}

void WebBrowser::MouseInput(UINT msg, int x, int y) {
  if (!document_ || !document_window_) return;
  AddRef();
  Document* doc = document_;
  doc->AddRef();
  RECT rc{};
  GetClientRect(document_window_, &rc);
  HDC dc = GetDC(document_window_);
  Node* target = doc->LayoutFor(dc, rc.right - rc.left).HitTest(x, y);
  ReleaseDC(document_window_, dc);
  if (!target) target = doc->Body();
  if (target) {
    DomEvent ev;
    ev.target = target;
    ev.x = x;
    ev.y = y;
    ev.ctrl = GetKeyState(VK_CONTROL) < 0;
    ev.shift = GetKeyState(VK_SHIFT) < 0;
    ev.alt = GetKeyState(VK_MENU) < 0;
    ev.button = msg == WM_RBUTTONDOWN || msg == WM_RBUTTONUP ? 2 : 1;
    if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN) {
      ev.type = "mousedown";
      ev.dispid = DISPID_EVMETH_ONMOUSEDOWN;
      doc->Dispatch(ev);
      if (msg == WM_LBUTTONDOWN) {
        Node* focus = target;
        while (focus && !(focus->kind == Node::kElement &&
                          (focus->tag == "input" || focus->tag == "select" || focus->tag == "textarea" ||
                           focus->tag == "button" || (focus->tag == "a" && focus->Attr("href")))))
          focus = focus->parent;
        doc->SetFocus(focus);
      }
    } else if (msg == WM_LBUTTONUP || msg == WM_RBUTTONUP) {
      ev.type = "mouseup";
      ev.dispid = DISPID_EVMETH_ONMOUSEUP;
      doc->Dispatch(ev);
      if (msg == WM_LBUTTONUP && !doc->TornDown()) {
        DomEvent click = ev;
        click.type = "click";
        click.dispid = DISPID_EVMETH_ONCLICK;
        click.key_code = 0;
        if (doc->Dispatch(click)) doc->ActivateElement(target);
      }
    } else if (msg == WM_LBUTTONDBLCLK) {
      ev.type = "dblclick";
      ev.dispid = DISPID_EVMETH_ONDBLCLICK;
      doc->Dispatch(ev);
    }
  }
  doc->Release();
  Release();
}

void WebBrowser::KeyInput(UINT msg, WPARAM wp) {
  if (!document_) return;
  AddRef();
  Document* doc = document_;
  doc->AddRef();
  Node* target = doc->Focus() ? doc->Focus() : doc->Body();
  if (target) {
    DomEvent ev;
    ev.target = target;
    ev.key_code = static_cast<LONG>(wp);
    ev.ctrl = GetKeyState(VK_CONTROL) < 0;
    ev.shift = GetKeyState(VK_SHIFT) < 0;
    ev.alt = GetKeyState(VK_MENU) < 0;
    if (msg == WM_KEYDOWN) {
      ev.type = "keydown";
      ev.dispid = DISPID_EVMETH_ONKEYDOWN;
      if (doc->Dispatch(ev) && !doc->TornDown()) {
        if (wp == VK_TAB) doc->MoveFocus(ev.shift);
      }
    } else if (msg == WM_CHAR) {
      ev.type = "keypress";
      ev.dispid = DISPID_EVMETH_ONKEYPRESS;
      if (doc->Dispatch(ev) && !doc->TornDown() && ev.key_code != 0) {
        Node* f = doc->Focus();
        bool button = f && (f->IsElement("button") ||
                            (f->IsElement("input") &&
                             (f->InputType() == "submit" || f->InputType() == "button" || f->InputType() == "reset")));
        if (f && ev.key_code == '\r' && button) {
          doc->ElementOf(f)->click();
        } else if (f && ev.key_code == '\r' && f->IsElement("input")) {
          // Enter in a text field submits its form through its first submit button.
          Node* form = f->parent;
          while (form && !form->IsElement("form")) form = form->parent;
          if (form) {
            Node* submit = nullptr;
            std::vector<Node*> stack{form};
            while (!stack.empty() && !submit) {
              Node* n = stack.back();
              stack.pop_back();
              if (n->IsElement("input") && (n->InputType() == "submit" || n->InputType() == "image")) submit = n;
              for (size_t i = n->children.size(); i-- > 0;) stack.push_back(n->children[i].get());
            }
            if (submit)
              doc->ElementOf(submit)->click();
            else
              doc->SubmitForm(form, nullptr);
          }
        } else if (f) {
          doc->TypeCharacter(f, static_cast<char16_t>(ev.key_code));
        }
      }
    } else if (msg == WM_KEYUP) {
      ev.type = "keyup";
      ev.dispid = DISPID_EVMETH_ONKEYUP;
      doc->Dispatch(ev);
    }
  }
  doc->Release();
  Release();
}

void WebBrowser::ContextMenu(int x, int y, bool keyboard) {
  if (!document_ || !document_window_) return;
  AddRef();
  Document* doc = document_;
  doc->AddRef();
  Node* target = nullptr;
  POINT pt{x, y};
  if (keyboard) {
    target = doc->Focus();
    RECT box{};
    HDC dc = GetDC(document_window_);
    RECT rc{};
    GetClientRect(document_window_, &rc);
    if (target && doc->LayoutFor(dc, rc.right).BoxOf(target, &box)) pt = {box.left, box.bottom};
    ReleaseDC(document_window_, dc);
  } else {
    RECT rc{};
    GetClientRect(document_window_, &rc);
    HDC dc = GetDC(document_window_);
    target = doc->LayoutFor(dc, rc.right).HitTest(x, y);
    ReleaseDC(document_window_, dc);
  }
  if (!target) target = doc->Body();
  DomEvent ev{"contextmenu", DISPID_EVMETH_ONCONTEXTMENU, target};
  ev.x = pt.x;
  ev.y = pt.y;
  ev.button = 2;
  if (target && doc->Dispatch(ev) && !doc->TornDown()) {
    DWORD kind = CONTEXT_MENU_DEFAULT;
    Node* link = nullptr;
    for (Node* p = target; p; p = p->parent)
      if (p->IsElement("a") && p->Attr("href")) {
        link = p;
        break;
      }
    if (link)
      kind = CONTEXT_MENU_ANCHOR;
    else if (target->IsElement("img"))
      kind = CONTEXT_MENU_IMAGE;
    else if (target->IsElement("input") || target->IsElement("select") || target->IsElement("textarea") ||
             target->IsElement("button"))
      kind = CONTEXT_MENU_CONTROL;
    POINT screen = pt;
    ClientToScreen(document_window_, &screen);
    IDispatch* element = doc->ObjectOf(target);
    HRESULT hr = ui_handler_
                     ? Noted("ShowContextMenu " + std::to_string(kind),
                             ui_handler_->ShowContextMenu(kind, &screen, static_cast<IOleCommandTarget*>(doc), element))
                     : S_FALSE;
    if (element) element->Release();
    if (hr != S_OK && !doc->TornDown() && document_window_) {
      // The own menu, answered from the platform's scripted menu input.
      HMENU menu = CreatePopupMenu();
      if (link) {
        AppendMenuW(menu, MF_STRING, kCmdOpenLink, u"Open Link");
        AppendMenuW(menu, MF_STRING, kCmdOpenNewWindow, u"Open in New Window");
      } else {
        AppendMenuW(menu, MF_STRING | (travel_index_ > 0 ? 0 : MF_GRAYED), kCmdBack, u"Back");
        AppendMenuW(menu, MF_STRING | (travel_index_ + 1 < static_cast<int>(travel_.size()) ? 0 : MF_GRAYED),
                    kCmdForward, u"Forward");
        AppendMenuW(menu, MF_STRING, kCmdRefresh, u"Refresh");
        AppendMenuW(menu, MF_STRING, kCmdSelectAll, u"Select All");
        AppendMenuW(menu, MF_STRING, kCmdPrint, u"Print");
        AppendMenuW(menu, MF_STRING, kCmdViewSource, u"View Source");
        AppendMenuW(menu, MF_STRING, kCmdProperties, u"Properties");
      }
      UINT cmd = static_cast<UINT>(
          TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, screen.x, screen.y, 0, document_window_, nullptr));
      DestroyMenu(menu);
      switch (cmd) {
        case kCmdBack: GoBack(); break;
        case kCmdForward: GoForward(); break;
        case kCmdRefresh:
          if (AskRefresh(2300)) Refresh();
          break;
        case kCmdOpenLink:
          if (link) doc->ActivateElement(link);
          break;
        case 0: break;
        default: KvTrace("browser", "menu command %u refused (not supported)", cmd);
      }
    }
  }
  doc->Release();
  Release();
}

LRESULT WebBrowser::DocumentWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // Key messages that did not pass TranslateAccelerator (no container pre-translated
  // them) pass it here, so the host sees every key first.
  if (msg >= WM_KEYFIRST && msg <= WM_KEYLAST) {
    bool seen =
        translated_.hwnd == hwnd && translated_.message == msg && translated_.wParam == wp && translated_.lParam == lp;
    translated_ = MSG{};
    if (!seen) {
      MSG m{hwnd, msg, wp, lp, 0, {0, 0}};
      if (Accelerator(m)) return 0;
    }
  }
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT rc{};
      GetClientRect(hwnd, &rc);
      if (document_) {
        RECTL bounds{rc.left, rc.top, rc.right, rc.bottom};
        document_->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
      } else {
        FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
      UIActivate();
      MouseInput(msg, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_LBUTTONDBLCLK: MouseInput(msg, GET_X_LPARAM(lp), GET_Y_LPARAM(lp)); return 0;
    case WM_RBUTTONUP:
      MouseInput(msg, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      {
        POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        ClientToScreen(hwnd, &pt);
        SendMessageW(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(pt.x, pt.y));
      }
      return 0;
    case WM_CONTEXTMENU: {
      if (lp == -1) {
        ContextMenu(0, 0, true);
      } else {
        POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        ScreenToClient(hwnd, &pt);
        ContextMenu(pt.x, pt.y, false);
      }
      return 0;
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR: KeyInput(msg, wp); return 0;
    case WM_SIZE: InvalidateRect(hwnd, nullptr, TRUE); return 0;
    case WM_ERASEBKGND: return 1;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace kv::browser
