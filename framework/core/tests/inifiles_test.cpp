#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "framework/core/inifiles.h"
#include "framework/core/strings.h"
#include "testsupport/temp_home.h"

namespace {

class IniFiles : public ::testing::Test {
 protected:
  std::string Path() const { return home / "t.ini"; }
  kvtest::TempHome home;
};

TEST_F(IniFiles, ReadTable) {
  kvtest::WriteFile(Path(),
                    "top=before any section\r\n"
                    "; comment=not a key\r\n"
                    "[General]\r\n"
                    "  Name = Value with spaces  \t\r\n"
                    "quoted=\"  padded  \"\r\n"
                    "single='x'\r\n"
                    "mismatch=\"abc'\r\n"
                    "one=\"\r\n"
                    "lonely line without equals\r\n"
                    "empty=\r\n"
                    "eq=a=b\r\n"
                    "; hidden=1\r\n"
                    "[ general ]\r\n"
                    "Name=second section of that name\r\n"
                    "[Other]\r\n"
                    "a=1\n");
  TIniFile ini(Path());
  struct {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"general", "name", "Value with spaces"},
      {"GENERAL", "QUOTED", "  padded  "},
      {"General", "single", "x"},
      {"General", "mismatch", "\"abc'"},
      {"General", "one", "\""},
      {"General", "empty", ""},
      {"General", "eq", "a=b"},
      {"General", "lonely line without equals", "<default>"},
      {"General", "; hidden", "<default>"},
      {"General", "top", "<default>"},
      {" General ", " Name ", "Value with spaces"},
      {"Other", "A", "1"},
      {"Missing", "a", "<default>"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ini.ReadString(c.section, c.key, "<default>"), c.expected) << c.section << "/" << c.key;

  TStringList list;
  ini.ReadSections(&list);
  EXPECT_EQ(list.CommaText(), "General,Other");
  ini.ReadSection("general", &list);
  EXPECT_EQ(list.CommaText(), "Name,quoted,single,mismatch,one,empty,eq");
  ini.ReadSectionValues("Other", &list);
  EXPECT_EQ(list.CommaText(), "a=1");
  EXPECT_TRUE(ini.SectionExists("OTHER"));
  EXPECT_FALSE(ini.SectionExists("nope"));
  EXPECT_TRUE(ini.ValueExists("general", "EMPTY"));
  EXPECT_FALSE(ini.ValueExists("general", "top"));
}

TEST_F(IniFiles, WriteTable) {
  struct Case {
    const char* before;  // nullptr: no file
    std::function<void(TIniFile&)> change;
    const char* after;
  };
  const Case cases[] = {
      {"[a]\r\nx=1\r\n", [](TIniFile& i) { i.WriteString("A", "X", "2"); }, "[a]\r\nx=2\r\n"},
      {"[a]\r\nx=1\r\n", [](TIniFile& i) { i.WriteString("b", "y", "2"); }, "[a]\r\nx=1\r\n[b]\r\ny=2\r\n"},
      {"[a]\r\nx=1\r\n\r\n[b]\r\n", [](TIniFile& i) { i.WriteString("a", "y", "2"); },
       "[a]\r\nx=1\r\ny=2\r\n\r\n[b]\r\n"},
      {"[a]\nx=1\n", [](TIniFile& i) { i.WriteString("a", "y", "2"); }, "[a]\nx=1\ny=2\n"},
      {"[a]\r\nx=1", [](TIniFile& i) { i.WriteString("a", "x", "3"); }, "[a]\r\nx=3\r\n"},
      {nullptr, [](TIniFile& i) { i.WriteString("s", "k", "v"); }, "[s]\r\nk=v\r\n"},
      {"; c\r\n[a]\r\n; inner\r\nx=1\r\n", [](TIniFile& i) { i.DeleteKey("a", "X"); }, "; c\r\n[a]\r\n; inner\r\n"},
      {"[a]\r\nx=1\r\n[B]\r\ny=2\r\n[a]\r\nz=3\r\n", [](TIniFile& i) { i.EraseSection("A"); }, "[B]\r\ny=2\r\n"},
      {"[a]\r\nx=1\r\n", [](TIniFile& i) { i.WriteInteger("a", "n", -5); }, "[a]\r\nx=1\r\nn=-5\r\n"},
      {"[a]\r\n",
       [](TIniFile& i) {
         i.WriteBool("a", "t", true);
         i.WriteBool("a", "f", false);
       },
       "[a]\r\nt=1\r\nf=0\r\n"},
  };
  for (const auto& c : cases) {
    std::remove(Path().c_str());
    if (c.before) kvtest::WriteFile(Path(), c.before);
    TIniFile ini(Path());
    c.change(ini);
    EXPECT_EQ(kvtest::ReadFile(Path()), c.after) << (c.before ? c.before : "(no file)");
  }
}

TEST_F(IniFiles, NumbersAndBooleans) {
  kvtest::WriteFile(Path(),
                    "[n]\r\ndec= 12 \r\ndollar=$10\r\nhex=0x10\r\nbad=12a\r\nneg=-3\r\n"
                    "yes=1\r\nno=0\r\nword=true\r\n");
  TIniFile ini(Path());
  EXPECT_EQ(ini.ReadInteger("n", "dec", 0), 12);
  EXPECT_EQ(ini.ReadInteger("n", "dollar", 0), 16);
  EXPECT_EQ(ini.ReadInteger("n", "hex", 0), 16);
  EXPECT_EQ(ini.ReadInteger("n", "bad", 7), 7);
  EXPECT_EQ(ini.ReadInteger("n", "neg", 0), -3);
  EXPECT_EQ(ini.ReadInteger("n", "absent", 9), 9);
  EXPECT_TRUE(ini.ReadBool("n", "yes", false));
  EXPECT_FALSE(ini.ReadBool("n", "no", true));
  EXPECT_TRUE(ini.ReadBool("n", "word", true));  // not a number: the default
  EXPECT_FALSE(ini.ReadBool("n", "word", false));
}

TEST_F(IniFiles, TwoObjectsOnOneFileSeeEachOther) {
  TIniFile a(Path());
  TIniFile b(Path());
  a.WriteString("s", "k", "one");
  EXPECT_EQ(b.ReadString("s", "k", ""), "one");
  b.WriteString("s", "k2", "two");
  a.WriteString("s", "k", "three");
  EXPECT_EQ(b.ReadString("s", "k", ""), "three");
  EXPECT_EQ(a.ReadString("s", "k2", ""), "two");
  b.EraseSection("s");
  EXPECT_EQ(a.ReadString("s", "k", "gone"), "gone");
}

TEST_F(IniFiles, FileNames) {
  // A bare name lives in the Windows folder, a Windows path is mapped.
  TIniFile bare("bare.ini");
  bare.WriteString("s", "k", "v");
  EXPECT_EQ(kvtest::ReadFile(home.system_dir() + "/bare.ini"), "[s]\r\nk=v\r\n");
  TIniFile windows("c:\\cfg\\Korvane.ini");
  std::filesystem::create_directories(home / "drive_c/cfg");
  windows.WriteString("general", "ServerPort", "ODA4MA");
  EXPECT_EQ(kvtest::ReadFile(home / "drive_c/cfg/Korvane.ini"), "[general]\r\nServerPort=ODA4MA\r\n");
  EXPECT_EQ(windows.FileName(), "c:\\cfg\\Korvane.ini");
}

TEST_F(IniFiles, WritesThatCannotBeDoneRaise) {
  TIniFile nowhere(home / "no/such/folder/x.ini");
  try {
    nowhere.WriteString("s", "k", "v");
    FAIL();
  } catch (const EIniFileException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + (home / "no/such/folder/x.ini"));
  }
  EXPECT_EQ(nowhere.ReadString("s", "k", "d"), "d");

  // Text that would read back as other lines is refused and leaves the file as it was.
  kvtest::WriteFile(Path(), "[s]\r\nk=v\r\n");
  TIniFile ini(Path());
  EXPECT_THROW(ini.WriteString("s", "k", "x\r\n[evil]\r\nk=y"), EIniFileException);
  EXPECT_THROW(ini.WriteString("s", "a=b", "x"), EIniFileException);
  EXPECT_THROW(ini.WriteString("s]x", "k", "x"), EIniFileException);
  EXPECT_THROW(ini.WriteString("s", ";k", "x"), EIniFileException);
  EXPECT_EQ(kvtest::ReadFile(Path()), "[s]\r\nk=v\r\n");
}

TEST_F(IniFiles, WritersInSeveralProcessesLoseNothing) {
  constexpr int kProcesses = 3;
  constexpr int kKeys = 40;
  pid_t children[kProcesses];
  for (int p = 0; p < kProcesses; ++p) {
    children[p] = fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) {
      TIniFile ini(Path());
      for (int i = 0; i < kKeys; ++i)
        ini.WriteString("s" + std::to_string(i % 2), "k" + std::to_string(p) + "_" + std::to_string(i),
                        std::to_string(i));
      _exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  TIniFile ini(Path());
  for (int p = 0; p < kProcesses; ++p)
    for (int i = 0; i < kKeys; ++i)
      EXPECT_EQ(ini.ReadString("s" + std::to_string(i % 2), "k" + std::to_string(p) + "_" + std::to_string(i), "lost"),
                std::to_string(i));
}

TEST_F(IniFiles, KilledWriterLeavesOneWholeVersion) {
  constexpr size_t kValueSize = 200000;
  for (int round = 0; round < 4; ++round) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      TIniFile ini(Path());
      for (int i = 0;; ++i) {
        ini.WriteString("s", "v", std::string(kValueSize, static_cast<char>('A' + i % 26)));
        ini.WriteString("s", "n", std::to_string(i));
        char one = 1;
        if (write(ready[1], &one, 1) != 1) _exit(1);
      }
    }
    close(ready[1]);
    // Let the child finish a few writes, then kill it in the middle of the next ones.
    char buffer[3];
    size_t got = 0;
    while (got < sizeof buffer) {
      ssize_t n = read(ready[0], buffer + got, sizeof buffer - got);
      ASSERT_GT(n, 0);
      got += static_cast<size_t>(n);
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);

    TIniFile ini(Path());
    std::string value = ini.ReadString("s", "v", "");
    ASSERT_EQ(value.size(), kValueSize) << "round " << round;
    EXPECT_EQ(value.find_first_not_of(value[0]), std::string::npos);
    EXPECT_NE(ini.ReadString("s", "n", ""), "");
    std::string text = kvtest::ReadFile(Path());
    EXPECT_EQ(text.rfind("[s]\r\nv=", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  }
}

}  // namespace
