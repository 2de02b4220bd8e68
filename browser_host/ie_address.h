// TIEAddress: the address combo for a TEmbeddedWB. Its list holds the user's typed URLs
// from the registry; Enter, or a choice from the list, sends the linked browser to the
// text, which is normalised, written back to the typed-URL list and replaced by the
// browser's address (or title) once the page is complete; an https address gets the
// secure-site colour. With the list open, Enter takes the selected item, Down and Up
// move through the list and Escape or Alt with an arrow closes it; a click on an item
// takes that item (a double click in a simple combo's list too) and typing closes the
// list. While the list is open a click does not activate the combo: its form is brought
// to the top and activated instead. The drop-down button is painted in the theme's
// colours; the shell's icon of the text (or the application's, with UseAppIcon) is drawn
// in front of the edit field and each item's in front of it in the owner-drawn list.
// Auto-completion is set up on the edit field whenever the window is made: the shell's
// auto-complete (AutoComplete1, or a shell of version 4.72 or lower) or the auto-complete
// object over the URL history source with AutoComplete2Options. With ShowFavicon the
// site's favicon.ico is fetched after a commit and drawn for web addresses of that site.
#pragma once

#include <map>

#include "browser_host/embedded_browser.h"
#include "framework/controls/stdctrls.h"
#include "platform/user/shell_autocomplete.h"

enum TTextOnLoad { tlIELastVisited, tlIEHomePage, tlBlank, tlUserDefine };
enum TTextAfterNav { anLocationUrl, anLocationName };
enum TGUI { gsCombobox, gsThemes };
enum TThemes { tmNone, tmXP, tmSilver, tmSoil };
enum TAComp { AutoComplete1, AutoComplete2 };
enum TAutoCompleteOption { acAutoSuggest, acAutoAppend, acFileSystem, acUrlHistory, acUrlMRU, acUrlAll, acUseTab };
using TAutoCompleteOptions = Set<TAutoCompleteOption, acAutoSuggest, acUseTab>;
enum TAutoComplete2Option {
  acoNone,
  acoAutoSuggest,
  acoAutoAppend,
  acoSearch,
  acoFilterPrefix,
  acoUseTab,
  acoUpDownKeyDropList,
  acoRtlReading,
  acoWordFilter,
  acoNoPrefixFiltering
};
using TAutoComplete2Options = Set<TAutoComplete2Option, acoNone, acoNoPrefixFiltering>;
enum TAutoComplete2SourceItem { acsList, acsHistory, acsMRU, acsShell };
using TAutoComplete2Source = Set<TAutoComplete2SourceItem, acsList, acsShell>;

using TOnUpdateRegistryEvent = std::function<void(TObject* Sender, const WideString& Url, bool& Cancel)>;
using TOnUpdateTextEvent =
    std::function<void(TObject* Sender, const WideString& OldUrl, const WideString& NewUrl, bool& Cancel)>;
using TOnUrlSelectedEvent = std::function<void(TObject* Sender, const WideString& Url, bool& Cancel)>;
using TOnGetIconEvent = std::function<void(TObject* Sender, const AnsiString& Ext, HICON Icon)>;
// Asked before the download (Icon null) and with the downloaded icon, which the handler
// may replace (the combo destroys the one it ends with).
using TOnGetFaviconEvent = std::function<void(TObject* Sender, const WideString& Favicon, const WideString& SiteUrl,
                                              bool& Cancel, HICON& Icon)>;
// The application's icon offered for a web address; the handler may change it or cancel.
using TOnGetAppIconEvent = std::function<void(TObject* Sender, bool& Cancel, HICON& Icon)>;

// The longest a text update waits for the linked browser's page (milliseconds).
constexpr DWORD kAddressPageWait = 30000;

// A value 0xFF0000nn of the theme table as the framework's system colour nn.
TColor ThemeColor(DWORD Value);
// "http://" or "https://" and the host of a page URL, then "favicon.ico"; empty when
// the text has no host.
AnsiString FaviconAddress(const AnsiString& Url);
// The shell's version from "Shlwapi.dll"'s DllGetVersion (4.72 for 4.72); 0 without it.
double ShellVersion();
// The auto-complete object's option flags of a set of AutoComplete2Options.
DWORD AutoComplete2Flags(TAutoComplete2Options Options);
// The shell auto-complete flags of a set of AutoCompleteOptions.
DWORD ShellAutoCompleteFlags(TAutoCompleteOptions Options);
// A "/" is appended when the last "/" comes after the last "." (a folder path).
AnsiString NormalisedAddress(const AnsiString& Text);
// The shell's small icon for an address (a new icon the caller destroys): an existing
// file, or a "file://" text, that file's by its attributes; an existing folder a
// folder's; a text ending in one of the document extensions (.xml .txt .doc .bmp .zip
// .rar .jpg .gif .jpeg) that extension's; anything else a web page's ("*.htm"), with
// *Ext set to "htm". Special-folder names have no folder here and count as any text.
HICON AddressIcon(const AnsiString& Text, AnsiString* Ext);

class TCustomIEAddress : public TComboBox {
 public:
  explicit TCustomIEAddress(TComponent* AOwner);
  ~TCustomIEAddress() override;
  KV_CLASS_NAME(TCustomIEAddress)

  TEmbeddedWB* LinkedBrowser = nullptr;
  bool AutoNavigateOnDblClk = true, AutoNavigateOnEnterKey = true, AutoNavigateOnLoad = true,
       AutoNavigateOnSelected = true;
  TGUI GUI = gsThemes;
  TThemes Themes = tmNone;
  TColor ArrowColor = 0, BorderColor = 0, ButtonColor = clBtnFace, ButtonPressedColor = clBtnFace;
  TColor HintColor = clInfoBk, SecureSiteBG = clInfoBk;
  int IconLeft = 4, IconTop = 3;
  bool ShowSiteToolTip = true;
  TTextOnLoad TextOnLoad = tlIEHomePage;
  WideString TextOnShow;
  TTextAfterNav TextAfterNav = anLocationUrl;
  bool UpdateTextAfterNav = true;
  bool UseSecureSiteBGColor = true;
  // Fetches the site's icon into the user's cache folder after each commit and on load;
  // a fetched icon is drawn for web addresses of that site while the list is closed.
  bool ShowFavicon = false;
  TOnGetFaviconEvent OnGetFavicon;
  TOnUpdateRegistryEvent OnUpdateRegistry;
  TOnUpdateTextEvent OnUpdateText;
  TOnUrlSelectedEvent OnUrlSelected;
  // Raised when the text takes the web page's icon.
  TOnGetIconEvent OnGetIcon;
  // A web address shows the application's icon instead of the web page's.
  bool UseAppIcon = false;
  TOnGetAppIconEvent OnGetAppIcon;

  bool Flat() const { return flat_; }
  // A flat combo has no 3-D edge (nor has one with the themes) and no border.
  void SetFlat(bool Value);
  bool HasBorder() const { return has_border_; }
  // The theme's border in BorderColor.
  void SetHasBorder(bool Value);
  TAComp AutoCompleteVersion() const { return ac_version_; }
  void SetAutoCompleteVersion(TAComp Value) { ac_version_ = Value; }
  TAutoCompleteOptions AutoCompleteOptions() const { return ac_options_; }
  // Re-applies the shell's auto-complete when changed with AutoComplete1.
  void SetAutoCompleteOptions(TAutoCompleteOptions Value);
  TAutoComplete2Options AutoComplete2Options() const { return ac2_options_; }
  // Given to the live auto-complete object at once.
  void SetAutoComplete2Options(TAutoComplete2Options Value);
  TAutoComplete2Source AutoComplete2Source() const { return ac2_source_; }
  // Re-creates the window when changed.
  void SetAutoComplete2Source(TAutoComplete2Source Value);
  // The edit field's auto-complete object (null without one).
  IAutoComplete2* AutoCompleter() const { return auto_complete_; }
  bool HasDropDown() const { return has_drop_down_; }
  // Without the drop-down button its area is cut away from the window.
  void SetHasDropDown(bool Value);
  // The icon drawn for a text (kept by the combo; null when there is none).
  HICON IconOf(const AnsiString& Text);

  void DeleteSelected();
  void Commit();
  void LoadTypedUrls();
  void SaveTypedUrls();
  void Loaded() override;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  // An item of the list: its icon, then its text.
  void DrawItem(int Index, const TRect& Rect, TOwnerDrawState State) override;
  // Paints the drop-down button per theme and the text's icon over the combo's own
  // painting, and keeps the edit field clear of the icon area.
  void WndProc(TMessage& Message) override;

 private:
  // Enter with the list open: the selected item goes to the top and becomes the text.
  void ChooseFromList();
  // A click on an item of the open list (the list closed with the cursor over it).
  bool CursorOverList();
  void ListItemClicked();
  // A double click on an item of a simple combo's list, which stays up for it.
  void ListItemDoubleClicked();
  void PaintThemeAndIcon(HDC DC);
  void PaintButton(HDC DC);
  // The drop-down button redrawn after a press that ends outside it.
  void ButtonMouse(UINT Msg, LPARAM Pos);
  void SetUpAutoComplete();
  HWND EditField();
  // The fetched icon of a web address's site, or null.
  HICON Favicon(const AnsiString& Text);
  void PlaceEditField();
  void Shape();
  void ClearIcons();
  void Normalise();
  void ApplySecureColor();
  void UpdateTextFromBrowser();
  void SetSiteToolTip();
  void Navigate();
  void FetchFavicon();
  bool loaded_ = false;
  TColor loaded_color_ = clWindow;
  TColor loaded_hint_color_ = clInfoBk;
  bool flat_ = false, has_border_ = true, has_drop_down_ = true;
  // The shell's icons made for texts, each with its extension ("htm" for a web page's).
  std::map<AnsiString, std::pair<HICON, AnsiString>> icons_;
  // The favicons fetched, by icon address (null: the fetch failed or was cancelled).
  std::map<AnsiString, HICON> favicons_;
  TAComp ac_version_ = AutoComplete2;
  TAutoCompleteOptions ac_options_{acAutoAppend, acUrlHistory};
  TAutoComplete2Options ac2_options_{acoAutoSuggest, acoAutoAppend, acoSearch};
  TAutoComplete2Source ac2_source_{acsList, acsHistory, acsMRU, acsShell};
  IAutoComplete2* auto_complete_ = nullptr;
  bool button_pressed_ = false;  // a press in the drop-down button, until released
  bool mouse_inside_ = false;
};

class TIEAddress : public TCustomIEAddress {
 public:
  explicit TIEAddress(TComponent* AOwner) : TCustomIEAddress(AOwner) {}
  KV_CLASS_NAME(TIEAddress)
};
