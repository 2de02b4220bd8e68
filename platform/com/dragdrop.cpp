// The drop targets windows are registered with.
#include <map>
#include <mutex>
#include <vector>

#include "platform/com/oleidl.h"

namespace {

struct Targets {
  std::mutex lock;
  std::map<HWND, IDropTarget*> by_window;
};

Targets& TheTargets() {
  static auto* t = new Targets;  // never destroyed: windows may go during exit
  return *t;
}

// Forgets the targets of windows that no longer exist; the caller releases them.
void Sweep(Targets& t, std::vector<IDropTarget*>& gone) {
  for (auto it = t.by_window.begin(); it != t.by_window.end();) {
    if (IsWindow(it->first)) {
      ++it;
      continue;
    }
    gone.push_back(it->second);
    it = t.by_window.erase(it);
  }
}

}  // namespace

extern "C" {

HRESULT RegisterDragDrop(HWND hwnd, IDropTarget* target) {
  if (!target) return E_INVALIDARG;
  if (!IsWindow(hwnd)) return DRAGDROP_E_INVALIDHWND;
  std::vector<IDropTarget*> gone;
  HRESULT hr = S_OK;
  {
    Targets& t = TheTargets();
    std::lock_guard<std::mutex> guard(t.lock);
    Sweep(t, gone);
    if (t.by_window.count(hwnd)) {
      hr = DRAGDROP_E_ALREADYREGISTERED;
    } else {
      target->AddRef();
      t.by_window[hwnd] = target;
    }
  }
  for (IDropTarget* g : gone) g->Release();
  return hr;
}

HRESULT RevokeDragDrop(HWND hwnd) {
  IDropTarget* target = nullptr;
  {
    Targets& t = TheTargets();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.by_window.find(hwnd);
    if (it == t.by_window.end()) return DRAGDROP_E_NOTREGISTERED;
    target = it->second;
    t.by_window.erase(it);
  }
  target->Release();
  return S_OK;
}

IDropTarget* KvDropTargetOf(HWND hwnd) {
  Targets& t = TheTargets();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.by_window.find(hwnd);
  return it == t.by_window.end() ? nullptr : it->second;
}

}  // extern "C"
