// The page's script engine: one Duktape heap per window (the top document and each
// frame's), made when the document commits and destroyed when it is torn down.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/browser/dom.h"

namespace kv::browser {

struct Heap;

class Script {
 public:
  explicit Script(Document* doc);
  ~Script();
  Script(const Script&) = delete;
  Script& operator=(const Script&) = delete;

  // The document walk: each script element in document order (inline text, or `src`
  // loaded first, which pauses the walk), and with `make_control` each <object classid>
  // element, so its control exists before the next script runs. Event scripts
  // (<script for event>) are bound to their element, or to its control once it exists.
  // `done` runs once the walk ends, unless the document is torn down first.
  void Walk(std::function<void()> done, std::function<void(Document*, Node*)> make_control);
  // Runs `code` as a script of the page (a javascript: URL).
  void RunText(const std::string& code);
  // Window events the browser raises (load, unload, beforeunload).
  void FireWindowEvent(const char* type);
  // The handler property or attribute of `node`, then its attachEvent handlers.
  void FireHandlers(Node* node, const DomEvent& ev, IHTMLEventObj* event);
  // document.write text while a script of the walk runs: collected and inserted after
  // that script. False when no walk script runs (the write then replaces the document).
  bool CollectWrite(const std::string& text);

  // The Script dispatch (the window's IDispatch) for page globals: DISPIDs fixed per
  // document, DISP_E_UNKNOWNNAME for a name that is not a global.
  HRESULT GlobalId(const std::u16string& name, DISPID* id);
  bool IsGlobalId(DISPID id) const;
  HRESULT InvokeGlobal(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep);

  // Scripts stopped (the host's answer to a script error): timers cleared, handlers off.
  void Stop();
  // Teardown: timers cleared, pending loads dropped, the heap destroyed once no call
  // into it is in progress.
  void Close();

 private:
  Heap* heap_;
};

}  // namespace kv::browser
