#include "platform/raw_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <utility>
#include <vector>

namespace quarnel {

RawFile::RawFile(RawFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(std::move(other.error_)) {}

RawFile& RawFile::operator=(RawFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    error_ = std::move(other.error_);
  }
  return *this;
}

RawFile::~RawFile() { close(); }

bool RawFile::open(const std::string& path) {
  close();
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    error_ = path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    error_ = path + ": is a directory";
    close();
    return false;
  }
  error_.clear();
  return true;
}

void RawFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool RawFile::isBlockDevice() const {
  struct stat st {};
  return fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISBLK(st.st_mode);
}

std::int64_t RawFile::size() const {
  if (fd_ < 0) return -1;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return -1;
  if (S_ISBLK(st.st_mode)) {
    std::uint64_t bytes = 0;
    if (::ioctl(fd_, BLKGETSIZE64, &bytes) != 0) return -1;
    return static_cast<std::int64_t>(bytes);
  }
  return st.st_size;
}

std::int64_t RawFile::readAt(std::uint64_t offset, MutableByteSpan out) const {
  if (fd_ < 0) {
    error_ = "file not open";
    return -1;
  }
  std::size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::pread(fd_, out.data() + done, out.size() - done,
                        static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = std::strerror(errno);
      return done > 0 ? static_cast<std::int64_t>(done) : -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t RawFile::readAt(std::uint64_t offset, std::span<const MutableByteSpan> parts) const {
  if (fd_ < 0) {
    error_ = "file not open";
    return -1;
  }
  constexpr std::size_t kMaxIov = 1024;
  std::vector<iovec> iov;
  std::size_t total = 0;
  for (const auto& p : parts) {
    iov.push_back({p.data(), p.size()});
    total += p.size();
  }
  std::size_t done = 0;
  std::size_t first = 0;  // first iovec not yet complete
  while (done < total) {
    std::size_t count = std::min(kMaxIov, iov.size() - first);
    ssize_t n = ::preadv(fd_, iov.data() + first, static_cast<int>(count),
                         static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = std::strerror(errno);
      return done > 0 ? static_cast<std::int64_t>(done) : -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
    // Step past what this call filled; a partly filled iovec continues where it stopped.
    auto left = static_cast<std::size_t>(n);
    while (left > 0 && first < iov.size()) {
      if (left >= iov[first].iov_len) {
        left -= iov[first].iov_len;
        ++first;
      } else {
        iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + left;
        iov[first].iov_len -= left;
        left = 0;
      }
    }
  }
  return static_cast<std::int64_t>(done);
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  if (S_ISBLK(sa.st_mode) && S_ISBLK(sb.st_mode)) return sa.st_rdev == sb.st_rdev;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool pathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool stderrIsTerminal() { return ::isatty(2) == 1; }

}  // namespace quarnel
