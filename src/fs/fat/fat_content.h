// A file's content from its clusters: along its FAT chain, or as a run of consecutive
// clusters (exFAT's contiguous files, freed chains of deleted files, formatted volumes).
#pragma once

#include <cstdint>

#include "fs/fat/fat_geometry.h"
#include "fs/fat/fat_table.h"
#include "fs/fat/fat_volume_io.h"
#include "platform/byte_sink.h"

namespace quarnel {

enum class ClusterOrder { Chain, Consecutive };

struct ClusterContent {
  std::uint32_t firstCluster = 0;
  std::uint64_t size = 0;
  ClusterOrder order = ClusterOrder::Chain;
};

// Writes content.size bytes to out through the content streamer, each run of adjacent
// clusters read in large batches. False when the clusters end before the size is reached
// (the file comes out as long as its clusters) or some could not be read (zeros in place).
bool streamClusters(const VolumeReader& io, const FatGeometry& geo, const FatTable& fat,
                    const ClusterContent& content, ByteSink& out);

}  // namespace quarnel
