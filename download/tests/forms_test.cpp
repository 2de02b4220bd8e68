// The download windows: made in the start-up order with their captions and columns,
// TDownloadForm driven by one engine download, the request's extension filter and the
// downloader's save dialog.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "download/download_forms.h"
#include "download/file_names.h"
#include "download/tests/windows_fixture.h"
#include "download/texts.h"
#include "platform/base/codepage.h"
#include "platform/comctl/listview.h"
#include "platform/user/testing.h"
#include "platform/user/user.h"
#include "testsupport/http_server.h"
#include "testsupport/temp_home.h"

namespace {

AnsiString T(const char* utf8) { return kv::Utf8ToAnsi(utf8); }

// The list view's texts as the window holds them: one line per row, "|" between columns.
std::vector<std::string> RowTexts(HWND list, int columns) {
  std::vector<std::string> rows;
  const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::string line;
    for (int c = 0; c < columns; ++c) {
      char buffer[256] = {};
      LVITEMA item{};
      item.iSubItem = c;
      item.pszText = buffer;
      item.cchTextMax = sizeof buffer;
      SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
      line += (c ? "|" : "") + std::string(buffer);
    }
    rows.push_back(line);
  }
  return rows;
}

// Answers the next request dialog that TDownloadForm shows, from inside its modal loop.
std::function<void(TDownloadRequest*)> g_answer;
UINT_PTR AnswerRequest(std::function<void(TDownloadRequest*)> answer) {
  g_answer = std::move(answer);
  return SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
    for (int i = 0; i < Screen->FormCount(); ++i) {
      auto* request = dynamic_cast<TDownloadRequest*>(Screen->Forms(i));
      if (!request || request == DownloadRequest || !request->Modal()) continue;
      KillTimer(nullptr, id);
      g_answer(request);
      return;
    }
  });
}

class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // No KvUserReset here: it would take the internet layer's task window of this thread
    // with it, and the moniker's later tasks would go nowhere.
    Application->ResetState();
    KvMessageBoxLogClear();
    KvMessageBoxScriptClear();
    BlockedExtensions->Clear();
    AllowedExtensions->Clear();
    windows_.Make();
  }
  void TearDown() override {
    windows_.Free();
    Application->ResetState();
  }

  kvtest::TempHome home_;
  kvtest::HttpServer server_;
  kvtest::DownloadWindows windows_;
};

TEST_F(FormsTest, WindowsAreMadeInTheStartUpOrder) {
  ASSERT_NE(DownloadForm, nullptr);
  ASSERT_NE(DownloadRequest, nullptr);
  ASSERT_NE(DownloaderForm, nullptr);
  // After the main window: the list, the request, the downloader.
  const int main_at = windows_.Main()->ComponentIndex();
  EXPECT_EQ(DownloadForm->ComponentIndex(), main_at + 1);
  EXPECT_EQ(DownloadRequest->ComponentIndex(), main_at + 2);
  EXPECT_EQ(DownloaderForm->ComponentIndex(), main_at + 3);
  EXPECT_EQ(Application->MainForm(), windows_.Main());
  EXPECT_FALSE(DownloadForm->Visible());

  EXPECT_EQ(DownloadForm->Caption(), T("下载进度"));
  EXPECT_EQ(DownloaderForm->Caption(), T("导出进度"));
  EXPECT_EQ(DownloadRequest->Caption(), T("选择处理方式"));
  EXPECT_EQ(DownloadForm->btnCancel->Caption(), T("全部取消"));
  EXPECT_TRUE(DownloadForm->cbRemoveComp->Checked());
  EXPECT_FALSE(DownloadForm->chkAutoClose->Checked());
  EXPECT_TRUE(DownloaderForm->chkAutoClose->Checked());
  EXPECT_EQ(DownloadRequest->btnCancel->ModalResult(), mrCancel);
  EXPECT_FALSE(DownloadForm->miOpen->Enabled());
  EXPECT_EQ(DownloadForm->IEDownload->AdditionalHeader[0], "Content-Type: application/x-www-form-urlencoded");
  EXPECT_EQ(DownloaderForm->IEDownload->AdditionalHeader[0], "Content-Type: application/x-www-form-BindInfoFd ");
  EXPECT_EQ(DownloadForm->IEDownload->TimeOut, 2147483647);

  const std::pair<const char*, int> columns[] = {{"文件", 120}, {"状态", 120}, {"大小", 55},
                                                 {"进度", 55},  {"速度", 60},  {"剩余", 70},
                                                 {"线程ID", 60}, {"活动连接", 90}, {"进度条", 150}};
  HWND list = DownloadForm->ListView->Handle();
  EXPECT_NE(GetWindowLongA(DownloadForm->Handle(), GWL_EXSTYLE) & 0x40000, 0);
  for (int i = 0; i < 9; ++i) {
    char text[64] = {};
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    col.pszText = text;
    col.cchTextMax = sizeof text;
    ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col)));
    EXPECT_EQ(std::string(text), T(columns[i].first)) << i;
    EXPECT_EQ(col.cx, columns[i].second) << i;
    EXPECT_EQ((col.fmt & LVCFMT_RIGHT) != 0, i == 2 || i == 3) << i;
  }
}

TEST_F(FormsTest, DownloadFormShowsOneEngineDownload) {
  const std::string body(300000, 'k');
  server_.Route("/files/report.zip", [&](const kvtest::HttpRequest&, kvtest::HttpReply& r) {
    r.body = body;
    r.headers.push_back({"Content-Length", std::to_string(body.size())});
    r.chunks = {100000, 100000};
    r.delay_ms = 20;
  });
  const std::string folder = home_ / "saved";
  std::filesystem::create_directories(folder);
  TDownloadForm* form = DownloadForm;
  form->IEDownload->DownloadFolder = kv::AnsiToWide(home_ / "dl");
  form->cbRemoveComp->SetChecked(false);
  form->Show();
  // The request dialog asks first: answered by Save, into the folder, with its own name.
  static std::string chosen;
  chosen = folder + "/report.zip";
  UINT_PTR timer = AnswerRequest([](TDownloadRequest* request) {
    EXPECT_TRUE(request->btnOpen->Enabled());  // "zip" passes the filter
    static TSaveDialog* dialog;
    dialog = request->dlgSave;
    dialog->OnShow = [](TObject*) {
      static_cast<TEdit*>(dialog->DialogForm()->FindComponent("FileNameEdit"))->SetText(chosen);
      SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR ok, DWORD) {
        KillTimer(nullptr, ok);
        if (dialog->DialogForm()) dialog->DialogForm()->SetModalResult(mrOk);
      });
    };
    request->btnSave->Click();
  });
  std::vector<std::vector<std::string>> seen;
  auto progress = form->IEDownload->OnProgress;
  form->IEDownload->OnProgress = [&](TBSCB* s, ULONG p, ULONG m, ULONG code, int64_t size, const AnsiString& a,
                                     const AnsiString& b, const AnsiString& c, const AnsiString& d,
                                     const AnsiString& e, const AnsiString& f, const AnsiString& g) {
    progress(s, p, m, code, size, a, b, c, d, e, f, g);
    if (code == BINDSTATUS_DOWNLOADINGDATA) seen.push_back(RowTexts(form->ListView->Handle(), 8));
  };
  form->IEDownload->Download(kv::AnsiToWide(server_.Url("/files/report.zip")));
  KillTimer(nullptr, timer);

  std::ifstream saved(chosen, std::ios::binary);
  EXPECT_TRUE(saved.good());
  ASSERT_FALSE(seen.empty());
  ASSERT_EQ(seen.back().size(), 1u);
  // file|status|size|percent|speed|remaining|thread id|connections
  const std::string last = seen.back()[0];
  EXPECT_EQ(last.rfind("report.zip|Downloading data...|292.97 Kb|100.0 %|", 0), 0u) << last;
  EXPECT_NE(last.find("kb/sec"), std::string::npos) << last;
  EXPECT_EQ(last.substr(last.rfind('|')), "|1") << last;
  const auto rows = RowTexts(form->ListView->Handle(), 8);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].rfind("report.zip|" + T("完成") + "|", 0), 0u) << rows[0];
  auto* data = static_cast<TDownloadRow*>(form->ListView->Items()->Item(0)->Data);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->Bar->Max(), 0);  // the end of the download zeroes the counts
  EXPECT_EQ(form->btnCancel->Caption(), T("关闭"));
  const std::string png = home_ / "download_form.png";
  ASSERT_TRUE(KvWindowScreenshot(form->Handle(), png.c_str()));
  EXPECT_GT(std::filesystem::file_size(png), 0u);
  form->Hide();
}

TEST_F(FormsTest, RefusedRequestCancelsButAddsAWaitingRow) {
  server_.Serve("/setup.msi", "MSI", "application/octet-stream");
  TDownloadForm* form = DownloadForm;
  form->IEDownload->DownloadFolder = kv::AnsiToWide(home_ / "dl");
  bool open_enabled = true;
  AnsiString type;
  TColor icon_middle = clNone;
  UINT_PTR timer = AnswerRequest([&](TDownloadRequest* request) {
    open_enabled = request->btnOpen->Enabled();
    type = request->lbTypeTxt->Caption();
    icon_middle = ColorToRGB(request->imgIcon->Picture()->Bitmap()->Canvas()->Pixels(16, 22));
    request->btnCancel->Click();
  });
  form->IEDownload->Download(kv::AnsiToWide(server_.Url("/setup.msi")));
  KillTimer(nullptr, timer);
  EXPECT_FALSE(open_enabled);  // "msi" is blocked
  EXPECT_EQ(type, "MSI File") << "the shell's type name of the file";
  EXPECT_EQ(icon_middle, static_cast<TColor>(RGB(255, 255, 255))) << "the shell's page icon";
  EXPECT_TRUE(form->IEDownload->DownloadFinished());
  const auto rows = RowTexts(form->ListView->Handle(), 3);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], "setup.msi|" + T("等待中...") + "|");
  EXPECT_FALSE(std::filesystem::exists(home_ / "dl/setup.msi"));
  EXPECT_EQ(BlockedExtensions->IndexOf("msi"), 0);
}

TEST_F(FormsTest, ExtensionFilter) {
  BlockedExtensions->Add("msi");
  EXPECT_FALSE(ExtensionAllowed("setup.MSI"));
  EXPECT_TRUE(ExtensionAllowed("report.zip"));
  EXPECT_TRUE(ExtensionAllowed("noext"));
  AllowedExtensions->Add("pdf");
  EXPECT_TRUE(ExtensionAllowed("a.pdf"));
  EXPECT_FALSE(ExtensionAllowed("a.zip"));
  EXPECT_EQ(PercentDecode("a%20b%e4%bd%a0%zz%4"), "a b\xe4\xbd\xa0%zz%4");
  EXPECT_EQ(ReplaceInvalidFileNameChars("a:b?c*d.txt"), "a_b_c_d.txt");
}

TEST_F(FormsTest, DownloaderOffersTheNameAndARefusedDialogStopsTheTransfer) {
  server_.Serve("/exports/q:r.txt", "data", "text/plain");
  TDownloaderForm* form = DownloaderForm;
  form->IEDownload->DownloadFolder = kv::AnsiToWide(home_ / "out");
  std::string offered;
  static TSaveDialog* dialog;
  dialog = form->dlgSave;
  dialog->OnShow = [&](TObject*) {
    offered = dialog->FileName;
    SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
      KillTimer(nullptr, id);
      if (dialog->DialogForm()) dialog->DialogForm()->SetModalResult(mrCancel);
    });
  };
  form->FileDownload(kv::AnsiToWide(server_.Url("/exports/q:r.txt")), nullptr, nullptr);
  EXPECT_EQ(offered, "q_r.txt");
  EXPECT_FALSE(form->pnlProgress->Visible());
  EXPECT_FALSE(form->IEDownload->OpenDownloadFolder);
  EXPECT_TRUE(form->IEDownload->StopFlag());
  EXPECT_FALSE(std::filesystem::exists(home_ / "out/q_r.txt"));
  EXPECT_EQ(form->Caption(), T("导出完成."));
  form->Hide();
}

}  // namespace
