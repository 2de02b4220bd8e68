// Korvane: the browser shell. One copy per user logon ("OnlyOne"), the main window and
// the three download windows in that order, the message loop, then every module's
// shut-down in the reverse order of its start.
#include <vector>

#include "browser_host/browser_fixes.h"
#include "download/download_forms.h"
#include "framework/automation/comobj.h"
#include "framework/controls/forms.h"
#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/sync.h"
#include "shell/browser_to_host.h"
#include "shell/main_form.h"
#include "shell/texts.h"
#include "skin/skin_manager.h"

namespace {

TMainForm* MainForm = nullptr;

void ShowBox(const char* text, const char* caption) {
  MessageBoxA(nullptr, kv::Utf8ToAnsi(text).c_str(), kv::Utf8ToAnsi(caption).c_str(), MB_ICONINFORMATION);
}

// The single instance, the windows and the loop; the process's exit code.
int RunShell() {
  HANDLE only_one = CreateMutexA(nullptr, FALSE, "OnlyOne");
  if (!only_one) {
    ShowBox(shell_texts::kMutexFailed, shell_texts::kErrorCaption);
    return 0;
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    ShowBox(shell_texts::kAlreadyRunning, shell_texts::kCloseCaption);
    CloseHandle(only_one);
    return 0;
  }
  Application->SetTitle(kv::Utf8ToAnsi(shell_texts::kProductTitle));
  Application->CreateForm(MainForm);
  CreateDownloadWindows(Application);
  Application->Run();
  CloseHandle(only_one);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Module start-up in link order: the browser suite (floating-point control word, OLE,
  // the wheel and focus fixes); the skin engine binds its optional entries with its first
  // skin component.
  StartBrowserSuite();

  // The page's external object: its type library ("Korvane", registered by the switch
  // handling below) and its class factory, for this process only.
  ComServer().SetTypeLib(&korvane::KorvaneTypeLib());
  korvane::RegisterBrowserToHostFactory();

  // The automation server's switches: REGSERVER and UNREGSERVER register or remove the
  // type library and end the program; otherwise it is registered anew at every start.
  std::vector<AnsiString> params(argv + 1, argv + argc);
  int code = 0;
  if (ComServer().Initialize(params)) {
    Application->Initialize();
    code = RunShell();
  }

  // Shut-down in reverse: the forms (the main window detaches its DOM listener), the
  // skin engine (hook removed, forms unskinned), the browser suite.
  Application->Finalize();
  TSkinManage::Shutdown();
  StopBrowserSuite();
  return code;
}
