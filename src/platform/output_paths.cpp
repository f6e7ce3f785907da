#include "platform/output_paths.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace quarnel {
namespace {

constexpr std::size_t kMaxComponent = 255;
constexpr int kMaxAlternatives = 100000;

// Cuts s to at most n bytes without splitting a UTF-8 sequence.
std::string cutUtf8(std::string s, std::size_t n) {
  if (s.size() <= n) return s;
  std::size_t end = n;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  s.resize(end);
  return s;
}

// Where the search for a free numbered name of dir/base goes on: the numbers below it were
// taken when last looked at. Without it a folder holding thousands of entries of one name
// (a damaged directory) costs a probe per earlier copy for every file. Creation with O_EXCL
// still decides, so a number freed since is merely skipped.
class NextNumbers {
 public:
  int start(const std::string& path) {
    std::lock_guard lock(mutex_);
    auto it = next_.find(path);
    return it == next_.end() ? 1 : it->second;
  }
  void taken(const std::string& path, int k) {
    if (k < 2) return;
    std::lock_guard lock(mutex_);
    int& next = next_[path];
    next = std::max(next, k + 1);
  }

 private:
  std::mutex mutex_;
  std::unordered_map<std::string, int> next_;
};

NextNumbers& nextNumbers() {
  static NextNumbers n;
  return n;
}

}  // namespace

std::string safeComponent(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (char c : name) out += (c == '/' || c == '\0') ? '_' : c;
  if (out.empty()) return "_";
  if (out == "." || out == "..") return "_" + out;
  if (out.size() > kMaxComponent) {
    std::size_t dot = out.rfind('.');
    std::string ext = dot != std::string::npos && out.size() - dot <= 16 ? out.substr(dot) : "";
    out = cutUtf8(out.substr(0, out.size() - ext.size()), kMaxComponent - ext.size()) + ext;
  }
  return out;
}

std::string numberedName(const std::string& name, int k) {
  std::size_t dot = name.rfind('.');
  std::string suffix = " (" + std::to_string(k) + ")";
  if (dot == std::string::npos || dot == 0)
    return cutUtf8(name, kMaxComponent - suffix.size()) + suffix;
  std::string ext = name.substr(dot);
  return cutUtf8(name.substr(0, dot), kMaxComponent - suffix.size() - ext.size()) + suffix + ext;
}

std::string createUniqueFile(const std::string& dir, std::string_view name, OutputFile& out) {
  const std::string base = safeComponent(name);
  const std::string key = dir + "/" + base;
  int first = nextNumbers().start(key);
  // The folder was emptied or made anew since (a second save to the same place).
  struct stat st {};
  if (first > 1 && ::lstat((dir + "/" + (first == 2 ? base : numberedName(base, first - 1))).c_str(), &st) != 0)
    first = 1;
  for (int k = first; k <= kMaxAlternatives; ++k) {
    std::string path = dir + "/" + (k == 1 ? base : numberedName(base, k));
    if (out.create(path, false)) {
      nextNumbers().taken(key, k);
      return path;
    }
    if (errno != EEXIST) return {};
  }
  return {};
}

std::string makeUniqueFolder(const std::string& dir, std::string_view name, std::string& error) {
  const std::string base = safeComponent(name);
  for (int k = 1; k <= kMaxAlternatives; ++k) {
    std::string path = dir + "/" + (k == 1 ? base : numberedName(base, k));
    if (::mkdir(path.c_str(), 0755) == 0) return path;
    if (errno != EEXIST) {
      error = path + ": " + std::strerror(errno);
      return {};
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return path;
  }
  error = dir + ": no free name for " + base;
  return {};
}

}  // namespace quarnel
