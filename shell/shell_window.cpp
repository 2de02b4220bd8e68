#include "shell/shell_window.h"

namespace korvane {

namespace {
IShellWindow* g_shell_window = nullptr;
}

IShellWindow* ShellWindow() { return g_shell_window; }
void SetShellWindow(IShellWindow* Window) { g_shell_window = Window; }

IShellWindow& RequireShellWindow() {
  if (!g_shell_window) throw EShellWindowMissing("The program's main window is not there");
  return *g_shell_window;
}

}  // namespace korvane
