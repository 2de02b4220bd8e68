// Message dialogs: ShowMessage and MessageDlg over the platform's message box (which
// tests answer from a script and the terminal answers when a program runs interactively).
#pragma once

#include "framework/controls/forms.h"
#include "framework/controls/stdctrls.h"

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
using TMsgDlgButtons = Set<TMsgDlgBtn, mbYes, mbHelp>;

// A box with Msg, the application's title as caption and an OK button.
void ShowMessage(const AnsiString& Msg);
// A box with Msg, the caption of its type ("Warning", "Error", "Information", "Confirm";
// the application's title for mtCustom), its icon and Buttons; returns the mr... of the
// button pressed. The platform's boxes offer OK, OK/Cancel, Yes/No, Yes/No/Cancel,
// Abort/Retry/Ignore and Retry/Cancel (mbHelp adds a Help button): other sets raise
// EInvalidOperation "Unsupported message dialog buttons".
int MessageDlg(const AnsiString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx = 0);

// ---- File dialogs -----------------------------------------------------------------------------------
// The file dialogs are modal forms of the framework (a file-name edit, OK and Cancel),
// so a test answers them with injected input like any other window: typing a name and
// Enter accepts, Esc or no input at all cancels.
enum TOpenOption {
  ofReadOnly,
  ofOverwritePrompt,
  ofHideReadOnly,
  ofNoChangeDir,
  ofShowHelp,
  ofNoValidate,
  ofAllowMultiSelect,
  ofExtensionDifferent,
  ofPathMustExist,
  ofFileMustExist,
  ofCreatePrompt,
  ofShareAware,
  ofNoReadOnlyReturn,
  ofNoTestFileCreate,
  ofNoNetworkButton,
  ofNoLongNames,
  ofOldStyleDialog,
  ofNoDereferenceLinks,
  ofEnableIncludeNotify,
  ofEnableSizing
};
using TOpenOptions = Set<TOpenOption, ofReadOnly, ofEnableSizing>;

class TOpenDialog : public TComponent {
 public:
  explicit TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}
  KV_CLASS_NAME(TOpenDialog)
  // Shows the dialog; true when a name was accepted (FileName then holds it, with
  // InitialDir before a name without folder and DefaultExt after one without extension).
  virtual bool Execute();
  AnsiString FileName;
  AnsiString InitialDir;
  AnsiString DefaultExt;
  AnsiString Filter;
  int FilterIndex = 1;
  AnsiString Title;
  TOpenOptions Options = {ofHideReadOnly, ofEnableSizing};
  TNotifyEvent OnShow;
  TNotifyEvent OnClose;
  // The form of the running dialog (nullptr outside Execute).
  TForm* DialogForm() const { return form_; }

 protected:
  virtual AnsiString DefaultTitle() const { return "Open"; }
  // May the name be taken? Open: with ofFileMustExist the file must exist.
  virtual bool Accept(const AnsiString& Name);
  AnsiString Complete(const AnsiString& Name) const;

 private:
  TForm* form_ = nullptr;
};

// With ofOverwritePrompt an existing file is taken only after a Yes to
// "<name> already exists.\nDo you want to replace it?".
class TSaveDialog : public TOpenDialog {
 public:
  explicit TSaveDialog(TComponent* AOwner) : TOpenDialog(AOwner) {}
  KV_CLASS_NAME(TSaveDialog)

 protected:
  AnsiString DefaultTitle() const override { return "Save As"; }
  bool Accept(const AnsiString& Name) override;
};
