#include "platform/binary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/path.h"

namespace platform {

bool BinaryFile::Open(std::string_view suitePath, Mode mode) {
  Close();
  std::string path = ResolvePath(suitePath);
  if (path.empty()) return false;
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::kRead:
      flags |= O_RDONLY;
      break;
    case Mode::kReadWrite:
      flags |= O_RDWR | O_CREAT;
      break;
    case Mode::kCreate:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
  }
  int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

void BinaryFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

long long BinaryFile::Length() const {
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

long long BinaryFile::ReadAt(long long offset, void* buffer, size_t size) const {
  if (fd_ < 0 || offset < 0) return -1;
  size_t done = 0;
  char* out = static_cast<char*>(buffer);
  while (done < size) {
    ssize_t n = ::pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<long long>(done);
}

bool BinaryFile::WriteAt(long long offset, const void* data, size_t size) {
  if (fd_ < 0 || offset < 0) return false;
  size_t done = 0;
  const char* in = static_cast<const char*>(data);
  while (done < size) {
    ssize_t n = ::pwrite(fd_, in + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool BinaryFile::Truncate(long long length) {
  return fd_ >= 0 && length >= 0 && ::ftruncate(fd_, static_cast<off_t>(length)) == 0;
}

}  // namespace platform
