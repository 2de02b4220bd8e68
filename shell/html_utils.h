// Helpers over the browser's document object model for the configuration page: forms
// by name, the names and values of a form's fields, an element's form.
#pragma once

#include <memory>
#include <utility>

#include "framework/core/classes.h"
#include "framework/core/strings.h"
#include "platform/browser/browser.h"

namespace korvane {

// One reference to an interface, released when the holder goes.
template <class I>
class THeld {
 public:
  THeld() = default;
  // Takes over the reference `p` carries.
  explicit THeld(I* p) : p_(p) {}
  ~THeld() { Reset(); }
  THeld(const THeld&) = delete;
  THeld& operator=(const THeld&) = delete;
  THeld(THeld&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  THeld& operator=(THeld&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }

  I* Get() const { return p_; }
  I* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Releases what is held and gives the slot an out parameter fills.
  I** Out() {
    Reset();
    return &p_;
  }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  // The object's interface `iid` (empty when it has none or nothing is held).
  template <class J>
  THeld<J> Query(REFIID iid) const {
    THeld<J> other;
    if (p_) p_->QueryInterface(iid, reinterpret_cast<void**>(other.Out()));
    return other;
  }

 private:
  I* p_ = nullptr;
};

class TIHTMLUtils {
 public:
  // The form the document's forms collection gives for Name; empty when there is none.
  static THeld<IHTMLFormElement> FormByName(IHTMLDocument2* Document, const AnsiString& Name);
  // The name of each INPUT, SELECT and TEXTAREA element of the form, in form order.
  static std::unique_ptr<TStringList> FieldNames(IHTMLFormElement* Form);
  // The element the form's collection gives for Name; empty when there is none or when
  // several elements share the name (a radio group is no single field).
  static THeld<IHTMLElement> FieldElement(IHTMLFormElement* Form, const AnsiString& Name);
  // The field's value: "checked" or "unchecked" for a radio or check box, the value of
  // any other INPUT, of a SELECT or a TEXTAREA; "" for other elements and for a name the
  // form does not have.
  static AnsiString FieldValue(IHTMLFormElement* Form, const AnsiString& Name);
  // The nearest FORM among the element's ancestors; empty when there is none.
  static THeld<IHTMLFormElement> ParentForm(IHTMLElement* Element);

  // The element's tag (upper case).
  static AnsiString TagName(IHTMLElement* Element);
  // An INPUT's type as the document gives it (lower case); "" for an element without
  // the input interface.
  static AnsiString InputType(IHTMLElement* Element);
  // The element's name attribute ("" without one).
  static AnsiString ElementName(IHTMLElement* Element);
  static AnsiString FormName(IHTMLFormElement* Form);
};

}  // namespace korvane
