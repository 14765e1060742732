#pragma once
// Test helpers: a temporary folder removed at the end of the test, files written
// and read as raw bytes, and environment variables set for the test's duration.

#include <optional>
#include <string>
#include <string_view>

namespace testing_support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's path, ending with "/".
  const std::string& path() const { return path_; }
  // path() + relative.
  std::string operator/(std::string_view relative) const { return path_ + std::string(relative); }

 private:
  std::string path_;
};

// Writes the bytes to the file, creating missing parent folders. Fails the test
// when it cannot.
void WriteFile(const std::string& path, std::string_view bytes);

// The file's bytes; nullopt when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path);

// Sets (or, with nullopt, unsets) an environment variable until destroyed.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Makes the folder current until destroyed.
class ScopedCurrentDir {
 public:
  explicit ScopedCurrentDir(const std::string& dir);
  ~ScopedCurrentDir();
  ScopedCurrentDir(const ScopedCurrentDir&) = delete;
  ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

 private:
  std::string old_;
};

}  // namespace testing_support
