// State the sources of the controls share. Controls live on the one GUI thread, so it is
// plain module data.
#pragma once

#include "framework/controls/controls.h"

namespace controls_internal {

// The control whose window is being made: the first message of the new window binds it.
extern TWinControl* creating_control;

// A graphic control holding the mouse (its parent's window has the capture): it gets the
// parent's mouse messages wherever the pointer is until the button comes up.
extern TControl* capture_control;

// Notes a window class this module registered: it is unregistered when the module goes, so
// no class of the window system names a procedure of unloaded code.
void NoteClass(const char* name);

inline int MouseX(LPARAM lp) { return GET_X_LPARAM(lp); }
inline int MouseY(LPARAM lp) { return GET_Y_LPARAM(lp); }

}  // namespace controls_internal
