// The download windows under the built-in skin, as Korvane shows them: each window gets its
// skinned frame and every control of a kind the skin draws gets its skinner. A screenshot of
// each window goes to $KORVANE_SHOTS_DIR when set.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "download/download_forms.h"
#include "download/tests/windows_fixture.h"
#include "framework/controls/forms.h"
#include "platform/user/testing.h"
#include "skin/skin_data.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"
#include "testsupport/temp_home.h"

namespace {

class SkinnedDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->ResetState();
    data_ = new TSkinData(nullptr);
    ASSERT_TRUE(data_->SetSkinBytes(DefaultSkinData(), DefaultSkinSize()));
    data_->SetActive(true);
    data_->Loaded();
    windows_.Make();
  }
  void TearDown() override {
    windows_.Free();
    delete data_;
    TSkinManage::Shutdown();
    Application->ResetState();
  }
  // The names of the form's controls that stay plain although their kind is skinned.
  std::string PlainControls(TWinControl* parent, TWinSkinForm* skinner) {
    std::string plain;
    for (int i = 0; i < parent->ControlCount(); ++i) {
      TControl* c = parent->Controls(i);
      const std::string kind = c->ClassName();
      const bool skinned_kind = kind == "TButton" || kind == "TCheckBox" || kind == "TListView" ||
                                kind == "TProgressBar" || kind == "TMemo" || kind == "TPanel";
      TSkinControl* s = skinner->SkinnerOf(c);
      auto* win = dynamic_cast<TWinControl*>(c);
      if (!s && win && win->HandleAllocated()) s = skinner->FindControlSkinner(win->Handle());
      if (skinned_kind && c->Visible() && !s) plain += c->Name() + " ";
      if (win) plain += PlainControls(win, skinner);
    }
    return plain;
  }
  void Check(TForm* form, const char* shot) {
    form->Show();
    KvPumpMessages();
    TWinSkinForm* skinner = TSkinManage::Instance()->FindSkinned(form->Handle());
    ASSERT_NE(skinner, nullptr) << shot;
    EXPECT_TRUE(skinner->FrameSkinned) << shot;
    EXPECT_EQ(PlainControls(form, skinner), "") << shot;
    if (const char* dir = std::getenv("KORVANE_SHOTS_DIR")) {
      EXPECT_TRUE(KvWindowScreenshot(form->Handle(), (std::string(dir) + "/" + shot + ".png").c_str()));
    }
    form->Hide();
    KvPumpMessages();
  }

  kvtest::TempHome home_;
  TSkinData* data_ = nullptr;
  kvtest::DownloadWindows windows_;
};

TEST_F(SkinnedDownloadTest, EachWindowAndItsControlsAreSkinned) {
  Check(DownloadForm, "download-list");
  Check(DownloaderForm, "downloader");
  Check(DownloadRequest, "download-request");
}

}  // namespace
