// The advanced mode's search for where a FAT (or exFAT's cluster heap) begins: a fixed
// byte pattern at the start of a sector, read in 10 MiB chunks from the volume's start.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "fs/fat/fat_volume_io.h"
#include "platform/job.h"
#include "platform/reporter.h"

namespace quarnel {

struct SectorPatternSearch {
  std::span<const std::uint8_t> pattern;
  // FAT32: entries compared in their 28 bits, so a FAT whose entry 1 is 0x0FFFFFFF (as
  // mkfs.fat and Linux write it) is found as well as one holding 0xFFFFFFFF.
  bool fat32Masked = false;
  int limit = 3;              // 0 or less: 3
  bool chunkStatus = false;   // "Parsing Disk Currently at position ..." per chunk
  bool foundStatus = true;    // "found fat entry  %d " per match
  bool progress = true;
};

// Positions (bytes from the volume's start) where the pattern opens a sector, in order.
std::vector<std::uint64_t> searchSectorPattern(const VolumeReader& io, const SectorPatternSearch& search,
                                               Reporter& reporter, JobControl& job);

// The patterns: FAT entries 0 and 1 as the formatters write them, and a heap's full
// allocation bitmap.
inline constexpr std::uint8_t kFat32Pattern[] = {0xF8, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF};
inline constexpr std::uint8_t kFat16Pattern[] = {0xF8, 0xFF, 0xFF, 0xFF};
inline constexpr std::uint8_t kExfatFatPattern[] = {0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline constexpr std::uint8_t kExfatHeapPattern[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

}  // namespace quarnel
