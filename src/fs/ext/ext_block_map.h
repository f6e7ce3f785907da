// Where a file's blocks lie: the classic block map with its indirect blocks, or the extent
// tree of any depth. The result is a list of runs in file order; what no run covers is a
// hole and reads as zeros.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fs/ext/ext_inode.h"
#include "platform/bytes.h"

namespace quarnel::ext {

struct BlockRun {
  std::uint64_t logical = 0;   // first block of the run in the file
  std::uint64_t physical = 0;  // first block on the volume
  std::uint64_t count = 0;
  bool zeroed = false;         // an uninitialized extent: allocated, reads as zeros
};

struct BlockMap {
  std::vector<BlockRun> runs;  // sorted by logical, not overlapping
  bool complete = true;        // false when a pointer or node had to be left out
};

// Reads blocks of the volume: indirect blocks and tree nodes for the mapper, data for content.
class BlockReader {
 public:
  virtual ~BlockReader() = default;
  // out.size() is a whole number of blocks, read from first on.
  virtual bool readBlocks(std::uint64_t first, MutableByteSpan out) = 0;
};

struct MapLimits {
  std::uint32_t blockSize = 1024;
  std::uint64_t volumeBlocks = 0;  // block numbers at or past this are hostile
  std::uint64_t fileBlocks = 0;    // logical blocks past this are not mapped
};

BlockMap mapBlocks(const Inode& inode, const MapLimits& limits, BlockReader& reader);

}  // namespace quarnel::ext
