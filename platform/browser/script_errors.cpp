// Script errors: the error event, onerror, the host's or the own dialog's answer, and
// errors as EXCEPINFOs; the browser's own dialogs with their scripted answers.
#include <algorithm>
#include <deque>
#include <mutex>

#include "platform/base/codepage.h"
#include "platform/browser/element.h"
#include "platform/browser/script_heap.h"
// For KvPumpMessages: the own dialog's loop runs the queue until nothing is due, and the
// window system has no other call that does.
#include "platform/user/testing.h"
#include "platform/user/user.h"

namespace kv::browser {
namespace {

// The line of an error (its lineNumber) relative to its script's text.
int ErrorLine(duk_context* ctx, duk_idx_t idx) {
  if (!duk_is_object(ctx, idx)) return 0;
  duk_get_prop_string(ctx, idx, "lineNumber");
  int line = duk_is_number(ctx, -1) ? duk_get_int(ctx, -1) : 0;
  duk_pop(ctx);
  return line;
}

// The error object of a script error: the five fields by name.
class ErrorEvent final : public UntypedDispatch {
 public:
  ErrorEvent(LONG line, LONG code, std::u16string message, std::u16string url)
      : line_(line), code_(code), message_(std::move(message)), url_(std::move(url)) {}
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    static const DispName kNames[] = {{u"errorLine", 1},    {u"errorCharacter", 2}, {u"errorCode", 3},
                                      {u"errorMessage", 4}, {u"errorUrl", 5},       {u"type", 6}};
    return NamesToIds(kNames, names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (result) VariantInit(result);
    switch (id) {
      case 1: return ResultLong(result, line_);
      case 2: return ResultLong(result, 1);  // the engine gives no column
      case 3: return ResultLong(result, code_);
      case 4: return ResultBstr(result, kv::AllocBstr(message_));
      case 5: return ResultBstr(result, kv::AllocBstr(url_));
      case 6: return ResultBstr(result, Bstr("error"));
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  bool Accepts(REFIID riid) const override { return IsEqualIID(riid, IID_IDispatch); }
  LONG line_, code_;
  std::u16string message_, url_;
};

// The browser's own dialogs ("Script Error", prompt): a window of the platform's class
// owned by the top window, so a watcher finds it, modal while the queue has work. A
// watcher's WM_CLOSE answers kClosedByWatcher, its DestroyWindow kDestroyedByWatcher;
// else the next scripted answer, IDCANCEL when none is left.
constexpr char16_t kDialogClass[] = u"Internet Explorer_TridentDlgFrame";
constexpr int kClosedByWatcher = -1, kDestroyedByWatcher = -2;

struct ScriptedAnswer {
  int button;
  std::string text;
};
std::mutex& DialogScriptLock() {
  static std::mutex m;
  return m;
}
std::deque<ScriptedAnswer>& DialogScript() {
  static std::deque<ScriptedAnswer> answers;
  return answers;
}

struct DialogState {
  bool closed = false;
};
LRESULT DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_CLOSE) {
    if (state) state->closed = true;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int OwnDialog(Heap* h, const char16_t* caption, const std::u16string& text, std::string* answer_text) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DialogProc;
    wc.lpszClassName = kDialogClass;
    RegisterClassW(&wc);
    registered = true;
  }
  DocumentHost* host = h->doc->Host();
  HWND owner = host ? host->DocumentTopWindow() : nullptr;
  DialogState state;
  HWND dlg = CreateWindowExW(WS_EX_DLGMODALFRAME, kDialogClass, caption, WS_POPUP | WS_CAPTION | WS_VISIBLE, 100, 100,
                             420, 200, owner, nullptr, nullptr, nullptr);
  if (!dlg) return IDCANCEL;
  SetWindowLongPtrW(dlg, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
  CreateWindowExW(0, u"Static", text.c_str(), WS_CHILD | WS_VISIBLE, 8, 8, 400, 120, dlg, nullptr, nullptr, nullptr);
  bool owner_enabled = owner && IsWindowEnabled(owner);
  if (owner_enabled) EnableWindow(owner, FALSE);
  while (IsWindow(dlg) && KvPumpMessages() > 0) {
  }
  int answer;
  if (!IsWindow(dlg)) {
    answer = state.closed ? kClosedByWatcher : kDestroyedByWatcher;
  } else {
    answer = IDCANCEL;
    {
      std::lock_guard<std::mutex> lock(DialogScriptLock());
      if (!DialogScript().empty()) {
        answer = DialogScript().front().button;
        if (answer_text) *answer_text = DialogScript().front().text;
        DialogScript().pop_front();
      }
    }
    SetWindowLongPtrW(dlg, GWLP_USERDATA, 0);
    DestroyWindow(dlg);
  }
  if (owner_enabled && IsWindow(owner)) EnableWindow(owner, TRUE);
  return answer;
}

namespace {

// The script error dialog's answer: go on unless stopped (No, or destroyed).
bool ErrorDialogGoesOn(Heap* h, const std::u16string& message, LONG line, const std::u16string& url) {
  std::u16string text = u"Line: " + Utf8ToWide(std::to_string(line)) + u"\nError: " + message + u"\nURL: " + url +
                        u"\nDo you want to continue running scripts on this page?";
  int answer = OwnDialog(h, u"Script Error", text, nullptr);
  return answer != IDNO && answer != kDestroyedByWatcher;
}

}  // namespace

void ReportError(Heap* h, duk_idx_t idx) {
  if (!h->ctx || h->closing || h->stopped || !h->doc) return;
  duk_context* ctx = h->ctx;
  idx = duk_normalize_index(ctx, idx);
  Entry entry(h);
  // The error's fields.
  std::u16string message;
  LONG code = 0;
  if (duk_is_error(ctx, idx)) {
    duk_get_prop_string(ctx, idx, "message");
    message = StringAt(ctx, -1);
    duk_pop(ctx);
    duk_get_prop_string(ctx, idx, "number");
    if (duk_is_number(ctx, -1)) code = static_cast<LONG>(static_cast<int64_t>(duk_get_number(ctx, -1)));
    duk_pop(ctx);
  } else {
    message = StringAt(ctx, idx);
  }
  LONG line = h->line_base + std::max(ErrorLine(ctx, idx), 1) - 1;
  std::u16string url = Utf8ToWide(h->doc->Url());
  // 1. window.onerror(message, url, line); true ends it.
  duk_get_global_string(ctx, "onerror");
  if (duk_is_function(ctx, -1)) {
    duk_push_global_object(ctx);
    h->scratch.clear();
    ToInternal(message, &h->scratch);
    duk_push_lstring(ctx, h->scratch.data(), h->scratch.size());
    h->scratch.clear();
    ToInternal(url, &h->scratch);
    duk_push_lstring(ctx, h->scratch.data(), h->scratch.size());
    duk_push_int(ctx, line);
    bool handled = duk_pcall_method(ctx, 3) == DUK_EXEC_SUCCESS && duk_is_boolean(ctx, -1) && duk_get_boolean(ctx, -1);
    duk_pop(ctx);
    if (handled) return;
  } else {
    duk_pop(ctx);
  }
  DocumentHost* host = h->doc->Host();
  if (!host) return;
  // 2. window.event: the error's object for the host to read.
  auto* ev = new ErrorEvent(line, code, message, url);
  IHTMLEventObj* previous = h->doc->SwapCurrentEvent(reinterpret_cast<IHTMLEventObj*>(static_cast<IDispatch*>(ev)));
  // 3. The host's answer.
  VARIANT in, out;
  VariantInit(&in);
  VariantInit(&out);
  in.vt = VT_UNKNOWN;
  in.punkVal = static_cast<IHTMLDocument2*>(h->doc);
  h->doc->AddRef();
  HRESULT hr = host->DocumentScriptError(&in, &out);
  bool go_on;
  if (hr == S_OK && out.vt == VT_BOOL)
    go_on = out.boolVal != VARIANT_FALSE;
  else if (h->doc->Host() && h->doc->Host()->DocumentSilent())
    go_on = true;
  else
    go_on = h->doc->Host() ? ErrorDialogGoesOn(h, message, line, url) : true;
  VariantClear(&in);
  VariantClear(&out);
  // 4. window.event back.
  h->doc->SwapCurrentEvent(previous);
  ev->Release();
  if (!go_on) h->script->Stop();
}

void ReportNewError(Heap* h, Node* script, duk_errcode_t kind, const char* message) {
  if (!h->ctx || h->closing) return;
  Entry entry(h);
  duk_context* ctx = h->ctx;
  if (!duk_check_stack(ctx, 4)) return;
  duk_push_error_object(ctx, kind, "%s", message);
  // The script element's own line: the error did not come from a line of its text.
  duk_push_string(ctx, "lineNumber");
  duk_push_int(ctx, 1);
  duk_def_prop(ctx, -3,
               DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_CONFIGURABLE | DUK_DEFPROP_FORCE);
  int line_base = h->line_base;
  h->line_base = script->line > 0 ? script->line : 1;
  ReportError(h, -1);
  h->line_base = line_base;
  if (h->ctx) duk_pop(ctx);
}

void ErrorToExcepInfo(Heap* h, duk_idx_t idx, EXCEPINFO* excep) {
  if (!excep) return;
  duk_context* ctx = h->ctx;
  *excep = EXCEPINFO{};
  std::u16string message;
  SCODE code = static_cast<SCODE>(0x80020101);
  if (duk_is_error(ctx, idx)) {
    duk_get_prop_string(ctx, idx, "message");
    message = StringAt(ctx, -1);
    duk_pop(ctx);
    duk_get_prop_string(ctx, idx, "number");
    if (duk_is_number(ctx, -1)) {
      double n = duk_get_number(ctx, -1);
      if (n < 0 && n >= -2147483648.0) code = static_cast<SCODE>(n);
    }
    duk_pop(ctx);
  } else {
    message = StringAt(ctx, idx);
  }
  excep->bstrDescription = AllocBstr(message);
  excep->bstrSource = AllocBstr(u"script");
  excep->scode = code;
}

duk_int_t CallProtected(Heap* h, duk_idx_t nargs, bool report) {
  duk_int_t rc = duk_pcall_method(h->ctx, nargs);
  if (rc != DUK_EXEC_SUCCESS && report) ReportError(h, -1);
  return rc;
}

}  // namespace kv::browser

void KvBrowserDialogScriptPush(int button, const char* text) {
  std::lock_guard<std::mutex> lock(kv::browser::DialogScriptLock());
  kv::browser::DialogScript().push_back({button, text ? text : ""});
}
void KvBrowserDialogScriptClear(void) {
  std::lock_guard<std::mutex> lock(kv::browser::DialogScriptLock());
  kv::browser::DialogScript().clear();
}
