// The FAT32 parser: standard mode from the boot sector (the root directory is the chain
// from the boot sector's root cluster), advanced mode from a FAT position and a cluster
// size the user chose, with the search for FAT positions.
#pragma once

#include <cstdint>
#include <vector>

#include "fs/fat/fat_parser.h"

namespace quarnel {

class Fat32Class : public FatFamilyParser {
 public:
  Fat32Class();

  // True for a plausible FAT32 parameter block, whatever the OEM name.
  bool checkBootSector();
  // Standard mode: the root directory's clusters, then the walk below them.
  std::uint32_t countRootClusters();
  bool readRootDirectory();
  std::vector<FatEntryRecord>& collectRootEntries();
  // The cluster after c, 0x0FFFFFFF where the chain ends or is not followed.
  std::uint32_t nextCluster(std::uint32_t c) const;

  // Advanced mode. The data offset comes from the boot sector, else its backup at sector
  // 6, else the first volume-label slot the scan finds, else the first found slot.
  void setFatOffset(std::uint64_t position);
  void scanForEntries();
  std::vector<FatEntryRecord>& buildFromScan(std::uint64_t position);

  // Positions of FAT entries 0 and 1 (F8 FF FF 0F FF FF FF FF, compared in 28 bits) at
  // sector starts.
  std::vector<std::uint64_t> findFatCandidates(int limit);

 private:
  FatDirectoryBytes root_;
};

}  // namespace quarnel
