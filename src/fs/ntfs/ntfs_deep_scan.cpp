// Deep mode: every record found anywhere on the volume, without the MFT.
#include <cstdio>

#include "fs/ntfs/ntfs.h"

namespace quarnel {

void ntfs::deepScan() {
  clusterSize = bootClusterSize();
  if (clusterSize == 0) clusterSize = 4096;
  mftFound = false;
  deepExtensions_.clear();
  // Index 0 means "no link", so a record found first could never be placed; a blank
  // entry takes the index.
  if (entryList.empty()) entryList.emplace_back();
  const auto chunks = static_cast<std::int64_t>(volumeSize / kScanChunk);
  reporter_.progressRange(0, chunks);
  std::vector<std::byte> scratch;
  scanChunks(
      volumeSize,
      [&](std::int64_t n) {
        if (stopRequest()) return false;
        reporter_.progressPosition(n);
        return true;
      },
      [&](std::uint64_t position, ByteSpan slot) {
        if (stopRequest()) return SlotAction::Stop;
        const ntfs_format::RecordHeader h = ntfs_format::RecordHeader::decode(slot);
        if (!h.isFile() || !h.searchable()) return SlotAction::Next;
        learnRecordSize(h);
        // Found by their own number later, when an attribute list names them.
        if (h.isExtension()) deepExtensions_.emplace(h.recordNumber, position);
        entryList.push_back(newEntry(position, slot));
        const auto i = static_cast<std::int64_t>(entryList.size() - 1);
        char text[64];
        std::snprintf(text, sizeof text, "MFT ENTRY %lld Found.Parsing it ..", static_cast<long long>(i));
        parseRecordFrom(i, recordFromSlot(position, slot, scratch));
        if (entryList[i].name) {
          entryList[i].orphan = 1;
          reporter_.status(text);
        } else {
          entryList.pop_back();
        }
        return SlotAction::SkipRecord;
      });
  reporter_.progressPosition(chunks);
}

}  // namespace quarnel
