// Tools of the browser suite: system version test, document detection, the cookie,
// page snapshots (Windows bitmap and JPEG), shell explore, favourites, the restricted
// zone, the process proxy, the navigation sound, calling a page's script function by
// name, the browser's version and the document-complete notice. None keeps state
// between calls.
#pragma once

#include <vector>

#include "framework/automation/olevariant.h"
#include "framework/core/sysutils.h"
#include "platform/browser/browser.h"

bool IsVersion51SP2OrLater();
// Obj answers IHTMLDocument2.
bool HasHtmlDocument(IUnknown* Obj);
// Posts WM_USER + 1 (1025) without parameters to the calling thread's queue when the
// document's ready state (-525, read through its dispatch interface) is 4 (complete).
void PostWhenDocumentComplete(IDispatch* Document);
// "Document" of the browser's automation object, and from that document "Cookie"
// (empty when there is none; failures of the second step are swallowed).
void GetCookieByDispatch(const OleVariant& Browser, AnsiString& Cookie);

// The document's view (content aspect, no target device) drawn into a Width by Height
// bitmap saved as a Windows bitmap file; false without a document or a view object, or
// on any failure.
bool SaveViewAsBitmap(IUnknown* Document, int Width, int Height, const AnsiString& FileName);
// The browser's view drawn at SourceWidth by SourceHeight, stretched to ThumbWidth by
// ThumbHeight and saved as a JPEG file; false on any failure.
bool SaveViewAsJpeg(IWebBrowser2* Browser, const AnsiString& FileName, int ThumbWidth, int ThumbHeight,
                    int SourceWidth, int SourceHeight);

// Opens Path in the shell's folder view ("explore").
void ShellExplore(HWND OwnerWnd, const AnsiString& Path);
// The shell UI helper's AddFavorite; nothing for a blank URL or title, errors swallowed.
void AddFavoriteEntry(const AnsiString& URL, const AnsiString& Title);
// Writes "*" = 4 (restricted) under ZoneMap\Domains\<the URL after "://", without a
// leading "www.">, as a DWORD; errors swallowed.
void AddHostToRestrictedZone(const AnsiString& URL);

// The process proxy through the internet layer (flags direct and proxy, the server,
// bypass "<local>", then a refresh); true when both options were set.
bool SetProcessProxy(const AnsiString& Agent, const AnsiString& Server);
// The same with Address alone as server, after a connection to Address:Port with the
// credentials opened.
bool SetProcessProxyWithLogin(const AnsiString& Agent, const AnsiString& Address, int Port,
                              const AnsiString& UserName, const AnsiString& Password);
// The same with an empty server (direct); true when the internet handle opened.
bool ResetProcessProxy();

// Off renames HKCU "AppEvents\Schemes\Apps\Explorer\Navigating\.Current" to
// "Old_Current"; on renames it back.
void SwitchNavigationSound(bool Off);
// The navigation sound off or back on: through SwitchNavigationSound for a browser
// below major version 7 (or an unreadable version), else browser feature 21.
void DisableNavigationSound(bool Off);

// Calls the script function Name with Args (given in their natural order, handed over
// reversed as the dispatch protocol expects); Result starts as False. Raises Exception
// "This object does not support this method", "Unsupported type for Parameter with
// Index %d" (counted from the last argument) or "Method call unsuccessful. %s (%s).".
void CallScriptFunction(IDispatch* Script, const AnsiString& Name, const std::vector<TVarRec>& Args,
                        OleVariant& Result);

// The browser's file version ("6.00.2900.2180"); empty without a version resource.
AnsiString GetBrowserFileVersion();
// The text in front of the first "." of the file version.
AnsiString GetBrowserMajorVersion();
