#include "download/download_forms.h"

#include <algorithm>

#include "download/file_names.h"
#include "download/status_texts.h"
#include "download/texts.h"
#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/user/shell.h"
#include "platform/user/shell_info.h"

TDownloadForm* DownloadForm = nullptr;
TDownloaderForm* DownloaderForm = nullptr;
TDownloadRequest* DownloadRequest = nullptr;

namespace {

TStringList g_blocked, g_allowed;

// A window text in the ANSI code page.
AnsiString T(const char* utf8) { return kv::Utf8ToAnsi(utf8); }
AnsiString A(const WideString& s) { return kv::WideToAnsi(s); }

template <class C>
C* Make(TWinControl* parent, const char* name, int x, int y, int w, int h) {
  // Owned by the form, whatever the parent.
  TComponent* owner = dynamic_cast<TCustomForm*>(parent) ? static_cast<TComponent*>(parent) : parent->Owner();
  C* c = new C(owner);
  c->SetName(name);
  c->SetParent(parent);
  c->SetBounds(x, y, w, h);
  return c;
}

TCheckBox* MakeCheck(TWinControl* parent, const char* name, const char* caption, bool checked, int x, int y, int w) {
  auto* c = Make<TCheckBox>(parent, name, x, y, w, 17);
  c->SetCaption(T(caption));
  c->SetChecked(checked);
  return c;
}

TLabel* MakeLabel(TWinControl* parent, const char* name, const AnsiString& caption, int x, int y) {
  auto* l = Make<TLabel>(parent, name, x, y, 60, 13);
  l->SetCaption(caption);
  return l;
}

// The shell's type name and icon of a file name (by its attributes: the file need not be
// there yet) into the type label and the image, both empty without a name; Icon holds the
// icon shown, the one before it is destroyed.
void ShowShellFileInfo(const AnsiString& FileName, TLabel* TypeLabel, TImage* Image, HICON& Icon) {
  if (Icon) DestroyIcon(Icon);
  Icon = nullptr;
  SHFILEINFOA info{};
  if (!FileName.empty() && SHGetFileInfoA(FileName.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                                          SHGFI_ICON | SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES)) {
    Icon = info.hIcon;
    TypeLabel->SetCaption(info.szTypeName);
  } else {
    TypeLabel->SetCaption("");
  }
  if (!Icon) {
    Image->Picture()->SetGraphic(nullptr);
    return;
  }
  TBitmap* picture = Image->Picture()->Bitmap();
  picture->SetSize(Image->Width(), Image->Height());
  TCanvas* canvas = picture->Canvas();
  canvas->Brush()->SetColor(clBtnFace);
  canvas->FillRect(Rect(0, 0, Image->Width(), Image->Height()));
  DrawIconEx(canvas->Handle(), 0, 0, Icon, 0, 0, 0, nullptr, DI_NORMAL);
  Image->Invalidate();
}

// The size text of the windows: "未知" for nothing known.
AnsiString SizeText(int64_t bytes) { return bytes > 0 ? Trim(FormatSize(static_cast<double>(bytes))) : T(dltext::kUnknown); }

// Shows a file of the download folder with the shell's default action.
bool ShellOpen(HWND owner, const AnsiString& path) {
  HINSTANCE r = ShellExecuteA(owner, nullptr, path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (reinterpret_cast<intptr_t>(r) > 32) return true;
  MessageBoxA(owner, SysErrorMessage(static_cast<unsigned>(reinterpret_cast<intptr_t>(r))).c_str(),
              Application ? Application->Title().c_str() : "", MB_OK | MB_ICONERROR);
  return false;
}

}  // namespace

TStringList* BlockedExtensions = &g_blocked;
TStringList* AllowedExtensions = &g_allowed;

bool ExtensionAllowed(const AnsiString& FileName) {
  AnsiString ext = ExtractFileExt(FileName);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  auto in = [&](TStringList* list) {
    for (int i = 0; i < list->Count(); ++i)
      if (SameText((*list)[i], ext)) return true;
    return false;
  };
  if (in(BlockedExtensions)) return false;
  return AllowedExtensions->Count() == 0 || in(AllowedExtensions);
}

AnsiString PercentDecode(const AnsiString& S) {
  auto hex = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  AnsiString out;
  for (size_t i = 0; i < S.size(); ++i) {
    if (S[i] == '%' && i + 2 < S.size() && hex(S[i + 1]) >= 0 && hex(S[i + 2]) >= 0) {
      out += static_cast<char>(hex(S[i + 1]) * 16 + hex(S[i + 2]));
      i += 2;
    } else {
      out += S[i];
    }
  }
  return out;
}

void CreateDownloadWindows(TApplication* App) {
  App->CreateForm(DownloadForm);
  App->CreateForm(DownloadRequest);
  App->CreateForm(DownloaderForm);
}

HRESULT FilterDownload(IMoniker* Moniker, IBindCtx* BindCtx) {
  if (!Moniker) return E_INVALIDARG;
  LPOLESTR name = nullptr;
  if (FAILED(Moniker->GetDisplayName(BindCtx, nullptr, &name)) || !name) return E_NOTIMPL;
  const AnsiString url = Trim(LowerCase(kv::WideToAnsi(name)));
  CoTaskMemFree(name);
  auto ends = [&](const char* e) { return url.size() >= 4 && url.compare(url.size() - 4, 4, e) == 0; };
  if (ends(".avi") || ends(".mpg")) {
    ShowMessage(T(dltext::kNoAviMpg));
    return S_OK;
  }
  return E_NOTIMPL;
}

// ---------------------------------------------------------------------------------------
// TDownloadForm

TDownloadForm::TDownloadForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("DownloadForm");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetCaption(T(dltext::kDownloadFormCaption));
  SetClientSize(860, 300);

  pnlBottom = Make<TPanel>(this, "pnlBottom", 0, 260, 860, 40);
  pnlBottom->SetAlign(alBottom);
  pnlBottom->SetCaption("");
  btnCancel = Make<TButton>(pnlBottom, "btnCancel", 770, 8, 80, 25);
  btnCancel->SetCaption(T(dltext::kCancelAll));
  chkAutoClose = MakeCheck(pnlBottom, "chkAutoClose", dltext::kCloseWhenDone, false, 8, 12, 170);
  cbRemoveComp = MakeCheck(pnlBottom, "cbRemoveComp", dltext::kRemoveCompleted, true, 190, 12, 200);
  cbExecute = MakeCheck(pnlBottom, "cbExecute", dltext::kOpenWhenDone, false, 400, 12, 170);

  pmDownloadItem = new TPopupMenu(this);
  pmDownloadItem->SetName("pmDownloadItem");
  pmDownloadItem->SetTag(-1);
  miCancel = new TMenuItem(this);
  miCancel->SetName("miCancel");
  miCancel->SetCaption("Cancel");
  miOpen = new TMenuItem(this);
  miOpen->SetName("miOpen");
  miOpen->SetCaption("Open");
  miOpen->SetEnabled(false);
  pmDownloadItem->Items()->Add(miCancel);
  pmDownloadItem->Items()->Add(miOpen);

  ListView = Make<TListView>(this, "ListView", 0, 0, 860, 260);
  ListView->SetAlign(alClient);
  ListView->SetViewStyle(vsReport);
  ListView->SetRowSelect(true);
  ListView->PopupMenu = pmDownloadItem;
  const struct {
    const char* caption;
    int width;
    bool right;
  } columns[] = {{dltext::kColFile, 120, false},       {dltext::kColStatus, 120, false},
                 {dltext::kColSize, 55, true},         {dltext::kColProgress, 55, true},
                 {dltext::kColSpeed, 60, false},       {dltext::kColRemaining, 70, false},
                 {dltext::kColThreadId, 60, false},    {dltext::kColConnections, 90, false},
                 {dltext::kColProgressBar, 150, false}};
  for (const auto& c : columns) {
    TListColumn* col = ListView->Columns()->Add();
    col->SetCaption(T(c.caption));
    col->SetWidth(c.width);
    if (c.right) col->SetAlignment(taRightJustify);
  }

  IEDownload = new TIEDownload(this);
  IEDownload->SetName("IEDownload");
  IEDownload->AdditionalHeader.Clear();
  IEDownload->AdditionalHeader.Add("Content-Type: application/x-www-form-urlencoded");
  IEDownload->SetDefaultProtocol("http://");
  IEDownload->DefaultUrlFileName = "index.html";
  IEDownload->TimeOut = 2147483647;
  IEDownload->OnBeginningTransaction = [](TBSCB*, const WideString&, const WideString&, DWORD, WideString&) {
    return S_OK;
  };
  IEDownload->OnStartBinding = [this](TBSCB* s, bool& cancel, IBinding*) { StartBinding(s, cancel); };
  IEDownload->OnProgress = [this](TBSCB* s, ULONG p, ULONG m, ULONG code, int64_t, const AnsiString&,
                                  const AnsiString&, const AnsiString&, const AnsiString& speed,
                                  const AnsiString& remaining, const AnsiString& status, const AnsiString& percent) {
    Progress(s, p, m, code, status, speed, remaining, percent);
  };
  IEDownload->OnResponse = [this](TBSCB* s, DWORD, const WideString& headers, const WideString&, WideString&) {
    Response(s, headers);
    return S_OK;
  };
  IEDownload->OnComplete = [this](TCustomIEDownload*, const AnsiString&, const AnsiString& name,
                                  const AnsiString& folder, const AnsiString&, int active) {
    Complete(name, folder, active);
  };

  btnCancel->OnClick = [this](TObject*) {
    IEDownload->Cancel();
    Close();
  };
  cbExecute->OnClick = [this](TObject*) {
    TListItem* row = ListView->Selected();
    if (cbExecute->Checked() && row && row->SubItems()->Count() > 0 && row->SubItems()->Strings(0) == T(dltext::kCompleted))
      OpenFile(A(IEDownload->DownloadFolder) + row->Caption());
  };
  cbRemoveComp->OnClick = [this](TObject*) {
    if (!cbRemoveComp->Checked()) return;
    for (int i = ListView->Items()->Count() - 1; i >= 0; --i) {
      TListItem* row = ListView->Items()->Item(i);
      if (row->SubItems()->Count() > 0 && row->SubItems()->Strings(0) == T(dltext::kCompleted)) RemoveRow(row);
    }
  };
  OnCloseQuery = [this](TObject*, bool& can_close) {
    if (IEDownload->ActiveConnections() == 0) return;
    if (MessageBoxA(Handle(), T(dltext::kStillActive).c_str(), Caption().c_str(), MB_YESNO | MB_ICONQUESTION) == IDNO) {
      can_close = false;
      return;
    }
    IEDownload->Cancel();
  };
  pmDownloadItem->OnPopup = [this](TObject*) { PopupForRow(); };
  miCancel->OnClick = [this](TObject*) {
    TListItem* row = PopupRow();
    if (!row || !row->Data) return;
    auto* data = static_cast<TDownloadRow*>(row->Data);
    IEDownload->CancelItem(data->Transfer);
    data->Transfer = nullptr;
  };
  miOpen->OnClick = [this](TObject*) {
    TListItem* row = PopupRow();
    if (row && row->SubItems()->Count() > 0 && row->SubItems()->Strings(0) == T(dltext::kCompleted))
      OpenFile(A(IEDownload->DownloadFolder) + row->Caption());
  };
  DownloadForm = this;
}

TDownloadForm::~TDownloadForm() {
  for (int i = 0; i < ListView->Items()->Count(); ++i) {
    auto* data = static_cast<TDownloadRow*>(ListView->Items()->Item(i)->Data);
    delete data;  // the bars belong to the form
  }
  if (DownloadForm == this) DownloadForm = nullptr;
}

void TDownloadForm::CreateParams(TCreateParams& Params) {
  TForm::CreateParams(Params);
  Params.ExStyle |= 0x40000;  // a task-bar button of its own
}

TListItem* TDownloadForm::RowOfTransfer(TBSCB* Transfer) {
  const AnsiString id = IntToStr(Transfer->ThreadID());
  for (int i = 0; i < ListView->Items()->Count(); ++i) {
    TListItem* row = ListView->Items()->Item(i);
    if (row->SubItems()->Count() > 5 && row->SubItems()->Strings(5) == id) return row;
  }
  return nullptr;
}

void TDownloadForm::ResetRow(TListItem* Item, TBSCB* Sender, const char* Status) {
  Item->SetCaption(Sender->FileName());
  TStrings* s = Item->SubItems();
  s->Clear();
  for (const AnsiString& text : {T(Status), AnsiString(), AnsiString(), AnsiString(), T(dltext::kUnknown),
                                 IntToStr(Sender->ThreadID()), IntToStr(IEDownload->ActiveConnections())})
    s->Add(text);
  auto* data = static_cast<TDownloadRow*>(Item->Data);
  if (!data) {
    data = new TDownloadRow;
    data->Bar = new TProgressBar(this);
    data->Bar->SetParent(ListView);
    Item->Data = data;
  }
  data->Transfer = Sender;
  data->Bar->SetPosition(0);
  Item->Update();
  PlaceBar(Item);
}

void TDownloadForm::PlaceBar(TListItem* Item) {
  auto* data = static_cast<TDownloadRow*>(Item->Data);
  if (!data || !ListView->HandleAllocated()) return;
  const TRect r = Item->SubItemRect(8);
  data->Bar->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void TDownloadForm::StartBinding(TBSCB* Sender, bool& Cancel) {
  bool known = false;
  for (int i = 0; i < ListView->Items()->Count() && !known; ++i)
    known = ListView->Items()->Item(i)->Caption() == Sender->FileName();
  if (!known) {
    auto* request = new TDownloadRequest(this);
    BlockedExtensions->Add("msi");
    request->FillFrom(IEDownload);
    switch (request->ShowModal()) {
      case mrCancel:
        Cancel = true;
        request->Close();
        break;
      case mrDownloadOpen:
        IEDownload->OpenDownloadFolder = true;
        btnCancel->SetCaption(T(dltext::kCancelAll));
        break;
      case mrDownloadSave:
        btnCancel->SetCaption(T(dltext::kCancelAll));
        Sender->SetFileName(A(IEDownload->FileName));
        Sender->SetDownloadFolder(A(IEDownload->DownloadFolder));
        break;
      default:
        break;
    }
    delete request;
  }
  TListItem* row = RowOfTransfer(Sender);
  if (row) {
    ResetRow(row, Sender, dltext::kResuming);
  } else {
    ResetRow(ListView->Items()->Add(), Sender, dltext::kWaiting);
  }
}

void TDownloadForm::Progress(TBSCB* Sender, ULONG Progress, ULONG ProgressMax, ULONG StatusCode,
                             const AnsiString& Status, const AnsiString& Speed, const AnsiString& Remaining,
                             const AnsiString& Percent) {
  if (ListView->Items()->Count() == 0) return;
  TListItem* row = RowOfTransfer(Sender);
  if (!row) return;
  row->SetCaption(Sender->FileName());  // a response may have renamed the transfer
  TStrings* s = row->SubItems();
  s->Put(0, Status);
  if (StatusCode == BINDSTATUS_DOWNLOADINGDATA || StatusCode == BINDSTATUS_ENDDOWNLOADDATA) {
    s->Put(1, SizeText(StatusCode == BINDSTATUS_ENDDOWNLOADDATA ? Sender->BytesRead() : static_cast<int64_t>(ProgressMax)));
    s->Put(2, Percent);
    s->Put(3, Speed);
    s->Put(4, Remaining);
    s->Put(6, IntToStr(IEDownload->ActiveConnections()));
    if (auto* data = static_cast<TDownloadRow*>(row->Data)) {
      data->Bar->SetMax(static_cast<int>(ProgressMax));
      data->Bar->SetPosition(static_cast<int>(Progress));
    }
  }
  row->Update();
}

void TDownloadForm::Response(TBSCB* Sender, const WideString& Headers) {
  const AnsiString h = A(Headers);
  const size_t at = h.find("filename=");
  if (at != AnsiString::npos) {
    const size_t from = at + 9;
    const size_t end = h.find("\r\n", from);
    Sender->SetFileName(h.substr(from, end == AnsiString::npos ? AnsiString::npos : end - from));
  }
  const AnsiString folder = Trim(A(IEDownload->DownloadFolder));
  if (!folder.empty()) Sender->SetDownloadFolder(folder);
}

void TDownloadForm::Complete(const AnsiString& FileName, const AnsiString& Folder, int ActiveConnections) {
  TListItem* done = nullptr;
  for (int i = 0; i < ListView->Items()->Count() && !done; ++i)
    if (ListView->Items()->Item(i)->Caption() == FileName) done = ListView->Items()->Item(i);
  if (done) {
    TStrings* s = done->SubItems();
    const bool finished = s->Count() > 0 && IEDownload->StatusText == EngineText(sDone);
    if (s->Count() > 6) s->Put(6, IntToStr(ActiveConnections));
    if (finished) s->Put(0, T(dltext::kCompleted));
    if (auto* data = static_cast<TDownloadRow*>(done->Data)) data->Transfer = nullptr;
    done->Update();
    if (finished && cbExecute->Checked()) OpenFile(Folder + FileName);
    // The completed transfer's row goes, not whichever row is selected.
    if (finished && cbRemoveComp->Checked()) RemoveRow(done);
  }
  if (IEDownload->ActiveConnections() == 0 && !IEDownload->Busy()) {
    btnCancel->SetCaption(T(dltext::kClose));
    if (chkAutoClose->Checked()) Close();
  }
}

void TDownloadForm::RemoveRow(TListItem* Item) {
  auto* data = static_cast<TDownloadRow*>(Item->Data);
  if (data) {
    delete data->Bar;
    delete data;
  }
  ListView->Items()->Delete(Item->Index());
}

void TDownloadForm::OpenFile(const AnsiString& Path) { ShellOpen(HandleAllocated() ? Handle() : nullptr, Path); }

TListItem* TDownloadForm::PopupRow() {
  const int index = pmDownloadItem->Tag();
  return index >= 0 && index < ListView->Items()->Count() ? ListView->Items()->Item(index) : nullptr;
}

void TDownloadForm::PopupForRow() {
  POINT p{};
  GetCursorPos(&p);
  ::ScreenToClient(ListView->Handle(), &p);
  TListItem* row = ListView->GetItemAt(p.x, p.y);
  const bool by_mouse = row != nullptr;
  if (!row) row = ListView->Selected();
  pmDownloadItem->SetTag(row ? row->Index() : -1);
  const bool done = row && row->SubItems()->Count() > 0 && row->SubItems()->Strings(0) == T(dltext::kCompleted);
  miCancel->SetEnabled(row && row->Data && !(by_mouse && done));
  miOpen->SetEnabled(done);
}

// ---------------------------------------------------------------------------------------
// TDownloaderForm

TDownloaderForm::TDownloaderForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("DownloaderForm");
  SetBorderStyle(bsSingle);
  SetBorderIcons({biSystemMenu, biMinimize});
  SetPosition(poMainFormCenter);
  SetCaption(T(dltext::kDownloaderCaption));
  SetClientSize(380, 200);
  lbName = MakeLabel(this, "lbName", T(dltext::kLabelName), 64, 12);
  lbType = MakeLabel(this, "lbType", T(dltext::kLabelType), 64, 32);
  lbSize = MakeLabel(this, "lbSize", T(dltext::kLabelSize), 64, 52);
  lbFrom = MakeLabel(this, "lbFrom", T(dltext::kLabelFrom), 64, 72);
  lbFrom->SetVisible(false);
  lbNameTxt = MakeLabel(this, "lbNameTxt", "", 120, 12);
  lbTypeTxt = MakeLabel(this, "lbTypeTxt", "", 120, 32);
  lbSizeTxt = MakeLabel(this, "lbSizeTxt", "", 120, 52);
  lbFromTxt = MakeLabel(this, "lbFromTxt", "", 120, 72);
  lbFromTxt->SetVisible(false);
  imgIcon = Make<TImage>(this, "imgIcon", 12, 12, 32, 32);
  pnlProgress = Make<TPanel>(this, "pnlProgress", 8, 92, 364, 40);
  pnlProgress->SetCaption("");
  pnlProgress->SetVisible(false);
  Label2 = MakeLabel(pnlProgress, "Label2", "", 4, 2);
  DownloadProgressBar = Make<TProgressBar>(pnlProgress, "DownloadProgressBar", 4, 20, 356, 16);
  DownloadProgressBar->Hint = T(dltext::kProgressHint);
  memDL = Make<TMemo>(this, "memDL", 8, 92, 364, 40);
  memDL->SetVisible(false);
  chkAutoClose = MakeCheck(this, "chkAutoClose", dltext::kAutoCloseExport, true, 8, 140, 180);
  chkOpenDownloadFolder = MakeCheck(this, "chkOpenDownloadFolder", dltext::kOpenFolderExport, true, 8, 162, 180);
  btnCancel = Make<TButton>(this, "btnCancel", 290, 160, 80, 25);
  btnCancel->SetCaption(T(dltext::kClose));
  dlgSave = new TSaveDialog(this);
  dlgSave->SetName("dlgSave");

  IEDownload = new TIEDownload(this);
  IEDownload->SetName("IEDownload");
  IEDownload->TimeOut = 2147483647;
  IEDownload->OnStartBinding = [this](TBSCB* s, bool& cancel, IBinding*) { StartBinding(s, cancel); };
  IEDownload->OnProgress = [this](TBSCB*, ULONG p, ULONG m, ULONG, int64_t, const AnsiString&, const AnsiString&,
                                  const AnsiString&, const AnsiString&, const AnsiString&, const AnsiString&,
                                  const AnsiString& percent) {
    DownloadProgressBar->SetMax(static_cast<int>(m));
    DownloadProgressBar->SetPosition(static_cast<int>(p));
    Label2->SetCaption(T(dltext::kExportProgress) + percent);
  };
  IEDownload->OnResponse = [this](TBSCB* s, DWORD, const WideString& headers, const WideString&, WideString& more) {
    Response(s, headers, more);
    return S_OK;
  };
  IEDownload->OnComplete = [this](TCustomIEDownload*, const AnsiString& path, const AnsiString& name,
                                  const AnsiString& folder, const AnsiString&, int) { Complete(path, name, folder); };
  Label2->OnDblClick = [this](TObject*) {
    if (!memDL->Text().empty()) IEDownload->Download(kv::AnsiToWide(memDL->Text()));
  };
  btnCancel->OnClick = [this](TObject*) {
    IEDownload->Cancel();
    Close();
  };
  DownloaderForm = this;
}

TDownloaderForm::~TDownloaderForm() {
  if (DownloaderForm == this) DownloaderForm = nullptr;
  if (icon_) DestroyIcon(icon_);
}

void TDownloaderForm::FileDownload(const WideString& Url, IBindCtx* BindCtx, IMoniker* Moniker) {
  if (Visible())
    BringToFront();
  else
    Show();
  IEDownload->OpenDownloadFolder = chkOpenDownloadFolder->Checked();
  SetCaption(T(dltext::kExporting));
  ShowFileInfo();
  IEDownload->DownloadBound(Url, BindCtx, Moniker);
  SetCaption(T(dltext::kExportDone));
}

void TDownloaderForm::FileDownload1(IMoniker* Moniker, IBindCtx* BindCtx, DWORD, LONG, BINDINFO*, LPCOLESTR,
                                    LPCOLESTR, UINT) {
  if (!Moniker) return;
  LPOLESTR name = nullptr;
  if (FAILED(Moniker->GetDisplayName(BindCtx, nullptr, &name)) || !name) return;
  const WideString url = name;
  CoTaskMemFree(name);
  FileDownload(url, BindCtx, Moniker);
}

void TDownloaderForm::ShowFileInfo() {
  lbSizeTxt->SetCaption(SizeText(IEDownload->FileSize));
  lbNameTxt->SetCaption(A(IEDownload->FileName));
  lbFromTxt->SetCaption(A(IEDownload->Url));
  ShowShellFileInfo(lbNameTxt->Caption(), lbTypeTxt, imgIcon, icon_);
}

void TDownloaderForm::StartBinding(TBSCB* Sender, bool& Cancel) {
  AnsiString offered = Sender->ContentDispositionName();
  if (offered.empty()) offered = Sender->FileName();  // no response yet: the name the transfer has
  dlgSave->FileName = ReplaceInvalidFileNameChars(offered);
  if (dlgSave->Execute()) {
    const AnsiString name = ExtractFileName(dlgSave->FileName), folder = ExtractFilePath(dlgSave->FileName);
    IEDownload->FileName = kv::AnsiToWide(name);
    IEDownload->DownloadFolder = kv::AnsiToWide(folder);
    Sender->SetFileName(name);
    Sender->SetDownloadFolder(folder);
    IEDownload->OpenDownloadFolder = chkOpenDownloadFolder->Checked();
    pnlProgress->SetVisible(true);
  } else {
    IEDownload->OpenDownloadFolder = false;
    pnlProgress->SetVisible(false);
    IEDownload->Stop();
    Cancel = true;
  }
}

void TDownloaderForm::Response(TBSCB* Sender, const WideString& Headers, WideString& AdditionalRequestHeaders) {
  AnsiString h = A(Headers);
  if (h.find("filename=") != AnsiString::npos) {
    h = PercentDecode(h);
    if (h.find("charset=utf-8") != AnsiString::npos || h.find("charset=UTF-8") != AnsiString::npos)
      h = kv::Utf8ToAnsi(h);
    const size_t at = h.find("filename=");
    const size_t end = h.find("\r\n", at);
    AnsiString name = h.substr(at, end == AnsiString::npos ? AnsiString::npos : end - at);
    name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
    name.erase(0, 9);
    Sender->SetFileName(name);
    lbNameTxt->SetCaption(Sender->FileName());
    AdditionalRequestHeaders += u"attachment; \r\n";
  }
  const AnsiString folder = A(IEDownload->DownloadFolder);
  if (!folder.empty()) Sender->SetDownloadFolder(folder);
}

void TDownloaderForm::Complete(const AnsiString& FullPath, const AnsiString& FileName, const AnsiString& Folder) {
  memDL->SetText(T(dltext::kExportedFile) + FullPath + "\r\n" + T(dltext::kSaveFolder) + Folder + "\r\n" +
                 T(dltext::kFileName) + FileName + "\r\n" + T(dltext::kFileSize) + SizeText(IEDownload->FileSize));
  if (IEDownload->ActiveConnections() == 0 && !IEDownload->Busy()) {
    btnCancel->SetCaption(T(dltext::kClose));
    if (chkAutoClose->Checked()) Close();
  }
  pnlProgress->SetVisible(false);
}

// ---------------------------------------------------------------------------------------
// TDownloadRequest

TDownloadRequest::TDownloadRequest(TComponent* AOwner) : TForm(AOwner) {
  SetBorderStyle(bsDialog);
  SetPosition(poMainFormCenter);
  SetCaption(T(dltext::kRequestCaption));
  SetClientSize(360, 170);
  lbName = MakeLabel(this, "lbName", T(dltext::kLabelName), 64, 12);
  lbType = MakeLabel(this, "lbType", T(dltext::kLabelType), 64, 32);
  lbFrom = MakeLabel(this, "lbFrom", T(dltext::kLabelFrom), 64, 52);
  lbFrom->SetVisible(false);
  lbSize = MakeLabel(this, "lbSize", T(dltext::kLabelSize), 64, 72);
  lbNameTxt = MakeLabel(this, "lbNameTxt", "", 120, 12);
  lbTypeTxt = MakeLabel(this, "lbTypeTxt", "", 120, 32);
  lbFromTxt = MakeLabel(this, "lbFromTxt", "", 120, 52);
  lbFromTxt->SetVisible(false);
  lbSizeTxt = MakeLabel(this, "lbSizeTxt", "", 120, 72);
  imgIcon = Make<TImage>(this, "imgIcon", 12, 12, 32, 32);
  btnOpen = Make<TButton>(this, "btnOpen", 100, 135, 75, 25);
  btnOpen->SetCaption(T(dltext::kOpen));
  btnOpen->SetEnabled(false);
  btnOpen->SetVisible(false);
  btnSave = Make<TButton>(this, "btnSave", 185, 135, 75, 25);
  btnSave->SetCaption(T(dltext::kSave));
  btnCancel = Make<TButton>(this, "btnCancel", 270, 135, 75, 25);
  btnCancel->SetCaption(T(dltext::kCancel));
  btnCancel->SetCancel(true);
  btnCancel->SetDefault(true);
  btnCancel->SetModalResult(mrCancel);
  chkAutoClose = MakeCheck(this, "chkAutoClose", dltext::kAutoCloseExport, false, 8, 96, 170);
  chkOpenDownloadFolder = MakeCheck(this, "chkOpenDownloadFolder", dltext::kOpenFolderExport, false, 180, 96, 170);
  dlgSave = new TSaveDialog(this);
  dlgSave->SetName("dlgSave");

  btnOpen->OnClick = [this](TObject*) {
    SetModalResult(mrDownloadOpen);
    CopyChecksBack();
  };
  btnSave->OnClick = [this](TObject*) {
    if (download_) {
      dlgSave->FileName = kv::WideToAnsi(download_->FileName);
      if (dlgSave->Execute()) {
        download_->FileName = kv::AnsiToWide(ExtractFileName(dlgSave->FileName));
        download_->DownloadFolder = kv::AnsiToWide(ExtractFilePath(dlgSave->FileName));
        SetModalResult(mrDownloadSave);
      }
    }
    CopyChecksBack();
  };
  btnCancel->OnClick = [this](TObject*) {
    if (download_ && download_->DownloadFinished() && DownloaderForm) DownloaderForm->Close();
    SetModalResult(mrCancel);
  };
}

TDownloadRequest::~TDownloadRequest() {
  if (DownloadRequest == this) DownloadRequest = nullptr;
  if (icon_) DestroyIcon(icon_);
}

void TDownloadRequest::FillFrom(TCustomIEDownload* Download) {
  download_ = Download;
  lbFromTxt->SetCaption(kv::WideToAnsi(Download->Url));
  lbNameTxt->SetCaption(kv::WideToAnsi(Download->FileName));
  btnOpen->SetEnabled(ExtensionAllowed(kv::WideToAnsi(Download->FileName)));
  lbSizeTxt->SetCaption(SizeText(Download->FileSize));
  ShowShellFileInfo(lbNameTxt->Caption(), lbTypeTxt, imgIcon, icon_);
  if (DownloaderForm) {
    chkAutoClose->SetChecked(DownloaderForm->chkAutoClose->Checked());
    chkOpenDownloadFolder->SetChecked(DownloaderForm->chkOpenDownloadFolder->Checked());
  }
}

void TDownloadRequest::CopyChecksBack() {
  if (!DownloaderForm) return;
  DownloaderForm->chkAutoClose->SetChecked(chkAutoClose->Checked());
  DownloaderForm->chkOpenDownloadFolder->SetChecked(chkOpenDownloadFolder->Checked());
}
