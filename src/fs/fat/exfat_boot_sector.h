// The exFAT boot sector (the main one at sector 0, or its backup at sector 12) and the
// geometry it describes.
#pragma once

#include <cstdint>
#include <optional>

#include "fs/fat/fat_geometry.h"
#include "platform/bytes.h"

namespace quarnel {

inline constexpr std::uint64_t kExfatBackupBootSector = 12;

struct ExfatBootRecord {
  bool exfatName = false;  // "EXFAT" at bytes 3..7
  std::uint64_t volumeLength = 0;  // sectors
  std::uint32_t fatOffset = 0;     // sectors
  std::uint32_t fatLength = 0;     // sectors
  std::uint32_t heapOffset = 0;    // sectors
  std::uint32_t clusterCount = 0;
  std::uint32_t rootCluster = 0;
  std::uint8_t bytesPerSectorShift = 0;
  std::uint8_t sectorsPerClusterShift = 0;

  static ExfatBootRecord decode(ByteSpan sector);
  // The layout when the name is there and the fields agree with each other.
  std::optional<FatGeometry> geometry() const;
};

}  // namespace quarnel
