// Inside libplatform.so: the registry's trees, their text file and the file's store
// (loading, saving and the lock that orders writers across processes).
//
// The file is UTF-8 text, one section per key, in key order:
//
//   KORVANE REGISTRY 1
//
//   [HKEY_CLASSES_ROOT\CLSID\{4EAAA8DD-B1DF-4F47-9203-CB9296507DB3}\InprocServer32]
//   @="/opt/app/Zorbel.ocx"
//   "ThreadingModel"="Apartment"
//   "Count"=dword:0000000a
//
// Data forms: "text" (REG_SZ), expand:"text", multi:"a","b", dword:8 hex digits,
// qword:16 hex digits, hex:01,02 (REG_BINARY), and hex(N):... for any type whose bytes
// do not fit its own form (a string without its terminator, a DWORD of 3 bytes ...).
// Quoted text escapes \\ \" \n \r \t \0 and \uXXXX (other control characters and lone
// surrogates). Key names escape "%", "[", "]" and control characters as %XX (or %uXXXX).
// A key without values still has its section, so empty keys survive.
#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/types.h"
#include "platform/registry/registry.h"

namespace kv::reg {

struct CaseLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const;
};
bool SameName(const std::u16string& a, const std::u16string& b);

struct Value {
  std::u16string name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

struct Key;
using KeyPtr = std::shared_ptr<Key>;

struct Key {
  std::u16string name;
  std::map<std::u16string, KeyPtr, CaseLess> subkeys;
  std::vector<Value> values;
  bool deleted = false;

  KeyPtr Find(const std::u16string& n) const;
  KeyPtr Add(const std::u16string& n);
  void Remove(const std::u16string& n);
  Value* FindValue(const std::u16string& n);
  bool RemoveValue(const std::u16string& n);
};

constexpr int kRootCount = 4;
// Keys nest at most this many levels below a root, as on the platform; deeper paths are
// refused, so no walk over a tree can run out of stack.
constexpr size_t kMaxDepth = 512;
extern const char* const kRootNames[kRootCount];

struct Tree {
  Tree();
  KeyPtr roots[kRootCount];
};

// Marks a key and everything below it deleted (handles to them then fail).
void MarkDeleted(Key& key);

std::string Serialize(const Tree& tree);
// Fills `tree` from `text`; false with a message naming the line when it does not parse
// (a key name holding a backslash, or a key deeper than kMaxDepth, does not).
bool Parse(const std::string& text, Tree& tree, std::string& error);

// What tells one version of the file from another (a replaced or rewritten file).
struct FileIdentity {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  int64_t mtime_ns = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The trees as the file "registry.txt" under the home folder holds them. Callers hold
// their own mutex around every call; "registry.lock" orders writers of all processes.
class Store {
 public:
  // Loads the trees on first use and picks up a file replaced by another process.
  LONG Refresh();
  // Drops the trees; the next Refresh reads the file of the (possibly new) home folder.
  void Forget();

  // Runs `change(bool& changed)` under the file lock on the freshest trees and writes
  // them out when it reports a change. A failed write forgets the change.
  template <class F>
  LONG Change(F&& change) {
    LONG rc = Refresh();
    if (rc != ERROR_SUCCESS) return rc;
    int fd = -1;
    rc = Lock(fd);
    if (rc != ERROR_SUCCESS) return rc;
    rc = Refresh();
    if (rc == ERROR_SUCCESS) {
      bool changed = false;
      rc = std::forward<F>(change)(changed);
      if (rc == ERROR_SUCCESS && changed && !Save()) {
        rc = ERROR_CANTWRITE;
        Reread();
      }
    }
    Unlock(fd);
    return rc;
  }

  Tree& tree() { return tree_; }
  uint64_t generation() const { return generation_; }

 private:
  LONG Lock(int& fd);
  static void Unlock(int fd);
  FileIdentity Identify() const;
  LONG Load(const FileIdentity& now);
  bool Save();
  // Memory differs from the file: read the file again on the next Refresh.
  void Reread();

  bool loaded_ = false;
  bool corrupt_ = false;
  std::string file_;
  std::string lock_file_;
  FileIdentity seen_;
  Tree tree_;
  uint64_t generation_ = 1;
};

}  // namespace kv::reg
