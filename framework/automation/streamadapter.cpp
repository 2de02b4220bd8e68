#include "framework/automation/streamadapter.h"

#include <cstring>
#include <vector>

TStreamAdapter::TStreamAdapter(TStream* Stream, TStreamOwnership Ownership) : stream_(Stream), ownership_(Ownership) {}

TStreamAdapter::~TStreamAdapter() {
  if (ownership_ == soOwned) delete stream_;
}

ULONG TStreamAdapter::Release() {
  ULONG n = --refs_;
  if (n == 0) delete this;
  return n;
}

HRESULT TStreamAdapter::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) || IsEqualIID(riid, IID_IStream)) {
    *object = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT TStreamAdapter::Read(void* buffer, ULONG size, ULONG* read) {
  if (read) *read = 0;
  if (!buffer && size) return STG_E_INVALIDPOINTER;
  try {
    ULONG done = 0;
    while (done < size) {
      int chunk = static_cast<int>(std::min<ULONG>(size - done, 1u << 30));
      int n = stream_->Read(static_cast<BYTE*>(buffer) + done, chunk);
      if (n <= 0) break;
      done += static_cast<ULONG>(n);
    }
    if (read) *read = done;
    return done == size ? S_OK : S_FALSE;
  } catch (...) {
    return S_FALSE;
  }
}

HRESULT TStreamAdapter::Write(const void* buffer, ULONG size, ULONG* written) {
  if (written) *written = 0;
  if (!buffer && size) return STG_E_INVALIDPOINTER;
  try {
    ULONG done = 0;
    while (done < size) {
      int chunk = static_cast<int>(std::min<ULONG>(size - done, 1u << 30));
      int n = stream_->Write(static_cast<const BYTE*>(buffer) + done, chunk);
      if (n <= 0) break;
      done += static_cast<ULONG>(n);
    }
    if (written) *written = done;
    return done == size ? S_OK : STG_E_MEDIUMFULL;
  } catch (...) {
    return STG_E_MEDIUMFULL;
  }
}

HRESULT TStreamAdapter::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* new_position) {
  if (origin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
  try {
    int64_t pos = stream_->Seek(move.QuadPart, static_cast<TSeekOrigin>(origin));
    if (pos < 0) return STG_E_INVALIDFUNCTION;
    if (new_position) new_position->QuadPart = static_cast<ULONGLONG>(pos);
    return S_OK;
  } catch (...) {
    return STG_E_INVALIDFUNCTION;
  }
}

HRESULT TStreamAdapter::SetSize(ULARGE_INTEGER size) {
  try {
    int64_t pos = stream_->Position();
    stream_->SetSize(static_cast<int64_t>(size.QuadPart));
    if (static_cast<ULONGLONG>(pos) > size.QuadPart) pos = static_cast<int64_t>(size.QuadPart);
    stream_->SetPosition(pos);
    return stream_->Size() == static_cast<int64_t>(size.QuadPart) ? S_OK : STG_E_MEDIUMFULL;
  } catch (...) {
    return STG_E_MEDIUMFULL;
  }
}

HRESULT TStreamAdapter::CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read, ULARGE_INTEGER* written) {
  if (!target) return STG_E_INVALIDPOINTER;
  ULONGLONG total_read = 0, total_written = 0;
  HRESULT hr = S_OK;
  std::vector<BYTE> buf(65536);
  while (total_read < size.QuadPart) {
    ULONG want = static_cast<ULONG>(std::min<ULONGLONG>(buf.size(), size.QuadPart - total_read));
    ULONG got = 0;
    Read(buf.data(), want, &got);
    if (got == 0) break;
    total_read += got;
    ULONG w = 0;
    hr = target->Write(buf.data(), got, &w);
    total_written += w;
    if (FAILED(hr) || w < got) break;
  }
  if (read) read->QuadPart = total_read;
  if (written) written->QuadPart = total_written;
  return FAILED(hr) ? hr : S_OK;
}

HRESULT TStreamAdapter::Stat(STATSTG* stat, DWORD) {
  if (!stat) return STG_E_INVALIDPOINTER;
  memset(stat, 0, sizeof *stat);
  stat->type = STGTY_STREAM;
  try {
    stat->cbSize.QuadPart = static_cast<ULONGLONG>(stream_->Size());
  } catch (...) {
    return STG_E_INVALIDFUNCTION;
  }
  return S_OK;
}

HRESULT TStreamAdapter::Clone(IStream** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}
