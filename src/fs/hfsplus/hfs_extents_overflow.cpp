#include "fs/hfsplus/hfs_extents_overflow.h"

namespace quarnel::hfs {
namespace {

constexpr std::size_t kKeyLength = 0;
constexpr std::size_t kForkType = 2;
constexpr std::size_t kFileId = 4;
constexpr std::size_t kStartBlock = 8;
constexpr std::uint16_t kExpectedKeyLength = 10;
constexpr std::size_t kExtents = 12;
constexpr std::size_t kRecordSize = kExtents + 8 * 8;

}  // namespace

bool decodeOverflowRecord(ByteSpan node, std::size_t offset, std::size_t end, OverflowRecord& out) {
  if (end > node.size() || offset >= end || end - offset < kRecordSize) return false;
  ByteSpan rec = node.subspan(offset, end - offset);
  if (be16(rec, kKeyLength) != kExpectedKeyLength) return false;
  out.forkType = u8(rec, kForkType);
  out.fileId = be32(rec, kFileId);
  out.startBlock = be32(rec, kStartBlock);
  for (std::size_t i = 0; i < out.extents.size(); ++i)
    out.extents[i] = {be32(rec, kExtents + i * 8), be32(rec, kExtents + i * 8 + 4)};
  return true;
}

}  // namespace quarnel::hfs
