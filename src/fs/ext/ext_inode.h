// One ext inode: the fields the parser lists and saves from, decoded from its table slot.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "platform/times.h"

namespace quarnel::ext {

inline constexpr std::uint16_t kModeTypeMask = 0xF000;
inline constexpr std::uint16_t kModeDirectory = 0x4000;
inline constexpr std::uint16_t kModeRegular = 0x8000;
inline constexpr std::uint16_t kModeSymlink = 0xA000;

inline constexpr std::uint32_t kFlagIndexedDirectory = 0x1000;
inline constexpr std::uint32_t kFlagExtents = 0x80000;
inline constexpr std::uint32_t kFlagInlineData = 0x10000000;

inline constexpr std::size_t kBlockAreaSize = 60;

struct Inode {
  std::uint16_t mode = 0;
  std::uint64_t size = 0;
  Instant accessed, changed, modified;
  std::uint32_t deletionTime = 0;
  std::uint16_t linkCount = 0;
  std::uint64_t sectorCount = 0;  // i_blocks, in 512-byte units
  std::uint32_t flags = 0;
  std::array<std::byte, kBlockAreaSize> blockArea{};
  // Inline data past the block area (the "system.data" attribute in the inode's tail).
  std::vector<std::byte> inlineTail;

  // slot is the inode's inodeSize bytes of its table.
  static Inode decode(ByteSpan slot);

  bool isDirectory() const { return (mode & kModeTypeMask) == kModeDirectory; }
  bool live() const { return linkCount > 0 && deletionTime == 0; }
  bool usesExtents() const { return (flags & kFlagExtents) != 0; }
  bool hasInlineData() const { return (flags & kFlagInlineData) != 0; }
  // A symbolic link whose target sits in the block area instead of a data block.
  bool isFastSymlink() const;
  std::uint32_t firstBlockWord() const { return le32(blockArea, 0); }
};

// "-OE-OW-OR-GE-GW-GR-UE-UW-UR" for the bits of mode that are set, in that order.
std::string permissionLetters(std::uint16_t mode);

}  // namespace quarnel::ext
