// String lists: TStrings (the abstract list of strings with attached objects) and
// TStringList (the list itself, optionally sorted).
//
// Lines of the form name=value give Names, Values and ValueFromIndex; Text joins the lines
// with CR LF and splits at CR LF, LF or CR; CommaText and DelimitedText quote items that
// hold blanks, quotes or delimiters. A bad index raises EStringListError
// "List index out of bounds (%d)".
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "framework/core/classes.h"
#include "framework/core/sysutils.h"

class TStrings : public TPersistent {
 public:
  TStrings() = default;
  ~TStrings() override = default;
  KV_CLASS_NAME(TStrings)

  // The list's own operations.
  virtual AnsiString Get(int Index) const = 0;
  virtual void Put(int Index, const AnsiString& S);
  virtual TObject* GetObject(int Index) const;
  virtual void PutObject(int Index, TObject* AObject);
  virtual int GetCount() const = 0;
  virtual int Add(const AnsiString& S);
  virtual int AddObject(const AnsiString& S, TObject* AObject);
  virtual void Insert(int Index, const AnsiString& S) = 0;
  void InsertObject(int Index, const AnsiString& S, TObject* AObject);
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;
  virtual void Exchange(int Index1, int Index2);
  virtual void Move(int CurIndex, int NewIndex);
  virtual int IndexOf(const AnsiString& S) const;
  virtual int IndexOfName(const AnsiString& Name) const;
  int IndexOfObject(TObject* AObject) const;
  void AddStrings(TStrings* Strings);
  // Copies the lines and objects of another TStrings (EConvertError for other sources).
  void Assign(TPersistent* Source) override;

  int Count() const { return GetCount(); }
  AnsiString Strings(int Index) const { return Get(Index); }
  AnsiString operator[](int Index) const { return Get(Index); }
  TObject* Objects(int Index) const { return GetObject(Index); }

  // name=value lines. Names(i) is empty for a line without the separator; setting a
  // value of "" deletes the line.
  AnsiString Names(int Index) const;
  AnsiString Values(const AnsiString& Name) const;
  void SetValues(const AnsiString& Name, const AnsiString& Value);
  AnsiString ValueFromIndex(int Index) const;
  char NameValueSeparator() const { return name_value_separator_; }
  void SetNameValueSeparator(char Value) { name_value_separator_ = Value; }

  virtual AnsiString Text() const;
  virtual void SetText(const AnsiString& Value);
  AnsiString CommaText() const;
  void SetCommaText(const AnsiString& Value);
  AnsiString DelimitedText() const;
  void SetDelimitedText(const AnsiString& Value);
  char Delimiter() const { return delimiter_; }
  void SetDelimiter(char Value) { delimiter_ = Value; }
  char QuoteChar() const { return quote_char_; }
  void SetQuoteChar(char Value) { quote_char_ = Value; }

  // Grouped changes: OnChanging/OnChange fire once, around the outermost pair.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return update_count_; }

  // The whole content of the stream from its position, or of the file.
  virtual void LoadFromStream(TStream* Stream);
  virtual void LoadFromFile(const AnsiString& FileName);
  virtual void SaveToStream(TStream* Stream) const;
  virtual void SaveToFile(const AnsiString& FileName) const;

 protected:
  // Told when the outermost update begins (true) and ends (false).
  virtual void SetUpdateState(bool Updating);
  // How two lines compare (IndexOf, IndexOfName, sorting): AnsiCompareText here.
  virtual int CompareStrings(const AnsiString& S1, const AnsiString& S2) const;
  [[noreturn]] static void Error(const char* Msg, int Data);

 private:
  int update_count_ = 0;
  char name_value_separator_ = '=';
  char delimiter_ = ',';
  char quote_char_ = '"';
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList;
// Negative, zero or positive as line Index1 sorts before, with or after line Index2.
using TStringListSortCompare = std::function<int(TStringList* List, int Index1, int Index2)>;

// The objects attached to lines belong to the caller: the list never deletes them.
class TStringList : public TStrings {
 public:
  TStringList() = default;
  KV_CLASS_NAME(TStringList)

  AnsiString Get(int Index) const override;
  void Put(int Index, const AnsiString& S) override;  // not on a sorted list
  TObject* GetObject(int Index) const override;
  void PutObject(int Index, TObject* AObject) override;
  int GetCount() const override { return static_cast<int>(items_.size()); }
  // Sorted: the line goes to its place; a duplicate follows Duplicates.
  int Add(const AnsiString& S) override;
  int AddObject(const AnsiString& S, TObject* AObject) override;
  void Insert(int Index, const AnsiString& S) override;  // not on a sorted list
  void Delete(int Index) override;
  void Clear() override;
  void Exchange(int Index1, int Index2) override;
  // Not on a sorted list: the line would lose its place.
  void Move(int CurIndex, int NewIndex) override;
  int IndexOf(const AnsiString& S) const override;

  // Binary search of a sorted list: true when found; Index is the match or the place
  // where S would go.
  virtual bool Find(const AnsiString& S, int& Index) const;
  virtual void Sort();
  // Ignored on a sorted list.
  virtual void CustomSort(const TStringListSortCompare& Compare);

  bool Sorted() const { return sorted_; }
  void SetSorted(bool Value);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates Value) { duplicates_ = Value; }
  // false (default): AnsiCompareText; true: AnsiCompareStr. A sorted list re-sorts.
  bool CaseSensitive() const { return case_sensitive_; }
  void SetCaseSensitive(bool Value);

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  virtual void Changed();
  virtual void Changing();
  void SetUpdateState(bool Updating) override;
  int CompareStrings(const AnsiString& S1, const AnsiString& S2) const override;
  // Puts the line at Index without the sorted check (the sorted Add uses it).
  virtual void InsertItem(int Index, const AnsiString& S, TObject* AObject);

 private:
  struct Item {
    AnsiString string;
    TObject* object;
  };
  void CheckIndex(int Index) const;
  void Reorder(const std::vector<int>& order);
  void SortBy(const TStringListSortCompare& Compare);

  std::vector<Item> items_;
  bool sorted_ = false;
  TDuplicates duplicates_ = dupIgnore;
  bool case_sensitive_ = false;
};
