// TIEAddress: the address combo for a TEmbeddedWB. Its list holds the user's typed URLs
// from the registry; Enter, or a choice from the list, sends the linked browser to the
// text, which is normalised, written back to the typed-URL list and replaced by the
// browser's address (or title) once the page is complete; an https address gets the
// secure-site colour.
#pragma once

#include "browser_host/embedded_browser.h"
#include "framework/controls/stdctrls.h"

enum TTextOnLoad { tlIELastVisited, tlIEHomePage, tlBlank, tlUserDefine };
enum TTextAfterNav { anLocationUrl, anLocationName };
enum TGUI { gsCombobox, gsThemes };
enum TThemes { tmNone, tmXP, tmSilver, tmSoil };

using TOnUpdateRegistryEvent = std::function<void(TObject* Sender, const WideString& Url, bool& Cancel)>;
using TOnUpdateTextEvent =
    std::function<void(TObject* Sender, const WideString& OldUrl, const WideString& NewUrl, bool& Cancel)>;
using TOnUrlSelectedEvent = std::function<void(TObject* Sender, const WideString& Url, bool& Cancel)>;
using TOnGetFaviconEvent =
    std::function<void(TObject* Sender, const WideString& Favicon, const WideString& SiteUrl, bool& Cancel)>;

// The longest a text update waits for the linked browser's page (milliseconds).
constexpr DWORD kAddressPageWait = 30000;

// A value 0xFF0000nn of the theme table as the framework's system colour nn.
TColor ThemeColor(DWORD Value);
// "http://" or "https://" and the host of a page URL, then "favicon.ico"; empty when
// the text has no host.
AnsiString FaviconAddress(const AnsiString& Url);
// A "/" is appended when the last "/" comes after the last "." (a folder path).
AnsiString NormalisedAddress(const AnsiString& Text);

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
  bool ShowSiteToolTip = true;
  TTextOnLoad TextOnLoad = tlIEHomePage;
  WideString TextOnShow;
  TTextAfterNav TextAfterNav = anLocationUrl;
  bool UpdateTextAfterNav = true;
  bool UseSecureSiteBGColor = true;
  // Fetches the site's icon into the user's cache folder after each commit (the icon is
  // not drawn: the combo draws no icons here).
  bool ShowFavicon = false;
  TOnGetFaviconEvent OnGetFavicon;
  TOnUpdateRegistryEvent OnUpdateRegistry;
  TOnUpdateTextEvent OnUpdateText;
  TOnUrlSelectedEvent OnUrlSelected;

  void DeleteSelected();
  void Commit();
  void LoadTypedUrls();
  void SaveTypedUrls();
  void Loaded() override;

 protected:
  void KeyDown(WORD& Key, TShiftState Shift) override;

 private:
  void Normalise();
  void ApplySecureColor();
  void UpdateTextFromBrowser();
  void SetSiteToolTip();
  void Navigate();
  void FetchFavicon();
  bool loaded_ = false;
  TColor loaded_color_ = clWindow;
  TColor loaded_hint_color_ = clInfoBk;
};

class TIEAddress : public TCustomIEAddress {
 public:
  explicit TIEAddress(TComponent* AOwner) : TCustomIEAddress(AOwner) {}
  KV_CLASS_NAME(TIEAddress)
};
