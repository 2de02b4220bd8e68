// IStream over a growable memory block.
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/com/com.h"
#include "platform/com/unknown.h"

namespace {

constexpr ULONGLONG kMaxSize = ULONGLONG{1} << 40;

class MemoryStream final : public kv::RefCounted<IStream> {
 public:
  explicit MemoryStream(std::shared_ptr<std::vector<BYTE>> data) : data_(std::move(data)) {}

  bool Accepts(REFIID riid) const override {
    return IsEqualIID(riid, IID_ISequentialStream) || IsEqualIID(riid, IID_IStream);
  }

  HRESULT Read(void* buffer, ULONG size, ULONG* read) override {
    if (!buffer && size) return STG_E_INVALIDPOINTER;
    ULONGLONG left = pos_ < data_->size() ? data_->size() - pos_ : 0;
    ULONG n = static_cast<ULONG>(std::min<ULONGLONG>(size, left));
    if (n) memcpy(buffer, data_->data() + pos_, n);
    pos_ += n;
    if (read) *read = n;
    return n == size ? S_OK : S_FALSE;
  }

  HRESULT Write(const void* buffer, ULONG size, ULONG* written) override {
    if (!buffer && size) return STG_E_INVALIDPOINTER;
    if (written) *written = 0;
    if (pos_ + size > kMaxSize) return STG_E_MEDIUMFULL;
    try {
      if (pos_ + size > data_->size()) data_->resize(pos_ + size);
    } catch (...) {
      return STG_E_MEDIUMFULL;
    }
    if (size) memcpy(data_->data() + pos_, buffer, size);
    pos_ += size;
    if (written) *written = size;
    return S_OK;
  }

  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* new_position) override {
    LONGLONG base;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = static_cast<LONGLONG>(pos_); break;
      case STREAM_SEEK_END: base = static_cast<LONGLONG>(data_->size()); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    LONGLONG target;
    if (__builtin_add_overflow(base, move.QuadPart, &target) || target < 0) return STG_E_INVALIDFUNCTION;
    pos_ = static_cast<ULONGLONG>(target);
    if (new_position) new_position->QuadPart = pos_;
    return S_OK;
  }

  HRESULT SetSize(ULARGE_INTEGER size) override {
    if (size.QuadPart > kMaxSize) return STG_E_MEDIUMFULL;
    try {
      data_->resize(size.QuadPart);
    } catch (...) {
      return STG_E_MEDIUMFULL;
    }
    return S_OK;
  }

  HRESULT CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
    if (!target) return STG_E_INVALIDPOINTER;
    ULONGLONG left = pos_ < data_->size() ? data_->size() - pos_ : 0;
    ULONGLONG n = std::min(size.QuadPart, left);
    ULONGLONG done = 0;
    HRESULT hr = S_OK;
    while (done < n) {
      ULONG chunk = static_cast<ULONG>(std::min<ULONGLONG>(n - done, 1u << 30));
      ULONG w = 0;
      hr = target->Write(data_->data() + pos_ + done, chunk, &w);
      done += w;
      if (FAILED(hr) || w < chunk) break;
    }
    pos_ += n;
    if (read) read->QuadPart = n;
    if (written) written->QuadPart = done;
    return FAILED(hr) ? hr : S_OK;
  }

  HRESULT Commit(DWORD) override { return S_OK; }  // memory: nothing to flush
  HRESULT Revert() override { return S_OK; }       // changes are direct, nothing to undo
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

  HRESULT Stat(STATSTG* stat, DWORD) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    memset(stat, 0, sizeof *stat);
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = data_->size();
    stat->grfMode = STGM_READWRITE;
    return S_OK;
  }

  HRESULT Clone(IStream** out) override {
    if (!out) return STG_E_INVALIDPOINTER;
    auto* c = new MemoryStream(data_);
    c->pos_ = pos_;
    *out = c;
    return S_OK;
  }

 private:
  std::shared_ptr<std::vector<BYTE>> data_;
  ULONGLONG pos_ = 0;
};

}  // namespace

extern "C" {

IStream* SHCreateMemStream(const BYTE* data, UINT size) {
  try {
    auto block = std::make_shared<std::vector<BYTE>>();
    if (data) block->assign(data, data + size);
    return new MemoryStream(std::move(block));
  } catch (...) {
    return nullptr;
  }
}

HRESULT CreateStreamOnHGlobal(HGLOBAL global, BOOL, IStream** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (global) return E_INVALIDARG;
  *out = SHCreateMemStream(nullptr, 0);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // extern "C"
