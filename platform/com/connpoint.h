// Connection points for objects that raise events: a ready implementation of
// IConnectionPoint with its enumerators, compiled into the module that uses it.
//
// The container (the event source) creates one kv::ConnectionPoint per outgoing
// interface, holds a reference to it and calls Detach() when it goes away; the point
// refers back to the container without a reference. Advise asks the sink for the
// outgoing interface (CONNECT_E_CANNOTCONNECT when it has none) and keeps that
// reference; cookies count from 1.
#pragma once

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

#include "platform/com/com.h"
#include "platform/com/unknown.h"

namespace kv {

// The unknown an enumerated item holds a reference on.
inline IUnknown* HeldUnknown(const CONNECTDATA& c) { return c.pUnk; }
inline IUnknown* HeldUnknown(IConnectionPoint* p) { return p; }

// An enumerator over a snapshot of items (the sinks of a point, the points of a
// container), each held with a reference while the enumerator lives.
template <class Interface, class Item, const IID& kIid>
class Enumerator final : public RefCounted<Interface> {
 public:
  explicit Enumerator(std::vector<Item> items, size_t pos = 0) : items_(std::move(items)), pos_(pos) {
    for (const auto& item : items_) HeldUnknown(item)->AddRef();
  }
  Enumerator(const Enumerator&) = delete;
  Enumerator& operator=(const Enumerator&) = delete;

  bool Accepts(REFIID riid) const override { return IsEqualIID(riid, kIid); }
  // Each item handed out carries a reference of its own.
  HRESULT Next(ULONG count, Item* out, ULONG* fetched) override {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    while (n < count && pos_ < items_.size()) {
      out[n] = items_[pos_++];
      HeldUnknown(out[n])->AddRef();
      ++n;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    size_t left = items_.size() - pos_;
    pos_ += std::min<size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    pos_ = 0;
    return S_OK;
  }
  HRESULT Clone(Interface** out) override {
    if (!out) return E_POINTER;
    *out = new Enumerator(items_, pos_);
    return S_OK;
  }

 private:
  ~Enumerator() {
    for (const auto& item : items_) HeldUnknown(item)->Release();
  }
  std::vector<Item> items_;
  size_t pos_;
};

using EnumConnections = Enumerator<IEnumConnections, CONNECTDATA, IID_IEnumConnections>;
using EnumConnectionPoints = Enumerator<IEnumConnectionPoints, IConnectionPoint*, IID_IEnumConnectionPoints>;

class ConnectionPoint final : public RefCounted<IConnectionPoint> {
 public:
  ConnectionPoint(IConnectionPointContainer* container, const IID& iid) : container_(container), iid_(iid) {}
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  const IID& Iid() const { return iid_; }
  // The container is going away: its sinks are released and it is no longer named.
  void Detach() {
    container_ = nullptr;
    auto sinks = std::move(sinks_);
    sinks_.clear();
    for (auto& c : sinks) c.pUnk->Release();
  }
  // The advised sinks (as the outgoing interface), each with a reference the caller
  // releases; a copy, so sinks may unadvise while events are raised.
  std::vector<IUnknown*> Sinks() const {
    std::vector<IUnknown*> out;
    for (const auto& c : sinks_) {
      c.pUnk->AddRef();
      out.push_back(c.pUnk);
    }
    return out;
  }

  bool Accepts(REFIID riid) const override { return IsEqualIID(riid, IID_IConnectionPoint); }

  HRESULT GetConnectionInterface(IID* iid) override {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
  }
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) override {
    if (!out) return E_POINTER;
    *out = container_;
    if (!container_) return E_UNEXPECTED;
    container_->AddRef();
    return S_OK;
  }
  HRESULT Advise(IUnknown* sink, DWORD* cookie) override {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    void* p = nullptr;
    if (FAILED(sink->QueryInterface(iid_, &p)) || !p) return CONNECT_E_CANNOTCONNECT;
    CONNECTDATA c{static_cast<IUnknown*>(p), ++last_cookie_};
    sinks_.push_back(c);
    *cookie = c.dwCookie;
    return S_OK;
  }
  HRESULT Unadvise(DWORD cookie) override {
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
      if (it->dwCookie == cookie) {
        IUnknown* sink = it->pUnk;
        sinks_.erase(it);
        sink->Release();
        return S_OK;
      }
    }
    return CONNECT_E_NOCONNECTION;
  }
  HRESULT EnumConnections(IEnumConnections** out) override {
    if (!out) return E_POINTER;
    *out = new kv::EnumConnections(sinks_);
    return S_OK;
  }

 private:
  ~ConnectionPoint() { Detach(); }
  IConnectionPointContainer* container_;
  IID iid_;
  std::vector<CONNECTDATA> sinks_;
  DWORD last_cookie_ = 0;
};

}  // namespace kv
