#include "platform/user/testing.h"
#include "shell/ini_config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "framework/controls/forms.h"
#include "platform/user/user.h"
#include "shell/tests/message_boxes.h"
#include "testsupport/temp_home.h"

namespace {

using shelltest::MessageBoxTexts;

// A program directory of its own with "Korvane.ini" written from `ini` (none when
// `ini` is null).
class INIConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = home_ / "program/";
    std::filesystem::create_directories(dir_);
    TINIConfig::ResetModuleState(dir_);
    KvMessageBoxLogClear();
  }
  void TearDown() override {
    TINIConfig::ResetModuleState("");
    Application->ResetState();
  }
  void WriteConfig(const std::string& ini) { kvtest::WriteFile(dir_ + "Korvane.ini", ini); }
  std::string ReadProgramFile(const std::string& name) { return kvtest::ReadFile(dir_ + name); }

  kvtest::TempHome home_;
  std::string dir_;
};

TEST_F(INIConfigTest, GettersDecodeStoredValuesAndDefaults) {
  WriteConfig("[general]\nServerURL=MTI3LjAuMC4x\nLoginPageURI=Y.Q\nskin=YS5za24==\n");
  TINIConfig config;
  AnsiString value = "previous";
  config.GetServerURL(value);
  EXPECT_EQ(value, "127.0.0.1");
  config.GetSkin(value);
  EXPECT_EQ(value, "a.skn");
  // A stored text that is not TSB64, and the defaults with "." or ":", keep the value.
  for (auto getter : {&TINIConfig::GetLoginPageURI, &TINIConfig::GetVersion, &TINIConfig::GetIndexPageURI,
                      &TINIConfig::GetLogoutPageURI}) {
    value = "previous";
    (config.*getter)(value);
    EXPECT_EQ(value, "previous");
  }
  config.GetServerPort(value);
  EXPECT_EQ(value, "8080") << "an absent port is the default port, not its text decoded";
  TSB64 codec;
  AnsiString alphabet;
  ASSERT_TRUE(codec.Decode(TSB64::kAlphabet, alphabet));
  config.GetSkey(value);
  EXPECT_EQ(value, alphabet);
  EXPECT_TRUE(MessageBoxTexts().empty());
}

TEST_F(INIConfigTest, CompleteOnlyWithAllFiveValues) {
  const std::string all =
      "[general]\nVersion=MS4yLjAuMA==\nServerURL=MTI3LjAuMC4x\nServerPort=ODA4MA\n"
      "LoginPageURI=L2xvZ2lu\nIndexPageURI=L2luZGV4\n";
  const struct {
    std::string ini;
    bool complete;
  } cases[] = {
      {"", false},
      {"[general]\nServerURL=MTI3LjAuMC4x\n", false},
      {all, true},
      // The default port decodes to three bytes, so only the port may be absent.
      {"[general]\nVersion=MS4yLjAuMA==\nServerURL=MTI3LjAuMC4x\nLoginPageURI=L2xvZ2lu\n"
       "IndexPageURI=L2luZGV4\n",
       true},
      {"[general]\nVersion=MS4yLjAuMA==\nServerURL=MTI3LjAuMC4x\nServerPort=\n"
       "LoginPageURI=L2xvZ2lu\nIndexPageURI=L2luZGV4\n",
       false},
      // One destination for the five reads: a value that is not TSB64 repeats the
      // previous one, so only a bad Version makes it incomplete.
      {"[general]\nVersion=1.2\nServerURL=MTI3LjAuMC4x\nServerPort=ODA4MA\n"
       "LoginPageURI=L2xvZ2lu\nIndexPageURI=L2luZGV4\n",
       false},
      {"[general]\nVersion=MS4yLjAuMA==\nServerURL=http://x\nServerPort=ODA4MA\n"
       "LoginPageURI=L2xvZ2lu\nIndexPageURI=index.html\n",
       true},
  };
  for (const auto& c : cases) {
    WriteConfig(c.ini);
    EXPECT_EQ(TINIConfig().IsComplete(), c.complete) << c.ini;
  }
}

TEST_F(INIConfigTest, BuildsURLs) {
  TSB64 codec;
  const struct {
    std::string server, port, uri, url;
  } cases[] = {
      {"server", "80", "/Quabo/login/init.html", "http://server:80/Quabo/login/init.html"},
      {"HtTp://server", "80", "/a.html", "HtTp://server:80/a.html"},
      {"server", "80", "a.html", "http://server:80/a.html"},
      {"server", "", "a.html", "http://server/a.html"},
      {"server", "8080", "", "http://server:8080"},
      {"https://server", "443", "/a", "https://server:443/a"},
  };
  for (const auto& c : cases) {
    WriteConfig("[general]\nServerURL=" + codec.Encode(c.server) + "\nServerPort=" + codec.Encode(c.port) + "\n");
    EXPECT_EQ(TINIConfig().BuildURL(c.uri), c.url) << c.server << " " << c.uri;
  }
  WriteConfig("[general]\nServerURL=" + codec.Encode("server") + "\n");
  EXPECT_EQ(TINIConfig().BuildURL("/a"), "http://server:8080/a") << "no port in the file";
}

TEST_F(INIConfigTest, MissingFileIsReportedAndEndsTheApplication) {
  TINIConfig config;
  EXPECT_EQ(MessageBoxTexts(), std::vector<std::string>{"未找到配置文件，应用程序已经损坏，请卸载后重新安装！"});
  Application->ProcessMessages();
  EXPECT_TRUE(Application->Terminated());

  AnsiString value = "previous";
  config.GetServerPort(value);
  EXPECT_EQ(value, "previous");
  EXPECT_FALSE(config.IsComplete());
  TStringList items;
  items.Add("x");
  EXPECT_EQ(config.WriteItems(items, items, items), 0);
  EXPECT_FALSE(std::filesystem::exists(dir_ + "Korvane.ini"));
}

TEST_F(INIConfigTest, WritesItemListsOfEqualLength) {
  WriteConfig("[general]\nskin=YS5za24==\n");
  TINIConfig config;
  TStringList sections, keys, values;
  for (const char* s : {"general", "general"}) sections.Add(s);
  for (const char* k : {"ServerPort", "skin"}) keys.Add(k);
  for (const char* v : {"8081", "b.skn"}) values.Add(v);
  EXPECT_EQ(config.WriteItems(sections, keys, values), 1);
  EXPECT_EQ(ReadProgramFile("Korvane.ini"), "[general]\nskin=Yi5za24==\nServerPort=ODA4MQ\n");

  values.Delete(1);
  EXPECT_EQ(config.WriteItems(sections, keys, values), 0);
  EXPECT_EQ(MessageBoxTexts(), std::vector<std::string>{"要保存的配置参数格式不正确，三个部分的数量不相等！"});
  EXPECT_EQ(ReadProgramFile("Korvane.ini"), "[general]\nskin=Yi5za24==\nServerPort=ODA4MQ\n");
}

TEST_F(INIConfigTest, SavedItemsLoadBack) {
  WriteConfig("");
  TINIConfig config;
  const AnsiString items = "#general,ServerPort=8081#general,skin=a.skn";
  EXPECT_EQ(config.SaveConfig("saved.ini", items, 1), 1);
  EXPECT_EQ(ReadProgramFile("saved.ini"), "[general]\r\nServerPort=ODA4MQ\r\nskin=YS5za24==\r\n");
  EXPECT_EQ(config.LoadConfig("saved.ini", 1), items);
  EXPECT_EQ(config.LoadConfig("saved.ini", 0), "#general,ServerPort=ODA4MQ#general,skin=YS5za24==");
  EXPECT_EQ(config.LoadConfig("absent.ini", 1), "");
}

TEST_F(INIConfigTest, SaveConfigCutsItemsAtHashes) {
  WriteConfig("");
  TINIConfig config;
  const struct {
    std::string items;
    int isEncode;
    int result;
    std::string file;  // "" when no file is written
  } cases[] = {
      {"general,a=b", 1, 0, ""},
      {"", 1, 0, ""},
      {"#", 1, 1, ""},
      {"s,k=v#nocomma#s,noequals#s,x=a=b,c#", 0, 1, "[s]\r\nk=v\r\nx=a=b,c\r\n"},
      {"#s,k=v", 2, 1, "[s]\r\nk=v\r\n"},
      // A write the INI file refuses ("]" in a section name) ends the call with 0; the
      // items before it stay written.
      {"#s,k=v#bad]section,k=v#s,later=v", 0, 0, "[s]\r\nk=v\r\n"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(dir_ + "items.ini");
    EXPECT_EQ(config.SaveConfig("items.ini", c.items, c.isEncode), c.result) << c.items;
    if (c.file.empty()) {
      EXPECT_FALSE(std::filesystem::exists(dir_ + "items.ini")) << c.items;
    } else {
      EXPECT_EQ(ReadProgramFile("items.ini"), c.file) << c.items;
    }
  }
}

TEST_F(INIConfigTest, FileNamesWithAndWithoutFolders) {
  WriteConfig("");
  TINIConfig config;
  // Drive paths and absolute paths are used as they are; a relative path, "/" or "\",
  // stays under the program directory.
  const std::string absolute = home_ / "elsewhere.ini";
  EXPECT_EQ(config.SaveConfig(absolute, "#s,k=dg==", 0), 1);
  EXPECT_EQ(config.SaveConfig("c:\\drive.ini", "#s,k=dg==", 0), 1);
  std::filesystem::create_directories(dir_ + "sub");
  EXPECT_EQ(config.SaveConfig("sub/relative.ini", "#s,k=dg==", 0), 1);
  EXPECT_EQ(kvtest::ReadFile(absolute), "[s]\r\nk=dg==\r\n");
  EXPECT_EQ(kvtest::ReadFile(home_ / "drive_c/drive.ini"), "[s]\r\nk=dg==\r\n");
  EXPECT_EQ(ReadProgramFile("sub/relative.ini"), "[s]\r\nk=dg==\r\n");

  EXPECT_EQ(config.LoadConfig(absolute, 1), "#s,k=v");
  EXPECT_EQ(config.LoadConfig("c:\\drive.ini", 1), "#s,k=v");
  EXPECT_EQ(config.LoadConfig(dir_ + "sub\\relative.ini", 1), "#s,k=v");
}

TEST_F(INIConfigTest, LoadConfigKeepsTheKeyAndForeignValuesAsStored) {
  WriteConfig("[general]\nSkey=ODA4MA\n");
  TINIConfig config;
  kvtest::WriteFile(dir_ + "mixed.ini", "[general]\nSkey=ODA4MA\nServerURL=127.0.0.1\nPort=ODA4MQ\n[other]\nx=YQ=\n");
  EXPECT_EQ(config.LoadConfig("mixed.ini", 1),
            "#general,Skey=ODA4MA#general,ServerURL=127.0.0.1#general,Port=8081#other,x=a");
}

}  // namespace
