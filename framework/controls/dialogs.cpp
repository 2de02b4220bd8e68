#include "framework/controls/dialogs.h"

#include "framework/core/sysutils.h"

void ShowMessage(const AnsiString& Msg) { Application->MessageBox(Msg, Application->Title(), MB_OK); }

int MessageDlg(const AnsiString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int) {
  static const char* captions[] = {"Warning", "Error", "Information", "Confirm", nullptr};
  static const UINT icons[] = {MB_ICONWARNING, MB_ICONERROR, MB_ICONINFORMATION, MB_ICONQUESTION, 0};
  UINT flags = Buttons.Contains(mbHelp) ? MB_HELP : 0;
  TMsgDlgButtons set = Buttons;
  set >> mbHelp;
  if (set == TMsgDlgButtons{mbOK})
    flags |= MB_OK;
  else if (set == TMsgDlgButtons{mbOK, mbCancel})
    flags |= MB_OKCANCEL;
  else if (set == TMsgDlgButtons{mbYes, mbNo})
    flags |= MB_YESNO;
  else if (set == TMsgDlgButtons{mbYes, mbNo, mbCancel})
    flags |= MB_YESNOCANCEL;
  else if (set == TMsgDlgButtons{mbAbort, mbRetry, mbIgnore})
    flags |= MB_ABORTRETRYIGNORE;
  else if (set == TMsgDlgButtons{mbRetry, mbCancel})
    flags |= MB_RETRYCANCEL;
  else
    throw EInvalidOperation("Unsupported message dialog buttons");
  flags |= icons[DlgType];
  AnsiString caption = captions[DlgType] ? AnsiString(captions[DlgType]) : Application->Title();
  // The box's answers (IDOK .. IDNO) are the modal results of the same buttons.
  return Application->MessageBox(Msg, caption, flags);
}

// ---- File dialogs -----------------------------------------------------------------------------------

AnsiString TOpenDialog::Complete(const AnsiString& Name) const {
  AnsiString name = Trim(Name);
  if (name.empty()) return name;
  bool has_dir = name.find_first_of("\\/:") != AnsiString::npos;
  if (!has_dir && !InitialDir.empty()) name = IncludeTrailingPathDelimiter(InitialDir) + name;
  if (!DefaultExt.empty() && ExtractFileExt(name).empty()) {
    AnsiString ext = DefaultExt[0] == '.' ? DefaultExt.substr(1) : DefaultExt;
    name += "." + ext;
  }
  return name;
}

bool TOpenDialog::Accept(const AnsiString& Name) {
  if (Options.Contains(ofFileMustExist) && !FileExists(Name)) {
    Application->MessageBox(Name + "\nFile not found.", Title.empty() ? DefaultTitle() : Title, MB_OK | MB_ICONWARNING);
    return false;
  }
  return true;
}

bool TSaveDialog::Accept(const AnsiString& Name) {
  if (Options.Contains(ofOverwritePrompt) && FileExists(Name)) {
    return Application->MessageBox(Name + " already exists.\nDo you want to replace it?",
                                   Title.empty() ? DefaultTitle() : Title, MB_YESNO | MB_ICONWARNING) == IDYES;
  }
  return TOpenDialog::Accept(Name);
}

bool TOpenDialog::Execute() {
  TForm form(nullptr);
  form.SetBorderStyle(bsDialog);
  form.SetBorderIcons({biSystemMenu});
  form.SetCaption(Title.empty() ? DefaultTitle() : Title);
  form.SetClientSize(420, 90);
  form.SetPosition(poScreenCenter);
  auto* label = new TLabel(&form);
  label->SetParent(&form);
  label->SetBounds(8, 14, 70, 17);
  label->SetCaption("File name:");
  auto* edit = new TEdit(&form);
  edit->SetName("FileNameEdit");
  edit->SetParent(&form);
  edit->SetBounds(84, 10, 328, 21);
  edit->SetText(FileName);
  auto* ok = new TButton(&form);
  ok->SetName("OkButton");
  ok->SetParent(&form);
  ok->SetBounds(256, 56, 75, 25);
  ok->SetCaption("OK");
  ok->SetDefault(true);
  ok->SetModalResult(mrOk);
  auto* cancel = new TButton(&form);
  cancel->SetName("CancelButton");
  cancel->SetParent(&form);
  cancel->SetBounds(337, 56, 75, 25);
  cancel->SetCaption("Cancel");
  cancel->SetCancel(true);
  cancel->SetModalResult(mrCancel);
  form.SetActiveControl(edit);
  form_ = &form;
  struct Reset {
    TForm*& f;
    ~Reset() { f = nullptr; }
  } reset{form_};
  if (OnShow) OnShow(this);
  bool accepted = false;
  while (form.ShowModal() == mrOk) {
    AnsiString name = Complete(edit->Text());
    if (name.empty()) continue;
    if (Accept(name)) {
      FileName = name;
      accepted = true;
      break;
    }
  }
  if (OnClose) OnClose(this);
  return accepted;
}
