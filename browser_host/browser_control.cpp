#include "browser_host/browser_control.h"

#include "framework/automation/comobj.h"

namespace {

IDispatch* DispArg(TDispCall& call, unsigned i) {
  if (i >= call.Count()) return nullptr;
  const VARIANT& v = call.Arg(i);
  if (v.vt == VT_DISPATCH) return v.pdispVal;
  if (v.vt == (VT_DISPATCH | VT_BYREF) && v.ppdispVal) return *v.ppdispVal;
  return nullptr;
}

bool ByRef(TDispCall& call, unsigned i) { return i < call.Count() && (call.Arg(i).vt & VT_BYREF); }

// The argument's value, handed to the handler and written back when passed by reference.
class InOut {
 public:
  InOut(TDispCall& call, unsigned i) : call_(call), i_(i), value_(i < call.Count() ? call.Value(i) : OleVariant()) {}
  ~InOut() {
    try {
      if (ByRef(call_, i_)) call_.SetArg(i_, value_);
    } catch (...) {  // a value the platform's storage cannot take stays unwritten
    }
  }
  OleVariant& operator*() { return value_; }

 private:
  TDispCall& call_;
  unsigned i_;
  OleVariant value_;
};

// A VARIANT_BOOL in-out argument (Cancel).
class InOutBool {
 public:
  InOutBool(TDispCall& call, unsigned i)
      : call_(call), i_(i), value_(i < call.Count() && call.Value(i).AsBoolean() ? VARIANT_TRUE : VARIANT_FALSE) {}
  ~InOutBool() {
    try {
      if (ByRef(call_, i_)) call_.SetArg(i_, value_ != VARIANT_FALSE);
    } catch (...) {
    }
  }
  VARIANT_BOOL& operator*() { return value_; }

 private:
  TDispCall& call_;
  unsigned i_;
  VARIANT_BOOL value_;
};

OleVariant& ModuleResult() {
  static OleVariant result;
  return result;
}

}  // namespace

OleVariant& TEWB::ExecWBResult() { return ModuleResult(); }

TEWB::TEWB(TComponent* AOwner) : TOleControl(AOwner, CLSID_WebBrowser, DIID_DWebBrowserEvents2) { BindEvents(); }

// The container's destructor closes the control; the kept interface goes first.
TEWB::~TEWB() {
  if (browser_) browser_->Release();
  browser_ = nullptr;
}

void TEWB::DestroyControl() {
  if (browser_) browser_->Release();
  browser_ = nullptr;
  TOleControl::DestroyControl();
}

IWebBrowser2* TEWB::DefaultInterface() {
  if (!browser_) {
    IWebBrowser2* b = nullptr;
    if (FAILED(OleObject()->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&b))) || !b)
      throw EIntfCastError("Interface not supported");
    browser_ = b;
  }
  return browser_;
}

void TEWB::GoHome() { OleCheck(DefaultInterface()->GoHome()); }
void TEWB::Refresh() { OleCheck(DefaultInterface()->Refresh()); }

void TEWB::Navigate(const WideString& URL) {
  IWebBrowser2* b = DefaultInterface();
  BSTR url = SysAllocStringLen(URL.data(), static_cast<UINT>(URL.size()));
  VARIANT none[4];
  for (VARIANT& v : none) VariantInit(&v);
  HRESULT hr = b->Navigate(url, &none[0], &none[1], &none[2], &none[3]);
  SysFreeString(url);
  OleCheck(hr);
}

void TEWB::Navigate2(const OleVariant& URL, const OleVariant& Flags, const OleVariant& TargetFrameName,
                     const OleVariant& PostData, const OleVariant& Headers) {
  VARIANT v[5] = {URL.Var(), Flags.Var(), TargetFrameName.Var(), PostData.Var(), Headers.Var()};
  OleCheck(DefaultInterface()->Navigate2(&v[0], &v[1], &v[2], &v[3], &v[4]));
}

void TEWB::ExecWB(LONG cmdID, LONG cmdexecopt, const OleVariant& vaIn) {
  VARIANT in = vaIn.Var();
  OleCheck(DefaultInterface()->ExecWB(cmdID, cmdexecopt, &in, ExecWBResult().Out()));
}

void TEWB::BindEvents() {
  auto& h = EventHandlers;
  h[102] = [this](TDispCall& c) {
    if (OnStatusTextChange) OnStatusTextChange(this, c.Value(0).AsWideString());
  };
  h[108] = [this](TDispCall& c) {
    if (OnProgressChange) OnProgressChange(this, c.Value(0).AsInteger(), c.Value(1).AsInteger());
  };
  h[105] = [this](TDispCall& c) {
    if (OnCommandStateChange) OnCommandStateChange(this, c.Value(0).AsInteger(), c.Value(1).AsBoolean());
  };
  h[106] = [this](TDispCall&) {
    if (OnDownloadBegin) OnDownloadBegin(this);
  };
  h[104] = [this](TDispCall&) {
    if (OnDownloadComplete) OnDownloadComplete(this);
  };
  h[113] = [this](TDispCall& c) {
    if (OnTitleChange) OnTitleChange(this, c.Value(0).AsWideString());
  };
  h[112] = [this](TDispCall& c) {
    if (OnPropertyChange) OnPropertyChange(this, c.Value(0).AsWideString());
  };
  h[250] = [this](TDispCall& c) {
    if (!OnBeforeNavigate2) return;
    InOut url(c, 1), flags(c, 2), frame(c, 3), post(c, 4), headers(c, 5);
    InOutBool cancel(c, 6);
    OnBeforeNavigate2(this, DispArg(c, 0), *url, *flags, *frame, *post, *headers, *cancel);
  };
  h[251] = [this](TDispCall& c) {
    if (!OnNewWindow2) return;
    IDispatch* disp = DispArg(c, 0);
    InOutBool cancel(c, 1);
    OnNewWindow2(this, disp, *cancel);
    if (ByRef(c, 0)) c.SetArg(0, OleVariant(disp));
  };
  h[252] = [this](TDispCall& c) {
    if (!OnNavigateComplete2) return;
    InOut url(c, 1);
    OnNavigateComplete2(this, DispArg(c, 0), *url);
  };
  h[259] = [this](TDispCall& c) {
    if (!OnDocumentComplete) return;
    InOut url(c, 1);
    OnDocumentComplete(this, DispArg(c, 0), *url);
  };
  h[253] = [this](TDispCall&) {
    if (OnQuit) OnQuit(this);
  };
  auto boolean = [this](TEWBBool TEWB::*event) {
    return [this, event](TDispCall& c) {
      if (this->*event) (this->*event)(this, c.Value(0).AsBoolean());
    };
  };
  auto integer = [this](TEWBInt TEWB::*event) {
    return [this, event](TDispCall& c) {
      if (this->*event) (this->*event)(this, c.Value(0).AsInteger());
    };
  };
  h[254] = boolean(&TEWB::OnVisible);
  h[255] = boolean(&TEWB::OnToolBar);
  h[256] = boolean(&TEWB::OnMenuBar);
  h[257] = boolean(&TEWB::OnStatusBar);
  h[258] = boolean(&TEWB::OnFullScreen);
  h[260] = boolean(&TEWB::OnTheaterMode);
  h[261] = boolean(&TEWB::OnAddressBar);
  h[262] = boolean(&TEWB::OnWindowSetResizable);
  h[264] = integer(&TEWB::OnWindowSetLeft);
  h[265] = integer(&TEWB::OnWindowSetTop);
  h[266] = integer(&TEWB::OnWindowSetWidth);
  h[267] = integer(&TEWB::OnWindowSetHeight);
  h[263] = [this](TDispCall& c) {
    if (!OnWindowClosing) return;
    InOutBool cancel(c, 1);
    OnWindowClosing(this, c.Value(0).AsBoolean(), *cancel);
  };
  h[268] = [this](TDispCall& c) {
    if (!OnClientToHostWindow) return;
    InOut cx(c, 0), cy(c, 1);
    int x = (*cx).AsInteger(), y = (*cy).AsInteger();
    OnClientToHostWindow(this, x, y);
    *cx = x;
    *cy = y;
  };
  h[269] = integer(&TEWB::OnSetSecureLockIcon);
  // The Cancel argument is rgvarg[0], the call's last argument.
  h[270] = [this](TDispCall& c) {
    if (!OnFileDownload || c.Count() == 0) return;
    InOutBool cancel(c, c.Count() - 1);
    OnFileDownload(this, *cancel);
  };
  h[271] = [this](TDispCall& c) {
    if (!OnNavigateError) return;
    InOut url(c, 1), frame(c, 2), status(c, 3);
    InOutBool cancel(c, 4);
    OnNavigateError(this, DispArg(c, 0), *url, *frame, *status, *cancel);
  };
  h[225] = [this](TDispCall& c) {
    if (OnPrintTemplateInstantiation) OnPrintTemplateInstantiation(this, DispArg(c, 0));
  };
  h[226] = [this](TDispCall& c) {
    if (OnPrintTemplateTeardown) OnPrintTemplateTeardown(this, DispArg(c, 0));
  };
  h[227] = [this](TDispCall& c) {
    if (!OnUpdatePageStatus) return;
    InOut page(c, 1), done(c, 2);
    OnUpdatePageStatus(this, DispArg(c, 0), *page, *done);
  };
  h[272] = boolean(&TEWB::OnPrivacyImpactedStateChange);
  h[273] = [this](TDispCall& c) {
    if (!OnNewWindow3) return;
    IDispatch* disp = DispArg(c, 0);
    InOutBool cancel(c, 1);
    OnNewWindow3(this, disp, *cancel, static_cast<DWORD>(c.Value(2).AsInt64()), c.Value(3).AsWideString(),
                 c.Value(4).AsWideString());
    if (ByRef(c, 0)) c.SetArg(0, OleVariant(disp));
  };
}
