#include <gtest/gtest.h>

#include "platform/com/connpoint.h"
#include "platform/com/oleauto.h"
#include "testsupport/dispatch_stub.h"

namespace {

// An event source with one outgoing dispatch interface.
const IID kEvents = {0xE02B8B3B, 0x956C, 0x400B, {0x88, 0xE0, 0x76, 0x4E, 0xDE, 0xC1, 0xB7, 0x51}};

struct Source final : IConnectionPointContainer {
  int refs = 1;
  kv::ConnectionPoint* point = new kv::ConnectionPoint(this, kEvents);
  ~Source() {
    point->Detach();
    point->Release();
  }
  HRESULT QueryInterface(REFIID riid, void** p) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPointContainer)) {
      *p = this;
      ++refs;
      return S_OK;
    }
    *p = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) override {
    *out = new kv::EnumConnectionPoints({point});
    return S_OK;
  }
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
    *out = nullptr;
    if (!IsEqualIID(riid, kEvents)) return CONNECT_E_NOCONNECTION;
    point->AddRef();
    *out = point;
    return S_OK;
  }
};

// A sink of the events: counts the calls it gets.
struct Sink final : kvtest::DispatchStub {
  int calls = 0;
  Sink() { also = kEvents; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    ++calls;
    return S_OK;
  }
};

TEST(ConnectionPoint, AdviseRaiseUnadviseAndEnumerate) {
  Sink sink, mute;
  mute.also = IID_NULL;  // does not speak the events
  {
    Source source;
    IConnectionPoint* cp = nullptr;
    ASSERT_EQ(source.FindConnectionPoint(kEvents, &cp), S_OK);
    EXPECT_EQ(cp, source.point);
    cp->Release();
    EXPECT_EQ(source.FindConnectionPoint(IID_IDispatch, &cp), CONNECT_E_NOCONNECTION);
    cp = source.point;
    DWORD c1 = 0, c2 = 0, none = 7;
    ASSERT_EQ(cp->Advise(&sink, &c1), S_OK);
    ASSERT_EQ(cp->Advise(&sink, &c2), S_OK);
    EXPECT_NE(c1, c2);
    EXPECT_EQ(cp->Advise(&mute, &none), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(none, 0u);
    EXPECT_EQ(sink.refs, 3);
    for (IUnknown* s : source.point->Sinks()) {
      static_cast<IDispatch*>(s)->Invoke(201, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr);
      s->Release();
    }
    EXPECT_EQ(sink.calls, 2);
    IEnumConnections* e;
    ASSERT_EQ(cp->EnumConnections(&e), S_OK);
    CONNECTDATA items[3];
    ULONG got = 0;
    EXPECT_EQ(e->Next(3, items, &got), S_FALSE);
    EXPECT_EQ(got, 2u);
    for (ULONG i = 0; i < got; ++i) items[i].pUnk->Release();
    e->Release();
    EXPECT_EQ(cp->Unadvise(c1), S_OK);
    EXPECT_EQ(cp->Unadvise(c1), CONNECT_E_NOCONNECTION);
    IConnectionPointContainer* back = nullptr;
    ASSERT_EQ(cp->GetConnectionPointContainer(&back), S_OK);
    EXPECT_EQ(back, &source);
    back->Release();
    IEnumConnectionPoints* points;
    ASSERT_EQ(source.EnumConnectionPoints(&points), S_OK);
    IConnectionPoint* first = nullptr;
    EXPECT_EQ(points->Next(1, &first, nullptr), S_OK);
    EXPECT_EQ(first, cp);
    first->Release();
    points->Release();
  }
  // The source went away: its sinks were let go.
  EXPECT_EQ(sink.refs, 1);
}

}  // namespace
