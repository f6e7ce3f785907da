// Read-only access to a block device or an image file. This and the other files of
// src/platform are the only code that talks to the operating system.
#pragma once

#include <cstdint>
#include <string>

#include "platform/bytes.h"
#include "platform/error_text.h"

namespace quarnel {

class RawFile {
 public:
  RawFile() = default;
  RawFile(const RawFile&) = delete;
  RawFile& operator=(const RawFile&) = delete;
  RawFile(RawFile&& other) noexcept;
  RawFile& operator=(RawFile&& other) noexcept;
  ~RawFile();

  // Opens path with O_RDONLY; never with write access. On failure error() says why.
  bool open(const std::string& path);
  void close();
  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Size in bytes: BLKGETSIZE64 for block devices, the file length otherwise; -1 on failure.
  std::int64_t size() const;
  bool isBlockDevice() const;

  // Reads up to out.size() bytes at offset, retrying short reads until end of file.
  // Returns the number of bytes read, or -1 on an I/O error (error() says which).
  std::int64_t readAt(std::uint64_t offset, MutableByteSpan out) const;
  // One contiguous run of the file scattered into several buffers, in order (preadv).
  // Returns the number of bytes read, or -1 on an I/O error.
  std::int64_t readAt(std::uint64_t offset, std::span<const MutableByteSpan> parts) const;

  std::string error() const { return error_.get(); }

 private:
  int fd_ = -1;
  mutable ErrorText error_;
};

// The same file (device and inode) behind both paths; false when either cannot be examined.
bool sameFile(const std::string& a, const std::string& b);
bool pathExists(const std::string& path);
// Whether file descriptor 2 is a terminal (for progress bars).
bool stderrIsTerminal();

}  // namespace quarnel
