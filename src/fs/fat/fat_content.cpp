#include "fs/fat/fat_content.h"

#include <algorithm>

namespace quarnel {
bool streamClusters(const VolumeReader& io, const FatGeometry& geo, const FatTable& fat,
                    const ClusterContent& content, ByteSink& out) {
  if (content.size == 0) return true;
  if (!geo.validCluster(content.firstCluster) || geo.clusterSize == 0) return false;
  const std::uint64_t needed = (content.size + geo.clusterSize - 1) / geo.clusterSize;
  ContentMap map;
  std::uint64_t logical = 0;
  std::uint32_t c = content.firstCluster;
  // The count bounds the walk, so a chain that loops cannot hold it up.
  for (std::uint64_t got = 0; got < needed && c != 0; ++got) {
    map.add(logical, geo.clusterSize, geo.clusterOffset(c));
    logical += geo.clusterSize;
    c = content.order == ClusterOrder::Consecutive ? (geo.validCluster(std::uint64_t{c} + 1) ? c + 1 : 0)
                                                    : fat.next(c);
  }
  // A chain that ends before the size gives what it holds, not invented zeros.
  map.size = std::min(content.size, logical);
  const ContentReport r = streamContent(io.bytes(), map, out);
  return r.complete() && map.size == content.size;
}

}  // namespace quarnel
