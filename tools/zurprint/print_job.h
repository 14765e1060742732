#pragma once
// The print program's work: find the spool, read its device line, lay it out and write
// the PDF or the plain text, or hand the PDF to a printer queue.
//
// Device line ("DEVICE" + text, blanks around the text ignored):
//   empty          a PDF at workDir + "zurprint.pdf"
//   "PDF:" path    a PDF at that path ("PDF:" alone: workDir + "zurprint.pdf")
//   "TXT:" path    plain text at that path ("TXT:" alone: workDir + "zurprint.txt")
//   anything else  the name of a printer queue: the PDF is made at workDir +
//                  "zurprint.pdf" and sent with `lp -d NAME FILE` (lp found on PATH); it
//                  is removed once lp has taken it and kept when lp is missing or fails.
// Paths are suite paths (platform::ResolvePath); relative ones are relative to the
// current directory. Output is written to a temporary file in the target's folder and
// renamed over the target only when complete; a target that is the spool itself is
// refused. A spool without any visible text writes nothing and is no failure.

#include <string>
#include <string_view>

#include "tools/zurprint/page_layout.h"
#include "tools/zurprint/spool_line.h"

namespace zurprint {

enum class TargetKind { kPdf, kText, kPrinter };

struct OutputTarget {
  TargetKind kind = TargetKind::kPdf;
  std::string path;     // the file written, a path of this system
  std::string printer;  // kPrinter: the queue's name
};

// The target a device text names, for a session whose work folder is workDir (a suite
// path). False, with a reason, for a printer name that lp cannot take: empty, longer than
// 127 characters, or holding a blank, a control or non-ASCII byte, "/", "\" or "#".
bool ParseDevice(std::string_view device, const std::string& workDir, OutputTarget& target,
                 std::string& reason);

struct SpoolSummary {
  std::string device;  // the device text, as written
  long pages = 0;      // pages drawn
  int widestColumn = 0;
};

// Reads the spool file (a path of this system): checks its device line and lays every
// following line out onto the sink. False, with a one-line reason naming the file (and
// the line, for a line that cannot be printed), otherwise.
bool ReadSpool(const std::string& spoolPath, PageSink& sink, SpoolSummary& summary,
               std::string& reason);

struct PrintOutcome {
  int exitCode = 0;     // 0 printed (or nothing to print), 1 failed
  std::string message;  // one line: what was written where, or why nothing was
};

// Prints the spool file (a path of this system) for a session whose work folder is
// workDir (a suite path).
PrintOutcome PrintSpool(const std::string& spoolPath, const std::string& workDir);

// The whole program: session::LoadSession(), then PrintSpool of workDir + "zurprint.tmp".
PrintOutcome RunPrintProgram();

}  // namespace zurprint
