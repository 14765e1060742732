// Hostile spools for the print program: any bytes are read, laid out and, when they make
// a few pages, rendered to PDF and plain text in memory. Every cell handed to a renderer
// must lie on its page.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tools/zurprint/page_layout.h"
#include "tools/zurprint/pdf_renderer.h"
#include "tools/zurprint/print_job.h"
#include "tools/zurprint/text_renderer.h"

namespace {

class CheckingSink : public zurprint::PageSink {
 public:
  void BeginPage(int lines) override {
    if (open_ || lines < 1 || lines > zurprint::kMaxPageLines) __builtin_trap();
    open_ = true;
    lines_ = lines;
  }
  void DrawCells(int line, int column, const zurprint::Cell* cells, size_t count) override {
    if (!open_ || line < 0 || line >= lines_ || column < 1 || count == 0 ||
        column + static_cast<long>(count) - 1 > zurprint::kMaxColumns ||
        zurprint::IsInvisible(cells[0]) || zurprint::IsInvisible(cells[count - 1])) {
      __builtin_trap();
    }
  }
  void EndPage() override {
    if (!open_) __builtin_trap();
    open_ = false;
  }

 private:
  bool open_ = false;
  int lines_ = 0;
};

const std::string& SpoolPath() {
  static const std::string path = fuzz_support::PrivateDir() + "zurprint.tmp";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = SpoolPath();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  CheckingSink check;
  zurprint::SpoolSummary summary;
  std::string reason;
  if (!zurprint::ReadSpool(path, check, summary, reason)) {
    if (reason.empty()) __builtin_trap();
    return 0;
  }
  if (summary.pages == 0 || summary.pages > 4) return 0;

  char* buffer = nullptr;
  size_t length = 0;
  std::FILE* memory = ::open_memstream(&buffer, &length);
  if (memory == nullptr) return 0;
  {
    zurprint::PdfRenderer pdf;
    zurprint::SpoolSummary again;
    if (pdf.Open(memory, summary.widestColumn, reason)) {
      if (!zurprint::ReadSpool(path, pdf, again, reason) || again.pages != summary.pages) {
        __builtin_trap();
      }
      pdf.Close(reason);
    }
    zurprint::TextRenderer text(memory);
    if (!zurprint::ReadSpool(path, text, again, reason)) __builtin_trap();
    text.Close();
  }
  std::fclose(memory);
  std::free(buffer);
  return 0;
}
