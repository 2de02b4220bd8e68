// A framework button served as an ActiveX control (KvAxTestServer.dll), hosted by a
// TOleControl on a form: creation by class ID, in-place activation, properties by
// DISPID, events from the control's connection point.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "framework/activex/olectrls.h"
#include "framework/automation/comobj.h"
#include "framework/controls/forms.h"
#include "framework/graphics/graphics.h"
#include "platform/base/module.h"
#include "platform/base/time.h"
#include "platform/user/button.h"
#include "platform/user/testing.h"
#include "testsupport/temp_home.h"

namespace {

constexpr GUID kEventIid = {0x3A7C1E12, 0x6D2B, 0x4F51, {0x8E, 0x3A, 0x2C, 0x9B, 0x7D, 0x4E, 0x5F, 0x01}};
constexpr GUID kClsid = {0x3A7C1E13, 0x6D2B, 0x4F51, {0x8E, 0x3A, 0x2C, 0x9B, 0x7D, 0x4E, 0x5F, 0x01}};
constexpr DISPID kCaption = -518, kEnabled = -514, kSinkChanges = 230, kHasSink = 231, kLastKey = 232, kUserMode = 233;
constexpr DISPID kOnClick = 201, kOnKeyPress = 202;

std::string BinDir() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string exe(buf, n > 0 ? static_cast<size_t>(n) : 0);
  return exe.substr(0, exe.rfind('/'));
}

class ActiveXTest : public ::testing::Test {
 protected:
  // One registry for the suite, with the server registered as regsvr would (the
  // server's own DllRegisterServer).
  static void SetUpTestSuite() {
    home_ = new kvtest::TempHome();
    HMODULE m = LoadLibraryA((BinDir() + "/KvAxTestServer.dll").c_str());
    ASSERT_TRUE(m);
    auto reg = kv::ProcAddress<HRESULT (*)()>(m, "DllRegisterServer");
    ASSERT_TRUE(reg);
    ASSERT_EQ(reg(), S_OK);
    FreeLibrary(m);
  }
  static void TearDownTestSuite() {
    delete home_;
    home_ = nullptr;
  }

  void SetUp() override {
    Application->ResetState();
    KvUserReset();
    KvClockSetVirtual(TRUE);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    form_ = new TForm(nullptr);
    form_->SetBounds(50, 50, 300, 200);
    ax_ = new TOleControl(form_, kClsid, kEventIid);
    ax_->SetParent(form_);
    ax_->SetBounds(10, 20, 100, 30);
  }
  void TearDown() override {
    delete form_;
    CoFreeUnusedLibraries();
    CoUninitialize();
    Application->ResetState();
    KvUserReset();
    KvClockSetVirtual(FALSE);
  }

  HWND Inner() { return GetWindow(ax_->Handle(), GW_CHILD); }

  static kvtest::TempHome* home_;
  TForm* form_ = nullptr;
  TOleControl* ax_ = nullptr;
};

kvtest::TempHome* ActiveXTest::home_ = nullptr;

TEST_F(ActiveXTest, ControlIsCreatedByClassIdAndActivatedInPlaceInTheForm) {
  form_->Show();
  ASSERT_TRUE(ax_->ControlCreated());
  HWND h = ax_->Handle();
  EXPECT_EQ(GetParent(h), form_->Handle());
  EXPECT_TRUE(IsWindowVisible(h));
  EXPECT_EQ(FindControl(h), ax_);
  RECT r;
  GetWindowRect(h, &r);
  MapWindowPoints(nullptr, form_->Handle(), reinterpret_cast<LPPOINT>(&r), 2);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right - r.left, 100);
  // The served button fills the control's window.
  HWND button = Inner();
  ASSERT_TRUE(button);
  char cls[32];
  GetClassNameA(button, cls, sizeof cls);
  EXPECT_STREQ(cls, "TButton");
  GetClientRect(button, &r);
  EXPECT_EQ(r.right, 100);
  EXPECT_EQ(r.bottom, 30);
  // Moving the component moves the control through SetObjectRects.
  ax_->SetBounds(30, 40, 150, 35);
  GetClientRect(Inner(), &r);
  EXPECT_EQ(r.right, 150);
  EXPECT_EQ(r.bottom, 35);
  EXPECT_TRUE(ax_->GetProperty(kUserMode).AsBoolean());
}

TEST_F(ActiveXTest, PropertiesAreReadAndWrittenByDispid) {
  form_->Show();
  EXPECT_EQ(ax_->GetProperty(kCaption).AsString(), "AxButton");
  ax_->SetProperty(kCaption, OleVariant("Print"));
  EXPECT_EQ(ax_->GetProperty(kCaption).AsString(), "Print");
  char text[32];
  GetWindowTextA(Inner(), text, sizeof text);
  EXPECT_STREQ(text, "Print");
  ax_->SetProperty(kEnabled, OleVariant(false));
  EXPECT_FALSE(ax_->GetProperty(kEnabled).AsBoolean());
  EXPECT_FALSE(IsWindowEnabled(Inner()));
  try {
    ax_->GetProperty(999);
    FAIL() << "an unknown DISPID must fail";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode(), DISP_E_MEMBERNOTFOUND);
  }
}

TEST_F(ActiveXTest, ClickAndKeyEventsReachTheContainerByDispid) {
  int clicks = 0;
  ax_->EventHandlers[kOnClick] = [&](TDispCall&) { ++clicks; };
  // The key-press sink changes the character; the button goes on with its low byte.
  ax_->EventHandlers[kOnKeyPress] = [&](TDispCall& call) {
    EXPECT_EQ(call.Value(0).AsInteger(), 'x');
    call.SetArg(0, OleVariant(0x141));
  };
  form_->Show();
  EXPECT_EQ(ax_->GetProperty(kSinkChanges).AsInteger(), 1);
  EXPECT_TRUE(ax_->GetProperty(kHasSink).AsBoolean());
  RECT r;
  GetWindowRect(Inner(), &r);
  KvInjectClick((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 1);
  SetFocus(Inner());
  KvInjectChar(u'x');
  Application->ProcessMessages();
  EXPECT_EQ(ax_->GetProperty(kLastKey).AsInteger(), 0x41);
  // Frozen events are not raised.
  ax_->OleControl()->FreezeEvents(TRUE);
  SendMessageA(Inner(), BM_CLICK, 0, 0);
  EXPECT_EQ(clicks, 1);
  ax_->OleControl()->FreezeEvents(FALSE);
  SendMessageA(Inner(), BM_CLICK, 0, 0);
  EXPECT_EQ(clicks, 2);
}

TEST_F(ActiveXTest, PersistenceSafetyAndControlInterfaces) {
  form_->Show();
  IOleObject* ole = ax_->OleObject();
  IPersistStreamInit* persist = nullptr;
  ASSERT_EQ(ole->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)), S_OK);
  CLSID clsid{};
  EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualGUID(clsid, kClsid));
  ax_->SetProperty(kCaption, OleVariant("Saved"));
  IStream* stream = SHCreateMemStream(nullptr, 0);
  ASSERT_TRUE(stream);
  EXPECT_EQ(persist->Save(stream, TRUE), S_OK);
  ax_->SetProperty(kCaption, OleVariant("Changed"));
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  EXPECT_EQ(persist->Load(stream), S_OK);
  EXPECT_EQ(ax_->GetProperty(kCaption).AsString(), "Saved");
  stream->Release();
  // Data that is not a saved control, or is cut short, is refused and changes nothing.
  const BYTE junk[] = {'K', 'V', 'A', 'X', 1, 0, 0, 0, 5, 0, 0, 0, 200, 0, 0, 0, 'C'};
  for (UINT size : {3u, 12u, static_cast<UINT>(sizeof junk)}) {
    IStream* bad = SHCreateMemStream(junk, size);
    EXPECT_EQ(persist->Load(bad), E_FAIL) << size;
    bad->Release();
  }
  EXPECT_EQ(ax_->GetProperty(kCaption).AsString(), "Saved");
  persist->Release();

  IObjectSafety* safety = nullptr;
  ASSERT_EQ(ole->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety)), S_OK);
  DWORD both = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, both, both), S_OK);
  DWORD supported = 0, enabled = 0;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, both);
  EXPECT_EQ(enabled, both);
  // Options it does not support, or an interface it does not have, are refused.
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 0xFF, 0xFF), E_FAIL);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(kEventIid, both, both), E_NOINTERFACE);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(kEventIid, &supported, &enabled), E_NOINTERFACE);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, both);
  safety->Release();

  DWORD misc = 0;
  EXPECT_EQ(ole->GetMiscStatus(DVASPECT_CONTENT, &misc), S_OK);
  EXPECT_TRUE(misc & OLEMISC_SETCLIENTSITEFIRST);
  SIZEL size{};
  EXPECT_EQ(ole->GetExtent(DVASPECT_CONTENT, &size), S_OK);
  EXPECT_EQ(size.cx, 2646);  // 100 pixels at 96 per inch, in HIMETRIC
  EXPECT_EQ(ole->GetExtent(DVASPECT_ICON, &size), DV_E_DVASPECT);
  CONTROLINFO info{};
  EXPECT_EQ(ax_->OleControl()->GetControlInfo(&info), E_INVALIDARG);
  info.cb = sizeof info;
  EXPECT_EQ(ax_->OleControl()->GetControlInfo(&info), S_OK);
  // The view object paints the control into any DC (here a white bitmap).
  IViewObject2* view = nullptr;
  ASSERT_EQ(ole->QueryInterface(IID_IViewObject2, reinterpret_cast<void**>(&view)), S_OK);
  TBitmap picture;
  picture.SetSize(120, 40);
  picture.Canvas()->Brush()->SetColor(clWhite);
  picture.Canvas()->FillRect(Rect(0, 0, 120, 40));
  RECTL bounds{10, 5, 110, 35};
  EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, picture.Canvas()->Handle(), &bounds, nullptr,
                       nullptr, 0),
            S_OK);
  EXPECT_EQ(picture.Canvas()->Pixels(2, 2), clWhite);                              // outside the bounds
  EXPECT_EQ(ColorToRGB(picture.Canvas()->Pixels(16, 26)), ColorToRGB(clBtnFace));  // the button's face
  EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, picture.Canvas()->Handle(), &bounds, nullptr,
                       nullptr, 0),
            DV_E_DVASPECT);
  view->Release();
  IConnectionPointContainer* cpc = nullptr;
  ASSERT_EQ(ole->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)), S_OK);
  IConnectionPoint* cp = nullptr;
  EXPECT_EQ(cpc->FindConnectionPoint(IID_IDispatch, &cp), CONNECT_E_NOCONNECTION);
  cpc->Release();
}

TEST_F(ActiveXTest, RecreatingTheWindowReactivatesAndDestroyingReleasesTheServer) {
  form_->Show();
  HWND first = ax_->Handle();
  ax_->SetProperty(kCaption, OleVariant("Kept"));
  ax_->RecreateWnd();
  ASSERT_TRUE(ax_->HandleAllocated());
  EXPECT_EQ(GetParent(ax_->Handle()), form_->Handle());
  EXPECT_TRUE(IsWindowVisible(ax_->Handle()));
  EXPECT_EQ(FindControl(first), first == ax_->Handle() ? ax_ : nullptr);
  EXPECT_EQ(ax_->GetProperty(kCaption).AsString(), "Kept");
  delete form_;
  form_ = nullptr;
  CoFreeUnusedLibraries();
  EXPECT_EQ(KvComLoadedServerCount(), 0u);
}

}  // namespace
