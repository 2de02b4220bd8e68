// The browser's recorders of the test-facing side: the events fired (with by-reference
// arguments as the sinks left them) and the calls made on the host with their answers,
// each line also traced live under KORVANE_TRACE=1; and a dump of a document's tree with
// its form values.
#pragma once

#include <string>
#include <vector>

#include "platform/browser/browser.h"

namespace kv::browser {

// The name of a DWebBrowserEvents2 event, null for another DISPID.
const char* EventName(DISPID id);
// An event after its sinks returned: "BeforeNavigate2(top, "url", 0, "", bytes(3), "", false)".
// `top` is the control itself (a pDisp equal to it is written "top", another object "frame").
void RecordEvent(DISPID id, const std::vector<VARIANT>& args, IDispatch* top);
// A navigation starts: its sound plays (is recorded, "navigating <url>") while the user's
// "Navigating" sound is set and the process has not turned navigation sounds off.
void NavigationSound(const std::string& url);
// A call on the host and its answer: "GetHostInfo -> 0x00000000".
void RecordHostCall(const std::string& call, HRESULT answer);
// Records and passes the answer on.
inline HRESULT Noted(const std::string& call, HRESULT answer) {
  RecordHostCall(call, answer);
  return answer;
}

}  // namespace kv::browser
