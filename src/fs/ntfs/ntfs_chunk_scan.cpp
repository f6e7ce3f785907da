// The walk the deep scan and the MFT searches share: the volume in 10 MiB chunks from its
// start, every 512-byte slot tested in memory.
#include "fs/ntfs/ntfs.h"

namespace quarnel {

void ntfs::scanChunks(std::uint64_t end, const std::function<bool(std::int64_t)>& beforeChunk,
                      const std::function<SlotAction(std::uint64_t, ByteSpan)>& onSlot) {
  std::vector<std::byte> chunk(kScanChunk);
  std::uint64_t carry = 0;  // a record's second half reaching into the next chunk
  std::int64_t n = 0;
  for (std::uint64_t pos = 0; pos < end; pos += kScanChunk, ++n) {
    if (!beforeChunk(n)) return;
    const std::uint64_t limit = readLimit();
    // Past what the source can read there is nothing more to find.
    if (pos >= limit) return;
    const std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(kScanChunk, limit - pos));
    std::fill(chunk.begin(), chunk.end(), std::byte{0});
    readBytes(pos, MutableByteSpan(chunk).first(len));
    std::size_t off = static_cast<std::size_t>(std::min<std::uint64_t>(carry, len));
    carry -= off;
    for (; off + kScanSlot <= len; off += kScanSlot) {
      const SlotAction a = onSlot(pos + off, ByteSpan(chunk).subspan(off, len - off));
      if (a == SlotAction::Stop) return;
      if (a == SlotAction::SkipRecord) off += recordSize_ - kScanSlot;
    }
    if (off > len) carry += off - len;
  }
}

ByteSpan ntfs::recordFromSlot(std::uint64_t position, ByteSpan slot, std::vector<std::byte>& scratch) {
  if (slot.size() >= recordSize_) return slot.first(recordSize_);
  scratch.assign(recordSize_, std::byte{0});
  readBytes(position, scratch);
  return scratch;
}

void ntfs::learnRecordSize(const ntfs_format::RecordHeader& header) {
  if (recordSizeKnown_) return;
  recordSizeKnown_ = true;
  if (header.usaCount == ntfs_format::kLargeRecord / ntfs_format::kFixupStride + 1) recordSize_ = ntfs_format::kLargeRecord;
}

}  // namespace quarnel
