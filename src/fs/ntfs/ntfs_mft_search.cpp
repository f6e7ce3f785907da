// Finding the MFT when the boot sector cannot be trusted: the first record named "$MF..."
// (standard mode), or every place where $MFT is followed seven records later by $Boot
// (advanced mode, for the user to choose from).
#include <cstdio>

#include "fs/ntfs/ntfs.h"

namespace quarnel {
namespace {

bool startsWith(const std::optional<std::u16string>& name, std::u16string_view prefix) {
  return name && name->size() >= prefix.size() && std::u16string_view(*name).substr(0, prefix.size()) == prefix;
}

}  // namespace

void ntfs::learnClusterSize(std::uint64_t position) {
  // The MFT's own record opens its first run, so where it lies tells the cluster size the
  // boot sector no longer does.
  const MftRun& first = mftRuns.front();
  if (first.sparse || first.startCluster <= 0) return;
  const auto lcn = static_cast<std::uint64_t>(first.startCluster);
  if (position % lcn != 0) return;
  const std::uint64_t size = position / lcn;
  if (size >= 512 && size <= 2097152 && (size & (size - 1)) == 0) clusterSize = size;
}

bool ntfs::searchMftRecord() {
  reporter_.status("boot sector corrupt.Scanning for first mft entry...");
  mftFound = false;
  mftPosition = 0;
  reporter_.progressRange(0, static_cast<std::int64_t>(volumeSize / kScanChunk));
  std::vector<std::byte> scratch;
  bool found = false;
  scanChunks(
      volumeSize,
      [&](std::int64_t n) {
        if (stopRequest()) return false;
        if (n % 100 == 0) reporter_.progressPosition(n);
        return true;
      },
      [&](std::uint64_t position, ByteSpan slot) {
        if (!hasText(slot, 0, "FILE")) return SlotAction::Next;
        if (const auto h = ntfs_format::RecordHeader::decode(slot); h.searchable()) learnRecordSize(h);
        entryList.push_back(newEntry(position, slot));
        const auto i = static_cast<std::int64_t>(entryList.size() - 1);
        parseRecordFrom(i, recordFromSlot(position, slot, scratch));
        if (startsWith(entryList[i].name, u"$MF")) {
          reporter_.status("found mft entry.getting its run ...");
          mftRuns = attributeRuns(position, ntfs_format::kData);
          reporter_.status("got run ...");
          if (!mftRuns.empty()) {
            learnClusterSize(position);
            mftFound = true;
            mftPosition = position;
            entryList.clear();
            found = true;
            return SlotAction::Stop;
          }
        }
        return SlotAction::SkipRecord;
      });
  return found;
}

std::int64_t ntfs::findMftCandidates(std::int64_t maximum) {
  clusterSize = bootClusterSize();
  if (clusterSize == 0) clusterSize = 4096;
  mftFound = false;
  mftCandidates.clear();
  volumeSize = static_cast<std::uint64_t>(std::max<std::int64_t>(volumeSizeMiB(volume_), 0)) * 1048576;
  if (volumeSize == 0) return 0;
  const auto chunks = static_cast<std::int64_t>(volumeSize / kScanChunk);
  reporter_.progressRange(0, chunks);
  std::vector<std::byte> scratch;
  std::string candidateText;
  scanChunks(
      volumeSize > 1024 ? volumeSize - 1024 : 0,
      [&](std::int64_t n) {
        if (!mftCandidates.empty() && static_cast<std::int64_t>(mftCandidates.size()) >= maximum) return false;
        if (stopRequest()) return false;
        reporter_.progressPosition(n);
        return true;
      },
      [&](std::uint64_t position, ByteSpan slot) {
        if (stopRequest()) return SlotAction::Stop;
        const ntfs_format::RecordHeader h = ntfs_format::RecordHeader::decode(slot);
        if (!h.isFile() || !h.searchable()) return SlotAction::Next;
        learnRecordSize(h);
        entryList.push_back(newEntry(position, slot));
        const std::size_t count = entryList.size();
        parseRecordFrom(static_cast<std::int64_t>(count - 1), recordFromSlot(position, slot, scratch));
        reporter_.status(candidateText);
        // Record 7 ($Boot) follows record 0 ($MFT, not $MFTMirr) by seven records.
        if (count >= 8 && startsWith(entryList[count - 1].name, u"$Boot")) {
          const std::optional<std::u16string>& mft = entryList[count - 8].name;
          if (startsWith(mft, u"$MFT") && (mft->size() == 4 || (*mft)[4] != u'M')) {
            mftCandidates.push_back(entryList[count - 8]);
            char text[64];
            std::snprintf(text, sizeof text, "MFT ENTRY %zu Found.Parsing it ...", count);
            candidateText = text;
          }
        }
        return SlotAction::SkipRecord;
      });
  reporter_.progressPosition(chunks);
  return static_cast<std::int64_t>(mftCandidates.size());
}

bool ntfs::chooseMftCandidate(std::int64_t k) {
  mftFound = false;
  mftRuns.clear();
  if (k >= 0 && k < static_cast<std::int64_t>(mftCandidates.size()))
    mftRuns = attributeRuns(mftCandidates[k].position, ntfs_format::kData);
  if (mftRuns.empty()) return false;
  mftFound = true;
  return true;
}

}  // namespace quarnel
