// The scan of advanced and deep modes: catalog leaf nodes wherever they lie on the volume,
// found by their descriptor and the offset of their first record.
#pragma once

#include <cstdint>
#include <vector>

#include "fs/hfsplus/hfs_btree.h"
#include "platform/bytes.h"

namespace quarnel::hfs {

struct LeafScanOptions {
  std::uint64_t step = 512;    // bytes between candidate starts (the block size when known)
  std::uint64_t nodeSize = 0;  // 0: found per node, from the sizes a B-tree may have
};

// Tests every candidate start in chunk[0, scanBytes) (the chunk holds one node more so
// that nodes starting near its end are seen whole); base is the chunk's volume position.
void scanForLeaves(ByteSpan chunk, std::uint64_t scanBytes, std::uint64_t base,
                   const LeafScanOptions& options, std::vector<HfsNodeInfo>& out);

}  // namespace quarnel::hfs
