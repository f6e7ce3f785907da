#include "fs/hfsplus/hfs_leaf_scan.h"

namespace quarnel::hfs {
namespace {

constexpr std::uint16_t kMaxScanRecords = 999;
constexpr std::uint16_t kScanOffsetLimit = 0x8000;
constexpr std::size_t kKindByte = 8;
constexpr std::uint8_t kLeafKindByte = 0xFF;

std::size_t detectNodeSize(ByteSpan at) {
  for (std::size_t size = 512; size <= 32768; size *= 2)
    if (looksLikeLeaf(at, size)) return size;
  return 0;
}

}  // namespace

void scanForLeaves(ByteSpan chunk, std::uint64_t scanBytes, std::uint64_t base,
                   const LeafScanOptions& o, std::vector<HfsNodeInfo>& out) {
  if (o.step == 0) return;
  for (std::uint64_t at = 0; at < scanBytes && at < chunk.size(); at += o.step) {
    if (u8(chunk, at + kKindByte) != kLeafKindByte) continue;  // the cheap test first
    ByteSpan candidate = chunk.subspan(at);
    const std::size_t size = o.nodeSize ? (looksLikeLeaf(candidate, o.nodeSize) ? o.nodeSize : 0)
                                        : detectNodeSize(candidate);
    if (size == 0) continue;
    const NodeDescriptor d = NodeDescriptor::decode(candidate);
    if (d.recordCount < 1 || d.recordCount > kMaxScanRecords) continue;
    HfsNodeInfo info;
    info.nodeNumber = (base + at) / o.step;
    info.position = base + at;
    info.kind = d.kind;
    info.height = d.height;
    info.recordCount = d.recordCount;
    for (std::uint16_t off : recordOffsets(candidate.subspan(0, size), d.recordCount))
      if (off != 0 && off < kScanOffsetLimit) info.offsets.push_back(off);
    info.nodeSize = static_cast<std::uint32_t>(size);
    out.push_back(std::move(info));
  }
}

}  // namespace quarnel::hfs
