// The start and end of a skin test: a fresh window system on the virtual clock with the
// built-in skin active, and everything the skin manager made gone again.
#pragma once

#include "framework/controls/forms.h"
#include "platform/base/time.h"
#include "platform/user/testing.h"
#include "skin/skin_data.h"
#include "skin/skin_manager.h"

namespace skintest {

// The active built-in skin, or nullptr when it does not load.
inline TSkinData* StartSkinnedDesktop() {
  Application->ResetState();
  KvUserReset();
  KvClockSetVirtual(TRUE);
  auto* data = new TSkinData(nullptr);
  if (!data->SetSkinBytes(DefaultSkinData(), DefaultSkinSize())) {
    delete data;
    return nullptr;
  }
  data->SetActive(true);
  data->Loaded();
  return data;
}

// Call after the test's own windows and forms are gone.
inline void EndSkinnedDesktop(TSkinData* data) {
  delete data;
  TSkinManage::Shutdown();
  Application->ResetState();
  KvUserReset();
  KvClockSetVirtual(FALSE);
}

}  // namespace skintest
