// zurprint: the suite's print program. Prints the spool the letter module leaves in the
// session's work folder, then exits: 0 when printed (or when there was nothing to
// print), 1 with a one-line reason otherwise.

#include <CLI/CLI.hpp>
#include <cstdio>

#include "tools/zurprint/page_layout.h"
#include "tools/zurprint/print_job.h"

#ifndef ZUR_VERSION
#define ZUR_VERSION "0"
#endif

namespace {

const std::string& HelpFooter() {
  static const std::string text =
      "Reads the spool zurprint.tmp in the session's work folder (ZURTMP, else the\n"
      "terminal folder of Sessio.ini or ZURTERM) and prints it as its DEVICE line says:\n"
      "  DEVICE            a PDF at workFolder/zurprint.pdf\n"
      "  DEVICEPDF:path    a PDF at that path\n"
      "  DEVICETXT:path    plain UTF-8 text at that path, pages separated by form feeds\n"
      "  DEVICEname        the PDF sent to the printer queue name with lp -d name\n"
      "Pages are A4 portrait in DejaVu Sans Mono. A page holds 1 to " +
      std::to_string(zurprint::kMaxPageLines) +
      " lines (longer pages are\n"
      "cut to " +
      std::to_string(zurprint::kMaxPageLines) + ") and " + std::to_string(zurprint::kMinColumns) +
      " to " + std::to_string(zurprint::kMaxColumns) +
      " columns: the characters shrink to fit the widest\n"
      "column used; text beyond column " +
      std::to_string(zurprint::kMaxColumns) +
      " is refused. Output is written in full or not at all.\n"
      "Exit status: 0 printed or nothing to print, 1 failed (reason on standard error).";
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"zurprint: the suite's print program"};
  app.set_version_flag("--version", std::string("zurprint ") + ZUR_VERSION);
  app.footer(HelpFooter());
  CLI11_PARSE(app, argc, argv);

  zurprint::PrintOutcome outcome = zurprint::RunPrintProgram();
  std::FILE* stream = outcome.exitCode == 0 ? stdout : stderr;
  std::fprintf(stream, "zurprint: %s\n", outcome.message.c_str());
  return outcome.exitCode;
}
