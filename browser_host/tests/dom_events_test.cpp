// The DOM event listener: handler items and their sorted list, the dispatch rules, the
// sink-kind errors, and a listener on a shown document receiving an injected click,
// then destroyed while its link is still advised.
#include <gtest/gtest.h>

#include <fstream>

#include "browser_host/dom_events.h"
#include "platform/base/codepage.h"
#include "platform/base/time.h"
#include "testsupport/browser_site.h"
#include "testsupport/temp_home.h"

namespace {

TEST(DomEvents, DuplicateEventIdRaisesAndFallsBackToUnknown) {
  THtmlListener listener(nullptr);
  TEventHandlerItem* first = listener.Handlers()->Add();
  TEventHandlerItem* second = listener.Handlers()->Add();
  first->SetEventID(eiOnClick);
  try {
    second->SetEventID(eiOnClick);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Handler with EventID = OnClick already exists.");
  }
  EXPECT_EQ(second->EventID(), eiUnknown);
  EXPECT_EQ(second->DispID(), 0);
  EXPECT_EQ(first->DisplayName(), "OnClick");
  int index = -1;
  EXPECT_TRUE(listener.FindHandler(-600, index));
  EXPECT_EQ(index, 0);
  EXPECT_FALSE(listener.FindHandler(0, index)) << "eiUnknown is never in the list";
}

TEST(DomEvents, BisectionOrderBySignedDispId) {
  THtmlListener listener(nullptr);
  for (TEventEnum e : {eiOnAbort, eiOnClick, eiOnBlur}) listener.Handlers()->Add()->SetEventID(e);
  struct Case {
    DISPID id;
    bool found;
    int index;
  } cases[] = {
      {static_cast<DISPID>(0x80010000), true, 0}, {-600, true, 1}, {1000, true, 2},
      {-601, false, 1},                           {2000, false, 3}, {static_cast<DISPID>(0x80010022), false, 1},
  };
  for (const Case& c : cases) {
    int index = -1;
    EXPECT_EQ(listener.FindHandler(c.id, index), c.found) << c.id;
    EXPECT_EQ(index, c.index) << c.id;
  }
  listener.Handlers()->Delete(1);  // eiOnClick's item
  int index = -1;
  EXPECT_FALSE(listener.FindHandler(-600, index));
}

TEST(DomEvents, DispatchRules) {
  THtmlListener listener(nullptr);
  int clicks = 0;
  TObject* sender = nullptr;
  TEventHandlerItem* click = listener.Handlers()->Add();
  click->SetEventID(eiOnClick);
  click->OnHandle = [&](TObject* s, IHTMLEventObj*) {
    ++clicks;
    sender = s;
  };
  listener.Handlers()->Add()->SetEventID(eiOnSelect);  // in the list, without a handler
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  struct Case {
    DISPID id;
    WORD flags;
    int clicks;
  } cases[] = {{-600, DISPATCH_METHOD, 1}, {-600, DISPATCH_PROPERTYGET, 1}, {1006, DISPATCH_METHOD, 1},
               {1234, DISPATCH_METHOD, 1}};
  for (const Case& c : cases) {
    EXPECT_EQ(listener.Invoke(c.id, IID_NULL, 0, c.flags, &none, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(clicks, c.clicks);
  }
  EXPECT_EQ(sender, &listener);
  click->OnHandle = [](TObject*, IHTMLEventObj*) { throw EConvertError("bad"); };
  EXCEPINFO info{};
  EXPECT_EQ(listener.Invoke(-600, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, &info, nullptr), DISP_E_EXCEPTION);
  EXPECT_EQ(info.wCode, 9999);
  EXPECT_EQ(kv::BstrText(info.bstrSource), u"EConvertError");
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  // The listener itself answers its sink kind's event interface.
  listener.SetSinkKind(skDocument);
  void* sink = nullptr;
  EXPECT_EQ(listener.QueryInterface(DIID_HTMLDocumentEvents2, &sink), S_OK);
}

class ListenerOnPage : public ::testing::Test {
 protected:
  void SetUp() override {
    KvClockSetVirtual(TRUE);
    std::string page = home_.path() + "/l.html";
    std::ofstream(page) << "<html><body><p id=target>click me</p><form id=f></form></body></html>";
    host_.Navigate(page);
    host_.Run();
  }
  void TearDown() override { KvClockSetVirtual(FALSE); }
  IHTMLDocument2* Doc() { return host_.Document(); }
  kvtest::TempHome home_;
  kvtest::HostedBrowser host_;
};

TEST_F(ListenerOnPage, SinkKindWithoutThatConnectionPointRaises) {
  THtmlListener listener(nullptr);
  listener.SetSinkKind(skForm);
  IHTMLDocument2* doc = Doc();
  IHubLink* link = reinterpret_cast<IHubLink*>(1);
  try {
    listener.Connect(doc, nullptr, link);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Source don't have connection point for [{3050F614-98B5-11CF-BB82-00AA00BDCE0B}]");
  }
  EXPECT_EQ(link, nullptr);
  doc->Release();
}

TEST_F(ListenerOnPage, InjectedClickArrivesWithItsSourceElementAndDisconnectEndsIt) {
  THtmlListener listener(nullptr);
  listener.SetSinkKind(skDocument);
  std::vector<std::u16string> sources;
  TObject sender_object;
  TObject* sender = nullptr;
  TEventHandlerItem* click = listener.Handlers()->Add();
  click->SetEventID(eiOnClick);
  click->OnHandle = [&](TObject* s, IHTMLEventObj* event) {
    sender = s;
    IHTMLElement* src = nullptr;
    if (event) event->get_srcElement(&src);
    BSTR id = nullptr;
    if (src) src->get_id(&id);
    sources.push_back(kv::BstrText(id));
    SysFreeString(id);
    if (src) src->Release();
  };
  IHTMLDocument2* doc = Doc();
  IHubLink* link = nullptr;
  listener.Connect(doc, &sender_object, link);
  doc->Release();
  ASSERT_TRUE(link);
  host_.Click(u"target");
  ASSERT_EQ(sources.size(), 1u);
  EXPECT_EQ(sources[0], u"target");
  EXPECT_EQ(sender, &sender_object);
  EXPECT_EQ(link->Disconnect(), S_OK);
  host_.Click(u"target");
  EXPECT_EQ(sources.size(), 1u);
  EXPECT_EQ(link->Disconnect(), S_OK) << "again: nothing to do";
  link->Release();
}

TEST_F(ListenerOnPage, DestroyingTheListenerWhileALinkIsAdvisedIsClean) {
  int clicks = 0;
  IHubLink* link = nullptr;
  {
    THtmlListener listener(nullptr);
    listener.SetSinkKind(skDocument);
    TEventHandlerItem* click = listener.Handlers()->Add();
    click->SetEventID(eiOnClick);
    click->OnHandle = [&](TObject*, IHTMLEventObj*) { ++clicks; };
    IHTMLDocument2* doc = Doc();
    listener.Connect(doc, nullptr, link);
    doc->Release();
    link->Release();  // the source's reference keeps the link
    host_.Click(u"target");
    EXPECT_EQ(clicks, 1);
  }
  host_.Click(u"target");  // the detached link answers S_OK and touches nothing
  EXPECT_EQ(clicks, 1);
}

}  // namespace
