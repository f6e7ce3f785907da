#include "fs/ext/ext_inode.h"

#include <algorithm>

namespace quarnel::ext {
namespace {

constexpr std::size_t kMode = 0;
constexpr std::size_t kSizeLo = 4;
constexpr std::size_t kAccessTime = 8;
constexpr std::size_t kChangeTime = 12;
constexpr std::size_t kModifyTime = 16;
constexpr std::size_t kDeletionTime = 20;
constexpr std::size_t kLinkCount = 26;
constexpr std::size_t kSectorsLo = 28;
constexpr std::size_t kFlags = 32;
constexpr std::size_t kBlockArea = 40;
constexpr std::size_t kSizeHi = 108;
constexpr std::size_t kSectorsHi = 116;
constexpr std::size_t kGoodOldSize = 128;
constexpr std::size_t kExtraSize = 128;
constexpr std::size_t kChangeExtra = 0x84;
constexpr std::size_t kModifyExtra = 0x88;
constexpr std::size_t kAccessExtra = 0x8C;

// In-inode extended attributes: a magic word, then entries up to a zero word.
constexpr std::uint32_t kXattrMagic = 0xEA020000;
constexpr std::size_t kXattrEntryHeader = 16;
constexpr std::uint8_t kXattrIndexSystem = 7;

// Seconds are signed 32-bit; the extra word holds two epoch bits and the nanoseconds.
Instant timeOf(ByteSpan slot, std::size_t at, std::size_t extraAt, bool haveExtra) {
  std::int64_t seconds = static_cast<std::int32_t>(le32(slot, at));
  std::int32_t nanos = 0;
  if (haveExtra) {
    const std::uint32_t extra = le32(slot, extraAt);
    seconds += static_cast<std::int64_t>(extra & 3) << 32;
    nanos = static_cast<std::int32_t>(std::min<std::uint32_t>(extra >> 2, 999999999));
  }
  return instantFromUnix(seconds, nanos);
}

// The value of "system.data" among the attributes that follow the inode's extra fields.
std::vector<std::byte> inlineAttribute(ByteSpan slot, std::size_t start) {
  if (le32(slot, start) != kXattrMagic) return {};
  const std::size_t base = start + 4;  // value offsets count from the first entry
  std::size_t at = base;
  while (fits(slot, at, kXattrEntryHeader) && le32(slot, at) != 0) {
    const std::uint8_t nameLen = u8(slot, at);
    const std::uint8_t index = u8(slot, at + 1);
    const std::uint16_t valueOffset = le16(slot, at + 2);
    const std::uint32_t valueSize = le32(slot, at + 8);
    if (index == kXattrIndexSystem && hasText(slot, at + kXattrEntryHeader, "data") && nameLen == 4) {
      if (!fits(slot, base + valueOffset, valueSize)) return {};
      auto v = slot.subspan(base + valueOffset, valueSize);
      return {v.begin(), v.end()};
    }
    at += (kXattrEntryHeader + nameLen + 3) & ~std::size_t{3};
  }
  return {};
}

}  // namespace

Inode Inode::decode(ByteSpan slot) {
  Inode n;
  n.mode = le16(slot, kMode);
  n.size = le32(slot, kSizeLo) | static_cast<std::uint64_t>(le32(slot, kSizeHi)) << 32;
  std::size_t extraEnd = 0;
  if (slot.size() > kGoodOldSize) extraEnd = kGoodOldSize + le16(slot, kExtraSize);
  n.accessed = timeOf(slot, kAccessTime, kAccessExtra, extraEnd >= kAccessExtra + 4);
  n.changed = timeOf(slot, kChangeTime, kChangeExtra, extraEnd >= kChangeExtra + 4);
  n.modified = timeOf(slot, kModifyTime, kModifyExtra, extraEnd >= kModifyExtra + 4);
  n.deletionTime = le32(slot, kDeletionTime);
  n.linkCount = le16(slot, kLinkCount);
  n.sectorCount = le32(slot, kSectorsLo) | static_cast<std::uint64_t>(le16(slot, kSectorsHi)) << 32;
  n.flags = le32(slot, kFlags);
  if (fits(slot, kBlockArea, kBlockAreaSize))
    std::copy_n(slot.begin() + kBlockArea, kBlockAreaSize, n.blockArea.begin());
  if (n.hasInlineData() && extraEnd > kGoodOldSize && extraEnd < slot.size())
    n.inlineTail = inlineAttribute(slot, extraEnd);
  return n;
}

bool Inode::isFastSymlink() const {
  // As e2fsprogs decides it: a target shorter than the block area is kept there.
  return (mode & kModeTypeMask) == kModeSymlink && !hasInlineData() && size > 0 &&
         size < kBlockAreaSize;
}

std::string permissionLetters(std::uint16_t mode) {
  static constexpr const char* kLetters[] = {"-OE", "-OW", "-OR", "-GE", "-GW",
                                             "-GR", "-UE", "-UW", "-UR"};
  std::string out;
  for (int bit = 0; bit < 9; ++bit)
    if (mode & (1u << bit)) out += kLetters[bit];
  return out;
}

}  // namespace quarnel::ext
