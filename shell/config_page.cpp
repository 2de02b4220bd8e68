#include "shell/config_page.h"

#include "browser_host/embedded_browser.h"
#include "framework/controls/dialogs.h"
#include "framework/controls/forms.h"
#include "platform/base/codepage.h"
#include "shell/html_utils.h"
#include "shell/ini_config.h"
#include "shell/shell_window.h"
#include "shell/texts.h"

namespace korvane {
namespace {

constexpr const char* kConfigForm = "_CONFIG_FORM";
constexpr const char* kSaveButton = "_CONFIG_SAVE_BUTTON";
constexpr const char* kSection = "general";

void Say(const char* utf8) { ShowMessage(kv::Utf8ToAnsi(utf8)); }

THeld<IHTMLElement> Source(IHTMLEventObj* Event) {
  THeld<IHTMLElement> element;
  if (Event) Event->get_srcElement(element.Out());
  return element;
}

bool IsSaveButton(IHTMLElement* Element) {
  const AnsiString type = AnsiUpperCase(TIHTMLUtils::InputType(Element));
  if (type != "SUBMIT" && type != "BUTTON") return false;
  if (TIHTMLUtils::ElementName(Element) != kSaveButton) return false;
  THeld<IHTMLFormElement> form = TIHTMLUtils::ParentForm(Element);
  return form && TIHTMLUtils::FormName(form.Get()) == kConfigForm;
}

bool IsSavedField(IHTMLElement* Element) {
  const AnsiString tag = TIHTMLUtils::TagName(Element);
  if (tag == "SELECT" || tag == "TEXTAREA") return true;
  if (tag != "INPUT") return false;
  const AnsiString type = AnsiUpperCase(TIHTMLUtils::InputType(Element));
  return type == "TEXT" || type == "RADIO" || type == "CHECKBOX";
}

}  // namespace

void SaveConfigForm(TEmbeddedWB& Browser) {
  THeld<IHTMLDocument2> document(Browser.WaitDocument2());
  THeld<IHTMLFormElement> form = TIHTMLUtils::FormByName(document.Get(), kConfigForm);
  if (!form) {
    Say(shell_texts::kConfigFormMissing);
    return;
  }
  std::unique_ptr<TStringList> names = TIHTMLUtils::FieldNames(form.Get());
  if (names->Count() == 0) {
    Say(shell_texts::kConfigFieldsMissing);
    return;
  }
  TStringList sections, keys, values;
  for (int i = 0; i < names->Count(); ++i) {
    const AnsiString& name = (*names)[i];
    THeld<IHTMLElement> field = TIHTMLUtils::FieldElement(form.Get(), name);
    if (!field || !IsSavedField(field.Get())) continue;
    const AnsiString value = TIHTMLUtils::FieldValue(form.Get(), name);
    if (value.empty()) continue;
    sections.Add(kSection);
    keys.Add(name);
    values.Add(value);
  }
  // Success is told only when the items reached the file.
  Say(TINIConfig().WriteItems(sections, keys, values) == 1 ? shell_texts::kConfigSaved
                                                           : shell_texts::kConfigSaveFailed);
}

void ConfigPageClick(IHTMLEventObj* Event) {
  THeld<IHTMLElement> element = Source(Event);
  if (!element || TIHTMLUtils::TagName(element.Get()) != "INPUT" || !IsSaveButton(element.Get())) return;
  IShellWindow& shell = RequireShellWindow();
  SaveConfigForm(shell.Browser());
  const bool complete = TINIConfig().IsComplete();
  shell.SetConfigComplete(complete);
  if (complete)
    Application->Terminate();
  else
    Say(shell_texts::kConfigIncomplete);
}

void ConfigPageKeyPress(IHTMLEventObj* Event) {
  try {
    THeld<IHTMLElement> element = Source(Event);
    if (!element || TIHTMLUtils::TagName(element.Get()) != "INPUT" || TIHTMLUtils::InputType(element.Get()) != "submit")
      return;
    THeld<IHTMLInputElement> input = element.Query<IHTMLInputElement>(IID_IHTMLInputElement);
    THeld<IHTMLFormElement> form;
    input->get_form(form.Out());
    if (form) form->submit();
  } catch (...) {
  }
}

}  // namespace korvane
