#include "storage/volume_source.h"

namespace quarnel {

VolumeSource::VolumeSource(readWriteInterface& disk) : disk_(disk) {
  memberCount = disk.memberCount;
  handle = disk.handle;
  setReporter(&disk.reporter());
}

bool VolumeSource::open(const std::string&) { return disk_.sizeSectors() > 0; }

bool VolumeSource::read(void* buffer, std::uint32_t byteCount) {
  const std::int64_t at = position + baseOffset;
  if (at < 0) return false;
  bool ok = readAt(at, MutableByteSpan(static_cast<std::byte*>(buffer), byteCount));
  position += byteCount;
  return ok;
}

bool VolumeSource::seek(std::int64_t offset, int moveMethod) {
  const std::int64_t target = resolveSeek(offset, moveMethod);
  if (target < 0) return false;
  position = target - baseOffset;
  return true;
}

bool VolumeSource::readAt(std::int64_t offset, MutableByteSpan out) {
  if (disk_.readAt(offset, out)) return true;
  lastError_ = disk_.lastError();
  return false;
}

bool VolumeSource::readAt(std::int64_t offset, std::span<const MutableByteSpan> parts) {
  if (disk_.readAt(offset, parts)) return true;
  lastError_ = disk_.lastError();
  return false;
}

}  // namespace quarnel
