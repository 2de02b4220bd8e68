// The plain cairo program of zorbel_bench as a program of its own, so that its peak memory
// counts its own start, as the example host's does.
//
//   plain_cairo PAGES DPI TEXT_STEP_MM JPEG_FILE OUT_PDF
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "bench/invoice_page.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: plain_cairo PAGES DPI TEXT_STEP_MM JPEG_FILE OUT_PDF\n");
    return 2;
  }
  std::ifstream in(argv[4], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "plain_cairo: cannot read %s\n", argv[4]);
    return 1;
  }
  const std::string jpeg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bench::RunPlainCairo(jpeg, std::atoi(argv[1]), std::atoi(argv[2]), std::atof(argv[3]), argv[5]);
  return 0;
}
