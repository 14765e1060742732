#pragma once
// Binary files read and written at byte offsets.

#include <string>
#include <string_view>

namespace platform {

class BinaryFile {
 public:
  enum class Mode {
    kRead,       // an existing file, read only
    kReadWrite,  // read and write, created empty when missing
    kCreate,     // created empty (an existing file is truncated), read and write
  };

  BinaryFile() = default;
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;
  ~BinaryFile() { Close(); }

  // False when the file cannot be opened in that mode (or is a directory).
  bool Open(std::string_view suitePath, Mode mode);
  bool IsOpen() const { return fd_ >= 0; }
  void Close();

  // Current size in bytes; -1 when not open.
  long long Length() const;
  // Reads up to size bytes at offset; returns the count read (0 at or past the end,
  // -1 on error or when not open).
  long long ReadAt(long long offset, void* buffer, size_t size) const;
  // Writes every byte at offset; false on any failure.
  bool WriteAt(long long offset, const void* data, size_t size);
  // Cuts or extends the file to length bytes.
  bool Truncate(long long length);

 private:
  int fd_ = -1;
};

}  // namespace platform
