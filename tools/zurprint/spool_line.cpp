#include "tools/zurprint/spool_line.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace zurprint {
namespace {

constexpr size_t kReadChunk = 1 << 16;
constexpr char kCtrlZ = 0x1A;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads blanks, an optional sign and at least one digit from text[pos], clamping the
// value to kMaxSpoolNumber. False when no digit follows.
bool ReadNumber(std::string_view text, size_t& pos, long& value) {
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
  if (pos >= text.size() || !IsDigit(text[pos])) return false;
  long v = 0;
  while (pos < text.size() && IsDigit(text[pos])) {
    if (v < kMaxSpoolNumber) v = v * 10 + (text[pos] - '0');
    ++pos;
  }
  if (v > kMaxSpoolNumber) v = kMaxSpoolNumber;
  value = negative ? -v : v;
  return true;
}

// A whole field that is one list-format number, nothing else but blanks around it.
bool WholeNumber(std::string_view field, long& value) {
  size_t pos = 0;
  if (!ReadNumber(field, pos, value)) return false;
  while (pos < field.size() && field[pos] == ' ') ++pos;
  return pos == field.size();
}

void ParseJustification(std::string_view code, Justification& out) {
  out.fillColumn = 0;
  out.fill.clear();
  size_t first = code.find_first_not_of(' ');
  char letter = first == std::string_view::npos ? 'E' : code[first];
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  switch (letter) {
    case 'C':
    case 'D':
    case 'A':
      out.code = letter;
      break;
    case 'R':
      out.code = 'D';
      break;
    case 'B':
      out.code = 'A';
      break;
    case 'N': {
      out.code = 'N';
      size_t pos = first + 1;
      long column = 0;
      if (ReadNumber(code, pos, column)) out.fillColumn = column < 0 ? -column : column;
      size_t open = code.find('\\', first + 1);
      if (open != std::string_view::npos) {
        size_t close = code.find('\\', open + 1);
        // A fill without its closing backslash runs to the end of the line.
        out.fill.assign(code.substr(
            open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1));
      }
      break;
    }
    default:
      out.code = 'E';
      break;
  }
}

}  // namespace

bool ParseSpoolLine(std::string_view line, SpoolLine& out, std::string& reason) {
  if (StartsWith(line, "DEVICE")) {
    out.kind = SpoolLineKind::kDevice;
    out.text = line.substr(6);
    return true;
  }
  if (StartsWith(line, "PAGE")) {
    out.kind = SpoolLineKind::kPage;
    if (!WholeNumber(line.substr(4), out.number)) {
      reason = "page line without a number of lines";
      return false;
    }
    return true;
  }
  if (StartsWith(line, "*")) {
    out.kind = SpoolLineKind::kCommand;
    out.text = line.substr(1);
    return true;
  }
  if (StartsWith(line, "JUS")) {
    out.kind = SpoolLineKind::kJustify;
    ParseJustification(line.substr(3), out.justification);
    return true;
  }
  size_t firstComma = line.find(',');
  size_t lastComma = line.rfind(',');
  if (firstComma == std::string_view::npos || firstComma == lastComma) {
    reason = "not a spool line (a text line needs a column, a text between commas and an advance)";
    return false;
  }
  if (!WholeNumber(line.substr(0, firstComma), out.startColumn)) {
    reason = "text line without a start column";
    return false;
  }
  if (!WholeNumber(line.substr(lastComma + 1), out.advance)) {
    reason = "text line without a line advance";
    return false;
  }
  out.kind = SpoolLineKind::kText;
  out.text = line.substr(firstComma + 1, lastComma - firstComma - 1);
  return true;
}

bool SpoolFileReader::Open(const std::string& path, std::string& reason) {
  Close();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    reason = std::strerror(errno);
    return false;
  }
  struct stat st;
  if (::fstat(::fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    reason = "not a regular file";
    std::fclose(f);
    return false;
  }
  file_ = f;
  buffer_.resize(kReadChunk);
  return true;
}

void SpoolFileReader::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  pos_ = end_ = 0;
  ended_ = failed_ = false;
  lineNumber_ = 0;
}

bool SpoolFileReader::Refill() {
  if (file_ == nullptr || ended_) return false;
  size_t n = std::fread(buffer_.data(), 1, buffer_.size(), file_);
  pos_ = 0;
  end_ = n;
  if (n == 0) {
    ended_ = true;
    if (std::ferror(file_)) failed_ = true;
    return false;
  }
  return true;
}

SpoolFileReader::Result SpoolFileReader::ReadLine(std::string& line) {
  line.clear();
  bool any = false;
  bool tooLong = false;
  for (;;) {
    if (pos_ == end_ && !Refill()) break;
    const char* start = buffer_.data() + pos_;
    size_t avail = end_ - pos_;
    const char* nl = static_cast<const char*>(std::memchr(start, '\n', avail));
    size_t take = nl ? static_cast<size_t>(nl - start) : avail;
    const char* z = static_cast<const char*>(std::memchr(start, kCtrlZ, take));
    if (z != nullptr) {
      // Ctrl-Z: the file ends here, the bytes before it still form a line.
      take = static_cast<size_t>(z - start);
      ended_ = true;
      end_ = pos_ = 0;
      nl = nullptr;
    } else {
      pos_ += take + (nl ? 1 : 0);
    }
    any = any || take > 0 || nl != nullptr;
    if (!tooLong && line.size() + take <= kMaxSpoolLineBytes + 1) {
      line.append(start, take);
    } else {
      tooLong = true;
    }
    if (nl != nullptr || ended_) break;
  }
  if (failed_) return Result::kReadError;
  if (!any) return Result::kEnd;
  ++lineNumber_;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (tooLong || line.size() > kMaxSpoolLineBytes) return Result::kTooLong;
  return Result::kLine;
}

}  // namespace zurprint
