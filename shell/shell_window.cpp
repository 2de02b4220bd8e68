#include "shell/shell_window.h"

namespace korvane {

namespace {
IShellWindow* g_shell_window = nullptr;
}

IShellWindow* ShellWindow() { return g_shell_window; }
void SetShellWindow(IShellWindow* Window) { g_shell_window = Window; }

}  // namespace korvane
