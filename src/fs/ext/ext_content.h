// A file's bytes from its block runs: data read in contiguous stretches, holes and
// uninitialized extents written as zeros, everything cut at the file's size.
#pragma once

#include <cstdint>

#include "fs/ext/ext_block_map.h"
#include "fs/ext/ext_inode.h"
#include "platform/byte_sink.h"

namespace quarnel::ext {

struct ContentResult {
  bool written = true;    // the sink took everything
  bool readAll = true;    // every block could be read
};

// Holes up to size become zeros; with holesToEnd false (a deleted inode whose map the
// driver emptied) nothing is written past the last mapped block.
ContentResult writeRuns(const BlockMap& map, std::uint64_t size, std::uint32_t blockSize,
                        BlockReader& reader, ByteSink& out, bool holesToEnd);

// Content held in the inode itself: inline data and fast symbolic links.
bool writeInlineContent(const Inode& inode, ByteSink& out);

}  // namespace quarnel::ext
