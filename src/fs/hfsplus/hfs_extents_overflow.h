// Extents-overflow records: the extents of a fork past the eight its catalog record holds,
// keyed by file ID and the fork's block where they begin.
#pragma once

#include <array>
#include <cstdint>

#include "fs/hfsplus/hfs_volume_header.h"
#include "platform/bytes.h"

namespace quarnel::hfs {

inline constexpr std::uint8_t kDataFork = 0x00;

struct OverflowRecord {
  std::uint8_t forkType = 0;
  std::uint32_t fileId = 0;
  std::uint32_t startBlock = 0;  // in the fork
  std::array<Extent, 8> extents{};
};

// The record at offset of a leaf node of the extents-overflow tree; false when its key or
// extents do not fit in [offset, end).
bool decodeOverflowRecord(ByteSpan node, std::size_t offset, std::size_t end, OverflowRecord& out);

}  // namespace quarnel::hfs
