#include "storage/read_write_interface.h"

namespace quarnel {

std::atomic<std::int64_t> currentDiskSectors{0};

bool readWriteInterface::read(void*, std::uint32_t) { return true; }
bool readWriteInterface::seek(std::int64_t, int) { return true; }
bool readWriteInterface::rotateMembers(std::string*) { return true; }

bool readWriteInterface::readAt(std::int64_t offset, std::span<const MutableByteSpan> parts) {
  bool ok = true;
  for (const auto& p : parts) {
    ok = readAt(offset, p) && ok;
    offset += static_cast<std::int64_t>(p.size());
  }
  return ok;
}

std::int64_t readWriteInterface::resolveSeek(std::int64_t offset, int moveMethod) const {
  std::int64_t target = -1;
  switch (moveMethod) {
    case 0: target = offset + baseOffset; break;
    case 1: target = position + baseOffset + offset; break;
    case 2: target = sizeSectors() * kSectorSize + offset; break;
    default: return -1;
  }
  return target < 0 ? -1 : target;
}

}  // namespace quarnel
