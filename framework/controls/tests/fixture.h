// The fixture of the controls' tests on the virtual clock: each test starts with a fresh
// application and window system, and leaves them fresh.
#pragma once

#include <gtest/gtest.h>

#include "framework/controls/forms.h"
#include "platform/base/time.h"
#include "platform/user/testing.h"

namespace kvtest {

class FreshUiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->ResetState();
    KvUserReset();
    KvClockSetVirtual(TRUE);
  }
  void TearDown() override {
    Application->ResetState();
    KvUserReset();
    KvClockSetVirtual(FALSE);
  }
};

}  // namespace kvtest
