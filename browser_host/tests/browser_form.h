// A framework form with a browser component of type T (400 by 300) for the browser host's
// tests, in a fresh KORVANE_HOME and registry, on the virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "framework/controls/forms.h"
#include "platform/base/time.h"
#include "platform/registry/registry.h"
#include "platform/user/testing.h"
#include "testsupport/temp_home.h"

template <class T>
class BrowserOnForm : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->ResetState();
    KvRegistryReload();
    KvClockSetVirtual(TRUE);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    form_ = new TForm(nullptr);
    form_->SetBounds(0, 0, 420, 340);
    wb_ = new T(form_);
    wb_->SetParent(form_);
    wb_->SetBounds(0, 0, 400, 300);
  }
  void TearDown() override {
    delete form_;
    Pump();
    CoUninitialize();
    Application->ResetState();
    KvClockSetVirtual(FALSE);
    KvRegistryReload();
  }
  static void Pump() {
    while (KvPumpMessages() > 0) {
    }
  }
  // Writes a page into the test's home; its path.
  std::string Page(const std::string& name, const std::string& html) {
    std::string path = home_.path() + "/" + name;
    std::ofstream(path) << html;
    return path;
  }

  kvtest::TempHome home_;
  TForm* form_ = nullptr;
  T* wb_ = nullptr;
};
