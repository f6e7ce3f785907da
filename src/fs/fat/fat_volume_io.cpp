#include "fs/fat/fat_volume_io.h"

#include <algorithm>
#include <limits>

namespace quarnel {

bool VolumeReader::read(std::uint64_t offset, MutableByteSpan out) const {
  std::fill(out.begin(), out.end(), std::byte{0});
  if (disk_ == nullptr || offset >= size_) return out.empty();
  const std::uint64_t avail = std::min<std::uint64_t>(out.size(), size_ - offset);
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (start_ > kMax || offset > kMax - start_) return false;
  const bool ok = disk_->readAt(static_cast<std::int64_t>(start_ + offset), out.first(avail));
  return ok && avail == out.size();
}

}  // namespace quarnel
