// What the page's external object and the configuration page ask of the shell's one main
// window. The main form implements it and announces itself with SetShellWindow as it is
// created; tests put a window of their own in its place.
#pragma once

#include "framework/core/exception.h"
#include "framework/core/strings.h"

class TCustomForm;
class TEmbeddedWB;

namespace korvane {

class IShellWindow {
 public:
  virtual ~IShellWindow() = default;

  // The form the members move, size and retitle.
  virtual TCustomForm& Form() = 0;
  // The browser component filling the form.
  virtual TEmbeddedWB& Browser() = 0;

  virtual int GetScreenWidth() = 0;
  virtual int GetScreenHeight() = 0;
  // Applies the six-digit window code digit by digit; a digit that does not convert
  // raises with the earlier digits' settings applied.
  virtual void WindowResize(int Width, int Height, const AnsiString& winState) = 0;
  // Clears the URL history and tells the application to terminate, without the close query.
  virtual void ApplicationExit() = 0;

  // Names of the current page's script functions the window calls back ("" clears).
  virtual void SetCloseHandler(const AnsiString& Name) = 0;
  virtual void SetNavigateErrorHandler(const AnsiString& Name) = 0;
  virtual void SetDocumentCompleteHandler(const AnsiString& Name) = 0;

  virtual void ClearUrlHistory() = 0;
  virtual void ClearIECache() = 0;

  // The result of the configuration check, set again after the configuration page saves.
  virtual void SetConfigComplete(bool Complete) = 0;
};

// The window the external object and the configuration page act on; nullptr before the
// main form exists and after it is gone.
IShellWindow* ShellWindow();
void SetShellWindow(IShellWindow* Window);

KV_EXCEPTION(EShellWindowMissing, Exception);
// The window, for callers that cannot act without it: raises EShellWindowMissing when
// there is none.
IShellWindow& RequireShellWindow();

}  // namespace korvane
