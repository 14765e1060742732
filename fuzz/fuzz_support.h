#pragma once
// Helpers shared by the fuzz targets: a failed check aborts (libFuzzer keeps the
// input), and every file a target writes goes to a folder of its own process that is
// removed when the process ends.

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/terminal.h"

namespace fuzz_support {

inline void Check(bool condition) {
  if (!condition) std::abort();
}

namespace detail {
inline int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  return ::remove(path);
}
inline std::string& FolderName() {
  static std::string name;
  return name;
}
inline void RemoveFolder() {
  if (!FolderName().empty()) ::nftw(FolderName().c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}
}  // namespace detail

// This process's private folder, ending with "/".
inline const std::string& PrivateDir() {
  static const std::string dir = [] {
    // Memory-backed when there is such a folder: the record files sync on every
    // transaction, which a disk makes slow.
    std::string pattern =
        ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/zurfuzz-XXXXXX" : "/tmp/zurfuzz-XXXXXX";
    const char* made = ::mkdtemp(pattern.data());
    Check(made != nullptr);
    detail::FolderName() = made;
    std::atexit(detail::RemoveFolder);
    return std::string(made) + "/";
  }();
  return dir;
}

// Writes the bytes to the file (replacing it); aborts when it cannot.
inline void WriteBytes(const std::string& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  Check(f != nullptr);
  Check(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
  Check(std::fclose(f) == 0);
}

// The file's bytes, or "" when it cannot be read.
inline std::string ReadBytes(const std::string& path) {
  std::string bytes;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  std::fclose(f);
  return bytes;
}

// Makes the folder (one level) when missing.
inline void MakeFolder(const std::string& path) {
  Check(::access(path.c_str(), F_OK) == 0 || ::mkdir(path.c_str(), 0755) == 0);
}

// Every cell of the terminal, row by row: compared before and after a pop-up to show
// that the screen came back as it was.
inline std::vector<platform::Cell> ScreenCells(const platform::Terminal& t) {
  std::vector<platform::Cell> cells;
  for (int16_t r = 1; r <= t.Rows(); ++r)
    for (int16_t c = 1; c <= t.Columns(); ++c) cells.push_back(t.ReadCell(r, c));
  return cells;
}

}  // namespace fuzz_support
