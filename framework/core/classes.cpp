#include "framework/core/classes.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/core/sysutils.h"
#include "platform/base/error.h"
#include "platform/base/file.h"
#include "platform/base/sync.h"

// ---------------------------------------------------------------------------------------
// TList

TList::~TList() { Clear(); }

void TList::Error(const char* Format, int Data) {
  char text[128];
  std::snprintf(text, sizeof text, Format, Data);
  throw EListError(text);
}

void TList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) Error("List index out of bounds (%d)", Index);
}

void TList::Notify(void*, TListNotification) {}

int TList::Add(void* Item) {
  items_.push_back(Item);
  if (Item) Notify(Item, lnAdded);
  return Count() - 1;
}

void TList::Insert(int Index, void* Item) {
  if (Index < 0 || Index > Count()) Error("List index out of bounds (%d)", Index);
  items_.insert(items_.begin() + Index, Item);
  if (Item) Notify(Item, lnAdded);
}

void TList::Delete(int Index) {
  CheckIndex(Index);
  void* item = items_[Index];
  items_.erase(items_.begin() + Index);
  if (item) Notify(item, lnDeleted);
}

int TList::Remove(void* Item) {
  int index = IndexOf(Item);
  if (index >= 0) Delete(index);
  return index;
}

void* TList::Extract(void* Item) {
  int index = IndexOf(Item);
  if (index < 0) return nullptr;
  items_.erase(items_.begin() + index);
  if (Item) Notify(Item, lnExtracted);
  return Item;
}

int TList::IndexOf(void* Item) const {
  auto it = std::find(items_.begin(), items_.end(), Item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TList::Clear() {
  SetCount(0);
  items_.shrink_to_fit();
}

void TList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  std::swap(items_[Index1], items_[Index2]);
}

void TList::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  CheckIndex(CurIndex);
  CheckIndex(NewIndex);
  void* item = items_[CurIndex];
  items_.erase(items_.begin() + CurIndex);
  items_.insert(items_.begin() + NewIndex, item);
}

void* TList::First() const { return Items(0); }
void* TList::Last() const { return Items(Count() - 1); }

void TList::SetCount(int NewCount) {
  if (NewCount < 0) Error("List count out of bounds (%d)", NewCount);
  if (NewCount > Count()) {
    items_.resize(NewCount, nullptr);
    return;
  }
  // Last first, one at a time, so that a notice may look at the rest of the list.
  while (Count() > NewCount) Delete(Count() - 1);
}

void TList::SetCapacity(int NewCapacity) {
  if (NewCapacity < Count()) Error("List capacity out of bounds (%d)", NewCapacity);
  if (NewCapacity > Capacity()) items_.reserve(NewCapacity);
}

void* TList::Items(int Index) const {
  CheckIndex(Index);
  return items_[Index];
}

void TList::SetItems(int Index, void* Item) {
  CheckIndex(Index);
  void* old = items_[Index];
  if (old == Item) return;
  items_[Index] = Item;
  if (old) Notify(old, lnDeleted);
  if (Item) Notify(Item, lnAdded);
}

// ---------------------------------------------------------------------------------------
// TObjectList

// The base destructor can no longer reach this class's Notify, so the owned objects are
// released here.
TObjectList::~TObjectList() { Clear(); }

void TObjectList::Notify(void* Ptr, TListNotification Action) {
  if (owns_objects_ && Action == lnDeleted) delete static_cast<TObject*>(Ptr);
}

// ---------------------------------------------------------------------------------------
// TPersistent

void TPersistent::Assign(TPersistent* Source) {
  if (Source != nullptr)
    Source->AssignTo(this);
  else
    AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* Dest) { Dest->AssignError(this); }

void TPersistent::AssignError(TPersistent* Source) {
  AnsiString source_name = Source ? Source->ClassName() : "nil";
  throw EConvertError("Cannot assign a " + source_name + " to a " + ClassName());
}

// ---------------------------------------------------------------------------------------
// TComponent

namespace {

bool IsValidIdent(const AnsiString& s) {
  auto alpha = [](unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (s.empty() || !alpha(static_cast<unsigned char>(s[0]))) return false;
  for (unsigned char c : s)
    if (!alpha(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

void EraseOne(std::vector<TComponent*>& list, TComponent* c) {
  auto it = std::find(list.begin(), list.end(), c);
  if (it != list.end()) list.erase(it);
}

}  // namespace

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Linked components, last first. Each link is dropped before the notice so that a
  // handler that does not pass the notice on cannot keep the loop going.
  while (!free_notifies_.empty()) {
    TComponent* linked = free_notifies_.back();
    free_notifies_.pop_back();
    linked->RemoveNotification(this);
    linked->Notification(this, opRemove);
  }
  DestroyComponents();
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount()) {
    char text[64];
    std::snprintf(text, sizeof text, "List index out of bounds (%d)", Index);
    throw EListError(text);
  }
  return components_[Index];
}

int TComponent::ComponentIndex() const {
  if (owner_ == nullptr) return -1;
  auto& list = owner_->components_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TComponent::SetName(const AnsiString& NewName) {
  if (NewName == name_) return;
  if (!NewName.empty() && !IsValidIdent(NewName))
    throw EComponentError("'" + NewName + "' is not a valid component name");
  if (owner_ != nullptr) owner_->ValidateRename(this, name_, NewName);
  name_ = NewName;
}

void TComponent::ValidateRename(TComponent* AComponent, const AnsiString& CurName, const AnsiString& NewName) const {
  if (NewName.empty() || SameText(CurName, NewName)) return;
  TComponent* existing = FindComponent(NewName);
  if (existing != nullptr && existing != AComponent)
    throw EComponentError("A component named " + NewName + " already exists");
}

void TComponent::SetDesigning(bool Value, bool SetChildren) {
  if (Value)
    state_ << csDesigning;
  else
    state_ >> csDesigning;
  if (SetChildren)
    for (TComponent* c : components_) c->SetDesigning(Value, true);
}

void TComponent::SetLoading(bool Value) {
  if (Value)
    state_ << csLoading;
  else
    state_ >> csLoading;
}

void TComponent::Loaded() { state_ >> csLoading; }

void TComponent::Destroying() {
  if (state_.Contains(csDestroying)) return;
  state_ << csDestroying;
  for (TComponent* c : components_) c->Destroying();
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent == this) return;
  if (owner_ == nullptr || AComponent->owner_ != owner_) {
    if (std::find(free_notifies_.begin(), free_notifies_.end(), AComponent) == free_notifies_.end()) {
      free_notifies_.push_back(AComponent);
      AComponent->FreeNotification(this);
    }
  }
  state_ << csFreeNotification;
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr) return;
  RemoveNotification(AComponent);
  AComponent->RemoveNotification(this);
}

void TComponent::RemoveNotification(TComponent* AComponent) { EraseOne(free_notifies_, AComponent); }

void TComponent::InsertComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent->owner_ == this) return;
  if (AComponent == this) throw EComponentError("A component cannot own itself");
  for (TComponent* o = owner_; o != nullptr; o = o->owner_)
    if (o == AComponent) throw EComponentError("A component cannot own its owner");
  ValidateRename(AComponent, AnsiString(), AComponent->name_);
  if (AComponent->owner_ != nullptr) AComponent->owner_->RemoveComponent(AComponent);
  Insert(AComponent);
  if (state_.Contains(csDesigning)) AComponent->SetDesigning(true);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent->owner_ != this) return;
  Notification(AComponent, opRemove);
  Remove(AComponent);
}

void TComponent::Insert(TComponent* AComponent) {
  components_.push_back(AComponent);
  AComponent->owner_ = this;
}

void TComponent::Remove(TComponent* AComponent) {
  EraseOne(components_, AComponent);
  AComponent->owner_ = nullptr;
}

TComponent* TComponent::FindComponent(const AnsiString& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, AName)) return c;
  return nullptr;
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* c = components_.back();
    // Components linked to others go through RemoveComponent, so their siblings hear
    // of them; the rest simply leave.
    if (c->state_.Contains(csFreeNotification))
      RemoveComponent(c);
    else
      Remove(c);
    delete c;
  }
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent != nullptr) RemoveFreeNotification(AComponent);
  // By index from the end; a handler may delete components on the way.
  int i = ComponentCount() - 1;
  while (i >= 0) {
    components_[i]->Notification(AComponent, Operation);
    --i;
    if (i >= ComponentCount()) i = ComponentCount() - 1;
  }
}

// ---------------------------------------------------------------------------------------
// Collections

TCollectionItem::TCollectionItem(TCollection* Collection) { SetCollection(Collection); }

TCollectionItem::~TCollectionItem() {
  if (collection_ != nullptr) collection_->RemoveItem(this);
}

void TCollectionItem::SetCollection(TCollection* Value) {
  if (collection_ == Value) return;
  if (collection_ != nullptr) collection_->RemoveItem(this);
  if (Value != nullptr) Value->InsertItem(this);
}

int TCollectionItem::Index() const {
  if (collection_ == nullptr) return -1;
  auto& items = collection_->items_;
  auto it = std::find(items.begin(), items.end(), this);
  return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

void TCollectionItem::SetIndex(int Value) {
  int current = Index();
  if (current < 0 || current == Value) return;
  auto& items = collection_->items_;
  if (Value < 0 || Value >= static_cast<int>(items.size())) {
    char text[64];
    std::snprintf(text, sizeof text, "List index out of bounds (%d)", Value);
    throw EListError(text);
  }
  items.erase(items.begin() + current);
  items.insert(items.begin() + Value, this);
  Changed(true);
}

void TCollectionItem::SetDisplayName(const AnsiString&) { Changed(false); }

TPersistent* TCollectionItem::GetOwner() { return collection_; }

void TCollectionItem::Changed(bool AllItems) {
  if (collection_ != nullptr && collection_->update_count_ == 0) collection_->Update(AllItems ? nullptr : this);
}

TCollection::TCollection(TCollectionItemClass ItemClass) : item_class_(std::move(ItemClass)) {}

TCollection::~TCollection() {
  // No change reports while the collection goes away.
  update_count_ = 1;
  while (!items_.empty()) delete items_.back();
}

namespace {

// Holds a collection's change reports back for a scope.
class UpdateScope {
 public:
  explicit UpdateScope(TCollection* c) : c_(c) { c_->BeginUpdate(); }
  ~UpdateScope() { c_->EndUpdate(); }
  UpdateScope(const UpdateScope&) = delete;
  UpdateScope& operator=(const UpdateScope&) = delete;

 private:
  TCollection* c_;
};

}  // namespace

TCollectionItem* TCollection::Add() {
  if (!item_class_) throw EListError("Collection has no item class");
  // The whole-collection report comes once the new item is fully constructed.
  UpdateScope scope(this);
  return item_class_(this);
}

TCollectionItem* TCollection::Insert(int Index) {
  if (Index < 0 || Index > Count()) {
    char text[64];
    std::snprintf(text, sizeof text, "List index out of bounds (%d)", Index);
    throw EListError(text);
  }
  TCollectionItem* item = Add();
  item->SetIndex(Index);
  return item;
}

void TCollection::Delete(int Index) {
  TCollectionItem* item = Items(Index);
  Notify(item, cnDeleting);
  delete item;
}

void TCollection::Clear() {
  if (items_.empty()) return;
  UpdateScope scope(this);
  while (!items_.empty()) delete items_.back();
}

TCollectionItem* TCollection::Items(int Index) const {
  if (Index < 0 || Index >= Count()) {
    char text[64];
    std::snprintf(text, sizeof text, "List index out of bounds (%d)", Index);
    throw EListError(text);
  }
  return items_[Index];
}

void TCollection::SetItems(int Index, TCollectionItem* Value) { Items(Index)->Assign(Value); }

TCollectionItem* TCollection::FindItemID(int ID) const {
  for (TCollectionItem* item : items_)
    if (item->id_ == ID) return item;
  return nullptr;
}

void TCollection::BeginUpdate() { ++update_count_; }

void TCollection::EndUpdate() {
  if (update_count_ == 0) return;
  --update_count_;
  Changed();
}

void TCollection::Changed() {
  if (update_count_ == 0) Update(nullptr);
}

void TCollection::Assign(TPersistent* Source) {
  auto* source = dynamic_cast<TCollection*>(Source);
  if (source == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  if (source == this) return;
  UpdateScope scope(this);
  Clear();
  for (TCollectionItem* item : source->items_) Add()->Assign(item);
}

void TCollection::Update(TCollectionItem*) {}

void TCollection::Notify(TCollectionItem*, TCollectionNotification) {}

void TCollection::InsertItem(TCollectionItem* Item) {
  items_.push_back(Item);
  Item->collection_ = this;
  Item->id_ = next_id_++;
  Notify(Item, cnAdded);
  Changed();
}

void TCollection::RemoveItem(TCollectionItem* Item) {
  Notify(Item, cnExtracting);
  auto it = std::find(items_.begin(), items_.end(), Item);
  if (it != items_.end()) items_.erase(it);
  Item->collection_ = nullptr;
  Changed();
}

// ---------------------------------------------------------------------------------------
// TStream

void TStream::ReadBuffer(void* Buffer, int Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int Count) {
  if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream* Source, int64_t Count) {
  if (Source == nullptr) throw EStreamError("Stream read error");
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->Size();
  }
  if (Count < 0) throw EReadError("Stream read error");
  constexpr int kBufferSize = 0xF000;
  std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(Count, kBufferSize)));
  int64_t left = Count;
  while (left > 0) {
    int n = static_cast<int>(std::min<int64_t>(left, kBufferSize));
    Source->ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return Count;
}

int64_t TStream::Size() {
  int64_t pos = Seek(0, soCurrent);
  int64_t end = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return end;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

// ---------------------------------------------------------------------------------------
// Memory streams

namespace {

// Memory streams stay within what the 32-bit original could address.
constexpr int64_t kMaxMemoryStreamSize = 0x7FFFFFFF;
constexpr int64_t kMemoryDelta = 0x2000;

}  // namespace

int TCustomMemoryStream::Read(void* Buffer, int Count) {
  if (Count <= 0 || position_ < 0 || position_ >= size_) return 0;
  int64_t n = std::min<int64_t>(size_ - position_, Count);
  std::memcpy(Buffer, static_cast<char*>(memory_) + position_, static_cast<size_t>(n));
  position_ += n;
  return static_cast<int>(n);
}

int64_t TCustomMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base;
  switch (Origin) {
    case soBeginning: base = 0; break;
    case soCurrent: base = position_; break;
    case soEnd: base = size_; break;
    default: return -1;
  }
  int64_t pos;
  if (__builtin_add_overflow(base, Offset, &pos)) pos = Offset > 0 ? INT64_MAX : 0;
  position_ = std::max<int64_t>(pos, 0);
  return position_;
}

void TCustomMemoryStream::SetPointer(void* Ptr, int64_t Size) {
  memory_ = Ptr;
  size_ = Size;
}

void TCustomMemoryStream::SaveToStream(TStream* Stream) {
  if (size_ > 0) Stream->WriteBuffer(memory_, static_cast<int>(size_));
}

void TCustomMemoryStream::SaveToFile(const AnsiString& FileName) {
  TFileStream file(FileName, fmCreate);
  SaveToStream(&file);
}

TMemoryStream::~TMemoryStream() { Clear(); }

void* TMemoryStream::Realloc(int64_t& NewCapacity) {
  if (NewCapacity < 0 || NewCapacity > kMaxMemoryStreamSize)
    throw EStreamError("Out of memory while expanding memory stream");
  if (NewCapacity > 0)
    NewCapacity = std::min((NewCapacity + kMemoryDelta - 1) & ~(kMemoryDelta - 1), kMaxMemoryStreamSize);
  if (NewCapacity == capacity_) return Block();
  if (NewCapacity == 0) {
    std::free(Block());
    return nullptr;
  }
  // A first block comes from calloc: the system hands large ones out as zero pages, so a
  // stream sized before it is written (a counted network read) is not zeroed twice.
  void* p = Block()           ? std::realloc(Block(), static_cast<size_t>(NewCapacity))
            : zero_new_block_ ? std::calloc(1, static_cast<size_t>(NewCapacity))
                              : std::malloc(static_cast<size_t>(NewCapacity));
  fresh_block_ = Block() == nullptr && zero_new_block_;
  if (p == nullptr) throw EStreamError("Out of memory while expanding memory stream");
  return p;
}

void TMemoryStream::SetCapacity(int64_t NewCapacity) {
  void* p = Realloc(NewCapacity);
  capacity_ = NewCapacity;
  SetPointer(p, std::min(Size(), capacity_));
}

int TMemoryStream::Write(const void* Buffer, int Count) {
  if (Count <= 0 || position_ < 0 || position_ > kMaxMemoryStreamSize - Count) return 0;
  int64_t end = position_ + Count;
  int64_t size = Size();
  if (end > size) {
    if (end > capacity_) {
      // Grows by half again at least, so a stream written piece by piece costs linear time.
      SetCapacity(std::max(end, std::min(capacity_ + capacity_ / 2, kMaxMemoryStreamSize)));
    }
    // Bytes between the old end and a position beyond it read as zeros.
    if (position_ > size) std::memset(static_cast<char*>(Block()) + size, 0, static_cast<size_t>(position_ - size));
    SetPointer(Block(), end);
  }
  std::memcpy(static_cast<char*>(Block()) + position_, Buffer, static_cast<size_t>(Count));
  position_ = end;
  return Count;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Invalid stream size");
  int64_t old_size = Size();
  const bool was_empty = capacity_ == 0;
  fresh_block_ = false;
  SetCapacity(NewSize);
  if (NewSize > old_size && !(was_empty && fresh_block_))
    std::memset(static_cast<char*>(Block()) + old_size, 0, static_cast<size_t>(NewSize - old_size));
  SetPointer(Block(), NewSize);
  if (position_ > NewSize) position_ = NewSize;
}

void TMemoryStream::SetSizeForWriting(int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Invalid stream size");
  zero_new_block_ = false;
  try {
    SetCapacity(NewSize);
  } catch (...) {
    zero_new_block_ = true;
    throw;
  }
  zero_new_block_ = true;
  SetPointer(Block(), NewSize);
  if (position_ > NewSize) position_ = NewSize;
}

void TMemoryStream::Clear() {
  SetCapacity(0);
  SetPointer(nullptr, 0);
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
  if (Stream == this) return;
  Stream->SetPosition(0);
  int64_t count = Stream->Size();
  if (count < 0) throw EReadError("Stream read error");
  SetSize(count);
  if (count != 0) Stream->ReadBuffer(Block(), static_cast<int>(count));
}

void TMemoryStream::LoadFromFile(const AnsiString& FileName) {
  TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&file);
}

// ---------------------------------------------------------------------------------------
// TStringStream

int TStringStream::Read(void* Buffer, int Count) {
  int64_t avail = Size() - position_;
  if (Count <= 0 || avail <= 0) return 0;
  int64_t n = std::min<int64_t>(avail, Count);
  std::memcpy(Buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return static_cast<int>(n);
}

int TStringStream::Write(const void* Buffer, int Count) {
  if (Count <= 0) return 0;
  int64_t end = position_ + Count;
  if (end > Size()) data_.resize(static_cast<size_t>(end));
  std::memcpy(data_.data() + position_, Buffer, static_cast<size_t>(Count));
  position_ = end;
  return Count;
}

int64_t TStringStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base;
  switch (Origin) {
    case soBeginning: base = 0; break;
    case soCurrent: base = position_; break;
    case soEnd: base = Size(); break;
    default: return -1;
  }
  // Offsets are bounded by the string's size, so the sum cannot overflow once clamped.
  int64_t limit = Size();
  Offset = std::clamp<int64_t>(Offset, -limit - 1, limit + 1);
  position_ = std::clamp<int64_t>(base + Offset, 0, limit);
  return position_;
}

void TStringStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Invalid stream size");
  data_.resize(static_cast<size_t>(NewSize));
  if (position_ > NewSize) position_ = NewSize;
}

AnsiString TStringStream::ReadString(int Count) {
  int64_t avail = Size() - position_;
  if (Count <= 0 || avail <= 0) return AnsiString();
  int64_t n = std::min<int64_t>(avail, Count);
  AnsiString result = data_.substr(static_cast<size_t>(position_), static_cast<size_t>(n));
  position_ += n;
  return result;
}

void TStringStream::WriteString(const AnsiString& AString) {
  if (AString.size() > static_cast<size_t>(INT_MAX)) throw EWriteError("Stream write error");
  Write(AString.data(), static_cast<int>(AString.size()));
}

// ---------------------------------------------------------------------------------------
// File streams

int THandleStream::Read(void* Buffer, int Count) {
  if (Count <= 0) return 0;
  DWORD done = 0;
  if (!ReadFile(handle_, Buffer, static_cast<DWORD>(Count), &done, nullptr)) return 0;
  return static_cast<int>(done);
}

int THandleStream::Write(const void* Buffer, int Count) {
  if (Count <= 0) return 0;
  DWORD done = 0;
  if (!WriteFile(handle_, Buffer, static_cast<DWORD>(Count), &done, nullptr)) return 0;
  return static_cast<int>(done);
}

int64_t THandleStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  DWORD method;
  switch (Origin) {
    case soBeginning: method = FILE_BEGIN; break;
    case soCurrent: method = FILE_CURRENT; break;
    case soEnd: method = FILE_END; break;
    default: return -1;
  }
  LARGE_INTEGER distance;
  distance.QuadPart = Offset;
  LARGE_INTEGER result;
  result.QuadPart = 0;
  if (!SetFilePointerEx(handle_, distance, &result, method)) return -1;
  return result.QuadPart;
}

void THandleStream::SetSize(int64_t NewSize) {
  if (Seek(NewSize, soBeginning) != NewSize || !SetEndOfFile(handle_)) RaiseLastOSError();
}

namespace {

[[noreturn]] void RaiseFileError(bool create, const AnsiString& file_name) {
  AnsiString text =
      (create ? "Cannot create file \"" : "Cannot open file \"") + file_name + "\". " + SysErrorMessage(GetLastError());
  if (create) throw EFCreateError(text);
  throw EFOpenError(text);
}

}  // namespace

TFileStream::TFileStream(const AnsiString& FileName, WORD Mode) : TFileStream(FileName, Mode, 0) {}

// Rights (POSIX permission bits of a new file) are left to the platform's defaults.
TFileStream::TFileStream(const AnsiString& FileName, WORD Mode, DWORD)
    : THandleStream(INVALID_HANDLE_VALUE), file_name_(FileName) {
  if (Mode == fmCreate) {
    handle_ = CreateFileA(FileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) RaiseFileError(true, FileName);
    return;
  }
  static const DWORD kAccess[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
  static const DWORD kShare[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
  unsigned access = Mode & 3;
  unsigned share = (Mode & 0xF0) >> 4;
  if (access > 2 || share > 4) {
    SetLastError(ERROR_INVALID_PARAMETER);
    RaiseFileError(false, FileName);
  }
  handle_ = CreateFileA(FileName.c_str(), kAccess[access], kShare[share], nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) RaiseFileError(false, FileName);
}

TFileStream::~TFileStream() {
  if (handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr) CloseHandle(handle_);
}
