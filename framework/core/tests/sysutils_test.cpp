// String, conversion, file-name, file and date utilities.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "framework/core/strings.h"
#include "framework/core/sysutils.h"
#include "platform/base/codepage.h"
#include "platform/base/error.h"

namespace {

template <class E, class F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "<no exception>";
}

// ---------------------------------------------------------------------------------------
// Integers

struct IntCase {
  const char* text;
  bool ok;
  int value;
};

TEST(StrToInt, FrameworkRules) {
  const IntCase cases[] = {
      {"0", true, 0},
      {"-12", true, -12},
      {"+7", true, 7},
      {"  5", true, 5},  // leading blanks only
      {"007", true, 7},
      {"$FF", true, 255},
      {"0x1f", true, 31},
      {"0X1F", true, 31},
      {"x10", true, 16},
      {"X10", true, 16},
      {"-$10", true, -16},
      {"$FFFFFFFF", true, -1},  // hexadecimal takes the whole 32 bits
      {"$80000000", true, std::numeric_limits<int>::min()},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, std::numeric_limits<int>::min()},
      {"2147483648", false, 0},
      {"-2147483649", false, 0},
      {"$100000000", false, 0},
      {"99999999999999999999", false, 0},
      {"", false, 0},
      {" ", false, 0},
      {"5 ", false, 0},
      {"\t5", false, 0},
      {"10.5", false, 0},
      {"12a", false, 0},
      {"--1", false, 0},
      {"+-1", false, 0},
      {"-", false, 0},
      {"$", false, 0},
      {"0x", false, 0},
      {"$G", false, 0},
      {"1e3", false, 0},
  };
  for (const IntCase& c : cases) {
    SCOPED_TRACE(c.text);
    int v = -999;
    EXPECT_EQ(TryStrToInt(c.text, v), c.ok);
    if (c.ok) {
      EXPECT_EQ(v, c.value);
      EXPECT_EQ(StrToInt(c.text), c.value);
    } else {
      EXPECT_EQ(v, -999) << "failed conversion leaves the value alone";
      EXPECT_EQ(MessageOf<EConvertError>([&] { StrToInt(c.text); }),
                std::string("'") + c.text + "' is not a valid integer value");
      EXPECT_EQ(StrToIntDef(c.text, 42), 42);
    }
  }
}

TEST(StrToInt, EmbeddedNulIsNotANumber) {
  int64_t w;
  EXPECT_FALSE(TryStrToInt64(std::string("12\0"
                                         "3",
                                         4),
                             w));
  int v;
  EXPECT_FALSE(TryStrToInt(std::string("12\0"
                                       "3",
                                       4),
                           v));
}

TEST(StrToInt64, Limits) {
  EXPECT_EQ(StrToInt64("9223372036854775807"), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(StrToInt64("-9223372036854775808"), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(StrToInt64("4294967296"), 4294967296LL);
  EXPECT_EQ(StrToInt64Def("9223372036854775808", 3), 3);
  EXPECT_EQ(MessageOf<EConvertError>([] { StrToInt64("1 2"); }), "'1 2' is not a valid integer value");
}

TEST(IntToStr, AndHex) {
  EXPECT_EQ(IntToStr(-2147483647 - 1), "-2147483648");
  EXPECT_EQ(IntToStr(int64_t{1} << 40), "1099511627776");
  EXPECT_EQ(IntToStr(static_cast<DWORD>(4294967295u)), "4294967295");
  EXPECT_EQ(IntToStr(static_cast<WORD>(65535)), "65535");
  EXPECT_EQ(IntToStr(-5LL), "-5");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(0x1234, 2), "1234");
  EXPECT_EQ(IntToHex(-1, 1), "FFFFFFFF");
  EXPECT_EQ(IntToHex(int64_t{-1}, 1), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(IntToHex(0, 0), "0");
  EXPECT_EQ(IntToHex(static_cast<DWORD>(0xFFFFFFFFu), 2), "FFFFFFFF");
  EXPECT_EQ(IntToHex(static_cast<int16_t>(-1), 2), "FFFFFFFF");
  EXPECT_EQ(IntToHex(static_cast<WORD>(0x20D1), 4), "20D1");
}

// ---------------------------------------------------------------------------------------
// Reals

TEST(StrToFloat, Accepts) {
  const std::pair<const char*, double> ok[] = {
      {"1.5", 1.5},  {" -2.25 ", -2.25}, {"+3", 3}, {".5", 0.5},   {"5.", 5},
      {"1e3", 1000}, {"1.5E-2", 0.015},  {"-0", 0}, {"1e-400", 0},
  };
  for (auto& [text, value] : ok) {
    SCOPED_TRACE(text);
    EXPECT_DOUBLE_EQ(StrToFloat(text), value);
  }
  for (const char* bad : {"", " ", ".", "1e", "1e+", "1,5", "abc", "1.5x", "0x10", "inf", "nan", "1e400", "--1"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(MessageOf<EConvertError>([&] { StrToFloat(bad); }),
              std::string("'") + bad + "' is not a valid floating point value");
    EXPECT_EQ(StrToFloatDef(bad, 7.5), 7.5);
  }
}

TEST(FloatToStr, GeneralFormatWith15Digits) {
  const std::pair<double, const char*> cases[] = {
      {0, "0"},
      {-0.0, "0"},
      {1.5, "1.5"},
      {-2.25, "-2.25"},
      {0.1 + 0.2, "0.3"},
      {100, "100"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {0.0001, "0.0001"},
      {0.00001, "1E-5"},
      {1.5e-10, "1.5E-10"},
      {999999999999999.0, "999999999999999"},
      {1e15, "1E15"},
      {123456789012345678.0, "1.23456789012346E17"},
      {-1e20, "-1E20"},
      {9.999999999999999, "10"},
      {std::numeric_limits<double>::quiet_NaN(), "NAN"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
  };
  for (auto& [value, text] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(FloatToStr(value), text);
  }
}

TEST(FloatToStrF, FixedRoundsHalfUpOnDecimalDigits) {
  EXPECT_EQ(FloatToStrF(0.125, ffFixed, 15, 2), "0.13");
  EXPECT_EQ(FloatToStrF(1.005, ffFixed, 15, 2), "1.01");
  EXPECT_EQ(FloatToStrF(-0.004, ffFixed, 15, 2), "0.00");
  EXPECT_EQ(FloatToStrF(9.995, ffFixed, 15, 2), "10.00");
  EXPECT_EQ(FloatToStrF(1234567.891, ffNumber, 15, 2), "1,234,567.89");
  EXPECT_EQ(FloatToStrF(-999.5, ffNumber, 15, 0), "-1,000");
  EXPECT_EQ(FloatToStrF(1.5, ffExponent, 4, 2), "1.500E+00");
  EXPECT_EQ(FloatToStrF(1e20, ffFixed, 15, 2), "1E20");
}

TEST(FormatFloat, Pictures) {
  const std::tuple<const char*, double, const char*> cases[] = {
      {"0.00", 3.14159, "3.14"},
      {"#.##", 0.5, ".5"},
      {"0.##", 2, "2"},
      {"#,##0.00", 1234567.891, "1,234,567.89"},
      {"000", 7, "007"},
      {"0", -2.5, "-3"},
      {"0.0;(0.0)", -2.5, "(2.5)"},
      {"0.0;(0.0);'zero'", 0, "zero"},
      {"'$'0.00", 12.5, "$12.50"},
      {"0.00 \"kg\"", 1, "1.00 kg"},
      {"0", -0.4, "0"},
      {"", 1.5, "1.5"},
  };
  for (auto& [fmt, value, text] : cases) {
    SCOPED_TRACE(fmt);
    EXPECT_EQ(FormatFloat(fmt, value), text);
  }
}

TEST(BoolText, RoundTrip) {
  EXPECT_EQ(BoolToStr(true), "-1");
  EXPECT_EQ(BoolToStr(false, true), "False");
  EXPECT_TRUE(StrToBool("true"));
  EXPECT_TRUE(StrToBool("-1"));
  EXPECT_TRUE(StrToBool("2"));
  EXPECT_FALSE(StrToBool("FALSE"));
  EXPECT_FALSE(StrToBool("0"));
  EXPECT_EQ(MessageOf<EConvertError>([] { StrToBool("yes"); }), "'yes' is not a valid boolean value");
}

// ---------------------------------------------------------------------------------------
// Format

TEST(Format, Table) {
  const int* no_pointer = nullptr;
  struct Case {
    const char* fmt;
    std::vector<TVarRec> args;
    const char* text;
  };
  const Case cases[] = {
      {"%d", {5}, "5"},
      {"%5d|", {5}, "    5|"},
      {"%-5d|", {5}, "5    |"},
      {"%.3d", {-5}, "-005"},
      {"%2.2d:%2.2d:%2.2d", {1, 2, 30}, "01:02:30"},
      {"%d", {int64_t{1} << 40}, "1099511627776"},
      {"%u", {-1}, "4294967295"},
      {"%x", {255}, "FF"},
      {"%x", {-1}, "FFFFFFFF"},
      {"%.4X", {10}, "000A"},
      {"%s", {"abc"}, "abc"},
      {"%s", {std::string("x y")}, "x y"},
      {"%s", {'c'}, "c"},
      {"%.2s", {"abc"}, "ab"},
      {"%5s|%-5s|", {"ab", "cd"}, "   ab|cd   |"},
      {"%.1f %%", {12.345}, "12.3 %"},
      {"%f", {1.0}, "1.00"},
      {"%.0f", {2.5}, "3"},
      {"%.2n b", {1234567.891}, "1,234,567.89 b"},
      {"%e", {1.5}, "1.50000000000000E+000"},
      {"%.3e", {-12345.0}, "-1.23E+004"},
      {"%g", {0.5}, "0.5"},
      {"%m", {1234.5}, "$1,234.50"},
      {"%1:s %0:s %s", {"a", "b"}, "b a b"},
      {"%*d|%-*d|", {4, 7, 3, 8}, "   7|8  |"},
      {"%.*f", {1, 2.25}, "2.3"},
      {"%p", {no_pointer}, "0000000000000000"},
      {"100%%", {}, "100%"},
      {"%S %D", {"up", 3}, "up 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fmt);
    EXPECT_EQ(Format(c.fmt, c.args), c.text);
  }
}

TEST(Format, VariadicForm) {
  EXPECT_EQ(Format("%s: %d (%.1f)", std::string("n"), 3, 0.25), "n: 3 (0.3)");
  EXPECT_EQ(Format("%s", u"wide"), "wide");
  EXPECT_EQ(Format("50%%"), "50%");
  const TVarRec recs[] = {1, "x"};
  EXPECT_EQ(FormatVarRecs("%d%s", recs, 2), "1x");
}

TEST(Format, ErrorsNameTheFormat) {
  const std::pair<const char*, std::vector<TVarRec>> bad[] = {
      {"%d", {"x"}}, {"%s", {5}}, {"%f", {5}}, {"%x", {1.5}}, {"%d", {true}},
      {"%", {1}},    {"%q", {1}}, {"%5", {1}}, {"%p", {1}},
  };
  for (auto& [fmt, args] : bad) {
    SCOPED_TRACE(fmt);
    EXPECT_EQ(MessageOf<EConvertError>([&] { Format(fmt, args); }),
              std::string("Format '") + fmt + "' invalid or incompatible with argument");
  }
  EXPECT_EQ(MessageOf<EConvertError>([] {
              Format("%*d", {1 << 20, 1});
            }),
            "Format '%*d' invalid or incompatible with argument");
  EXPECT_EQ(MessageOf<EConvertError>([] { Format("%d %d", {1}); }), "No argument for format '%d %d'");
  EXPECT_EQ(MessageOf<EConvertError>([] { Format("%3:d", {1}); }), "No argument for format '%3:d'");
}

// ---------------------------------------------------------------------------------------
// Strings

TEST(Strings, TrimRemovesControlCharacters) {
  EXPECT_EQ(Trim(" \t\r\na b\x01 "), "a b");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(TrimLeft("  a  "), "a  ");
  EXPECT_EQ(TrimRight("  a  "), "  a");
  EXPECT_EQ(Trim("\xb0\xa1"), "\xb0\xa1") << "bytes above 0x7F are not blanks";
}

TEST(Strings, PosCopyDeleteInsert) {
  EXPECT_EQ(Pos("b", "abcb"), 2);
  EXPECT_EQ(Pos("", "abc"), 0);
  EXPECT_EQ(Pos("abcd", "abc"), 0);
  EXPECT_EQ(PosEx("b", "abcb", 3), 4);
  EXPECT_EQ(PosEx("b", "abcb", 0), 0);
  EXPECT_EQ(PosEx("b", "abcb", 5), 0);

  const std::tuple<int, int, const char*> copies[] = {
      {1, 2, "ab"}, {0, 2, "ab"}, {-5, 1, "a"}, {2, 100, "bcd"},         {4, 1, "d"},
      {5, 1, ""},   {2, 0, ""},   {2, -1, ""},  {1, 0x7FFFFFFF, "abcd"},
  };
  for (auto& [index, count, text] : copies) {
    SCOPED_TRACE(index);
    EXPECT_EQ(Copy("abcd", index, count), text);
  }

  const std::tuple<int, int, const char*> deletes[] = {
      {1, 1, "bcd"}, {2, 2, "ad"}, {3, 100, "ab"}, {0, 1, "abcd"}, {5, 1, "abcd"}, {2, 0, "abcd"}, {2, -1, "abcd"},
  };
  for (auto& [index, count, text] : deletes) {
    SCOPED_TRACE(index);
    std::string s = "abcd";
    Delete(s, index, count);
    EXPECT_EQ(s, text);
  }

  const std::pair<int, const char*> inserts[] = {{1, "XYab"}, {0, "XYab"}, {2, "aXYb"}, {3, "abXY"}, {99, "abXY"}};
  for (auto& [index, text] : inserts) {
    std::string s = "ab";
    Insert("XY", s, index);
    EXPECT_EQ(s, text);
  }
}

TEST(Strings, StringReplace) {
  const std::tuple<const char*, const char*, const char*, TReplaceFlags, const char*> cases[] = {
      {"a-b-c", "-", "+", 0, "a+b-c"},
      {"a-b-c", "-", "+", rfReplaceAll, "a+b+c"},
      {"aXbxc", "x", "_", rfReplaceAll, "aXb_c"},
      {"aXbxc", "x", "_", rfReplaceAll | rfIgnoreCase, "a_b_c"},
      {"aaa", "aa", "b", rfReplaceAll, "ba"},
      {"abc", "", "x", rfReplaceAll, "abc"},
      {"abc", "abc", "", 0, ""},
      {"abc", "zz", "y", rfReplaceAll, "abc"},
      {"x", "x", "xx", rfReplaceAll, "xx"},
  };
  for (auto& [s, from, to, flags, text] : cases) {
    SCOPED_TRACE(std::string(s) + " " + from);
    EXPECT_EQ(StringReplace(s, from, to, flags), text);
  }
}

// Runs a test under a given ANSI code page and restores the previous setting.
class CodePage : public ::testing::Test {
 protected:
  void Use(const char* page) {
    setenv("KORVANE_CODEPAGE", page, 1);
    KvCodePageReset();
  }
  void SetUp() override {
    const char* old = getenv("KORVANE_CODEPAGE");
    had_ = old != nullptr;
    if (old) old_ = old;
    Use("936");
  }
  void TearDown() override {
    if (had_) {
      setenv("KORVANE_CODEPAGE", old_.c_str(), 1);
    } else {
      unsetenv("KORVANE_CODEPAGE");
    }
    KvCodePageReset();
  }
  bool had_ = false;
  std::string old_;
};

TEST_F(CodePage, DoubleByteCharactersAreWhole) {
  // GBK: 0x95 0x5C is one character whose trail byte is "\"; 0x81 0x61 has "a" as trail.
  const std::string name = "c:\\dir\\\x95\x5C.txt";
  EXPECT_EQ(ExtractFileName(name), "\x95\x5C.txt");
  EXPECT_EQ(ExtractFilePath(name), "c:\\dir\\");
  EXPECT_EQ(LastDelimiter("\\", "a\\\x95\x5C"), 2);
  EXPECT_FALSE(IsDelimiter("\\", "\x95\x5C", 2));
  EXPECT_EQ(ByteType("\x95\x5C", 1), mbLeadByte);
  EXPECT_EQ(ByteType("\x95\x5C", 2), mbTrailByte);
  EXPECT_EQ(AnsiUpperCase("ab\x81\x61"), "AB\x81\x61");
  EXPECT_EQ(AnsiLowerCase("AB\x81\x41"), "ab\x81\x41");
  EXPECT_EQ(UpperCase("ab\x81\x61"), "AB\x81\x41") << "the ASCII form is bytewise";
  // Text that is not valid in the code page is still mapped, trail bytes kept.
  EXPECT_EQ(AnsiUpperCase("a\xff"
                          "a"),
            "A\xff"
            "A");
  EXPECT_EQ(AnsiUpperCase("a\x81"), "A\x81");
  EXPECT_EQ(AnsiLowerCase("\x81\x41Z\x81"), "\x81\x41z\x81");
  EXPECT_EQ(AnsiPos("\x5C", "\x95\x5C\x5C"), 3);
  EXPECT_EQ(StringReplace("\x95\x5C\\", "\\", "/", rfReplaceAll), "\x95\x5C/");
  EXPECT_EQ(AnsiQuotedStr("\x95\x27", '\''), "'\x95\x27'");
}

TEST_F(CodePage, Utf8HasNoLeadBytes) {
  Use("65001");
  EXPECT_FALSE(IsLeadByte(0x95));
  EXPECT_EQ(ExtractFileName("c:\\d\\x\x95\\y"), "y");
  EXPECT_EQ(AnsiUpperCase("\xc3\xa9t\xc3\xa9"), "\xc3\x89T\xc3\x89");
  EXPECT_EQ(AnsiCompareText("\xc3\xa9", "\xc3\x89"), 0);
}

TEST_F(CodePage, CaseAndComparison) {
  EXPECT_EQ(UpperCase("abc-XYZ"), "ABC-XYZ");
  EXPECT_EQ(LowerCase("ABC-xyz"), "abc-xyz");
  EXPECT_EQ(WideUpperCase(u"abc\u00e9\uff41"), u"ABC\u00c9\uff21");
  // Full-width letters exist in GBK and change case through it.
  EXPECT_EQ(AnsiUpperCase("\xa3\xe1"), "\xa3\xc1");
  EXPECT_TRUE(SameText("Hello", "hELLO"));
  EXPECT_FALSE(SameText("Hello", "Hell"));
  EXPECT_EQ(CompareText("abc", "ABC"), 0);
  EXPECT_LT(CompareText("abc", "abd"), 0);
  EXPECT_GT(CompareText("abcd", "ABC"), 0);
  EXPECT_LT(CompareStr("ABC", "abc"), 0);
  EXPECT_EQ(AnsiCompareText("\xa3\xe1x", "\xa3\xc1X"), 0);
  EXPECT_LT(AnsiCompareText("a", "B"), 0);
  EXPECT_GT(AnsiCompareStr("b", "a"), 0);
  EXPECT_LT(AnsiCompareStr("a", "A"), 0);
  EXPECT_LT(AnsiCompareStr("A", "b"), 0);
  EXPECT_GT(AnsiCompareStr("aB", "ab"), 0);
  EXPECT_EQ(AnsiCompareStr("ab", "ab"), 0);
  EXPECT_TRUE(AnsiSameText("ABC", "abc"));
}

TEST(Strings, Quoting) {
  EXPECT_EQ(QuotedStr("it's"), "'it''s'");
  EXPECT_EQ(QuotedStr(""), "''");
  EXPECT_EQ(AnsiQuotedStr("a\"b", '"'), "\"a\"\"b\"");

  const char* text = "'it''s' rest";
  const char* p = text;
  EXPECT_EQ(AnsiExtractQuotedStr(p, '\''), "it's");
  EXPECT_STREQ(p, " rest");
  p = "'open";
  EXPECT_EQ(AnsiExtractQuotedStr(p, '\''), "open");
  EXPECT_EQ(*p, '\0');
  p = "plain";
  EXPECT_EQ(AnsiExtractQuotedStr(p, '\''), "");
  EXPECT_STREQ(p, "plain");

  EXPECT_EQ(AnsiDequotedStr("\"a\"\"b\"", '"'), "a\"b");
  EXPECT_EQ(AnsiDequotedStr("plain", '"'), "plain");
  EXPECT_EQ(AnsiDequotedStr("\"\"", '"'), "");
  EXPECT_EQ(StringOfChar('-', 3), "---");
  EXPECT_EQ(StringOfChar('-', -1), "");
}

// ---------------------------------------------------------------------------------------
// File names

TEST(FileNames, Table) {
  struct Case {
    const char* name;
    const char* path;
    const char* dir;
    const char* file;
    const char* ext;
    const char* drive;
  };
  const Case cases[] = {
      {"c:\\dir\\sub\\a.txt", "c:\\dir\\sub\\", "c:\\dir\\sub", "a.txt", ".txt", "c:"},
      {"c:\\a.txt", "c:\\", "c:\\", "a.txt", ".txt", "c:"},
      {"c:a.txt", "c:", "c:", "a.txt", ".txt", "c:"},
      {"/home/u/x.tar.gz", "/home/u/", "/home/u", "x.tar.gz", ".gz", ""},
      {"/x", "/", "/", "x", "", ""},
      {"dir/sub\\f", "dir/sub\\", "dir/sub", "f", "", ""},
      {"a.dir\\file", "a.dir\\", "a.dir", "file", "", ""},
      {"noext", "", "", "noext", "", ""},
      {"\\\\srv\\share\\f.ini", "\\\\srv\\share\\", "\\\\srv\\share", "f.ini", ".ini", "\\\\srv\\share"},
      {"", "", "", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ExtractFilePath(c.name), c.path);
    EXPECT_EQ(ExtractFileDir(c.name), c.dir);
    EXPECT_EQ(ExtractFileName(c.name), c.file);
    EXPECT_EQ(ExtractFileExt(c.name), c.ext);
    EXPECT_EQ(ExtractFileDrive(c.name), c.drive);
  }
  EXPECT_EQ(ChangeFileExt("c:\\a.b\\f.txt", ".ini"), "c:\\a.b\\f.ini");
  EXPECT_EQ(ChangeFileExt("c:\\a.b\\f", ".ini"), "c:\\a.b\\f.ini");
  EXPECT_EQ(ChangeFileExt("f.txt", ""), "f");
  EXPECT_EQ(IncludeTrailingBackslash("c:\\x"), "c:\\x\\");
  EXPECT_EQ(IncludeTrailingBackslash("c:\\x\\"), "c:\\x\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/x"), "/tmp/x/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/"), "/tmp/");
  EXPECT_EQ(IncludeTrailingBackslash(""), "\\");
  EXPECT_EQ(ExcludeTrailingBackslash("c:\\x\\"), "c:\\x");
  EXPECT_EQ(ExcludeTrailingBackslash("/tmp/"), "/tmp");
  EXPECT_EQ(ExcludeTrailingBackslash("\x95\x5C"), "\x95\x5C");
}

// ---------------------------------------------------------------------------------------
// Files

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kv_fwsys_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    home_ = tmpl;
    const char* old = getenv("KORVANE_HOME");
    had_home_ = old != nullptr;
    if (old) old_home_ = old;
    setenv("KORVANE_HOME", home_.c_str(), 1);
  }
  void TearDown() override {
    if (had_home_) {
      setenv("KORVANE_HOME", old_home_.c_str(), 1);
    } else {
      unsetenv("KORVANE_HOME");
    }
    std::string cmd = "rm -rf '" + home_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string home_, old_home_;
  bool had_home_ = false;
};

TEST_F(Files, WindowsPathsThroughTheMapping) {
  EXPECT_FALSE(DirectoryExists("c:\\a\\b"));
  EXPECT_TRUE(ForceDirectories("c:\\a\\b\\c\\"));
  EXPECT_TRUE(DirectoryExists("c:\\a\\b\\c"));
  EXPECT_TRUE(DirectoryExists(home_ + "/drive_c/a/b/c"));
  EXPECT_TRUE(ForceDirectories("c:\\a\\b"));  // already there

  TStringList list;
  list.Add("one");
  list.Add("\xd6\xd0\xce\xc4");
  list.SaveToFile("c:\\a\\b\\c\\list.txt");
  EXPECT_TRUE(FileExists("C:/a/b/c/list.txt"));
  EXPECT_FALSE(FileExists("c:\\a\\b\\c"));  // a directory is not a file
  EXPECT_FALSE(DirectoryExists("c:\\a\\b\\c\\list.txt"));

  EXPECT_TRUE(RenameFile("c:\\a\\b\\c\\list.txt", "c:\\a\\moved.txt"));
  EXPECT_FALSE(FileExists("c:\\a\\b\\c\\list.txt"));
  TStringList back;
  back.LoadFromFile("c:\\a\\moved.txt");
  EXPECT_EQ(back.Text(), "one\r\n\xd6\xd0\xce\xc4\r\n");

  TStringList other;
  other.SaveToFile("c:\\a\\other.txt");
  EXPECT_FALSE(RenameFile("c:\\a\\other.txt", "c:\\a\\moved.txt")) << "never replaces";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

  EXPECT_TRUE(DeleteFile("c:\\a\\moved.txt"));
  EXPECT_FALSE(DeleteFile("c:\\a\\moved.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(DeleteFile("c:\\a")) << "a directory is not deleted as a file";
  EXPECT_TRUE(DirectoryExists("c:\\a"));
}

TEST_F(Files, FailuresAreReported) {
  EXPECT_FALSE(FileExists(""));
  EXPECT_EQ(MessageOf<EInOutError>([] { ForceDirectories(""); }), "Unable to create directory");
  std::string file = home_ + "/plain";
  TStringList().SaveToFile(file);
  EXPECT_FALSE(ForceDirectories(file + "/sub")) << "a file is in the way";
  EXPECT_THROW(TStringList().LoadFromFile(home_ + "/missing.txt"), EFOpenError);
  EXPECT_THROW(TStringList().SaveToFile(home_ + "/no/such/dir/x.txt"), EFCreateError);
  EXPECT_FALSE(GetCurrentDir().empty());
}

TEST(Errors, Messages) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  try {
    RaiseLastOSError();
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, 2u);
    EXPECT_EQ(e.Message(), "System Error.  Code: 2.\r\n" + SysErrorMessage(2));
    EXPECT_FALSE(SysErrorMessage(2).empty());
    EXPECT_NE(SysErrorMessage(2).back(), '\n');
    EXPECT_STREQ(e.ClassName(), "EOSError");
  }
  EXPECT_EQ(MessageOf<EOSError>([] { RaiseLastOSError(0); }), "A call to an OS function failed");
  EXPECT_EQ(MessageOf<EAbort>([] { Abort(); }), "Operation aborted");
  EXPECT_EQ(MessageOf<EOutOfMemory>([] { OutOfMemoryError(); }), "Out of memory");
}

// ---------------------------------------------------------------------------------------
// Dates

TEST(Dates, EncodeDecodeTable) {
  const std::tuple<int, int, int, double> cases[] = {
      {1899, 12, 30, 0},    {1899, 12, 29, -1},  {1900, 1, 1, 2},    {1900, 3, 1, 61},        {2000, 1, 1, 36526},
      {2000, 2, 29, 36585}, {2024, 3, 5, 45356}, {1, 1, 1, -693593}, {9999, 12, 31, 2958465},
  };
  for (auto& [y, m, d, value] : cases) {
    SCOPED_TRACE(value);
    EXPECT_EQ(EncodeDate(y, m, d), value);
    int yy, mm, dd;
    DecodeDate(value >= 0 ? value + 0.75 : value - 0.75, yy, mm, dd);
    EXPECT_EQ(std::make_tuple(yy, mm, dd), std::make_tuple(y, m, d));
  }
  const std::tuple<int, int, int> bad[] = {{2023, 2, 29}, {1900, 2, 29}, {0, 1, 1},     {10000, 1, 1},
                                           {2024, 13, 1}, {2024, 0, 1},  {2024, 4, 31}, {2024, 1, 0}};
  for (auto& [y, m, d] : bad) {
    TDateTime out = 123;
    EXPECT_FALSE(TryEncodeDate(y, m, d, out));
    EXPECT_EQ(out, 123);
    EXPECT_EQ(MessageOf<EConvertError>([&] { EncodeDate(y, m, d); }), "Invalid argument to date encode");
  }
  EXPECT_EQ(MessageOf<EConvertError>([] { EncodeTime(24, 0, 0, 0); }), "Invalid argument to time encode");
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_FALSE(IsLeapYear(2023));
}

TEST(Dates, EveryDayRoundTrips) {
  int prev_dow = DayOfWeek(EncodeDate(1, 1, 1)) - 1;
  EXPECT_EQ(prev_dow + 1, 2) << "0001-01-01 was a Monday";
  for (int y = 1; y <= 9999; y += (y < 1890 || y > 2110) ? 37 : 1) {
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= DaysInAMonth(y, m); ++d) {
        TDateTime v = EncodeDate(y, m, d);
        int yy, mm, dd;
        DecodeDate(v, yy, mm, dd);
        ASSERT_EQ(std::make_tuple(yy, mm, dd), std::make_tuple(y, m, d));
      }
    }
  }
  EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 7);  // Saturday
  EXPECT_EQ(DayOfWeek(EncodeDate(2024, 3, 5)), 3);    // Tuesday
  EXPECT_EQ(DayOfWeek(-1.5), 6);                      // 1899-12-29, a Friday
}

TEST(Dates, TimeOfDayAndRounding) {
  int h, n, s, ms;
  DecodeTime(EncodeTime(13, 45, 30, 250), h, n, s, ms);
  EXPECT_EQ(std::make_tuple(h, n, s, ms), std::make_tuple(13, 45, 30, 250));
  // Negative date-times count their time forward: -1.25 is 1899-12-29 06:00.
  int y, m, d;
  DecodeDateTime(-1.25, y, m, d, h, n, s, ms);
  EXPECT_EQ(std::make_tuple(y, m, d, h, n), std::make_tuple(1899, 12, 29, 6, 0));
  EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
  // A hair before midnight rounds to the next day's 00:00:00.000.
  TDateTime late = EncodeDate(2024, 12, 31) + 0.9999999999;
  DecodeDateTime(late, y, m, d, h, n, s, ms);
  EXPECT_EQ(std::make_tuple(y, m, d, h, n, s, ms), std::make_tuple(2025, 1, 1, 0, 0, 0, 0));
  DecodeDate(std::numeric_limits<double>::quiet_NaN(), y, m, d);
  EXPECT_EQ(y, 0);
  DecodeDate(1e300, y, m, d);
  EXPECT_EQ(y, 0);
  // Values outside the calendar decode as the empty date and never fault.
  for (double bad :
       {1e300, -1e300, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    DecodeTime(bad, h, n, s, ms);
    EXPECT_EQ(std::make_tuple(h, n, s, ms), std::make_tuple(0, 0, 0, 0));
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn mmm ddd", bad), "0000-00-00 00:00  Sun");
  }
  EXPECT_GT(IncSecond(0, std::numeric_limits<int64_t>::max()), 1e13);
}

TEST(Dates, Arithmetic) {
  int y, m, d;
  DecodeDate(IncMonth(EncodeDate(2024, 1, 31), 1), y, m, d);
  EXPECT_EQ(std::make_tuple(y, m, d), std::make_tuple(2024, 2, 29));
  DecodeDate(IncMonth(EncodeDate(2024, 3, 31), -13), y, m, d);
  EXPECT_EQ(std::make_tuple(y, m, d), std::make_tuple(2023, 2, 28));
  EXPECT_DOUBLE_EQ(IncMonth(EncodeDate(2024, 1, 15) + 0.5, 12), EncodeDate(2025, 1, 15) + 0.5);
  EXPECT_THROW(IncMonth(EncodeDate(9999, 12, 1), 1), EConvertError);

  TDateTime a = EncodeDateTime(2024, 3, 5, 10, 0, 0, 0);
  TDateTime b = EncodeDateTime(2024, 3, 6, 10, 0, 1, 999);
  EXPECT_EQ(SecondsBetween(a, b), 86401);
  EXPECT_EQ(SecondsBetween(b, a), 86401);
  EXPECT_EQ(MilliSecondsBetween(b, a), 86401999);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", IncSecond(a, -36001)), "2024-03-04 23:59:59");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", IncSecond(EncodeDate(1899, 12, 30), -1)), "1899-12-29 23:59:59");

  SYSTEMTIME st{};
  DateTimeToSystemTime(EncodeDateTime(2024, 3, 5, 14, 7, 9, 45), st);
  EXPECT_EQ(st.wYear, 2024);
  EXPECT_EQ(st.wDayOfWeek, 2);  // Tuesday, Sunday = 0
  EXPECT_EQ(st.wMilliseconds, 45);
  EXPECT_EQ(SystemTimeToDateTime(st), EncodeDateTime(2024, 3, 5, 14, 7, 9, 45));
  st.wMonth = 13;
  EXPECT_THROW(SystemTimeToDateTime(st), EConvertError);

  TDateTime now = Now();
  EXPECT_GT(now, EncodeDate(2020, 1, 1));
  EXPECT_EQ(Date(), std::trunc(Date()));
}

TEST(Dates, FormatDateTimeTable) {
  const TDateTime v = EncodeDateTime(2024, 3, 5, 14, 7, 9, 45);
  const TDateTime midnight = EncodeDate(2024, 3, 5);
  const TDateTime morning = EncodeDateTime(2024, 3, 5, 0, 30, 0, 0);
  const std::tuple<const char*, TDateTime, const char*> cases[] = {
      {"yyyy-mm-dd hh:nn:ss", v, "2024-03-05 14:07:09"},
      {"HH:NN:SS", v, "14:07:09"},
      {"d/m/yy", v, "5-3-24"},
      {"h:mm", v, "14:07"},  // minutes after an hour
      {"h:n:s.z", v, "14:7:9.45"},
      {"zzz", v, "045"},
      {"mmm mmmm ddd dddd", v, "Mar March Tue Tuesday"},
      {"hh:nn am/pm", v, "02:07 pm"},
      {"hh:nn AM/PM", morning, "12:30 AM"},
      {"h a/p", v, "2 p"},
      {"h A/P", morning, "12 A"},
      {"h A/p", v, "2 p"},
      {"hh ampm", morning, "12 AM"},
      {"'yyyy' \"mm\" yyyy", v, "yyyy mm 2024"},
      {"c", v, "2024-03-05 14:07:09"},
      {"c", midnight, "2024-03-05"},
      {"ddddd t", v, "2024-03-05 14:07"},
      {"tt", v, "14:07:09"},
      {"", v, "2024-03-05 14:07:09"},
      {"yyyy年m月d日", v, "2024年3月5日"},
  };
  for (auto& [fmt, value, text] : cases) {
    SCOPED_TRACE(fmt);
    EXPECT_EQ(FormatDateTime(fmt, value), text);
  }
  EXPECT_EQ(DateTimeToStr(v), "2024-03-05 14:07:09");
  EXPECT_EQ(DateToStr(v), "2024-03-05");
  EXPECT_EQ(TimeToStr(v), "14:07:09");
}

TEST(Dates, FormatsNamingThemselvesEnd) {
  const AnsiString saved = ShortDateFormat;
  ShortDateFormat = "c";
  EXPECT_NO_THROW(FormatDateTime("c", 1.5));
  ShortDateFormat = saved;
}

TEST(Dates, StrToDateTimeTable) {
  const std::pair<const char*, TDateTime> ok[] = {
      {"2024-03-05 14:07:09", EncodeDateTime(2024, 3, 5, 14, 7, 9, 0)},
      {"2024-3-5", EncodeDate(2024, 3, 5)},
      {" 2024-03-05  2:07 PM ", EncodeDateTime(2024, 3, 5, 14, 7, 0, 0)},
      {"2024-03-05 12:00 am", EncodeDate(2024, 3, 5)},
      {"24-03-05", EncodeDate(2024, 3, 5)},
      {"99-12-31 23:59:59.5", EncodeDateTime(1999, 12, 31, 23, 59, 59, 500)},
      {"1899-12-29 06:00", -1.25},
  };
  for (auto& [text, value] : ok) {
    SCOPED_TRACE(text);
    EXPECT_DOUBLE_EQ(StrToDateTime(text), value);
  }
  for (const char* bad : {"", "2024", "2024-02-30", "2024-03-05 25:00", "2024-03-05 10:61", "2024/03/05", "2024-03-05x",
                          "2024-03-05 13:00 PM", "abc", "2024-03-05T10:00"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(MessageOf<EConvertError>([&] { StrToDateTime(bad); }),
              std::string("'") + bad + "' is not a valid date and time");
  }
  EXPECT_EQ(StrToDate("2024-03-05"), EncodeDate(2024, 3, 5));
  EXPECT_THROW(StrToDate("2024-03-05 10:00"), EConvertError);
  EXPECT_DOUBLE_EQ(StrToTime("10:30"), EncodeTime(10, 30, 0, 0));
  EXPECT_EQ(MessageOf<EConvertError>([] { StrToTime("10"); }), "'10' is not a valid time");
}

// ---------------------------------------------------------------------------------------
// Arbitrary input: every parser answers with a value or its EConvertError, never a fault.

TEST(Robustness, ArbitraryTextIntoEveryParser) {
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  const char alphabet[] = "0123456789$xX+-.eE :%*dsufgnmpx'\"/ymhnsztacAP;#,\x81\x95\\\t\r\n";
  for (int round = 0; round < 20000; ++round) {
    std::string s;
    for (unsigned n = next() % 12; n > 0; --n) s += alphabet[next() % (sizeof alphabet - 1)];
    int i;
    int64_t i64;
    double d;
    TDateTime t;
    TryStrToInt(s, i);
    TryStrToInt64(s, i64);
    TryStrToFloat(s, d);
    TryStrToDateTime(s, t);
    try {
      Format(s, {1, 2.5, "x"});
    } catch (const EConvertError&) {
    }
    EXPECT_LE(FormatDateTime(s, 45356.5).size(), 400u);
    FormatFloat(s, -1234.5);
    TStringList list;
    list.SetCommaText(s);
    list.SetText(s);
    list.SetDelimitedText(list.CommaText());
    ExtractFileDir(s);
    ExtractFileDrive(s);
  }
}

}  // namespace
