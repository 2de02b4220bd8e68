// The built-in "user32.dll": the entries programs bind by name, some of which a test can
// take away (as older systems lack them).
#include <cstring>
#include <vector>

#include "platform/base/module.h"
#include "platform/user/internal.h"

using namespace kv::user;

namespace {

BOOL DisableProcessWindowsGhostingImpl() { return TRUE; }

const char* const kOptional[] = {"GetScrollBarInfo", "TrackMouseEvent", "GetComboBoxInfo",
                                 "DisableProcessWindowsGhosting"};
bool gPresent[4] = {true, true, true, true};

std::vector<KvExport>& AllExports();
KvExport gCurrent[256];

void Publish() {
  size_t n = 0;
  for (const KvExport& e : AllExports()) {
    bool skip = false;
    for (int i = 0; i < 4; ++i)
      if (!gPresent[i] && std::strcmp(e.name, kOptional[i]) == 0) skip = true;
    if (!skip && n < 256) gCurrent[n++] = e;
  }
  KvRegisterBuiltinModule("user32.dll", gCurrent, n);
}

}  // namespace

extern "C" {
void DisableProcessWindowsGhosting(void) { DisableProcessWindowsGhostingImpl(); }
}

namespace {

#define KV_EXPORT(fn) \
  KvExport { #fn, reinterpret_cast < void*>(&fn) }
std::vector<KvExport>& AllExports() {
  static std::vector<KvExport> all = {
      KV_EXPORT(GetScrollBarInfo),
      KV_EXPORT(TrackMouseEvent),
      KV_EXPORT(GetComboBoxInfo),
      KV_EXPORT(DisableProcessWindowsGhosting),
      KV_EXPORT(SetWindowsHookExA),
      KV_EXPORT(SetWindowsHookExW),
      KV_EXPORT(UnhookWindowsHookEx),
      KV_EXPORT(CallNextHookEx),
      KV_EXPORT(SendMessageA),
      KV_EXPORT(SendMessageW),
      KV_EXPORT(PostMessageA),
      KV_EXPORT(PostMessageW),
      KV_EXPORT(GetSystemMetrics),
      KV_EXPORT(MessageBoxA),
      KV_EXPORT(MessageBoxW),
      KV_EXPORT(GetWindowLongA),
      KV_EXPORT(GetWindowLongW),
      KV_EXPORT(SetWindowLongA),
      KV_EXPORT(SetWindowLongW),
      KV_EXPORT(CallWindowProcA),
      KV_EXPORT(CallWindowProcW),
      KV_EXPORT(DefWindowProcA),
      KV_EXPORT(DefWindowProcW),
      KV_EXPORT(SetWindowRgn),
      KV_EXPORT(GetWindowRgn),
      KV_EXPORT(GetSysColor),
      KV_EXPORT(GetSysColorBrush),
      KV_EXPORT(SystemParametersInfoA),
      KV_EXPORT(SystemParametersInfoW),
      KV_EXPORT(RedrawWindow),
      KV_EXPORT(GetDCEx),
      KV_EXPORT(ReleaseDC),
      KV_EXPORT(GetWindowDC),
      KV_EXPORT(GetDC),
      KV_EXPORT(IsWindowUnicode),
      KV_EXPORT(GetVersion),
  };
  return all;
}

struct Init {
  Init() {
    RegisterControls();
    Publish();
  }
} gInit;

}  // namespace

namespace kv::user {

void ResetBuiltinModule() {
  for (int i = 0; i < 4; ++i) gPresent[i] = true;
  Publish();
}

}  // namespace kv::user

extern "C" {

BOOL KvUserSetOptionalEntry(const char* name, BOOL present) {
  if (!name) return FALSE;
  for (int i = 0; i < 4; ++i)
    if (std::strcmp(name, kOptional[i]) == 0) {
      gPresent[i] = present != FALSE;
      Publish();
      return TRUE;
    }
  return FALSE;
}

}  // extern "C"
