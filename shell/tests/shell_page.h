// A stand-in main window for the shell's tests: the browser host tests' form with its
// browser component, recording what the external object and the configuration page ask
// of the window; and a fixture that announces it as the shell's window, hands the page a
// new external object whenever the browser asks, and loads file: pages from the fresh
// home, with a program directory of its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "browser_host/embedded_browser.h"
#include "browser_host/tests/browser_form.h"
#include "framework/controls/forms.h"
#include "platform/user/testing.h"
#include "shell/browser_to_host.h"
#include "shell/ini_config.h"
#include "shell/shell_window.h"

namespace shelltest {

class TTestShellWindow : public korvane::IShellWindow {
 public:
  TTestShellWindow(TForm& Form, TEmbeddedWB& Browser) : form_(Form), browser_(Browser) {}

  TCustomForm& Form() override { return form_; }
  TEmbeddedWB& Browser() override { return browser_; }
  int GetScreenWidth() override { return Screen->Width(); }
  int GetScreenHeight() override { return Screen->Height(); }
  // A code with a character other than a digit fails, as the window's own does.
  void WindowResize(int Width, int Height, const AnsiString& winState) override {
    Record("WindowResize " + std::to_string(Width) + " " + std::to_string(Height) + " " + winState);
    for (char c : winState)
      if (c < '0' || c > '9') throw EConvertError("'" + winState + "' is not a valid integer value");
  }
  void ApplicationExit() override { Record("ApplicationExit"); }
  void SetCloseHandler(const AnsiString& Name) override { Record("SetCloseHandler " + Name); }
  void SetNavigateErrorHandler(const AnsiString& Name) override { Record("SetNavigateErrorHandler " + Name); }
  void SetDocumentCompleteHandler(const AnsiString& Name) override { Record("SetDocumentCompleteHandler " + Name); }
  void ClearUrlHistory() override { Record("ClearUrlHistory"); }
  void ClearIECache() override { Record("ClearIECache"); }
  void SetConfigComplete(bool Complete) override { Record(Complete ? "SetConfigComplete 1" : "SetConfigComplete 0"); }

  std::vector<std::string> Calls;

 private:
  void Record(const std::string& call) { Calls.push_back(call); }
  TForm& form_;
  TEmbeddedWB& browser_;
};

class ShellPageTest : public BrowserOnForm<TEmbeddedWB> {
 protected:
  void SetUp() override {
    BrowserOnForm::SetUp();
    program_dir_ = home_ / "program/";
    std::filesystem::create_directories(program_dir_);
    TINIConfig::ResetModuleState(program_dir_);
    ComServer().SetTypeLib(&korvane::KorvaneTypeLib());
    window_ = std::make_unique<TTestShellWindow>(*form_, *wb_);
    wb_->OnGetExternal = [](TObject*, IDispatch*& external) { external = korvane::NewBrowserToHost(); };
    korvane::SetShellWindow(window_.get());
    form_->Show();
    KvMessageBoxLogClear();
    KvMessageBoxScriptClear();
  }
  void TearDown() override {
    korvane::SetShellWindow(nullptr);
    window_.reset();
    BrowserOnForm::TearDown();
    ComServer().SetTypeLib(nullptr);
    TINIConfig::ResetModuleState("");
  }
  TEmbeddedWB& Browser() { return *wb_; }
  TCustomForm& Form() { return *form_; }

  // Writes a UTF-8 page into the home and shows it; false when it did not complete.
  bool Show(const std::string& name, const std::string& body) {
    return wb_->Go(Page(name, "<html><head><meta charset=\"utf-8\"></head><body>" + body + "</body></html>"), 5000);
  }
  // The texts of the message boxes shown so far (UTF-8).
  static std::vector<std::string> MessageTexts() {
    std::vector<std::string> texts;
    for (DWORD i = 0; i < KvMessageBoxLogCount(); ++i) {
      KVMSGBOXRECORD record{};
      if (KvMessageBoxLogGet(i, &record)) texts.push_back(record.text);
    }
    return texts;
  }

  std::string program_dir_;
  std::unique_ptr<TTestShellWindow> window_;
};

}  // namespace shelltest
