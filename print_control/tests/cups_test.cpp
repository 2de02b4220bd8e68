// The print road onto a real CUPS queue: a private cupsd with a raw queue on an AppSocket
// printer that the test itself plays, so the bytes the queue delivers are seen.
#include <cstdio>
#include <sstream>

#include "print_control/tests/fixture.h"
#include "testsupport/private_cups.h"

namespace {

using namespace zorbel_test;
using namespace std::chrono_literals;

const char kQueue[] = "zorbel_counter";

class CupsPrintTest : public PrintTest {
 protected:
  void SetUp() override {
    PrintTest::SetUp();
    std::string why;
    if (!cups_.Start(why)) GTEST_SKIP() << "no private CUPS server: " << why;
    ASSERT_GT(device_.Port(), 0);
    ASSERT_TRUE(cups_.AddRawQueue(kQueue, device_.Uri())) << cups_.Log();
    setenv("KORVANE_PRINT_CUPS", "1", 1);
    setenv("KORVANE_PRINT_CUPSSERVER", cups_.Socket().c_str(), 1);
    KvPrintRefresh();
    SetPrinter(new TPrinter);
  }
  void TearDown() override {
    unsetenv("KORVANE_PRINT_CUPSSERVER");
    PrintTest::TearDown();
    cups_.Stop();
  }

  // Chooses the queue as the current printer; false when the printer list lacks it.
  bool ChooseQueue() {
    int index = Printer()->Printers()->IndexOf(kQueue);
    if (index < 0) return false;
    Printer()->SetPrinterIndex(index);
    return true;
  }

  std::string ExampleJob() const { return kvtest::ReadFile(ZORBEL_EXAMPLES_DIR "/invoice/invoice.job"); }

  kvtest::PrivateCups cups_;
  kvtest::SocketPrinter device_;
};

// What pdfinfo says of a PDF file: its page count and each page's size in points.
struct PdfFacts {
  int pages = 0;
  std::vector<std::pair<double, double>> sizes;
};
PdfFacts PdfInfo(const std::string& path) {
  PdfFacts facts;
  std::string command = "pdfinfo -f 1 -l 1000 '" + path + "' 2>&1";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return facts;
  char line[512];
  while (fgets(line, sizeof line, p)) {
    int page = 0;
    double w = 0, h = 0;
    if (std::sscanf(line, "Pages: %d", &facts.pages) == 1) continue;
    if (std::sscanf(line, "Page %d size: %lf x %lf", &page, &w, &h) == 3) facts.sizes.emplace_back(w, h);
  }
  pclose(p);
  return facts;
}

TEST_F(CupsPrintTest, TheQueueReceivesThePdfOfTheExampleJob) {
  ASSERT_TRUE(ChooseQueue()) << "the printer list does not name " << kQueue;
  Print(ExampleJob());
  EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
  KvPrintDocument d = LastDocument();
  EXPECT_STREQ(d.printerName, kQueue);
  EXPECT_TRUE(d.submitted);
  EXPECT_GT(d.cupsJob, 0);
  std::string delivered;
  ASSERT_TRUE(device_.Receive(delivered, 30s)) << cups_.Log();
  const std::string kept = kvtest::ReadFile(d.pdfPath);
  ASSERT_FALSE(kept.empty());
  EXPECT_TRUE(delivered == kept) << "delivered " << delivered.size() << " bytes, the PDF has " << kept.size();

  const std::string copy = home_.path() + "/delivered.pdf";
  kvtest::WriteFile(copy, delivered);
  PdfFacts facts = PdfInfo(copy);
  EXPECT_EQ(facts.pages, 2);
  ASSERT_EQ(facts.sizes.size(), 2u);
  // The job's paper, 210 x 140 mm, in points.
  for (auto [w, h] : facts.sizes) {
    EXPECT_NEAR(w, 595.28, 0.01);
    EXPECT_NEAR(h, 396.85, 0.01);
  }
}

TEST_F(CupsPrintTest, AQueueThatRejectsJobsGivesItsReasonAndKeepsThePdf) {
  ASSERT_TRUE(cups_.Reject(kQueue, "Paper tray is empty")) << cups_.Log();
  ASSERT_TRUE(ChooseQueue());
  Print("10,10,Total");
  EXPECT_EQ(control_.ErrorNum, 2);
  EXPECT_EQ(control_.ErrorMessage, "Destination \"zorbel_counter\" is not accepting jobs: Paper tray is empty");
  KvPrintDocument d = LastDocument();
  EXPECT_FALSE(d.submitted);
  EXPECT_EQ(d.pages, 1u);
  EXPECT_EQ(kvtest::ReadFile(d.pdfPath).substr(0, 5), "%PDF-");

  // The next refusal that is not the spooler's carries no stale words from this one.
  KvPrintInjectFailure(KV_PRINT_FAIL_ENDDOC);
  Print("10,10,Total");
  EXPECT_EQ(control_.ErrorNum, 2);
  EXPECT_EQ(control_.ErrorMessage.find("Paper tray"), AnsiString::npos) << control_.ErrorMessage;
}

// The queue chosen in the print dialog gets the job with the dialog's device mode, and
// stays the printer of the next print.
TEST_F(CupsPrintTest, TheQueueChosenInTheDialogKeepsTheJobs) {
  control_.IsPrintSetup = 1;
  KvPrintDialogScript(KV_PRINT_DIALOG_OK, kQueue, 2, 0);
  Print("100,50$^10,10,Total");
  EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
  KvPrintDocument d = LastDocument();
  EXPECT_STREQ(d.printerName, kQueue);
  EXPECT_TRUE(d.submitted);
  EXPECT_EQ(d.copies, 2);
  EXPECT_EQ(d.paperWidth, 1000);
  control_.IsPrintSetup = 0;
  Print("10,10,Total");
  d = LastDocument();
  EXPECT_STREQ(d.printerName, kQueue);
  EXPECT_TRUE(d.submitted);
  EXPECT_EQ(d.copies, 2);
  EXPECT_EQ(d.paperWidth, 2100);
}

}  // namespace
