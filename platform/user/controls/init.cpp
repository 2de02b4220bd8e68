// Registration of the control classes at start-up, and InitCommonControls(Ex).
#include "platform/base/error.h"
#include "platform/user/controls/internal.h"

namespace kv::user {
namespace {

struct Registrar {
  Registrar() {
    RegisterDialogClass();
    RegisterToolbarClass();
    RegisterHeaderClass();
    RegisterListViewClass();
  }
} gRegistrar;

}  // namespace
}  // namespace kv::user

extern "C" {

void InitCommonControls(void) {}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* icc) {
  if (!icc || icc->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
