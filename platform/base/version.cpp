#include "platform/base/version.h"

#include <cstddef>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/base/error.h"
#include "platform/base/internal.h"

namespace {

constexpr DWORD kMagic = 0x4B565652;  // "KVVR"
constexpr WORD kLanguage = 0x0409, kCodePage = 0x04B0;

struct Block {
  DWORD magic;
  WORD translation[2];
  char version[64];
};

struct Records {
  std::mutex lock;
  std::map<std::string, std::string> by_name;
  Records() { Reset(); }
  void Reset() {
    by_name.clear();
    by_name["shdocvw.dll"] = "6.00.2900.2180";
  }
};

Records& TheRecords() {
  static Records records;
  return records;
}

std::string Key(const char* file_name) {
  std::string name(file_name ? file_name : "");
  size_t cut = name.find_last_of("\\/");
  if (cut != std::string::npos) name.erase(0, cut + 1);
  for (char& c : name) c = kv::base::LowerAscii(c);
  return name;
}

bool Find(const char* file_name, std::string* version) {
  Records& r = TheRecords();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.by_name.find(Key(file_name));
  if (it == r.by_name.end()) return false;
  *version = it->second;
  return true;
}

}  // namespace

extern "C" {

DWORD GetFileVersionInfoSizeA(LPCSTR file_name, LPDWORD handle) {
  if (handle) *handle = 0;
  std::string version;
  if (!Find(file_name, &version)) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
  }
  return sizeof(Block);
}

BOOL GetFileVersionInfoA(LPCSTR file_name, DWORD, DWORD length, LPVOID data) {
  std::string version;
  if (!Find(file_name, &version)) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  if (!data || length < sizeof(Block)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  Block block{};
  block.magic = kMagic;
  block.translation[0] = kLanguage;
  block.translation[1] = kCodePage;
  std::strncpy(block.version, version.c_str(), sizeof block.version - 1);
  std::memcpy(data, &block, sizeof block);
  return TRUE;
}

BOOL VerQueryValueA(LPCVOID block, LPCSTR sub_block, LPVOID* buffer, UINT* length) {
  if (!block || !sub_block || !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The caller's block may be unaligned: it is read and pointed into as bytes.
  auto* bytes = static_cast<const BYTE*>(block);
  DWORD magic;
  std::memcpy(&magic, bytes, sizeof magic);
  if (magic != kMagic) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string path(sub_block);
  for (char& c : path) c = kv::base::LowerAscii(c);
  if (path == "\\varfileinfo\\translation") {
    *buffer = const_cast<BYTE*>(bytes + offsetof(Block, translation));
    if (length) *length = 4;
    return TRUE;
  }
  if (path == "\\stringfileinfo\\040904b0\\fileversion") {
    const char* text = reinterpret_cast<const char*>(bytes + offsetof(Block, version));
    *buffer = const_cast<char*>(text);
    if (length) *length = static_cast<UINT>(std::strlen(text) + 1);
    return TRUE;
  }
  SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
  return FALSE;
}

void KvSetFileVersion(LPCSTR file_name, LPCSTR version) {
  Records& r = TheRecords();
  std::lock_guard<std::mutex> guard(r.lock);
  if (version)
    r.by_name[Key(file_name)] = version;
  else
    r.by_name.erase(Key(file_name));
}

void KvResetFileVersions(void) {
  Records& r = TheRecords();
  std::lock_guard<std::mutex> guard(r.lock);
  r.Reset();
}

}  // extern "C"
