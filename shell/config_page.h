// The local configuration page: the shell, not the page, saves its form. The main
// window's DOM listener hands its click and key-press events here.
//
// The page's form is named "_CONFIG_FORM" and its save button (an INPUT of type submit
// or button) "_CONFIG_SAVE_BUTTON"; each INPUT of type text, radio or checkbox, SELECT
// and TEXTAREA of the form is saved under its name in section "general" of the
// configuration file (radio and check boxes as "checked" or "unchecked"), empty values
// left out.
#pragma once

#include "platform/browser/browser.h"

class TEmbeddedWB;

namespace korvane {

// A click on the save button saves the form, then checks the configuration: complete,
// the application is told to terminate; incomplete, the clerk is told so and the page
// stays. Other clicks do nothing. Errors of the document calls reach the caller.
void ConfigPageClick(IHTMLEventObj* Event);

// Writes the configuration form of the browser's document and says whether that
// worked; a page without the form or without fields is reported and nothing written.
void SaveConfigForm(TEmbeddedWB& Browser);

// A key press on an INPUT of type "submit" submits its form. Errors are swallowed.
void ConfigPageKeyPress(IHTMLEventObj* Event);

}  // namespace korvane
