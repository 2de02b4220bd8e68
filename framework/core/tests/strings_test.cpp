// TStrings and TStringList.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/core/strings.h"

namespace {

std::vector<std::string> Lines(const TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
  return out;
}

void Fill(TStrings& list, const std::vector<std::string>& lines) {
  list.Clear();
  for (const std::string& s : lines) list.Add(s);
}

template <class F>
std::string ListError(F&& f) {
  try {
    f();
  } catch (const EStringListError& e) {
    return e.Message();
  }
  return "<no exception>";
}

using V = std::vector<std::string>;

TEST(StringList, NamesAndValues) {
  TStringList list;
  Fill(list, {"a=1", "B=2", "c", "=x", "d=e=f", "b=second"});
  const V names = {"a", "B", "", "", "d", "b"};
  const V values = {"1", "2", "", "x", "e=f", "second"};
  for (int i = 0; i < list.Count(); ++i) {
    SCOPED_TRACE(list[i]);
    EXPECT_EQ(list.Names(i), names[static_cast<size_t>(i)]);
    EXPECT_EQ(list.ValueFromIndex(i), values[static_cast<size_t>(i)]);
  }
  EXPECT_EQ(list.Values("b"), "2") << "first match, case-insensitive";
  EXPECT_EQ(list.Values("d"), "e=f");
  EXPECT_EQ(list.Values(""), "x");
  EXPECT_EQ(list.Values("c"), "") << "a line without '=' has no name";
  EXPECT_EQ(list.IndexOfName("C"), -1);
  EXPECT_EQ(list.IndexOfName("D"), 4);

  list.SetValues("B", "3");  // replaced in place
  list.SetValues("new", "v");
  list.SetValues("a", "");   // deleted
  list.SetValues("zz", "");  // nothing to delete
  EXPECT_EQ(Lines(list), (V{"B=3", "c", "=x", "d=e=f", "b=second", "new=v"}));

  list.SetNameValueSeparator(':');
  list.Add("k:v");
  EXPECT_EQ(list.Values("K"), "v");
  EXPECT_EQ(list.Values("B"), "");
}

TEST(StringList, ValuesOnASortedList) {
  TStringList list;
  list.SetSorted(true);
  list.SetValues("m", "1");
  list.SetValues("a", "2");
  EXPECT_EQ(Lines(list), (V{"a=2", "m=1"})) << "new lines go to their sorted place";
  EXPECT_EQ(ListError([&] { list.SetValues("m", "9"); }), "Operation not allowed on sorted list");
  EXPECT_EQ(Lines(list), (V{"a=2", "m=1"}));
  list.SetValues("m", "");
  EXPECT_EQ(Lines(list), (V{"a=2"}));
}

TEST(StringList, TextSplitsAtEveryLineBreak) {
  const std::pair<std::string, V> cases[] = {
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\r\n", {"a"}},
      {"\r\n", {""}},
      {"", {}},
      {"a\n\nb", {"a", "", "b"}},
      {"a\r\r\nb", {"a", "", "b"}},
      {"a\n\r", {"a", ""}},
      {"  x  \r\n", {"  x  "}},
      {std::string("n\0ul\r\nz", 7), {std::string("n\0ul", 4), "z"}},
  };
  for (auto& [text, lines] : cases) {
    SCOPED_TRACE(text);
    TStringList list;
    list.SetText(text);
    EXPECT_EQ(Lines(list), lines);
  }
  TStringList list;
  Fill(list, {"a", "", "b"});
  EXPECT_EQ(list.Text(), "a\r\n\r\nb\r\n");
  list.Clear();
  EXPECT_EQ(list.Text(), "");
}

TEST(StringList, CommaText) {
  const std::pair<V, std::string> out[] = {
      {{"a", "b c", "d\"e", ""}, "a,\"b c\",\"d\"\"e\","}, {{""}, "\"\""},  {{}, ""},
      {{"x,y", "tab\there"}, "\"x,y\",\"tab\there\""},     {{"", ""}, ","},
  };
  for (auto& [lines, text] : out) {
    SCOPED_TRACE(text);
    TStringList list;
    Fill(list, lines);
    EXPECT_EQ(list.CommaText(), text);
    TStringList back;
    back.SetCommaText(text);
    EXPECT_EQ(Lines(back), lines) << "round trip";
  }
  const std::pair<std::string, V> in[] = {
      {"a, b ,\"c d\",,\"e\"\"f\"", {"a", "b", "c d", "", "e\"f"}},
      {"a b", {"a", "b"}},  // blanks separate too
      {"a,", {"a", ""}},
      {"  ", {}},
      {"\"open", {"open"}},
      {"\"q\"x", {"q", "x"}},
      {std::string("a,b\0,c", 6), {"a", "b"}},
  };
  for (auto& [text, lines] : in) {
    SCOPED_TRACE(text);
    TStringList list;
    list.Add("old");
    list.SetCommaText(text);
    EXPECT_EQ(Lines(list), lines);
  }
}

TEST(StringList, DelimitedTextUsesItsOwnCharacters) {
  TStringList list;
  list.SetDelimiter(';');
  list.SetQuoteChar('\'');
  list.SetDelimitedText("a;'b;c';'it''s' x");
  EXPECT_EQ(Lines(list), (V{"a", "b;c", "it's", "x"}));
  EXPECT_EQ(list.DelimitedText(), "a;'b;c';'it''s';x");
  EXPECT_EQ(list.CommaText(), "a,b;c,it's,x");
  EXPECT_EQ(list.Delimiter(), ';') << "CommaText leaves the settings alone";
}

TEST(StringList, SortedWithDuplicates) {
  struct Case {
    TDuplicates dups;
    bool case_sensitive;
    V expected;
  };
  const Case cases[] = {
      {dupIgnore, false, {"A", "b", "c"}},
      {dupAccept, false, {"a", "A", "b", "c"}},  // a new duplicate goes before its equals
      {dupIgnore, true, {"a", "A", "b", "c"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dups * 10 + c.case_sensitive);
    TStringList list;
    list.SetSorted(true);
    list.SetDuplicates(c.dups);
    list.SetCaseSensitive(c.case_sensitive);
    for (const char* s : {"b", "A", "c", "a"}) list.Add(s);
    EXPECT_EQ(Lines(list), c.expected);
  }

  TStringList list;
  list.SetSorted(true);
  list.SetDuplicates(dupError);
  list.Add("x");
  EXPECT_EQ(ListError([&] { list.Add("X"); }), "String list does not allow duplicates");
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Add("a"), 0) << "Add returns the sorted position";
  int index = -1;
  EXPECT_TRUE(list.Find("X", index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(list.Find("m", index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(list.Find("zz", index));
  EXPECT_EQ(index, 2);
  EXPECT_EQ(list.IndexOf("A"), 0);
  EXPECT_EQ(list.IndexOf("q"), -1);
  EXPECT_EQ(ListError([&] { list.Insert(0, "z"); }), "Operation not allowed on sorted list");
  EXPECT_EQ(ListError([&] { list.Put(0, "z"); }), "Operation not allowed on sorted list");
  EXPECT_EQ(ListError([&] { list.Move(0, 1); }), "Operation not allowed on sorted list");
  EXPECT_EQ(Lines(list), (V{"a", "x"}));
}

TEST(StringList, DupIgnoreReturnsTheExistingIndex) {
  TStringList list;
  list.SetSorted(true);
  for (const char* s : {"d", "b", "f"}) list.Add(s);
  EXPECT_EQ(list.Add("B"), 0);
  EXPECT_EQ(list.Count(), 3);
}

TEST(StringList, SortingAndCaseSensitivity) {
  TStringList list;
  Fill(list, {"b", "B", "a", "C"});
  list.Sort();
  EXPECT_EQ(Lines(list), (V{"a", "b", "B", "C"})) << "stable, case-insensitive";
  list.SetSorted(true);
  list.SetCaseSensitive(true);
  // Re-sorted, so the binary search still finds every line.
  for (const char* s : {"a", "b", "B", "C"}) EXPECT_GE(list.IndexOf(s), 0) << s;
  list.SetSorted(false);
  list.CustomSort([](TStringList* l, int i, int j) {
    return static_cast<int>(l->Strings(j).size()) - static_cast<int>(l->Strings(i).size()) +
           CompareStr(l->Strings(j), l->Strings(i));
  });
  EXPECT_EQ(Lines(list).front(), "b");
  list.SetSorted(true);
  const V before = Lines(list);
  list.CustomSort([](TStringList*, int i, int j) { return j - i; });
  EXPECT_EQ(Lines(list), before) << "a sorted list keeps its order";
}

TEST(StringList, IndexErrors) {
  TStringList list;
  Fill(list, {"a", "b"});
  EXPECT_EQ(ListError([&] { list.Get(2); }), "List index out of bounds (2)");
  EXPECT_EQ(ListError([&] { list.Get(-1); }), "List index out of bounds (-1)");
  EXPECT_EQ(ListError([&] { list.Delete(5); }), "List index out of bounds (5)");
  EXPECT_EQ(ListError([&] { list.Insert(3, "x"); }), "List index out of bounds (3)");
  EXPECT_EQ(ListError([&] { list.PutObject(2, nullptr); }), "List index out of bounds (2)");
  EXPECT_EQ(ListError([&] { list.Exchange(0, 2); }), "List index out of bounds (2)");
  EXPECT_EQ(ListError([&] { list.Move(0, 2); }), "List index out of bounds (2)");
  EXPECT_EQ(ListError([&] { list.Names(2); }), "List index out of bounds (2)");
  EXPECT_EQ(Lines(list), (V{"a", "b"})) << "a failed call changes nothing";
  list.Insert(2, "c");  // at the end is allowed
  EXPECT_EQ(Lines(list), (V{"a", "b", "c"}));
}

class Obj : public TObject {};

TEST(StringList, ObjectsTravelWithTheirLines) {
  Obj o1, o2, o3;
  TStringList list;
  list.AddObject("one", &o1);
  list.AddObject("two", &o2);
  list.AddObject("three", &o3);
  list.Exchange(0, 2);
  EXPECT_EQ(list.Objects(0), &o3);
  list.Move(0, 1);  // "three" to position 1
  EXPECT_EQ(Lines(list), (V{"two", "three", "one"}));
  EXPECT_EQ(list.Objects(1), &o3);
  EXPECT_EQ(list.IndexOfObject(&o1), 2);
  EXPECT_EQ(list.IndexOfObject(nullptr), -1);

  TStringList copy;
  copy.Add("gone");
  copy.SetDelimiter(';');
  list.SetNameValueSeparator(':');
  copy.Assign(&list);
  EXPECT_EQ(Lines(copy), Lines(list));
  EXPECT_EQ(copy.Objects(2), &o1);
  EXPECT_EQ(copy.NameValueSeparator(), ':');
  EXPECT_EQ(copy.Delimiter(), ',');
  copy.AddStrings(&list);
  EXPECT_EQ(copy.Count(), 6);
  EXPECT_EQ(copy.Objects(5), &o1);

  list.Sort();
  EXPECT_EQ(Lines(list), (V{"one", "three", "two"}));
  EXPECT_EQ(list.Objects(0), &o1);
  EXPECT_THROW(copy.Assign(nullptr), EConvertError);
}

TEST(StringList, ChangeEventsAroundUpdates) {
  TStringList list;
  std::vector<std::string> log;
  list.OnChanging = [&](TObject* sender) {
    EXPECT_EQ(sender, &list);
    log.push_back("changing:" + std::to_string(list.Count()));
  };
  list.OnChange = [&](TObject*) { log.push_back("change:" + std::to_string(list.Count())); };
  list.Add("a");
  EXPECT_EQ(log, (V{"changing:0", "change:1"}));
  log.clear();
  list.BeginUpdate();
  list.BeginUpdate();
  list.Add("b");
  list.Delete(0);
  list.EndUpdate();
  EXPECT_EQ(log, (V{"changing:1"}));
  list.EndUpdate();
  EXPECT_EQ(log, (V{"changing:1", "change:1"}));
  log.clear();
  list.SetText("x\ny\nz");
  EXPECT_EQ(log, (V{"changing:1", "change:3"}));
  log.clear();
  list.EndUpdate();  // unbalanced: ignored
  list.Clear();
  list.Clear();  // already empty: no events
  EXPECT_EQ(log, (V{"changing:3", "change:0"}));
}

TEST(StringList, Streams) {
  TStringList list;
  Fill(list, {"first", "", "last"});
  TStringStream out;
  out.WriteString("head:");
  list.SaveToStream(&out);
  EXPECT_EQ(out.DataString(), "head:first\r\n\r\nlast\r\n");

  TStringStream in("skip|one\ntwo");
  in.SetPosition(5);
  TStringList back;
  back.LoadFromStream(&in);
  EXPECT_EQ(Lines(back), (V{"one", "two"})) << "from the stream's position on";
  TStringStream empty;
  back.LoadFromStream(&empty);
  EXPECT_EQ(back.Count(), 0);
}

}  // namespace
