// The HFS+ (and HFSX) volume header: block size and the forks of the special files.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/bytes.h"

namespace quarnel::hfs {

inline constexpr std::uint64_t kVolumeHeaderOffset = 1024;
inline constexpr std::size_t kVolumeHeaderSize = 512;
inline constexpr std::uint32_t kCatalogFileId = 4;
inline constexpr std::uint32_t kRootFolderId = 2;

struct Extent {
  std::uint32_t start = 0;  // allocation block
  std::uint32_t count = 0;
};

struct ForkData {
  std::uint64_t logicalSize = 0;
  std::uint32_t totalBlocks = 0;
  std::array<Extent, 8> extents{};

  // fork is the 80-byte fork data record.
  static ForkData decode(ByteSpan fork);
};

struct VolumeHeader {
  std::uint16_t signature = 0;  // "H+" or "HX"
  std::uint32_t blockSize = 0;
  std::uint32_t totalBlocks = 0;
  ForkData extentsFile;
  ForkData catalogFile;

  static VolumeHeader decode(ByteSpan header);
  bool knownSignature() const;
};

// Allocation block sizes taken as real: powers of two from 512 bytes to 64 KiB.
bool validBlockSize(std::uint64_t size);

// The extents of a fork that hold blocks, in fork order.
std::vector<Extent> usedExtents(const std::array<Extent, 8>& extents);

}  // namespace quarnel::hfs
