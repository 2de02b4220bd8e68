// The framework's object model and streams.
//
// TObject is the root of every framework class; ClassName() gives the class's own name.
// TComponent owns the components created with it as owner and deletes them with itself;
// components linked by FreeNotification hear of each other's destruction through
// Notification(opRemove). TCollection owns its TCollectionItems. The stream family reads
// and writes bytes: TMemoryStream in memory, TFileStream on the platform's files,
// TStringStream in a string.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "framework/core/exception.h"
#include "platform/base/types.h"

using AnsiString = std::string;

// A set of enumeration values in [Min, Max] (at most 64 of them): s << a, s >> a,
// s.Contains(a), s * t, s + t, s - t, s.Empty().
template <typename E, int Min, int Max>
class Set {
  static_assert(Max - Min < 64, "Set holds at most 64 values");

 public:
  constexpr Set() = default;
  constexpr Set(std::initializer_list<E> values) {
    for (E v : values) *this << v;
  }
  constexpr Set& operator<<(E v) {
    if (InRange(v)) bits_ |= Bit(v);
    return *this;
  }
  constexpr Set& operator>>(E v) {
    if (InRange(v)) bits_ &= ~Bit(v);
    return *this;
  }
  constexpr bool Contains(E v) const { return InRange(v) && (bits_ & Bit(v)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr Set operator+(const Set& o) const { return FromBits(bits_ | o.bits_); }
  constexpr Set operator*(const Set& o) const { return FromBits(bits_ & o.bits_); }
  constexpr Set operator-(const Set& o) const { return FromBits(bits_ & ~o.bits_); }
  constexpr bool operator==(const Set& o) const = default;
  constexpr uint64_t ToBits() const { return bits_; }
  static constexpr Set FromBits(uint64_t bits) {
    Set s;
    s.bits_ = bits;
    return s;
  }

 private:
  static constexpr bool InRange(E v) { return static_cast<int>(v) >= Min && static_cast<int>(v) <= Max; }
  static constexpr uint64_t Bit(E v) { return uint64_t{1} << (static_cast<int>(v) - Min); }
  uint64_t bits_ = 0;
};

// Declares ClassName() for a framework class: KV_CLASS_NAME(TFoo) inside the class body.
#define KV_CLASS_NAME(Name) \
  const char* ClassName() const override { return #Name; }

class TObject {
 public:
  TObject() = default;
  virtual ~TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;

  virtual const char* ClassName() const { return "TObject"; }
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

// ---------------------------------------------------------------------------------------
// Lists of pointers.

enum TListNotification { lnAdded, lnExtracted, lnDeleted };

// An ordered list of untyped pointers. A bad index raises EListError
// "List index out of bounds (%d)".
class TList : public TObject {
 public:
  TList() = default;
  ~TList() override;
  KV_CLASS_NAME(TList)

  int Add(void* Item);
  void Insert(int Index, void* Item);
  void Delete(int Index);
  // Index of the removed item, -1 when it is not in the list.
  int Remove(void* Item);
  // Takes the item out without the deletion notice; returns it, or nullptr when absent.
  void* Extract(void* Item);
  int IndexOf(void* Item) const;
  void Clear();
  void Exchange(int Index1, int Index2);
  void Move(int CurIndex, int NewIndex);
  void* First() const;
  void* Last() const;

  int Count() const { return static_cast<int>(items_.size()); }
  void SetCount(int NewCount);
  int Capacity() const { return static_cast<int>(items_.capacity()); }
  void SetCapacity(int NewCapacity);
  void* Items(int Index) const;
  void SetItems(int Index, void* Item);

 protected:
  // Told of every item that enters or leaves the list.
  virtual void Notify(void* Ptr, TListNotification Action);
  [[noreturn]] static void Error(const char* Format, int Data);

 private:
  void CheckIndex(int Index) const;
  std::vector<void*> items_;
};

// A list of objects that deletes them as they leave it when OwnsObjects is set.
class TObjectList : public TList {
 public:
  explicit TObjectList(bool AOwnsObjects = true) : owns_objects_(AOwnsObjects) {}
  ~TObjectList() override;
  KV_CLASS_NAME(TObjectList)

  int Add(TObject* AObject) { return TList::Add(AObject); }
  void Insert(int Index, TObject* AObject) { TList::Insert(Index, AObject); }
  int Remove(TObject* AObject) { return TList::Remove(AObject); }
  TObject* Extract(TObject* Item) { return static_cast<TObject*>(TList::Extract(Item)); }
  int IndexOf(TObject* AObject) const { return TList::IndexOf(AObject); }
  TObject* Items(int Index) const { return static_cast<TObject*>(TList::Items(Index)); }
  void SetItems(int Index, TObject* AObject) { TList::SetItems(Index, AObject); }
  TObject* First() const { return static_cast<TObject*>(TList::First()); }
  TObject* Last() const { return static_cast<TObject*>(TList::Last()); }

  bool OwnsObjects() const { return owns_objects_; }
  void SetOwnsObjects(bool Value) { owns_objects_ = Value; }

 protected:
  void Notify(void* Ptr, TListNotification Action) override;

 private:
  bool owns_objects_;
};

// ---------------------------------------------------------------------------------------
// Persistent objects.

class TPersistent : public TObject {
 public:
  KV_CLASS_NAME(TPersistent)

  // Copies Source into this object. The base asks Source to AssignTo this object, and
  // raises EConvertError "Cannot assign a <source> to a <this>" when neither side knows
  // the other (Source nullptr reads "nil").
  virtual void Assign(TPersistent* Source);
  virtual TPersistent* GetOwner() { return nullptr; }

 protected:
  virtual void AssignTo(TPersistent* Dest);
  [[noreturn]] void AssignError(TPersistent* Source);
};

// ---------------------------------------------------------------------------------------
// Components.

enum TOperation { opInsert, opRemove };

enum TComponentStateItem {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance
};
using TComponentState = Set<TComponentStateItem, csLoading, csDesignInstance>;

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  // Tells linked components (opRemove), deletes the owned components (last first) and
  // leaves the owner.
  ~TComponent() override;
  KV_CLASS_NAME(TComponent)

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // EListError "List index out of bounds (%d)" for a bad index.
  TComponent* Components(int Index) const;
  // Position in the owner's list, -1 without owner.
  int ComponentIndex() const;

  const AnsiString& Name() const { return name_; }
  // A name is empty or an identifier (EComponentError "'x' is not a valid component
  // name") and unique among the owner's components, compared without case
  // (EComponentError "A component named x already exists").
  void SetName(const AnsiString& NewName);
  int Tag() const { return tag_; }
  void SetTag(int Value) { tag_ = Value; }

  TComponentState ComponentState() const { return state_; }
  // Marks the component (and, with SetChildren, its owned components) as designing.
  void SetDesigning(bool Value, bool SetChildren = true);
  // Marks the component as being built from its description; Loaded() ends it.
  void SetLoading(bool Value);
  // Called once the component's properties are all set; clears csLoading.
  virtual void Loaded();
  // Marks this component and every owned one as being destroyed.
  void Destroying();

  // Links this component and AComponent so that each is told (opRemove) of the other's
  // destruction. Components of the same owner hear of each other through that owner.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Takes AComponent into this component's ownership (from its former owner).
  void InsertComponent(TComponent* AComponent);
  // Gives AComponent up; it then has no owner and must be deleted by the caller.
  void RemoveComponent(TComponent* AComponent);
  // The owned component with that name (compared without case), nullptr if none.
  TComponent* FindComponent(const AnsiString& AName) const;
  // Deletes every owned component, last first.
  void DestroyComponents();

  TPersistent* GetOwner() override { return owner_; }

  // Told when a component is inserted into or removed from this component's ownership,
  // and when a linked component is destroyed. The base forgets the link to a removed
  // component and passes the notice on to every owned component.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 protected:
  void ValidateRename(TComponent* AComponent, const AnsiString& CurName, const AnsiString& NewName) const;

 private:
  void Insert(TComponent* AComponent);
  void Remove(TComponent* AComponent);
  void RemoveNotification(TComponent* AComponent);

  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> free_notifies_;
  AnsiString name_;
  int tag_ = 0;
  TComponentState state_;
};

// ---------------------------------------------------------------------------------------
// Collections.

class TCollection;

enum TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

class TCollectionItem : public TPersistent {
 public:
  // Joins Collection (when not nullptr) as its last item.
  explicit TCollectionItem(TCollection* Collection);
  // Leaves its collection.
  ~TCollectionItem() override;
  KV_CLASS_NAME(TCollectionItem)

  TCollection* Collection() const { return collection_; }
  // Moves the item from its collection into Value (nullptr: into none).
  void SetCollection(TCollection* Value);
  // Given when the item joins a collection, unique there and never reused; -1 before.
  int ID() const { return id_; }
  // Position in the collection, -1 outside one.
  int Index() const;
  // Moves the item to Value within its collection (EListError for a bad index).
  void SetIndex(int Value);
  // The class name unless a descendant names its items.
  virtual AnsiString DisplayName() const { return ClassName(); }
  virtual void SetDisplayName(const AnsiString& Value);
  TPersistent* GetOwner() override;

 protected:
  // Reports a change of this item (AllItems false) or of the whole collection.
  void Changed(bool AllItems);

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
  int id_ = -1;
};

// Makes a new item of a collection's item class inside the given collection.
using TCollectionItemClass = std::function<TCollectionItem*(TCollection*)>;

template <class T>
TCollectionItemClass CollectionItemClass() {
  return [](TCollection* c) -> TCollectionItem* { return new T(c); };
}

class TCollection : public TPersistent {
 public:
  explicit TCollection(TCollectionItemClass ItemClass);
  ~TCollection() override;
  KV_CLASS_NAME(TCollection)

  // A new item of the item class at the end.
  TCollectionItem* Add();
  // A new item at Index.
  TCollectionItem* Insert(int Index);
  void Delete(int Index);
  void Clear();
  int Count() const { return static_cast<int>(items_.size()); }
  // EListError "List index out of bounds (%d)" for a bad index.
  TCollectionItem* Items(int Index) const;
  // Copies Value into the item at Index.
  void SetItems(int Index, TCollectionItem* Value);
  TCollectionItem* FindItemID(int ID) const;
  // Change reports are held back until the outermost EndUpdate, which reports once.
  virtual void BeginUpdate();
  virtual void EndUpdate();
  int UpdateCount() const { return update_count_; }
  // Copies the items of another collection (as new items of this item class).
  void Assign(TPersistent* Source) override;
  TPersistent* GetOwner() override { return nullptr; }

 protected:
  // Item nullptr: the whole collection changed; otherwise that item did.
  virtual void Update(TCollectionItem* Item);
  virtual void Notify(TCollectionItem* Item, TCollectionNotification Action);
  void Changed();

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* Item);
  void RemoveItem(TCollectionItem* Item);

  TCollectionItemClass item_class_;
  std::vector<TCollectionItem*> items_;
  int update_count_ = 0;
  int next_id_ = 0;
};

// A collection that names its owner (a component, typically) as GetOwner.
class TOwnedCollection : public TCollection {
 public:
  TOwnedCollection(TPersistent* AOwner, TCollectionItemClass ItemClass)
      : TCollection(std::move(ItemClass)), owner_(AOwner) {}
  KV_CLASS_NAME(TOwnedCollection)
  TPersistent* GetOwner() override { return owner_; }

 private:
  TPersistent* owner_;
};

// ---------------------------------------------------------------------------------------
// Streams.

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };
constexpr TSeekOrigin soFromBeginning = soBeginning;
constexpr TSeekOrigin soFromCurrent = soCurrent;
constexpr TSeekOrigin soFromEnd = soEnd;

class TStream : public TObject {
 public:
  KV_CLASS_NAME(TStream)

  // Up to Count bytes; returns how many were transferred (0 at the end or for Count <= 0).
  virtual int Read(void* Buffer, int Count) = 0;
  virtual int Write(const void* Buffer, int Count) = 0;
  // The new position, or -1 when the stream cannot move there.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

  // Exactly Count bytes or EReadError "Stream read error" / EWriteError "Stream write error".
  void ReadBuffer(void* Buffer, int Count);
  void WriteBuffer(const void* Buffer, int Count);
  // Copies Count bytes of Source from its position (Count 0: the whole of Source from its
  // start); returns the count copied. Short reads raise EReadError.
  int64_t CopyFrom(TStream* Source, int64_t Count);

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t NewSize);
};

// A stream over memory. Descendants decide where the memory comes from (SetPointer).
class TCustomMemoryStream : public TStream {
 public:
  KV_CLASS_NAME(TCustomMemoryStream)

  int Read(void* Buffer, int Count) override;
  // A position below 0 counts as 0; beyond the end is allowed (a write there extends).
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return size_; }
  void SaveToStream(TStream* Stream);
  void SaveToFile(const AnsiString& FileName);
  // The stream's bytes; a descendant may show only part of its block.
  virtual void* Memory() const { return memory_; }

 protected:
  void SetPointer(void* Ptr, int64_t Size);
  // The whole block given to SetPointer.
  void* Block() const { return memory_; }
  int64_t position_ = 0;

 private:
  void* memory_ = nullptr;
  int64_t size_ = 0;
};

// A stream in memory of its own that grows as it is written.
class TMemoryStream : public TCustomMemoryStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  KV_CLASS_NAME(TMemoryStream)

  int Write(const void* Buffer, int Count) override;
  // The new bytes of a longer stream are zero; a position past the new end moves to it.
  void SetSize(int64_t NewSize) override;
  // As SetSize, but the new bytes are left as the memory holds them: for a caller that
  // writes every one of them at once (a counted read receiving into the stream) and cuts
  // the stream back to what it wrote when it stops early. Saves zeroing a long block.
  void SetSizeForWriting(int64_t NewSize);
  void Clear();
  // The whole of Stream, from its start.
  void LoadFromStream(TStream* Stream);
  void LoadFromFile(const AnsiString& FileName);
  int64_t Capacity() const { return capacity_; }

 protected:
  virtual void SetCapacity(int64_t NewCapacity);
  // Resizes the memory block to NewCapacity bytes (rounded up to a multiple of 8 KB) and
  // returns it; nullptr for 0. Raises EStreamError "Out of memory while expanding memory
  // stream" when no memory can be had.
  virtual void* Realloc(int64_t& NewCapacity);

 private:
  int64_t capacity_ = 0;
  bool fresh_block_ = false;  // the last Realloc made a new, zeroed block
  bool zero_new_block_ = true;  // a first block is zeroed (false only for SetSizeForWriting)
};

// A stream over a string of bytes; positions stay within 0..Size.
class TStringStream : public TStream {
 public:
  explicit TStringStream(const AnsiString& AString = AnsiString()) : data_(AString) {}
  KV_CLASS_NAME(TStringStream)

  int Read(void* Buffer, int Count) override;
  // Overwrites from the position and extends the string where the write passes its end.
  int Write(const void* Buffer, int Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t NewSize) override;
  // Up to Count bytes from the position.
  AnsiString ReadString(int Count);
  void WriteString(const AnsiString& AString);
  const AnsiString& DataString() const { return data_; }

 private:
  AnsiString data_;
  int64_t position_ = 0;
};

// File open modes.
constexpr WORD fmCreate = 0xFFFF;
constexpr WORD fmOpenRead = 0x0000;
constexpr WORD fmOpenWrite = 0x0001;
constexpr WORD fmOpenReadWrite = 0x0002;
constexpr WORD fmShareCompat = 0x0000;
constexpr WORD fmShareExclusive = 0x0010;
constexpr WORD fmShareDenyWrite = 0x0020;
constexpr WORD fmShareDenyRead = 0x0030;
constexpr WORD fmShareDenyNone = 0x0040;

// A stream over a platform file handle it does not own.
class THandleStream : public TStream {
 public:
  explicit THandleStream(HANDLE AHandle) : handle_(AHandle) {}
  KV_CLASS_NAME(THandleStream)

  // A failing read or write transfers 0 bytes.
  int Read(void* Buffer, int Count) override;
  int Write(const void* Buffer, int Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  // Sets the end of the file; EOSError when the platform refuses.
  void SetSize(int64_t NewSize) override;
  HANDLE Handle() const { return handle_; }

 protected:
  HANDLE handle_;
};

// A stream on a named file (a Windows or POSIX path), closed with the stream.
// Mode fmCreate creates or truncates the file (EFCreateError "Cannot create file "%s". %s");
// otherwise fmOpenRead / fmOpenWrite / fmOpenReadWrite with one fmShare... flag open an
// existing file (EFOpenError "Cannot open file "%s". %s"); the second text is the system's
// message for the error.
class TFileStream : public THandleStream {
 public:
  TFileStream(const AnsiString& FileName, WORD Mode);
  TFileStream(const AnsiString& FileName, WORD Mode, DWORD Rights);
  ~TFileStream() override;
  KV_CLASS_NAME(TFileStream)

  const AnsiString& FileName() const { return file_name_; }

 private:
  AnsiString file_name_;
};
