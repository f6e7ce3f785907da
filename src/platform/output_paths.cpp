#include "platform/output_paths.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

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
  for (int k = 1; k <= kMaxAlternatives; ++k) {
    std::string path = dir + "/" + (k == 1 ? base : numberedName(base, k));
    if (out.create(path, false)) return path;
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
