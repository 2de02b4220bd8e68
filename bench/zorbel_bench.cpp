// The print control's whole road against a plain cairo program: a 50-page job (each page
// 40 text items, 10 lines and one inline 300 x 300 JPEG in 30 x 30 mm, 148 x 210 mm paper)
// printed by the example host through "Zorbel.Dravik" (registration, COM creation, the
// job parser, Base64, JPEG decoding, the virtual printer's PDF), and the same drawing done
// by cairo alone into a PDF. Rows: the printer without page rasters (PDF only), with them
// (PDF and a PNG per page), and with them for twice the pages (cost per page stays).
//
//   zorbel_bench [pages] [dpi]      (default 50 pages, 600 dpi)
//
// Each side is a program of its own (the peer is plain_cairo, beside this one), run in a
// child process; wall time and peak memory are its own.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/invoice_page.h"

namespace {

using namespace bench;

constexpr double kTextStepMm = 4;

std::string Base64(const std::string& bytes) {
  static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                 static_cast<unsigned char>(bytes[i + 2]);
    out += {a[v >> 18], a[(v >> 12) & 63], a[(v >> 6) & 63], a[v & 63]};
  }
  if (i < bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += {a[v >> 18], a[(v >> 12) & 63], i + 1 < bytes.size() ? a[(v >> 6) & 63] : '=', '='};
  }
  return out;
}

// Text rows every 4 mm from 10 mm, lines every 18 mm from 12 mm, the picture at (100, 20).
std::string MakeJob(const std::string& jpeg, int pages) {
  const std::string picture = "<image>100,20,30,30," + Base64(jpeg);
  std::string job = "148,210$^";
  for (int p = 0; p < pages; ++p) {
    if (p) job += "#*";
    for (int i = 0; i < kTexts; ++i)
      job += "10," + std::to_string(static_cast<int>(TextRowMm(i, kTextStepMm))) + "," + kText + "`";
    for (int i = 0; i < kLines; ++i)
      job += "<line>10," + std::to_string(static_cast<int>(LineRowMm(i))) + ",138," +
             std::to_string(static_cast<int>(LineRowMm(i))) + ",1,2`";
    job += picture;
  }
  return job;
}

int Exec(const std::vector<std::string>& args, const std::string& out) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  if (!freopen(out.c_str(), "w", stdout)) return 1;
  execv(argv[0], argv.data());
  return 127;
}

}  // namespace

int main(int argc, char** argv) {
  const int pages = argc > 1 ? std::atoi(argv[1]) : 50;
  const int dpi = argc > 2 ? std::atoi(argv[2]) : 600;
  if (pages < 1 || dpi < 72 || dpi > 1200) {
    std::fprintf(stderr, "usage: zorbel_bench [pages >= 1] [dpi 72..1200]\n");
    return 2;
  }
  const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/";
  for (const char* f : {"regsvr", "zorbel_host", "Zorbel.ocx", "plain_cairo"}) {
    if (!std::filesystem::exists(bin + f)) {
      std::fprintf(stderr, "zorbel_bench: %s%s is not built\n", bin.c_str(), f);
      return 1;
    }
  }
  char tmpl[] = "/tmp/zorbel_bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;
  setenv("KORVANE_HOME", dir.c_str(), 1);
  setenv("KORVANE_PRINT_DIR", (dir + "/print").c_str(), 1);
  setenv("KORVANE_PRINT_CUPS", "0", 1);
  setenv("KORVANE_PRINT_DPIX", std::to_string(dpi).c_str(), 1);
  setenv("KORVANE_PRINT_DPIY", std::to_string(dpi).c_str(), 1);
  const std::string jpeg = MakeJpeg();
  const std::string jpeg_file = dir + "/picture.jpg";
  std::ofstream(jpeg_file, std::ios::binary) << jpeg;
  Result reg = InChild([&] { return Exec({bin + "regsvr", "-s", bin + "Zorbel.ocx"}, dir + "/regsvr.out"); });
  if (!reg.ok) {
    std::fprintf(stderr, "zorbel_bench: registration failed\n");
    return 1;
  }
  std::printf("job: %d pages of 148 x 210 mm at %d dpi; each %d text items, %d lines, one inline 300x300 JPEG\n", pages,
              dpi, kTexts, kLines);
  struct Row {
    const char* label;
    int pages;
    bool rasters;
  };
  double perPage[2] = {0, 0};
  for (Row row :
       {Row{"rasters off", pages, false}, Row{"rasters on", pages, true}, Row{"rasters on", 2 * pages, true}}) {
    const std::string job_file = dir + "/bench.job";
    std::ofstream(job_file, std::ios::binary) << MakeJob(jpeg, row.pages);
    Result peer = InChild([&] {
      return Exec({bin + "plain_cairo", std::to_string(row.pages), std::to_string(dpi), std::to_string(kTextStepMm),
                   jpeg_file, dir + "/peer.pdf"},
                  dir + "/peer.out");
    });
    std::filesystem::remove(dir + "/peer.pdf");
    Result ours = InChild([&] {
      setenv("KORVANE_PRINT_RASTERS", row.rasters ? "1" : "0", 1);
      return Exec({bin + "zorbel_host", "--job", job_file}, dir + "/host.out");
    });
    std::ifstream host_out(dir + "/host.out");
    std::string line, report;
    while (std::getline(host_out, line))
      if (line.rfind("ErrorNum", 0) == 0 || line.rfind("Pages", 0) == 0) report += "  host: " + line + "\n";
    auto [pdfKb, pngKb] = OutputKb(dir + "/print");
    if (!ours.ok || !peer.ok || report.find("ErrorNum: 0") == std::string::npos) {
      std::fprintf(stderr, "zorbel_bench: a run failed\n%s", report.c_str());
      std::filesystem::remove_all(dir);
      return 1;
    }
    char label[64];
    std::snprintf(label, sizeof label, "%s, %d p", row.label, row.pages);
    PrintRow(label, row.pages, ours, peer, pdfKb, pngKb);
    if (row.rasters) perPage[row.pages == pages ? 0 : 1] = ours.seconds / row.pages;
  }
  std::filesystem::remove_all(dir);
  std::printf("rasters on: time per page at %d pages / at %d pages: %.3f\n", 2 * pages, pages, perPage[1] / perPage[0]);
  return 0;
}
