#include "tools/zurprint/print_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/env.h"
#include "platform/path.h"
#include "platform/process.h"
#include "session/session.h"
#include "tools/zurprint/pdf_renderer.h"
#include "tools/zurprint/text_renderer.h"

namespace zurprint {
namespace {

constexpr size_t kMaxPrinterName = 127;
constexpr size_t kOutputBuffer = 1 << 20;

// Lays out nothing; the layout itself counts pages and columns.
class NullSink : public PageSink {
 public:
  void BeginPage(int) override {}
  void DrawCells(int, int, const Cell*, size_t) override {}
  void EndPage() override {}
};

bool HasPrefixIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != prefix[i]) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string Pages(long n) {
  return std::to_string(n) + (n == 1 ? " page" : " pages");
}

// A file written through a temporary file in the same folder: Commit renames it over the
// target; without Commit the temporary file is removed.
class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile() { Abandon(); }

  std::FILE* Open(const std::string& path, std::string& reason) {
    path_ = path;
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    temp_ = folder + "." + name + ".XXXXXX";
    int fd = ::mkstemp(temp_.data());
    if (fd < 0) {
      reason = std::strerror(errno);
      temp_.clear();
      return nullptr;
    }
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
      reason = std::strerror(errno);
      ::close(fd);
      return nullptr;
    }
    buffer_.resize(kOutputBuffer);
    std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
    return file_;
  }

  bool Commit(std::string& reason) {
    bool ok = std::fflush(file_) == 0 && !std::ferror(file_) && ::fsync(::fileno(file_)) == 0;
    int err = errno;
    if (std::fclose(file_) != 0 && ok) {
      ok = false;
      err = errno;
    }
    file_ = nullptr;
    if (ok && std::rename(temp_.c_str(), path_.c_str()) != 0) {
      ok = false;
      err = errno;
    }
    if (!ok) {
      reason = std::strerror(err);
      Abandon();
      return false;
    }
    temp_.clear();
    return true;
  }

 private:
  void Abandon() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) std::remove(temp_.c_str());
    temp_.clear();
  }

  std::string path_;
  std::string temp_;
  std::FILE* file_ = nullptr;
  std::vector<char> buffer_;
};

// The program's path on PATH; empty when there is none.
std::string FindOnPath(const std::string& program) {
  std::string path = platform::GetEnv("PATH");
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + program;
    struct stat st;
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return {};
}

// Lays the spool out onto the sink and, for a sink that writes, checks that the spool
// gave what the measuring pass saw.
bool Render(const std::string& spoolPath, PageSink& sink, const SpoolSummary& measured,
            std::string& reason) {
  SpoolSummary again;
  if (!ReadSpool(spoolPath, sink, again, reason)) return false;
  if (again.pages != measured.pages || again.widestColumn != measured.widestColumn) {
    reason = "the spool " + spoolPath + " changed while it was being printed";
    return false;
  }
  return true;
}

bool WritePdf(const std::string& spoolPath, const SpoolSummary& measured, const std::string& path,
              std::string& reason) {
  AtomicFile file;
  std::FILE* out = file.Open(path, reason);
  if (out == nullptr) {
    reason = "cannot write " + path + ": " + reason;
    return false;
  }
  PdfRenderer pdf;
  if (!pdf.Open(out, measured.widestColumn, reason)) return false;
  if (!Render(spoolPath, pdf, measured, reason)) return false;
  if (!pdf.Close(reason) || !file.Commit(reason)) {
    reason = "cannot write " + path + ": " + reason;
    return false;
  }
  return true;
}

bool WriteText(const std::string& spoolPath, const SpoolSummary& measured, const std::string& path,
               std::string& reason) {
  AtomicFile file;
  std::FILE* out = file.Open(path, reason);
  if (out == nullptr) {
    reason = "cannot write " + path + ": " + reason;
    return false;
  }
  TextRenderer text(out);
  if (!Render(spoolPath, text, measured, reason)) return false;
  if (!text.Close()) {
    reason = "cannot write " + path + ": the file could not be written";
    return false;
  }
  if (!file.Commit(reason)) {
    reason = "cannot write " + path + ": " + reason;
    return false;
  }
  return true;
}

}  // namespace

bool ParseDevice(std::string_view device, const std::string& workDir, OutputTarget& target,
                 std::string& reason) {
  std::string_view text = TrimBlanks(device);
  target = OutputTarget{};
  if (text.empty()) {
    target.kind = TargetKind::kPdf;
    target.path = platform::ResolvePath(workDir + "zurprint.pdf");
    return true;
  }
  if (HasPrefixIgnoringCase(text, "PDF:") || HasPrefixIgnoringCase(text, "TXT:")) {
    bool pdf = HasPrefixIgnoringCase(text, "PDF:");
    std::string_view path = TrimBlanks(text.substr(4));
    target.kind = pdf ? TargetKind::kPdf : TargetKind::kText;
    target.path = platform::ResolvePath(
        path.empty() ? workDir + (pdf ? "zurprint.pdf" : "zurprint.txt") : std::string(path));
    return true;
  }
  bool valid = text.size() <= kMaxPrinterName;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= ' ' || u >= 127 || c == '/' || c == '\\' || c == '#') valid = false;
  }
  if (!valid) {
    reason = "\"" + std::string(text) +
             "\" is not a printer name (at most 127 ASCII characters, no blank, \"/\", "
             "\"\\\" or \"#\")";
    return false;
  }
  target.kind = TargetKind::kPrinter;
  target.printer = std::string(text);
  target.path = platform::ResolvePath(workDir + "zurprint.pdf");
  return true;
}

bool ReadSpool(const std::string& spoolPath, PageSink& sink, SpoolSummary& summary,
               std::string& reason) {
  summary = SpoolSummary{};
  SpoolFileReader reader;
  if (!reader.Open(spoolPath, reason)) {
    reason = "cannot read the spool " + spoolPath + ": " + reason;
    return false;
  }
  std::string line;
  SpoolLine parsed;
  auto lineError = [&](const std::string& why) {
    reason = "spool " + spoolPath + ", line " + std::to_string(reader.lineNumber()) + ": " + why;
    return false;
  };
  SpoolFileReader::Result r = reader.ReadLine(line);
  if (r == SpoolFileReader::Result::kReadError) {
    reason = "cannot read the spool " + spoolPath + ": read error";
    return false;
  }
  if (r != SpoolFileReader::Result::kLine || line.compare(0, 6, "DEVICE") != 0) {
    reason = "the spool " + spoolPath + " does not begin with a DEVICE line";
    return false;
  }
  summary.device = line.substr(6);

  SpoolLayout layout(sink);
  std::string why;
  for (;;) {
    r = reader.ReadLine(line);
    if (r == SpoolFileReader::Result::kEnd) break;
    if (r == SpoolFileReader::Result::kReadError) {
      reason = "cannot read the spool " + spoolPath + ": read error";
      return false;
    }
    if (r == SpoolFileReader::Result::kTooLong) {
      return lineError("longer than " + std::to_string(kMaxSpoolLineBytes) + " bytes");
    }
    if (!ParseSpoolLine(line, parsed, why) || !layout.Feed(parsed, why)) return lineError(why);
  }
  if (!layout.Finish(why)) return lineError(why);
  summary.pages = layout.pages();
  summary.widestColumn = layout.widestColumn();
  return true;
}

PrintOutcome PrintSpool(const std::string& spoolPath, const std::string& workDir) {
  PrintOutcome outcome;
  auto fail = [&](std::string message) {
    outcome.exitCode = 1;
    outcome.message = std::move(message);
    return outcome;
  };

  NullSink measure;
  SpoolSummary summary;
  std::string reason;
  if (!ReadSpool(spoolPath, measure, summary, reason)) return fail(reason);
  OutputTarget target;
  if (!ParseDevice(summary.device, workDir, target, reason)) return fail(reason);
  struct stat spoolInfo, targetInfo;
  if (::stat(spoolPath.c_str(), &spoolInfo) == 0 && ::stat(target.path.c_str(), &targetInfo) == 0 &&
      spoolInfo.st_dev == targetInfo.st_dev && spoolInfo.st_ino == targetInfo.st_ino) {
    return fail("the device line names the spool itself as the output: " + target.path);
  }
  if (summary.pages == 0) {
    outcome.message = "nothing to print: the spool " + spoolPath + " holds no text";
    return outcome;
  }

  bool written = target.kind == TargetKind::kText
                     ? WriteText(spoolPath, summary, target.path, reason)
                     : WritePdf(spoolPath, summary, target.path, reason);
  if (!written) return fail(reason);
  if (target.kind != TargetKind::kPrinter) {
    outcome.message = Pages(summary.pages) + " written to " + target.path;
    return outcome;
  }

  std::string lp = FindOnPath("lp");
  if (lp.empty()) {
    return fail("lp not found: " + Pages(summary.pages) + " for printer " + target.printer +
                " kept in " + target.path);
  }
  std::string why;
  int rc = platform::RunProgram(lp, {"-d", target.printer, target.path}, &why);
  if (rc != 0) {
    std::string how = rc == platform::kProgramNotStarted ? "could not start (" + why + ")"
                      : rc == platform::kProgramKilled
                          ? "was killed"
                          : "failed with exit code " + std::to_string(rc);
    return fail("lp " + how + ": " + Pages(summary.pages) + " for printer " + target.printer +
                " kept in " + target.path);
  }
  std::remove(target.path.c_str());
  outcome.message = Pages(summary.pages) + " sent to printer " + target.printer;
  return outcome;
}

PrintOutcome RunPrintProgram() {
  session::LoadSession();
  const session::SessionContext& s = session::Session();
  return PrintSpool(platform::ResolvePath(s.workDir + "zurprint.tmp"), s.workDir);
}

}  // namespace zurprint
