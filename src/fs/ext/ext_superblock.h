// The ext superblock and the block group descriptors behind it: what the geometry of the
// volume is, and where each group keeps its inode table.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/bytes.h"

namespace quarnel::ext {

inline constexpr std::uint16_t kSuperblockMagic = 0xEF53;
inline constexpr std::size_t kSuperblockSize = 1024;

inline constexpr std::uint32_t kIncompatFileType = 0x0002;
inline constexpr std::uint32_t kIncompatExtents = 0x0040;
inline constexpr std::uint32_t kIncompat64Bit = 0x0080;

struct Superblock {
  std::uint32_t inodeCount = 0;
  std::uint64_t blockCount = 0;  // with the high half on 64bit volumes
  std::uint32_t firstDataBlock = 0;
  std::uint32_t logBlockSize = 0;
  std::uint32_t blocksPerGroup = 0;
  std::uint32_t inodesPerGroup = 0;
  std::uint16_t magic = 0;
  std::uint32_t revision = 0;
  std::uint32_t firstInode = 11;
  std::uint16_t inodeSize = 128;
  std::uint32_t featureCompat = 0;
  std::uint32_t featureIncompat = 0;
  std::uint32_t featureRoCompat = 0;
  std::uint16_t descSize = 32;

  static Superblock decode(ByteSpan s);
  // Magic, block size up to 64 KiB, groups that a bitmap block can describe, a sane inode
  // size: what separates a superblock from bytes that happen to hold 0xEF53.
  bool plausible() const;

  std::uint32_t blockSize() const { return logBlockSize <= 6 ? 1024u << logBlockSize : 0; }
  // Every group counts, the last, partial one too.
  std::uint64_t groupCount() const;
  std::uint32_t descriptorSize() const;
  bool fileTypeInEntries() const { return (featureIncompat & kIncompatFileType) != 0; }
};

// "ext 2 file System" / "ext 3 file System" / "ext 4 file System" for the exact
// read-only-compatible feature sets 0, 3 and 0x7B; empty for any other.
std::string_view versionMessage(std::uint32_t roCompat);

// The inode table block of the descriptor at offset in the descriptor array.
std::uint64_t inodeTableBlock(ByteSpan descriptors, std::size_t offset, bool is64Bit);

}  // namespace quarnel::ext
