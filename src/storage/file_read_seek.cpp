#include "storage/file_read_seek.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace quarnel {

FileReadSeek::FileReadSeek(RawFile file) { adopt(std::move(file)); }

void FileReadSeek::adopt(RawFile file) {
  file_ = std::move(file);
  handle = file_.fd();
  filePos_ = 0;
  std::int64_t bytes = file_.size();
  sizeSectors_ = bytes > 0 ? bytes / kSectorSize : 0;
}

FileReadSeek FileReadSeek::missing() {
  FileReadSeek s;
  s.handle = kMissingHandle;
  return s;
}

bool FileReadSeek::open(const std::string& name) {
  RawFile f;
  if (!f.open(name)) {
    lastError_ = f.error();
    reporter().warning(WarningKind::Refused, "invalid handle ...");
    return false;
  }
  adopt(std::move(f));
  lastError_.clear();
  currentDiskSectors = sizeSectors_;
  return true;
}

bool FileReadSeek::read(void* buffer, std::uint32_t byteCount) {
  if (byteCount == 0) return true;
  std::vector<std::byte> scratch(byteCount);
  std::int64_t got = file_.readAt(static_cast<std::uint64_t>(filePos_), scratch);
  if (got <= 0) {
    lastError_ = got < 0 ? file_.error() : "read past the end";
    return false;
  }
  // What was read, then zeros, to the full length.
  std::memcpy(buffer, scratch.data(), byteCount);
  filePos_ += got;
  return got == static_cast<std::int64_t>(byteCount);
}

bool FileReadSeek::seek(std::int64_t offset, int moveMethod) {
  std::int64_t target = -1;
  switch (moveMethod) {
    case 0: target = offset + baseOffset; break;
    case 1: target = filePos_ + offset; break;
    case 2: target = file_.size() + offset; break;
    default: break;
  }
  if (target < 0 || !file_.isOpen()) return false;
  filePos_ = target;
  position = target - baseOffset;
  return true;
}

bool FileReadSeek::readAt(std::int64_t offset, MutableByteSpan out) {
  if (offset < 0) {
    std::fill(out.begin(), out.end(), std::byte{0});
    return false;
  }
  std::int64_t got = file_.readAt(static_cast<std::uint64_t>(offset), out);
  std::size_t valid = got > 0 ? static_cast<std::size_t>(got) : 0;
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(valid), out.end(), std::byte{0});
  if (valid < out.size()) {
    lastError_ = got < 0 ? file_.error() : "read past the end";
    return false;
  }
  return true;
}

bool FileReadSeek::readAt(std::int64_t offset, std::span<const MutableByteSpan> parts) {
  std::int64_t got = offset < 0 ? -1 : file_.readAt(static_cast<std::uint64_t>(offset), parts);
  std::size_t valid = got > 0 ? static_cast<std::size_t>(got) : 0;
  bool complete = true;
  for (const auto& p : parts) {
    std::size_t keep = std::min(valid, p.size());
    if (keep < p.size()) {
      std::fill(p.begin() + static_cast<std::ptrdiff_t>(keep), p.end(), std::byte{0});
      complete = false;
    }
    valid -= keep;
  }
  if (!complete) lastError_ = got < 0 ? file_.error() : "read past the end";
  return complete;
}

}  // namespace quarnel
