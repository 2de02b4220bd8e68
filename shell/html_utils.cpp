#include "shell/html_utils.h"

#include "framework/automation/olevariant.h"
#include "platform/base/codepage.h"

namespace korvane {
namespace {

// The text of a BSTR a call handed out, which is freed.
AnsiString Take(BSTR b) {
  AnsiString text = kv::WideToAnsi(kv::BstrText(b));
  SysFreeString(b);
  return text;
}

template <class Collection>
THeld<IDispatch> ItemNamed(Collection* collection, const AnsiString& name) {
  THeld<IDispatch> item;
  if (collection) collection->item(OleVariant(name).Var(), OleVariant().Var(), item.Out());
  return item;
}

}  // namespace

THeld<IHTMLFormElement> TIHTMLUtils::FormByName(IHTMLDocument2* Document, const AnsiString& Name) {
  THeld<IHTMLElementCollection> forms;
  if (Document) Document->get_forms(forms.Out());
  return ItemNamed(forms.Get(), Name).Query<IHTMLFormElement>(IID_IHTMLFormElement);
}

std::unique_ptr<TStringList> TIHTMLUtils::FieldNames(IHTMLFormElement* Form) {
  auto names = std::make_unique<TStringList>();
  LONG count = 0;
  if (!Form || FAILED(Form->get_length(&count))) return names;
  for (LONG i = 0; i < count; ++i) {
    THeld<IDispatch> item;
    Form->item(OleVariant(static_cast<int>(i)).Var(), OleVariant().Var(), item.Out());
    THeld<IHTMLElement> element = item.Query<IHTMLElement>(IID_IHTMLElement);
    if (!element) continue;
    const AnsiString tag = TagName(element.Get());
    if (tag == "INPUT" || tag == "SELECT" || tag == "TEXTAREA") names->Add(ElementName(element.Get()));
  }
  return names;
}

THeld<IHTMLElement> TIHTMLUtils::FieldElement(IHTMLFormElement* Form, const AnsiString& Name) {
  return ItemNamed(Form, Name).Query<IHTMLElement>(IID_IHTMLElement);
}

AnsiString TIHTMLUtils::FieldValue(IHTMLFormElement* Form, const AnsiString& Name) {
  THeld<IHTMLElement> element = FieldElement(Form, Name);
  if (!element) return AnsiString();
  const AnsiString tag = TagName(element.Get());
  BSTR value = nullptr;
  if (tag == "INPUT") {
    THeld<IHTMLInputElement> input = element.Query<IHTMLInputElement>(IID_IHTMLInputElement);
    if (!input) return AnsiString();
    const AnsiString type = InputType(element.Get());
    if (type == "radio" || type == "checkbox") {
      VARIANT_BOOL checked = VARIANT_FALSE;
      input->get_checked(&checked);
      return checked ? "checked" : "unchecked";
    }
    input->get_value(&value);
  } else if (tag == "SELECT") {
    THeld<IHTMLSelectElement> select = element.Query<IHTMLSelectElement>(IID_IHTMLSelectElement);
    if (select) select->get_value(&value);
  } else if (tag == "TEXTAREA") {
    THeld<IHTMLTextAreaElement> text = element.Query<IHTMLTextAreaElement>(IID_IHTMLTextAreaElement);
    if (text) text->get_value(&value);
  }
  return Take(value);
}

THeld<IHTMLFormElement> TIHTMLUtils::ParentForm(IHTMLElement* Element) {
  THeld<IHTMLElement> node;
  if (Element) Element->get_parentElement(node.Out());
  while (node && TagName(node.Get()) != "FORM") {
    THeld<IHTMLElement> parent;
    node->get_parentElement(parent.Out());
    node = std::move(parent);
  }
  return node.Query<IHTMLFormElement>(IID_IHTMLFormElement);
}

AnsiString TIHTMLUtils::TagName(IHTMLElement* Element) {
  BSTR tag = nullptr;
  if (Element) Element->get_tagName(&tag);
  return Take(tag);
}

AnsiString TIHTMLUtils::InputType(IHTMLElement* Element) {
  THeld<IHTMLInputElement> input;
  if (Element) Element->QueryInterface(IID_IHTMLInputElement, reinterpret_cast<void**>(input.Out()));
  BSTR type = nullptr;
  if (input) input->get_type(&type);
  return Take(type);
}

AnsiString TIHTMLUtils::ElementName(IHTMLElement* Element) {
  if (!Element) return AnsiString();
  OleVariant name;
  BSTR attribute = kv::AllocBstr(u"name");
  Element->getAttribute(attribute, 0, name.Out());
  SysFreeString(attribute);
  return name.IsNull() || name.IsEmpty() ? AnsiString() : name.AsString();
}

AnsiString TIHTMLUtils::FormName(IHTMLFormElement* Form) {
  BSTR name = nullptr;
  if (Form) Form->get_name(&name);
  return Take(name);
}

}  // namespace korvane
