// Where the FAT-family structures lie in a volume: the allocation table, the FAT12/16 root
// region and the clusters. Filled from a boot sector, or from the user's choices in the
// advanced mode; all offsets are bytes from the volume's start, in 64 bits.
#pragma once

#include <cstdint>

namespace quarnel {

enum class FatWidth : std::uint8_t { Fat12, Fat16, Fat32, Exfat };

struct FatGeometry {
  FatWidth width = FatWidth::Fat32;
  std::uint32_t bytesPerSector = 512;
  std::uint32_t sectorsPerCluster = 1;
  std::uint64_t clusterSize = 512;
  std::uint64_t fatOffset = 0;
  std::uint64_t fatSize = 0;   // bytes of one FAT copy
  std::uint32_t fatCount = 1;
  std::uint64_t rootOffset = 0;  // FAT12/16: the fixed root region
  std::uint64_t rootSize = 0;
  std::uint32_t rootCluster = 0;  // FAT32 and exFAT: the root folder's first cluster
  std::uint64_t dataOffset = 0;   // the first byte of cluster 2
  // One past the highest cluster number that lies in the volume.
  std::uint32_t clusterLimit = 2;

  bool validCluster(std::uint64_t n) const { return n >= 2 && n < clusterLimit; }
  std::uint64_t clusterOffset(std::uint32_t n) const {
    return dataOffset + static_cast<std::uint64_t>(n - 2) * clusterSize;
  }
};

}  // namespace quarnel
