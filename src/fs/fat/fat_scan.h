// The advanced mode's search for directory entries: every 32-byte slot of the volume is
// judged by the byte rules of the FAT32 or the FAT16 parser, read sequentially in large
// blocks.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "fs/fat/fat_volume_io.h"
#include "platform/bytes.h"
#include "platform/job.h"
#include "platform/reporter.h"

namespace quarnel {

enum class FatSlotKind { None, LongName, Folder, File };
enum class FatScanRules { Fat32, Fat16 };

// What a slot looks like by the rules; clusterCount bounds its first cluster.
FatSlotKind fat32SlotKind(ByteSpan slot, std::uint64_t clusterCount);
FatSlotKind fat16SlotKind(ByteSpan slot, std::uint64_t clusterCount);
// FAT32: a volume label (or "RECYCLE") slot, which is taken to open cluster 2.
bool fat32DataOffsetSlot(ByteSpan slot);

struct FatScanResult {
  std::vector<std::uint64_t> found;                 // slot positions, in volume order
  std::optional<std::uint64_t> dataOffsetSlot;      // FAT32: the first label-like slot
};

// Reads the whole volume; a stop request ends the scan early with what was found.
FatScanResult scanFatSlots(const VolumeReader& io, FatScanRules rules, std::uint64_t clusterCount,
                           Reporter& reporter, JobControl& job);

}  // namespace quarnel
