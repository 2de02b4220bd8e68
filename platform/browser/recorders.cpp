// Recorders of events and host calls, and the DOM dump.
#include "platform/browser/recorders.h"

#include <cstdio>

#include "platform/base/codepage.h"
#include "platform/base/internal.h"
#include "platform/base/trace.h"
#include "platform/browser/element.h"
#include "platform/registry/registry.h"

namespace kv::browser {
namespace {

using Log = kv::base::Recorder;

Log& Events() {
  static auto* log = new Log("browser", "event");  // never destroyed: controls may fire during exit
  return *log;
}
Log& HostCalls() {
  static auto* log = new Log("browser", "host");
  return *log;
}
Log& Sounds() {
  static auto* log = new Log("browser", "sound");
  return *log;
}

}  // namespace

const char* EventName(DISPID id) {
  switch (id) {
    case 102: return "StatusTextChange";
    case 104: return "DownloadComplete";
    case 105: return "CommandStateChange";
    case 106: return "DownloadBegin";
    case 108: return "ProgressChange";
    case 113: return "TitleChange";
    case 250: return "BeforeNavigate2";
    case 251: return "NewWindow2";
    case 252: return "NavigateComplete2";
    case 253: return "OnQuit";
    case 254: return "OnVisible";
    case 255: return "OnToolBar";
    case 256: return "OnMenuBar";
    case 257: return "OnStatusBar";
    case 258: return "OnFullScreen";
    case 259: return "DocumentComplete";
    case 260: return "OnTheaterMode";
    case 261: return "OnAddressBar";
    case 262: return "WindowSetResizable";
    case 263: return "WindowClosing";
    case 264: return "WindowSetLeft";
    case 265: return "WindowSetTop";
    case 266: return "WindowSetWidth";
    case 267: return "WindowSetHeight";
    case 270: return "FileDownload";
    case 271: return "NavigateError";
    case 273: return "NewWindow3";
    default: return nullptr;
  }
}

namespace {

std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Text(const VARIANT& arg, IDispatch* top) {
  const VARIANT* v = &arg;
  if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
  char buf[32];
  switch (v->vt) {
    case VT_EMPTY: return "empty";
    case VT_NULL: return "null";
    case VT_BSTR: return Quoted(kv::WideToUtf8(kv::BstrText(v->bstrVal)));
    case VT_BOOL: return v->boolVal ? "true" : "false";
    case VT_BYREF | VT_BOOL: return *v->pboolVal ? "true" : "false";
    case VT_I4:
      if (v->lVal < 0) {
        std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(v->lVal));
        return buf;
      }
      return std::to_string(v->lVal);
    case VT_DISPATCH: return !v->pdispVal ? "null" : v->pdispVal == top ? "top" : "frame";
    case VT_ARRAY | VT_UI1: return "bytes(" + std::to_string(v->parray ? v->parray->rgsabound[0].cElements : 0) + ")";
    default: std::snprintf(buf, sizeof buf, "vt%u", static_cast<unsigned>(v->vt)); return buf;
  }
}

void Dump(const Node* n, int depth, std::string* out) {
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  if (n->kind == Node::kText) {
    std::string t;
    for (char c : n->text) {
      bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n';
      if (space && (t.empty() || t.back() == ' ')) continue;
      t += space ? ' ' : c;
    }
    while (!t.empty() && t.back() == ' ') t.pop_back();
    if (!t.empty()) *out += indent + Quoted(t) + "\n";
    return;
  }
  if (n->kind == Node::kComment) return;
  if (n->kind == Node::kElement) {
    std::string line = indent + n->tag;
    if (const std::string* id = n->Attr("id")) line += "#" + *id;
    if (const std::string* name = n->Attr("name")) line += " name=" + Quoted(*name);
    if (n->IsElement("input")) {
      std::string type = n->InputType();
      line += " type=" + type;
      if (type == "checkbox" || type == "radio") {
        line += n->checked ? " checked" : " unchecked";
      } else {
        line += " value=" + Quoted(n->value);
      }
    } else if (n->IsElement("textarea")) {
      line += " value=" + Quoted(n->value);
    } else if (n->IsElement("select")) {
      line += " selected=" + std::to_string(n->selected);
    }
    if (n->Hidden()) line += " hidden";
    *out += line + "\n";
    if (n->IsElement("textarea")) return;  // its text is its value
    if (n->frame_root) Dump(n->frame_root, depth + 1, out);
  }
  for (const auto& c : n->children) Dump(c.get(), n->kind == Node::kDocument ? depth : depth + 1, out);
}

}  // namespace

void RecordEvent(DISPID id, const std::vector<VARIANT>& args, IDispatch* top) {
  const char* name = EventName(id);
  std::string line = name ? name : "Event" + std::to_string(id);
  line += "(";
  for (size_t i = 0; i < args.size(); ++i) line += (i ? ", " : "") + Text(args[i], top);
  Events().Add(line + ")");
}

void NavigationSound(const std::string& url) {
  if (CoInternetIsFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS, GET_FEATURE_FROM_PROCESS) == S_OK) return;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, u"AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current", 0, KEY_READ,
                    &key) != ERROR_SUCCESS)
    return;
  RegCloseKey(key);
  Sounds().Add("navigating " + url);
}

void RecordHostCall(const std::string& call, HRESULT answer) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(answer));
  HostCalls().Add(call + " -> " + hex);
}

}  // namespace kv::browser

extern "C" {

DWORD KvBrowserEventLog(char* buffer, DWORD size) { return kv::browser::Events().Copy(buffer, size); }
void KvBrowserEventLogClear(void) { kv::browser::Events().Clear(); }
DWORD KvBrowserHostCallLog(char* buffer, DWORD size) { return kv::browser::HostCalls().Copy(buffer, size); }
void KvBrowserHostCallLogClear(void) { kv::browser::HostCalls().Clear(); }

DWORD KvBrowserSoundLog(char* buffer, DWORD size) { return kv::browser::Sounds().Copy(buffer, size); }
void KvBrowserSoundLogClear(void) { kv::browser::Sounds().Clear(); }
const char* KvBrowserEventName(DISPID id) { return kv::browser::EventName(id); }

DWORD KvBrowserDomDump(IUnknown* document, char* buffer, DWORD size) {
  std::string out;
  IHTMLDocument3* d3 = nullptr;
  if (document && SUCCEEDED(document->QueryInterface(IID_IHTMLDocument3, reinterpret_cast<void**>(&d3))) && d3) {
    IHTMLElement* root = nullptr;
    d3->get_documentElement(&root);
    d3->Release();
    kv::browser::Element* self = nullptr;
    if (root && SUCCEEDED(root->QueryInterface(kv::browser::IID_KvBrowserElement, reinterpret_cast<void**>(&self))) &&
        self) {
      kv::browser::Dump(self->GetNode(), 0, &out);
      self->Release();
    }
    if (root) root->Release();
  }
  return kv::base::CopyOut(out, buffer, size);
}

}  // extern "C"
