// The FAT12/16/32 boot sector's parameter block, decoded in full, and the geometry it
// describes. A volume is trusted by its parameter block, whatever its OEM name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "fs/fat/fat_geometry.h"
#include "platform/bytes.h"

namespace quarnel {

struct FatBootRecord {
  std::string oemName;  // bytes 3..10 as they stand
  std::uint16_t bytesPerSector = 0;
  std::uint8_t sectorsPerCluster = 0;
  std::uint16_t reservedSectors = 0;
  std::uint8_t fatCount = 0;
  std::uint16_t rootEntryCount = 0;
  std::uint16_t totalSectors16 = 0;
  std::uint16_t sectorsPerFat16 = 0;
  std::uint32_t totalSectors32 = 0;
  std::uint32_t sectorsPerFat32 = 0;
  std::uint32_t rootCluster = 0;
  std::uint16_t backupBootSector = 0;
  bool parameterBlock = false;  // the jump, sizes and signature a formatter writes

  static FatBootRecord decode(ByteSpan sector);
  // FAT32 leaves the 16-bit sectors-per-FAT field 0.
  bool isFat32() const { return sectorsPerFat16 == 0; }
  std::uint64_t totalSectors() const;
  // The layout when the parameter block is plausible and consistent; FAT12 when a
  // FAT16-style volume has fewer than 4085 clusters.
  std::optional<FatGeometry> geometry() const;
};

}  // namespace quarnel
