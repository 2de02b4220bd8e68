// The configuration page saved by the shell through a DOM listener on the page's
// document: the fields written, the messages, the end of the program when the
// configuration is complete, the clicks that do nothing, the key press that submits; and
// the DOM helpers over a form with every kind of field.
#include "shell/config_page.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "browser_host/dom_events.h"
#include "framework/core/inifiles.h"
#include "platform/base/codepage.h"
#include "platform/user/testing.h"
#include "shell/html_utils.h"
#include "shell/sb64.h"
#include "shell/tests/shell_page.h"
#include "shell/texts.h"

namespace {

using korvane::THeld;
using korvane::TIHTMLUtils;

// The configuration form (Version as given), a save button outside it, and a second
// form with a save button and a submit button. The forms refuse their own submission,
// so only a form's submit() leaves the page.
std::string ConfigPage(const std::string& version) {
  return "<form name=\"_CONFIG_FORM\" action=\"saved.html\" onsubmit=\"return false\">"
         "<input type=\"text\" name=\"Version\" value=\"" +
         version +
         "\">"
         "<input type=\"text\" name=\"ServerURL\" value=\"127.0.0.1\">"
         "<input type=\"text\" name=\"ServerPort\" value=\"8081\">"
         "<textarea name=\"LoginPageURI\">/Quabo/login/init.html</textarea>"
         "<select name=\"IndexPageURI\"><option value=\"/Quabo/x.html\">x</option>"
         "<option value=\"/Quabo/home.html\" selected>home</option></select>"
         "<input type=\"text\" name=\"LogoutPageURI\" value=\"\">"
         "<input type=\"text\" name=\"skin\" value=\"蓝色.skn\">"
         "<input type=\"checkbox\" name=\"remember\" checked>"
         "<input type=\"radio\" name=\"direct\">"
         "<input type=\"hidden\" name=\"token\" value=\"h\">"
         "<input type=\"password\" name=\"secret\" value=\"p\">"
         "<button name=\"plain\">plain</button>"
         "<p>note</p>"
         "<input type=\"button\" id=\"save\" name=\"_CONFIG_SAVE_BUTTON\" value=\"save\">"
         "<input type=\"image\" id=\"image\" name=\"_CONFIG_SAVE_BUTTON\" alt=\"save\">"
         "<input type=\"button\" id=\"misnamed\" name=\"_config_save_button\" value=\"save\">"
         "</form>"
         "<input type=\"button\" id=\"outside\" name=\"_CONFIG_SAVE_BUTTON\" value=\"save\">"
         "<form name=\"_OTHER_FORM\" action=\"submitted.html\" onsubmit=\"return false\">"
         "<input type=\"submit\" id=\"elsewhere\" name=\"_CONFIG_SAVE_BUTTON\" value=\"save\">"
         "<input type=\"text\" id=\"text\" name=\"q\" value=\"\">"
         "</form>";
}

class ConfigPageTest : public shelltest::ShellPageTest {
 protected:
  void SetUp() override {
    ShellPageTest::SetUp();
    listener_ = std::make_unique<THtmlListener>(nullptr);
    listener_->SetSinkKind(skDocument);
    TEventHandlerItem* click = listener_->Handlers()->Add();
    click->SetEventID(eiOnClick);
    click->OnHandle = [](TObject*, IHTMLEventObj* e) { korvane::ConfigPageClick(e); };
    TEventHandlerItem* key = listener_->Handlers()->Add();
    key->SetEventID(eiOnKeyPress);
    key->OnHandle = [](TObject*, IHTMLEventObj* e) { korvane::ConfigPageKeyPress(e); };
  }
  void TearDown() override {
    if (link_) {
      link_->Disconnect();
      link_->Release();
    }
    listener_.reset();
    ShellPageTest::TearDown();
  }
  // Shows the page and connects the listener to its document, as the main window does.
  void ShowConfigPage(const std::string& version) {
    ASSERT_TRUE(Show("config.html", ConfigPage(version)));
    THeld<IHTMLDocument2> doc(Browser().WaitDocument2());
    ASSERT_TRUE(doc);
    listener_->Connect(doc.Get(), listener_.get(), link_);
    ASSERT_NE(link_, nullptr);
  }
  THeld<IHTMLElement> Element(const char* id) {
    THeld<IHTMLDocument2> doc(Browser().WaitDocument2());
    THeld<IHTMLDocument3> doc3 = doc.Query<IHTMLDocument3>(IID_IHTMLDocument3);
    THeld<IHTMLElement> element;
    BSTR name = kv::AllocBstr(kv::AnsiToWide(id));
    doc3->getElementById(name, element.Out());
    SysFreeString(name);
    return element;
  }
  void InjectClick(const char* id) {
    RECT r{};
    ASSERT_TRUE(KvBrowserElementRect(Element(id).Get(), &r)) << id;
    KvInjectClick((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    Application->ProcessMessages();
    Pump();
  }
  // The stored values of section general, as the file holds them.
  std::map<std::string, std::string> Stored() {
    TIniFile ini(program_dir_ + "Korvane.ini");
    TStringList keys;
    ini.ReadSection("general", &keys);
    std::map<std::string, std::string> stored;
    for (int i = 0; i < keys.Count(); ++i) stored[keys[i]] = ini.ReadString("general", keys[i], "");
    return stored;
  }
  static std::string Encoded(const std::string& utf8) { return TSB64().Encode(kv::Utf8ToAnsi(utf8)); }

  std::unique_ptr<THtmlListener> listener_;
  IHubLink* link_ = nullptr;
};

TEST_F(ConfigPageTest, SavingACompleteFormWritesEveryFieldAndEndsTheProgram) {
  kvtest::WriteFile(program_dir_ + "Korvane.ini", "[general]\nLogoutPageURI=L29sZA==\n");
  ShowConfigPage("1.2.0.0");
  InjectClick("save");
  const std::map<std::string, std::string> expected = {
      {"Version", Encoded("1.2.0.0")},
      {"ServerURL", Encoded("127.0.0.1")},
      {"ServerPort", Encoded("8081")},
      {"LoginPageURI", Encoded("/Quabo/login/init.html")},
      {"IndexPageURI", Encoded("/Quabo/home.html")},
      {"LogoutPageURI", "L29sZA=="},  // the emptied field keeps the old value
      {"skin", Encoded("蓝色.skn")},
      {"remember", Encoded("checked")},
      {"direct", Encoded("unchecked")},
  };
  EXPECT_EQ(Stored(), expected);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{shell_texts::kConfigSaved});
  EXPECT_EQ(window_->Calls, std::vector<std::string>{"SetConfigComplete 1"});
  EXPECT_TRUE(Application->Terminated());
}

TEST_F(ConfigPageTest, AnIncompleteFormIsSavedAndThePageStays) {
  kvtest::WriteFile(program_dir_ + "Korvane.ini", "[general]\n");
  ShowConfigPage("");
  ASSERT_EQ(Element("save")->click(), S_OK);
  EXPECT_EQ(Stored().count("Version"), 0u);
  EXPECT_EQ(Stored().at("ServerURL"), Encoded("127.0.0.1"));
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{shell_texts::kConfigSaved, shell_texts::kConfigIncomplete}));
  EXPECT_EQ(window_->Calls, std::vector<std::string>{"SetConfigComplete 0"});
  EXPECT_FALSE(Application->Terminated());
}

TEST_F(ConfigPageTest, AFailedSaveIsNotReportedAsSuccess) {
  // No configuration file: nothing can be written.
  ShowConfigPage("1.2.0.0");
  ASSERT_EQ(Element("save")->click(), S_OK);
  EXPECT_FALSE(std::filesystem::exists(program_dir_ + "Korvane.ini"));
  const std::vector<std::string> texts = MessageTexts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), shell_texts::kConfigSaveFailed), texts.end());
  EXPECT_EQ(std::find(texts.begin(), texts.end(), shell_texts::kConfigSaved), texts.end());
  EXPECT_EQ(texts.back(), shell_texts::kConfigIncomplete);
}

TEST_F(ConfigPageTest, OtherButtonsDoNothing) {
  kvtest::WriteFile(program_dir_ + "Korvane.ini", "[general]\n");
  ShowConfigPage("1.2.0.0");
  for (const char* id : {"image", "misnamed", "outside", "text"}) {
    THeld<IHTMLElement> button = Element(id);
    ASSERT_TRUE(button) << id;
    ASSERT_EQ(button->click(), S_OK) << id;
    EXPECT_TRUE(Stored().empty()) << id;
    EXPECT_TRUE(MessageTexts().empty()) << id;
    EXPECT_TRUE(window_->Calls.empty()) << id;
  }
  // A save button in a form of another name (its click submits that form).
  InjectClick("elsewhere");
  EXPECT_TRUE(Stored().empty());
  EXPECT_TRUE(window_->Calls.empty());
}

TEST_F(ConfigPageTest, AKeyPressOnASubmitInputSubmitsItsForm) {
  kvtest::WriteFile(home_ / "submitted.html", "<p>submitted</p>");
  kvtest::WriteFile(program_dir_ + "Korvane.ini", "[general]\n");
  ShowConfigPage("1.2.0.0");
  struct Case {
    const char* id;
    bool submits;
  } cases[] = {{"text", false}, {"misnamed", false}, {"elsewhere", true}};
  for (const Case& c : cases) {
    InjectClick(c.id);  // focuses the element
    KvInjectChar(u'x');
    Application->ProcessMessages();
    Pump();
    ASSERT_TRUE(Browser().WaitWhileBusy(5000));
    BSTR url = nullptr;
    Browser().DefaultInterface()->get_LocationURL(&url);
    const std::string location = kv::WideToUtf8(kv::BstrText(url));
    SysFreeString(url);
    EXPECT_EQ(location.find("submitted.html") != std::string::npos, c.submits) << c.id << ": " << location;
  }
  EXPECT_TRUE(Stored().empty());
}

TEST_F(ConfigPageTest, DomHelpers) {
  ShowConfigPage("1.2.0.0");
  THeld<IHTMLDocument2> doc(Browser().WaitDocument2());
  EXPECT_FALSE(TIHTMLUtils::FormByName(doc.Get(), "missing"));
  THeld<IHTMLFormElement> form = TIHTMLUtils::FormByName(doc.Get(), "_CONFIG_FORM");
  ASSERT_TRUE(form);

  std::unique_ptr<TStringList> names = TIHTMLUtils::FieldNames(form.Get());
  std::vector<std::string> listed;
  for (int i = 0; i < names->Count(); ++i) listed.push_back((*names)[i]);
  EXPECT_EQ(listed, (std::vector<std::string>{"Version", "ServerURL", "ServerPort", "LoginPageURI", "IndexPageURI",
                                              "LogoutPageURI", "skin", "remember", "direct", "token", "secret",
                                              "_CONFIG_SAVE_BUTTON", "_CONFIG_SAVE_BUTTON", "_config_save_button"}));

  struct Case {
    const char* name;
    const char* value;
  } cases[] = {
      {"ServerPort", "8081"},
      {"LoginPageURI", "/Quabo/login/init.html"},
      {"IndexPageURI", "/Quabo/home.html"},
      {"remember", "checked"},
      {"direct", "unchecked"},
      {"token", "h"},
      {"missing", ""},
      {"plain", ""},
      // Two elements share the name: no single field.
      {"_CONFIG_SAVE_BUTTON", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(TIHTMLUtils::FieldValue(form.Get(), c.name), c.value) << c.name;
  EXPECT_FALSE(TIHTMLUtils::FieldElement(form.Get(), "_CONFIG_SAVE_BUTTON"));

  THeld<IHTMLFormElement> parent = TIHTMLUtils::ParentForm(Element("save").Get());
  ASSERT_TRUE(parent);
  EXPECT_EQ(TIHTMLUtils::FormName(parent.Get()), "_CONFIG_FORM");
  EXPECT_FALSE(TIHTMLUtils::ParentForm(Element("outside").Get()));
  EXPECT_EQ(TIHTMLUtils::InputType(Element("save").Get()), "button");
  // An element without the input interface has no type.
  THeld<IHTMLElement> body;
  doc->get_body(body.Out());
  EXPECT_EQ(TIHTMLUtils::InputType(body.Get()), "");
}

}  // namespace
