#include "fs/fat/fat_content.h"

#include <algorithm>

namespace quarnel {
namespace {

constexpr std::size_t kExtentsPerBatch = 4096;

}  // namespace

bool streamClusters(const VolumeReader& io, const FatGeometry& geo, const FatTable& fat,
                    const ClusterContent& content, ByteSink& out) {
  if (content.size == 0) return true;
  if (!geo.validCluster(content.firstCluster) || geo.clusterSize == 0) return false;
  // No file holds more clusters than the volume has, whatever its size field claims.
  const std::uint64_t needed = std::min<std::uint64_t>((content.size + geo.clusterSize - 1) / geo.clusterSize,
                                                       geo.clusterLimit);
  ContentMap map;
  std::uint64_t logical = 0;
  bool complete = true;
  // Streamed a batch of runs at a time: a looping or scattered chain never piles up.
  auto flush = [&] {
    map.size = std::min(content.size, logical);
    const ContentReport r = streamContent(io.bytes(), map, out);
    complete = complete && r.complete();
    map.extents.clear();
    map.start = map.size;
    return r.written;
  };
  std::uint32_t c = content.firstCluster;
  for (std::uint64_t got = 0; got < needed && c != 0; ++got) {
    map.add(logical, geo.clusterSize, geo.clusterOffset(c));
    logical += geo.clusterSize;
    if (map.extents.size() >= kExtentsPerBatch && !flush()) return false;
    c = content.order == ClusterOrder::Consecutive ? (geo.validCluster(std::uint64_t{c} + 1) ? c + 1 : 0)
                                                    : fat.next(c);
  }
  if (!flush()) return false;
  // A chain that ends before the size gives what it holds, not invented zeros.
  return complete && map.size == content.size;
}

}  // namespace quarnel
