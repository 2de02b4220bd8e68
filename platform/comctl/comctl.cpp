// Registration of the common control classes at start-up, and InitCommonControls(Ex).
#include "platform/base/error.h"
#include "platform/comctl/internal.h"

namespace kv::comctl {
namespace {

struct Registrar {
  Registrar() {
    RegisterStatusBarClass();
    RegisterProgressClass();
    RegisterToolbarClass();
    RegisterHeaderClass();
    RegisterListViewClass();
    RegisterTabClass();
    RegisterTrackBarClass();
    RegisterUpDownClass();
    RegisterMonthCalClass();
    RegisterDateTimePickClass();
    RegisterComboBoxExClass();
  }
} gRegistrar;

}  // namespace
}  // namespace kv::comctl

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
