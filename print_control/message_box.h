// The print control's message boxes: plain boxes through the platform, which records
// them (tests and hosts read the record) and shows them when a program runs interactively.
#pragma once

#include <vector>

#include "framework/core/sysutils.h"

namespace zorbel {

void ShowMessageBox(const WideString& text);

// The text of every box shown since the last clear, oldest first.
std::vector<WideString> MessageBoxLog();
void ClearMessageBoxLog();

}  // namespace zorbel
