#pragma once
// Sequential text files of single-byte text. Lines end with CR LF; a bare LF and a
// last line without an end are accepted too, and a Ctrl-Z byte ends the file.

#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

// Longest line ReadLine hands back; the rest of a longer line is skipped, so a
// hostile file cannot make a reader hold more than this per line.
inline constexpr size_t kMaxLineBytes = 1 << 20;

class TextReader {
 public:
  TextReader() = default;
  TextReader(const TextReader&) = delete;
  TextReader& operator=(const TextReader&) = delete;
  ~TextReader() { Close(); }

  // Opens an existing regular file for reading. False when it is missing, is a
  // directory or cannot be read.
  bool Open(std::string_view suitePath);
  bool IsOpen() const { return file_ != nullptr; }
  void Close();

  // Next line without its end. False at the end of the file (or at Ctrl-Z, or after
  // a read error); a final line without an end is still returned.
  bool ReadLine(std::string& line);

  // Next byte (0 .. 255), or -1 at the end of the file, at Ctrl-Z or after an error.
  int ReadChar();
  // The byte ReadChar would return, without consuming it.
  int PeekChar();

  // Offset of the next byte to read, counted from the start of the file.
  long long Tell() const { return offset_; }
  // Moves the read position; false when it cannot. Clears a Ctrl-Z end seen after it.
  bool Seek(long long offset);

 private:
  std::FILE* file_ = nullptr;
  long long offset_ = 0;
  bool ended_ = false;
};

class TextWriter {
 public:
  TextWriter() = default;
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;
  ~TextWriter() { Close(); }

  // Creates the file empty (an existing one is overwritten). False when it cannot.
  bool Create(std::string_view suitePath);
  // Opens the file for appending, creating it when missing. False when it cannot.
  bool Append(std::string_view suitePath);
  bool IsOpen() const { return file_ != nullptr; }

  // Writes the bytes as they are. A failure is remembered (see Close).
  void Write(std::string_view bytes);
  // Writes the bytes followed by CR LF.
  void WriteLine(std::string_view bytes);

  // Flushes and closes. True only when every write since Create succeeded and the
  // data reached the file; false also when nothing was open.
  bool Close();
  // True once any write has failed.
  bool Failed() const { return failed_; }

 private:
  bool OpenMode(std::string_view suitePath, const char* mode);
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

}  // namespace platform
