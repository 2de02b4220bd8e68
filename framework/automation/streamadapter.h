// TStreamAdapter: a framework stream seen as the platform's IStream.
#pragma once

#include <atomic>

#include "framework/core/classes.h"
#include "platform/com/com.h"

enum TStreamOwnership { soReference, soOwned };

// Reference counted; created with one reference. With soOwned the stream is freed with
// the adapter. Reads and writes move the stream's position; Commit and Revert have
// nothing to do, region locks and Clone are not offered (STG_E_INVALIDFUNCTION, E_NOTIMPL).
class TStreamAdapter final : public IStream {
 public:
  explicit TStreamAdapter(TStream* Stream, TStreamOwnership Ownership = soReference);
  TStreamAdapter(const TStreamAdapter&) = delete;
  TStreamAdapter& operator=(const TStreamAdapter&) = delete;

  TStream* Stream() const { return stream_; }

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override;

  HRESULT Read(void* buffer, ULONG size, ULONG* read) override;
  HRESULT Write(const void* buffer, ULONG size, ULONG* written) override;
  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* new_position) override;
  HRESULT SetSize(ULARGE_INTEGER size) override;
  HRESULT CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override;
  HRESULT Commit(DWORD) override { return S_OK; }
  HRESULT Revert() override { return S_OK; }
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT Stat(STATSTG* stat, DWORD flags) override;
  HRESULT Clone(IStream** out) override;

 private:
  ~TStreamAdapter();
  TStream* stream_;
  TStreamOwnership ownership_;
  std::atomic<ULONG> refs_{1};
};
