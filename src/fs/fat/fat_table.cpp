#include "fs/fat/fat_table.h"

#include <algorithm>

namespace quarnel {
namespace {

constexpr std::uint32_t kFat32Mask = 0x0FFFFFFF;
// From these values up an entry is a bad-cluster or end-of-chain mark.
constexpr std::uint32_t kFat12Bad = 0xFF7;
constexpr std::uint32_t kFat16Bad = 0xFFF7;
constexpr std::uint32_t kFat32Bad = 0x0FFFFFF7;
constexpr std::uint32_t kExfatBad = 0xFFFFFFF7;

}  // namespace

FatTable::FatTable(const VolumeReader& io, std::uint64_t offset, std::uint64_t sizeBytes,
                   FatWidth width, std::uint32_t clusterLimit)
    : io_(&io), offset_(offset), width_(width), clusterLimit_(clusterLimit) {
  size_ = offset < io.size() ? std::min(sizeBytes, io.size() - offset) : 0;
  const auto count = static_cast<std::size_t>((size_ + kBlock - 1) / kBlock);
  blocks_.resize(count);
  loaded_ = std::make_unique<std::atomic<bool>[]>(count);
}

const std::vector<std::byte>& FatTable::block(std::size_t index) const {
  if (loaded_[index].load(std::memory_order_acquire)) return blocks_[index];
  std::lock_guard lock(*loading_);
  auto& b = blocks_[index];
  if (!loaded_[index].load(std::memory_order_relaxed)) {
    const std::uint64_t start = std::uint64_t{index} * kBlock;
    b.resize(static_cast<std::size_t>(std::min(kBlock, size_ - start)));
    io_->read(offset_ + start, b);
    loaded_[index].store(true, std::memory_order_release);
  }
  return b;
}

std::uint8_t FatTable::byteAt(std::uint64_t at) const {
  if (at >= size_) return 0;
  return static_cast<std::uint8_t>(block(static_cast<std::size_t>(at / kBlock))[static_cast<std::size_t>(at % kBlock)]);
}

std::uint32_t FatTable::bytesLe(std::uint64_t at, int count) const {
  std::uint32_t v = 0;
  for (int i = count - 1; i >= 0; --i) v = (v << 8) | byteAt(at + static_cast<std::uint64_t>(i));
  return v;
}

std::uint32_t FatTable::entry(std::uint32_t c) const {
  switch (width_) {
    case FatWidth::Fat12: {
      const std::uint32_t pair = bytesLe(std::uint64_t{c} * 3 / 2, 2);
      return (c & 1) ? pair >> 4 : pair & 0xFFF;
    }
    case FatWidth::Fat16: return bytesLe(std::uint64_t{c} * 2, 2);
    case FatWidth::Fat32: return bytesLe(std::uint64_t{c} * 4, 4) & kFat32Mask;
    case FatWidth::Exfat: return bytesLe(std::uint64_t{c} * 4, 4);
  }
  return 0;
}

std::uint32_t FatTable::next(std::uint32_t c) const {
  if (!validCluster(c)) return 0;
  const std::uint32_t v = entry(c);
  const std::uint32_t bad = width_ == FatWidth::Fat12   ? kFat12Bad
                            : width_ == FatWidth::Fat16 ? kFat16Bad
                            : width_ == FatWidth::Fat32 ? kFat32Bad
                                                        : kExfatBad;
  if (v >= bad || !validCluster(v)) return 0;
  return v;
}

}  // namespace quarnel
