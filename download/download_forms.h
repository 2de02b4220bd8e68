// The download windows: TDownloadForm (a list of downloads with their progress),
// TDownloaderForm (one "export" download with a save dialog), TDownloadRequest (the
// open / save / cancel question) and the download filter that refuses two video types.
// Each window holds one engine (IEDownload) and binds its events.
#pragma once

#include "download/ie_download.h"
#include "framework/controls/comctrls.h"
#include "framework/controls/dialogs.h"
#include "framework/controls/forms.h"
#include "framework/controls/listview.h"
#include "framework/controls/menus.h"
#include "framework/controls/stdctrls.h"

// Modal results of TDownloadRequest.
constexpr TModalResult mrDownloadOpen = 11;
constexpr TModalResult mrDownloadSave = 12;

// The row data of TDownloadForm's list: the row's progress bar and its transfer (cleared
// when the transfer has ended).
struct TDownloadRow {
  TProgressBar* Bar = nullptr;
  TBSCB* Transfer = nullptr;
};

class TDownloadForm : public TForm {
 public:
  explicit TDownloadForm(TComponent* AOwner);
  ~TDownloadForm() override;
  KV_CLASS_NAME(TDownloadForm)

  TPanel* pnlBottom;
  TButton* btnCancel;
  TCheckBox* chkAutoClose;
  TCheckBox* cbRemoveComp;
  TCheckBox* cbExecute;
  TListView* ListView;
  TIEDownload* IEDownload;
  TPopupMenu* pmDownloadItem;
  TMenuItem* miCancel;
  TMenuItem* miOpen;

  // The row whose thread-id column holds the transfer's thread id, or null.
  TListItem* RowOfTransfer(TBSCB* Transfer);
  // Opens folder + file name; a failure shows the system text in a message box.
  void OpenFile(const AnsiString& Path);

 protected:
  void CreateParams(TCreateParams& Params) override;

 private:
  void StartBinding(TBSCB* Sender, bool& Cancel);
  void Progress(TBSCB* Sender, ULONG Progress, ULONG ProgressMax, ULONG StatusCode, const AnsiString& Status,
                const AnsiString& Speed, const AnsiString& Remaining, const AnsiString& Percent);
  void Complete(const AnsiString& FileName, const AnsiString& Folder, int ActiveConnections);
  void Response(TBSCB* Sender, const WideString& Headers);
  void RemoveRow(TListItem* Item);
  void ResetRow(TListItem* Item, TBSCB* Sender, const char* Status);
  void PlaceBar(TListItem* Item);
  void PopupForRow();
  TListItem* PopupRow();
};

class TDownloaderForm : public TForm {
 public:
  explicit TDownloaderForm(TComponent* AOwner);
  ~TDownloaderForm() override;
  KV_CLASS_NAME(TDownloaderForm)

  TLabel *lbName, *lbType, *lbSize, *lbFrom, *lbNameTxt, *lbTypeTxt, *lbSizeTxt, *lbFromTxt;
  TImage* imgIcon;
  TPanel* pnlProgress;
  TLabel* Label2;
  TProgressBar* DownloadProgressBar;
  TMemo* memDL;
  TCheckBox* chkAutoClose;
  TCheckBox* chkOpenDownloadFolder;
  TButton* btnCancel;
  TIEDownload* IEDownload;
  TSaveDialog* dlgSave;

  // Starts an export of Url on the handed-over bind context and moniker.
  void FileDownload(const WideString& Url, IBindCtx* BindCtx, IMoniker* Moniker);
  // The browser download manager's form of the same.
  void FileDownload1(IMoniker* Moniker, IBindCtx* BindCtx, DWORD BindVerb, LONG BindF, BINDINFO* BindInfo,
                     LPCOLESTR Headers, LPCOLESTR Redirect, UINT CodePage);

 private:
  void ShowFileInfo();
  void StartBinding(TBSCB* Sender, bool& Cancel);
  void Response(TBSCB* Sender, const WideString& Headers, WideString& AdditionalRequestHeaders);
  void Complete(const AnsiString& FullPath, const AnsiString& FileName, const AnsiString& Folder);
  HICON icon_ = nullptr;  // the shell's icon imgIcon shows
};

class TDownloadRequest : public TForm {
 public:
  explicit TDownloadRequest(TComponent* AOwner);
  ~TDownloadRequest() override;
  KV_CLASS_NAME(TDownloadRequest)

  TLabel *lbName, *lbType, *lbFrom, *lbSize, *lbNameTxt, *lbTypeTxt, *lbFromTxt, *lbSizeTxt;
  TImage* imgIcon;
  TButton* btnOpen;
  TButton* btnSave;
  TButton* btnCancel;
  TCheckBox* chkAutoClose;
  TCheckBox* chkOpenDownloadFolder;
  TSaveDialog* dlgSave;

  // Fills the dialog from the download it asks about (not owned).
  void FillFrom(TCustomIEDownload* Download);

 private:
  void CopyChecksBack();
  TCustomIEDownload* download_ = nullptr;
  HICON icon_ = nullptr;  // the shell's icon imgIcon shows
};

// The process-wide windows (null when not made) and the extension lists of the request.
extern TDownloadForm* DownloadForm;
extern TDownloaderForm* DownloaderForm;
extern TDownloadRequest* DownloadRequest;
extern TStringList* BlockedExtensions;
extern TStringList* AllowedExtensions;

// True when the file's extension (without its ".", any case) passes the lists.
bool ExtensionAllowed(const AnsiString& FileName);
// Every "%" followed by two hexadecimal digits becomes that byte.
AnsiString PercentDecode(const AnsiString& S);
// Makes the three windows in the start-up order (after the main window).
void CreateDownloadWindows(TApplication* App);

// The download filter: S_OK (refused, with a message) for a moniker whose display name
// ends in ".avi" or ".mpg", E_NOTIMPL (left to the browser) for any other.
HRESULT FilterDownload(IMoniker* Moniker, IBindCtx* BindCtx);
