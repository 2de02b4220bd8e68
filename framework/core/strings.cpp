// TStrings and TStringList.
#include "framework/core/strings.h"

#include <algorithm>
#include <numeric>

namespace {

const char kListIndexError[] = "List index out of bounds (%d)";
const char kSortedListError[] = "Operation not allowed on sorted list";
const char kDuplicateString[] = "String list does not allow duplicates";

bool NeedsQuotes(const AnsiString& s, char quote, char delimiter) {
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (IsLeadByte(c) && i + 1 < s.size()) {
      ++i;
      continue;
    }
    if (c <= ' ' || s[i] == quote || s[i] == delimiter) return true;
  }
  return false;
}

// One step over a character (both bytes of a double-byte one).
size_t Next(const AnsiString& s, size_t i) {
  return IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? i + 2 : i + 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TStrings

void TStrings::Error(const char* Msg, int Data) {
  AnsiString text = Msg;
  size_t p = text.find("%d");
  if (p != AnsiString::npos) text.replace(p, 2, std::to_string(Data));
  throw EStringListError(text);
}

void TStrings::Put(int Index, const AnsiString& S) {
  TObject* object = GetObject(Index);
  Delete(Index);
  InsertObject(Index, S, object);
}

TObject* TStrings::GetObject(int) const { return nullptr; }

void TStrings::PutObject(int, TObject*) {}

int TStrings::Add(const AnsiString& S) {
  int index = GetCount();
  Insert(index, S);
  return index;
}

int TStrings::AddObject(const AnsiString& S, TObject* AObject) {
  int index = Add(S);
  PutObject(index, AObject);
  return index;
}

void TStrings::InsertObject(int Index, const AnsiString& S, TObject* AObject) {
  Insert(Index, S);
  PutObject(Index, AObject);
}

void TStrings::Exchange(int Index1, int Index2) {
  BeginUpdate();
  try {
    AnsiString s1 = Get(Index1), s2 = Get(Index2);
    TObject* o1 = GetObject(Index1);
    TObject* o2 = GetObject(Index2);
    Put(Index1, s2);
    Put(Index2, s1);
    PutObject(Index1, o2);
    PutObject(Index2, o1);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  if (NewIndex < 0 || NewIndex >= GetCount()) Error(kListIndexError, NewIndex);
  BeginUpdate();
  try {
    AnsiString s = Get(CurIndex);
    TObject* object = GetObject(CurIndex);
    Delete(CurIndex);
    InsertObject(NewIndex, s, object);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

int TStrings::IndexOf(const AnsiString& S) const {
  for (int i = 0, n = GetCount(); i < n; ++i)
    if (CompareStrings(Get(i), S) == 0) return i;
  return -1;
}

int TStrings::IndexOfName(const AnsiString& Name) const {
  const AnsiString sep(1, name_value_separator_);
  for (int i = 0, n = GetCount(); i < n; ++i) {
    AnsiString s = Get(i);
    int p = AnsiPos(sep, s);
    if (p != 0 && CompareStrings(s.substr(0, static_cast<size_t>(p - 1)), Name) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfObject(TObject* AObject) const {
  for (int i = 0, n = GetCount(); i < n; ++i)
    if (GetObject(i) == AObject) return i;
  return -1;
}

void TStrings::AddStrings(TStrings* Strings) {
  if (Strings == nullptr) return;
  BeginUpdate();
  try {
    for (int i = 0, n = Strings->GetCount(); i < n; ++i) AddObject(Strings->Get(i), Strings->GetObject(i));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Assign(TPersistent* Source) {
  TStrings* source = dynamic_cast<TStrings*>(Source);
  if (source == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  if (source == this) return;
  BeginUpdate();
  try {
    Clear();
    name_value_separator_ = source->name_value_separator_;
    delimiter_ = source->delimiter_;
    quote_char_ = source->quote_char_;
    AddStrings(source);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

AnsiString TStrings::Names(int Index) const {
  AnsiString s = Get(Index);
  int p = AnsiPos(AnsiString(1, name_value_separator_), s);
  return p != 0 ? s.substr(0, static_cast<size_t>(p - 1)) : AnsiString();
}

AnsiString TStrings::ValueFromIndex(int Index) const {
  AnsiString s = Get(Index);
  int p = AnsiPos(AnsiString(1, name_value_separator_), s);
  return p != 0 ? s.substr(static_cast<size_t>(p)) : AnsiString();
}

AnsiString TStrings::Values(const AnsiString& Name) const {
  int i = IndexOfName(Name);
  return i >= 0 ? ValueFromIndex(i) : AnsiString();
}

void TStrings::SetValues(const AnsiString& Name, const AnsiString& Value) {
  int i = IndexOfName(Name);
  if (Value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  const AnsiString line = Name + name_value_separator_ + Value;
  if (i < 0) {
    Add(line);
  } else {
    Put(i, line);
  }
}

AnsiString TStrings::Text() const {
  AnsiString out;
  for (int i = 0, n = GetCount(); i < n; ++i) {
    out += Get(i);
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(const AnsiString& Value) {
  BeginUpdate();
  try {
    Clear();
    size_t i = 0;
    const size_t n = Value.size();
    while (i < n) {
      size_t start = i;
      while (i < n && Value[i] != '\r' && Value[i] != '\n') ++i;
      Add(Value.substr(start, i - start));
      if (i < n && Value[i] == '\r') ++i;
      if (i < n && Value[i] == '\n') ++i;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

AnsiString TStrings::DelimitedText() const {
  const int n = GetCount();
  if (n == 1 && Get(0).empty()) return AnsiString(2, quote_char_);
  AnsiString out;
  for (int i = 0; i < n; ++i) {
    AnsiString s = Get(i);
    if (NeedsQuotes(s, quote_char_, delimiter_)) s = AnsiQuotedStr(s, quote_char_);
    if (i > 0) out += delimiter_;
    out += s;
  }
  return out;
}

void TStrings::SetDelimitedText(const AnsiString& Value) {
  // The text ends at a NUL character, as the platform's strings do.
  const AnsiString v = Value.substr(0, Value.find('\0'));
  const size_t n = v.size();
  auto blank = [&](size_t i) { return i < n && static_cast<unsigned char>(v[i]) <= ' '; };
  BeginUpdate();
  try {
    Clear();
    size_t i = 0;
    while (blank(i)) ++i;
    while (i < n) {
      AnsiString s;
      if (v[i] == quote_char_) {
        const char* start = v.c_str() + i;
        const char* p = start;
        s = AnsiExtractQuotedStr(p, quote_char_);
        i += static_cast<size_t>(p - start);
      } else {
        size_t start = i;
        while (i < n && !blank(i) && v[i] != delimiter_) i = Next(v, i);
        s = v.substr(start, std::min(i, n) - start);
      }
      Add(s);
      while (blank(i)) ++i;
      if (i < n && v[i] == delimiter_) {
        if (i + 1 >= n) Add(AnsiString());
        do {
          ++i;
        } while (blank(i));
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

AnsiString TStrings::CommaText() const {
  // CommaText always uses "," and '"', whatever Delimiter and QuoteChar hold.
  const int n = GetCount();
  if (n == 1 && Get(0).empty()) return "\"\"";
  AnsiString out;
  for (int i = 0; i < n; ++i) {
    AnsiString s = Get(i);
    if (NeedsQuotes(s, '"', ',')) s = AnsiQuotedStr(s, '"');
    if (i > 0) out += ',';
    out += s;
  }
  return out;
}

void TStrings::SetCommaText(const AnsiString& Value) {
  const char delimiter = delimiter_, quote = quote_char_;
  delimiter_ = ',';
  quote_char_ = '"';
  try {
    SetDelimitedText(Value);
  } catch (...) {
    delimiter_ = delimiter;
    quote_char_ = quote;
    throw;
  }
  delimiter_ = delimiter;
  quote_char_ = quote;
}

void TStrings::BeginUpdate() {
  if (update_count_ == 0) SetUpdateState(true);
  ++update_count_;
}

void TStrings::EndUpdate() {
  if (update_count_ == 0) return;
  if (--update_count_ == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

int TStrings::CompareStrings(const AnsiString& S1, const AnsiString& S2) const { return AnsiCompareText(S1, S2); }

void TStrings::LoadFromStream(TStream* Stream) {
  int64_t size = Stream->Size() - Stream->Position();
  AnsiString data;
  if (size > 0) {
    if (size > 0x7FFFFFFF) throw EReadError("Stream read error");
    data.resize(static_cast<size_t>(size));
    Stream->ReadBuffer(data.data(), static_cast<int>(size));
  }
  SetText(data);
}

void TStrings::LoadFromFile(const AnsiString& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TStrings::SaveToStream(TStream* Stream) const {
  AnsiString text = Text();
  if (text.size() > 0x7FFFFFFF) throw EWriteError("Stream write error");
  if (!text.empty()) Stream->WriteBuffer(text.data(), static_cast<int>(text.size()));
}

void TStrings::SaveToFile(const AnsiString& FileName) const {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(&stream);
}

// ---------------------------------------------------------------------------------------
// TStringList

void TStringList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= GetCount()) Error(kListIndexError, Index);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::SetUpdateState(bool Updating) {
  if (Updating) {
    Changing();
  } else {
    Changed();
  }
}

AnsiString TStringList::Get(int Index) const {
  CheckIndex(Index);
  return items_[static_cast<size_t>(Index)].string;
}

void TStringList::Put(int Index, const AnsiString& S) {
  if (sorted_) Error(kSortedListError, 0);
  CheckIndex(Index);
  Changing();
  items_[static_cast<size_t>(Index)].string = S;
  Changed();
}

TObject* TStringList::GetObject(int Index) const {
  CheckIndex(Index);
  return items_[static_cast<size_t>(Index)].object;
}

void TStringList::PutObject(int Index, TObject* AObject) {
  CheckIndex(Index);
  Changing();
  items_[static_cast<size_t>(Index)].object = AObject;
  Changed();
}

int TStringList::Add(const AnsiString& S) { return AddObject(S, nullptr); }

int TStringList::AddObject(const AnsiString& S, TObject* AObject) {
  int index;
  if (!sorted_) {
    index = GetCount();
  } else if (Find(S, index)) {
    if (duplicates_ == dupIgnore) return index;
    if (duplicates_ == dupError) Error(kDuplicateString, 0);
  }
  InsertItem(index, S, AObject);
  return index;
}

void TStringList::Insert(int Index, const AnsiString& S) {
  if (sorted_) Error(kSortedListError, 0);
  if (Index < 0 || Index > GetCount()) Error(kListIndexError, Index);
  InsertItem(Index, S, nullptr);
}

void TStringList::InsertItem(int Index, const AnsiString& S, TObject* AObject) {
  Changing();
  items_.insert(items_.begin() + Index, Item{S, AObject});
  Changed();
}

void TStringList::Delete(int Index) {
  CheckIndex(Index);
  Changing();
  items_.erase(items_.begin() + Index);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Changed();
}

void TStringList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  Changing();
  std::swap(items_[static_cast<size_t>(Index1)], items_[static_cast<size_t>(Index2)]);
  Changed();
}

void TStringList::Move(int CurIndex, int NewIndex) {
  if (sorted_ && CurIndex != NewIndex) Error(kSortedListError, 0);
  CheckIndex(CurIndex);
  TStrings::Move(CurIndex, NewIndex);
}

int TStringList::IndexOf(const AnsiString& S) const {
  if (!sorted_) return TStrings::IndexOf(S);
  int index;
  return Find(S, index) ? index : -1;
}

bool TStringList::Find(const AnsiString& S, int& Index) const {
  // With dupAccept the search runs on to the first of equal lines, so a new duplicate
  // goes before them.
  bool found = false;
  int lo = 0, hi = GetCount() - 1;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = CompareStrings(items_[static_cast<size_t>(mid)].string, S);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (duplicates_ != dupAccept) lo = mid;
      }
    }
  }
  Index = lo;
  return found;
}

void TStringList::Reorder(const std::vector<int>& order) {
  std::vector<Item> sorted;
  sorted.reserve(items_.size());
  for (int i : order) sorted.push_back(items_[static_cast<size_t>(i)]);
  items_.swap(sorted);
}

void TStringList::SortBy(const TStringListSortCompare& Compare) {
  if (GetCount() < 2) return;
  std::vector<int> order(items_.size());
  std::iota(order.begin(), order.end(), 0);
  // Indexes refer to the list as it stands; it is reordered once the order is known.
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return Compare(this, a, b) < 0; });
  Changing();
  Reorder(order);
  Changed();
}

void TStringList::CustomSort(const TStringListSortCompare& Compare) {
  // A sorted list keeps its own order, which Find depends on.
  if (!sorted_) SortBy(Compare);
}

void TStringList::Sort() {
  SortBy([](TStringList* list, int a, int b) {
    return list->CompareStrings(list->items_[static_cast<size_t>(a)].string,
                                list->items_[static_cast<size_t>(b)].string);
  });
}

void TStringList::SetSorted(bool Value) {
  if (sorted_ == Value) return;
  if (Value) Sort();
  sorted_ = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
  if (case_sensitive_ == Value) return;
  case_sensitive_ = Value;
  if (sorted_) Sort();
}

int TStringList::CompareStrings(const AnsiString& S1, const AnsiString& S2) const {
  return case_sensitive_ ? AnsiCompareStr(S1, S2) : AnsiCompareText(S1, S2);
}
