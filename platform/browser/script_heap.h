// Inside the script engine: the heap record, calls into and out of Duktape, and the
// conversions between script values and VARIANTs.
//
// Duktape throws by longjmp. A native binding is a trampoline around a body: the body
// reads its arguments with Duktape calls that do not throw, does its C++ and COM work in
// a catch-all scope, and leaves its result (or error) in the heap record; the trampoline
// pushes it, and throws, only after the body's objects are gone. No C++ exception ever
// reaches a Duktape frame.
#pragma once

#include <duktape.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/browser/internal.h"
#include "platform/browser/script.h"
#include "platform/com/typeinfo.h"
#include "platform/com/unknown.h"

namespace kv::browser {

class ControlEvents;
class PageControl;
class ScriptObject;

// Allocations of one heap beyond this fail, which Duktape reports as a script error.
constexpr size_t kHeapCap = 256u << 20;

// What a binding body leaves for its trampoline.
// kThrowTop: the value at the stack top is thrown as it is.
enum class Ret { kUndefined, kTop, kResult, kError, kThrowTop };

// One pending result or error per native nesting level.
struct NativeFrame {
  VARIANT result{};
  std::vector<VARIANT> args;  // call order
  // A COM failure or a script error to throw.
  HRESULT hr = S_OK;
  std::u16string message;
  std::u16string source;
  std::u16string name;  // the member name a wrapper trap resolves
  bool type_error = false;
  void Clear();
};

struct Timer {
  uint32_t id = 0;
  uint64_t due = 0;
  uint64_t interval = 0;  // 0: once
  uint64_t seq = 0;
};

struct Heap {
  duk_context* ctx = nullptr;
  Document* doc = nullptr;
  Script* script = nullptr;
  size_t used = 0;
  ULONG refs = 1;
  int depth = 0;  // calls into the heap in progress
  bool closing = false;
  bool destroying = false;
  int line_base = 1;     // the running script element's first line
  bool stopped = false;  // scripts stopped after a script error
  int native_level = 0;
  std::vector<std::unique_ptr<NativeFrame>> frames;
  std::string scratch;  // text being pushed
  uint32_t next_key = 1;
  // Type information per interface: member id -> true for a method.
  std::map<std::string, std::map<DISPID, bool>> kinds;
  // Page globals the host asked for by name (a DISPID each, fixed for the heap's life).
  std::vector<std::u16string> global_names;
  // Timers.
  std::vector<Timer> timers;
  uint32_t next_timer = 1;
  uint64_t timer_seq = 0;
  UINT_PTR platform_timer = 0;
  uint64_t armed_for = 0;
  // The walk.
  std::vector<Node*> walk;
  size_t walk_next = 0;
  std::function<void()> walk_done;
  std::function<void(Document*, Node*)> make_control;  // null: controls are not made
  Node* running_script = nullptr;  // the walk's script element now running
  std::string written;             // its document.write text
  struct ScriptLoad;
  std::unique_ptr<ScriptLoad> load;
  bool language_reported = false;
  // Event scripts (<script for event>) the walk reached whose element is not bound yet.
  std::vector<Node*> event_scripts;
  // The sinks advised on the page's controls for event scripts, a reference each.
  std::vector<std::pair<PageControl*, ControlEvents*>> event_sinks;

  void AddRef() { ++refs; }
  void Release();
  void Destroy();
  NativeFrame& Frame(int level);
};

// Holds the heap and its document for the length of one call into the heap; the heap
// is destroyed after the outermost call when the document was torn down meanwhile.
class Entry {
 public:
  explicit Entry(Heap* h);
  ~Entry();
  Entry(const Entry&) = delete;
  Entry& operator=(const Entry&) = delete;

 private:
  Heap* h_;
  Document* doc_;
};

Heap* HeapOf(duk_context* ctx);
// Whether `n` is in the heap's document (not taken out of it).
bool InDocument(Heap* h, Node* n);
// The text of a script element.
std::string ScriptText(const Node* n);

// ---- Event scripts (script_events.cpp) ----------------------------------------------------
// The walk reached the event script `script`: bound now, or once its element (or that
// element's control) exists.
void QueueEventScript(Heap* h, Node* script);
// Binds the waiting event scripts whose element is ready; `final` (the walk's end) binds
// what can be bound and drops the rest.
void BindEventScripts(Heap* h, bool final);
// Detaches and releases the heap's event sinks (the heap is being destroyed).
void DropEventSinks(Heap* h);

// ---- Conversions (script_bridge.cpp) ------------------------------------------------------
// The value at `idx` as a VARIANT (never throws into Duktape).
void ToVariant(Heap* h, duk_idx_t idx, VARIANT* out);
// Pushes the script value of `v` (may throw: only from a trampoline's last step).
void PushVariant(Heap* h, const VARIANT* v);
// Pushes a wrapper of `d` (one per node for the document's own objects), or null.
void PushDispatch(Heap* h, IDispatch* d);
// UTF-16 <-> Duktape's internal text (surrogates one by one, so strings round-trip).
void ToInternal(std::u16string_view text, std::string* out);
std::u16string FromInternal(const char* s, size_t n);
std::u16string StringAt(duk_context* ctx, duk_idx_t idx);  // ToString without calling into script
// Pushes the Error of a COM failure (DISP_E_EXCEPTION's description, else the fixed texts).
void PushComError(Heap* h, HRESULT hr, const std::u16string& description, const std::u16string& source);
// A failure of a COM call as the frame's pending error.
void SetComError(NativeFrame& f, HRESULT hr, EXCEPINFO* excep);
// Makes the bridge's objects: the proxy handler, the bound-method and VBArray helpers.
void InstallBridge(Heap* h);
// The script-object IDispatch of the value at `idx` (a new reference).
IDispatch* ScriptObjectFor(Heap* h, duk_idx_t idx);

// Compiles and runs `code` as one script of the page, its lines counted from
// `first_line`; an error is reported as a script error.
void RunCode(Heap* h, const std::string& code, const std::string& url, int first_line);
// Calls the function at -(nargs + 2) with `this` at -(nargs + 1) and nargs arguments,
// protected; on an error reports it as a script error (ReportError) unless `report` is
// false. Leaves the result or the error on the stack; DUK_EXEC_SUCCESS or DUK_EXEC_ERROR.
duk_int_t CallProtected(Heap* h, duk_idx_t nargs, bool report = true);
// Reports the error at the stack top as a script error; false when scripts must stop.
void ReportError(Heap* h, duk_idx_t idx);
// Reports a new error of the engine's own about the script element `script` (its line).
void ReportNewError(Heap* h, Node* script, duk_errcode_t kind, const char* message);
// The error at `idx` as an EXCEPINFO for a COM caller (description, "script", scode).
void ErrorToExcepInfo(Heap* h, duk_idx_t idx, EXCEPINFO* excep);
// The browser's own modal dialog (script_errors.cpp): its answer (IDOK, IDCANCEL, IDNO...,
// negative when a watcher closed or destroyed it) and, when `answer_text` is not null,
// the text of the scripted answer.
int OwnDialog(Heap* h, const char16_t* caption, const std::u16string& text, std::string* answer_text);

// ---- The global environment (script_window.cpp) ----------------------------------------------
// Builds the window's global environment in the heap (the body of a protected call).
duk_ret_t SetupStep(duk_context* ctx, void*);
// One platform timer per window, for the earliest deadline; none once no timer is left
// or the heap no longer runs scripts.
void ArmTimer(Heap* h);

// The file name of the engine's own script (the bridge and the window's prelude), so an
// error's line is taken from the page's code that called in.
inline constexpr char kPreludeName[] = "kv:prelude";
// Compiles and runs engine script `source` (may throw: inside a protected call).
void EvalPrelude(duk_context* ctx, const char* source);

// Native trampolines: `Body` returns what the trampoline pushes.
using Body = Ret (*)(Heap* h, duk_context* ctx, NativeFrame& f);
// controlEvent(element, name, f, attach): attachEvent (true) or detachEvent (false) of
// an event of the element's control; false when the element has no control with an
// event of that name, so the DOM's own list takes it.
Ret ControlEvent(Heap* h, duk_context* ctx, NativeFrame& f);
// The IDispatch a wrapper at `idx` holds (no reference), or null.
IDispatch* WrappedAt(duk_context* ctx, duk_idx_t idx);
duk_ret_t RunNative(duk_context* ctx, Body body);
template <Body B>
duk_ret_t Native(duk_context* ctx) {
  return RunNative(ctx, B);
}

// The document's own DOM object behind `d` (element, document, window), with its
// document; null for a foreign object.
Document* OwnDocumentOf(IUnknown* d);

}  // namespace kv::browser
