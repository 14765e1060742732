#include "platform/text_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/path.h"

namespace platform {
namespace {
constexpr int kCtrlZ = 0x1A;
constexpr size_t kWriteBufferBytes = 1 << 16;
}  // namespace

bool TextReader::Open(std::string_view suitePath) {
  Close();
  std::string path = ResolvePath(suitePath);
  if (path.empty()) return false;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  struct stat st;
  if (::fstat(::fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
    std::fclose(f);
    return false;
  }
  file_ = f;
  offset_ = 0;
  ended_ = false;
  return true;
}

void TextReader::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  offset_ = 0;
  ended_ = false;
}

int TextReader::ReadChar() {
  if (file_ == nullptr || ended_) return -1;
  int c = std::getc(file_);
  if (c == EOF || c == kCtrlZ) {
    ended_ = true;
    return -1;
  }
  ++offset_;
  return c;
}

int TextReader::PeekChar() {
  if (file_ == nullptr || ended_) return -1;
  int c = std::getc(file_);
  if (c == EOF) return -1;
  std::ungetc(c, file_);
  return c == kCtrlZ ? -1 : c;
}

bool TextReader::ReadLine(std::string& line) {
  line.clear();
  int c = ReadChar();
  if (c < 0) return false;
  while (c >= 0 && c != '\n') {
    if (line.size() < kMaxLineBytes) line.push_back(static_cast<char>(c));
    c = ReadChar();
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool TextReader::Seek(long long offset) {
  if (file_ == nullptr || offset < 0) return false;
  if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) return false;
  offset_ = offset;
  ended_ = false;
  return true;
}

bool TextWriter::OpenMode(std::string_view suitePath, const char* mode) {
  Close();
  failed_ = false;
  std::string path = ResolvePath(suitePath);
  if (path.empty()) return false;
  file_ = std::fopen(path.c_str(), mode);
  if (file_ == nullptr) return false;
  // Long files (a batch's spool) go to the disk in large pieces.
  std::setvbuf(file_, nullptr, _IOFBF, kWriteBufferBytes);
  return true;
}

bool TextWriter::Create(std::string_view suitePath) {
  return OpenMode(suitePath, "wb");
}

bool TextWriter::Append(std::string_view suitePath) {
  return OpenMode(suitePath, "ab");
}

void TextWriter::Write(std::string_view bytes) {
  if (file_ == nullptr) {
    failed_ = true;
    return;
  }
  if (bytes.empty()) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) failed_ = true;
}

void TextWriter::WriteLine(std::string_view bytes) {
  Write(bytes);
  Write("\r\n");
}

bool TextWriter::Close() {
  if (file_ == nullptr) return false;
  if (std::fflush(file_) != 0 || std::ferror(file_)) failed_ = true;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

}  // namespace platform
