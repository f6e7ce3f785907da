// The exFAT advanced mode's search for complete directory entry sets, and for the volume
// label entry that marks the root directory, read sequentially in large blocks.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "fs/fat/fat_volume_io.h"
#include "platform/job.h"
#include "platform/reporter.h"

namespace quarnel {

struct ExfatScanResult {
  std::vector<std::uint64_t> found;          // File entry positions of complete sets
  std::optional<std::uint64_t> rootPosition;  // the first volume label entry
};

ExfatScanResult scanExfatSets(const VolumeReader& io, Reporter& reporter, JobControl& job);

}  // namespace quarnel
