// What the partition-table walks and the boot-sector scan share. Internal to src/volumes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/bytes.h"
#include "volumes/partition.h"

namespace quarnel::detail {

// The partition's reporter, or one that listens to nothing.
VolumeReporter& reporterOf(Partition& partition);
void appendRecord(Partition& partition, const VolumeRecord& record);

// Says so when the sectors first..last (inclusive) do not lie on a disk of diskSectors
// (0: size unknown, nothing is said). `entry` names the table entry for the message.
void warnIfPastEnd(VolumeReporter& reporter, std::string_view entry, std::int64_t first,
                   std::int64_t last, std::int64_t diskSectors);

std::int32_t walkMbr(readWriteInterface& source, Partition& partition);
// headerSector: sector 1 of the disk, where the GPT header belongs.
std::int32_t walkGpt(readWriteInterface& source, Partition& partition, ByteSpan headerSector);

}  // namespace quarnel::detail
