#include "fs/fat/fat_content.h"

#include <algorithm>
#include <vector>

namespace quarnel {
namespace {

constexpr std::uint64_t kBlock = 1 << 20;

}  // namespace

bool streamClusters(const VolumeReader& io, const FatGeometry& geo, const FatTable& fat,
                    const ClusterContent& content, ByteSink& out) {
  if (content.size == 0) return true;
  if (!geo.validCluster(content.firstCluster) || geo.clusterSize == 0) return false;
  std::uint64_t remaining = content.size;
  const std::uint64_t needed = (content.size + geo.clusterSize - 1) / geo.clusterSize;
  std::vector<std::byte> buffer(static_cast<std::size_t>(std::min(kBlock, content.size)));
  bool ok = true;

  // A run of adjacent clusters, read and written in blocks until the size is reached.
  const auto flush = [&](std::uint32_t first, std::uint64_t count) {
    std::uint64_t at = geo.clusterOffset(first);
    std::uint64_t left = std::min(count * geo.clusterSize, remaining);
    while (left > 0 && ok) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
      const MutableByteSpan piece(buffer.data(), n);
      if (!io.read(at, piece)) ok = false;
      if (!out.write(piece)) ok = false;
      at += n;
      left -= n;
      remaining -= n;
    }
  };

  std::uint32_t runStart = content.firstCluster;
  std::uint64_t runLength = 1;
  std::uint32_t c = content.firstCluster;
  // The count bounds the walk, so a chain that loops cannot hold it up.
  for (std::uint64_t got = 1; got < needed && ok; ++got) {
    const std::uint32_t next = content.order == ClusterOrder::Consecutive
                                   ? (geo.validCluster(std::uint64_t{c} + 1) ? c + 1 : 0)
                                   : fat.next(c);
    if (next == 0) break;
    if (next == c + 1) {
      ++runLength;
    } else {
      flush(runStart, runLength);
      runStart = next;
      runLength = 1;
    }
    c = next;
  }
  if (ok) flush(runStart, runLength);
  return ok && remaining == 0;
}

}  // namespace quarnel
