// The print control's message boxes.
//
// The window system is not part of this build yet, so a box is shown on the terminal
// (stderr, UTF-8) and kept in a record that hosts and tests read. When the platform's
// message boxes exist, ShowMessageBox becomes a plain box with the application's title.
#pragma once

#include <string>
#include <vector>

#include "framework/core/sysutils.h"

namespace zorbel {

void ShowMessageBox(const WideString& text);

// Every box shown since the last clear, oldest first.
std::vector<WideString> MessageBoxLog();
void ClearMessageBoxLog();

}  // namespace zorbel
