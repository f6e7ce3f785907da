// The FAT16 parser, which also reads FAT12 volumes (fewer than 4085 clusters) with their
// 12-bit table: a fixed root region before the data region, the table held in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "fs/fat/fat_parser.h"

namespace quarnel {

class Fat16Class : public FatFamilyParser {
 public:
  Fat16Class();

  // True for a plausible FAT12 or FAT16 parameter block, whatever the OEM name.
  bool checkBootSector();
  void readFat();
  bool readRootRegion();
  std::vector<FatEntryRecord>& collectRootEntries();
  // The cluster after c, 0xFFFF where the chain ends or is not followed.
  std::uint32_t nextCluster(std::uint32_t c) const;

  // Advanced mode. The root region lies after two FAT copies: the boot sector's when it is
  // intact, else measured by the next FAT candidate, else estimated from the cluster count.
  void setFatOffset(std::uint64_t position);
  void scanForEntries();
  std::vector<FatEntryRecord>& buildFromScan(std::uint64_t position);

  // Positions of the 4 bytes F8 FF FF FF (FAT16 entries 0 and 1) at sector starts.
  std::vector<std::uint64_t> findFatCandidates(int limit);

 private:
  FatDirectoryBytes root_;
};

}  // namespace quarnel
