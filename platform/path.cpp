#include "platform/path.h"
#include "platform/ascii_text.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

namespace platform {
namespace {

using platform::EqualIgnoringAsciiCase;

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The entry of dir whose name equals name without regard to case; empty when none.
std::string FindIgnoringCase(const std::string& dir, std::string_view name) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return {};
  std::vector<std::string> matches;
  while (struct dirent* e = ::readdir(d)) {
    if (EqualIgnoringAsciiCase(e->d_name, name)) matches.emplace_back(e->d_name);
  }
  ::closedir(d);
  if (matches.empty()) return {};
  std::sort(matches.begin(), matches.end());
  return matches.front();
}

}  // namespace

std::string ResolvePath(std::string_view suitePath) {
  std::string_view p = suitePath;
  if (p.size() >= 2 && p[1] == ':' &&
      ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'))) {
    p.remove_prefix(2);
  }
  bool absolute = !p.empty() && (p[0] == '\\' || p[0] == '/');
  const bool trailing = !p.empty() && (p.back() == '\\' || p.back() == '/');

  // The path as written, with "/" between its components. When it exists, every
  // component exists as written, which is what the walk below would find one lookup
  // at a time: one lookup settles the usual case.
  std::string written = absolute ? "/" : "";
  for (size_t i = 0; i <= p.size();) {
    size_t j = i;
    while (j < p.size() && p[j] != '\\' && p[j] != '/') ++j;
    if (j > i) {
      if (!written.empty() && written.back() != '/') written += '/';
      written.append(p.substr(i, j - i));
    }
    i = j + 1;
  }
  if (trailing && !written.empty() && written.back() != '/') written += '/';
  if (!written.empty() && Exists(written)) return written;

  std::string result;
  if (absolute) result = "/";
  bool searching = true;  // false once a component is missing: nothing below it exists
  size_t i = 0;
  while (i <= p.size()) {
    size_t j = i;
    while (j < p.size() && p[j] != '\\' && p[j] != '/') ++j;
    std::string_view comp = p.substr(i, j - i);
    i = j + 1;
    if (comp.empty()) continue;
    std::string base = result;
    if (!base.empty() && base.back() != '/') base += '/';
    std::string candidate = base + std::string(comp);
    if (searching && comp != "." && comp != ".." && !Exists(candidate)) {
      std::string found = FindIgnoringCase(result, comp);
      if (!found.empty()) {
        candidate = base + found;
      } else {
        searching = false;
      }
    }
    result = std::move(candidate);
  }
  // A trailing separator names a directory; keep it so callers can append.
  if (trailing && !result.empty() && result.back() != '/') result += '/';
  return result;
}

bool FileExists(std::string_view suitePath) {
  struct stat st;
  std::string path = ResolvePath(suitePath);
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(std::string_view suitePath) {
  struct stat st;
  std::string path = ResolvePath(suitePath);
  if (path.empty()) path = ".";
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveFile(std::string_view suitePath) {
  std::string path = ResolvePath(suitePath);
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool ChangeDirectory(std::string_view suitePath) {
  std::string path = ResolvePath(suitePath);
  return !path.empty() && ::chdir(path.c_str()) == 0;
}

bool MakeDirectories(std::string_view suitePath) {
  std::string path = ResolvePath(suitePath);
  if (path.empty()) return true;
  for (size_t k = 1; k <= path.size(); ++k) {
    if (k == path.size() || path[k] == '/') {
      std::string prefix = path.substr(0, k);
      ::mkdir(prefix.c_str(), 0777);
    }
  }
  return DirectoryExists(suitePath);
}

long long FileLength(std::string_view suitePath) {
  struct stat st;
  std::string path = ResolvePath(suitePath);
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<long long>(st.st_size);
}

}  // namespace platform
