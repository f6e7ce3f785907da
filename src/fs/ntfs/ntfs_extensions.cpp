// Files spread over several records: the $ATTRIBUTE_LIST of a base record names the
// extension records that hold the rest of its attributes ($FILE_NAMEs, pieces of $DATA).
#include <algorithm>
#include <limits>

#include "fs/ntfs/ntfs.h"

namespace quarnel {
namespace {

using namespace ntfs_format;

constexpr std::uint64_t kMaxAttributeListBytes = 64 * 1048576;
constexpr std::uint64_t kDefaultClusterSize = 4096;

}  // namespace

ntfs::BaseRecord ntfs::baseOf(std::int64_t i, const RecordHeader& header) const {
  // Deep-mode indexes are not record numbers; the record says its own.
  return {entryList[i].position, mode == NtfsMode::Deep ? header.recordNumber : static_cast<std::uint64_t>(i)};
}

std::vector<AttributeListEntry> ntfs::listEntries(const LoadedRecord& record) {
  std::vector<AttributeListEntry> out;
  for (const AttributeHeader& a : record.attributes) {
    if (a.type != kAttributeList) continue;
    MemorySink stream(kMaxAttributeListBytes);
    ByteSpan list;
    if (!a.nonResident) {
      list = a.content(record.bytes);
    } else {
      const std::vector<MftRun> runs = runsFrom(record.bytes, record.attributes, kAttributeList, std::nullopt, true);
      const std::uint64_t cs = clusterSize != 0 ? clusterSize : kDefaultClusterSize;
      std::uint64_t bytes = kMaxAttributeListBytes;
      if (totalClusters(runs) < bytes / cs) bytes = totalClusters(runs) * cs;
      if (a.realSize != 0) bytes = std::min(bytes, a.realSize);
      streamer().writeClusters(runs, 0, bytes, stream);
      list = stream.bytes;
    }
    // Walked within the list's own bytes: a named stream's header after it in the record
    // must not read as a piece of the file.
    const std::vector<AttributeListEntry> entries = walkAttributeList(list);
    out.insert(out.end(), entries.begin(), entries.end());
  }
  return out;
}

void ntfs::readAttributeList(const LoadedRecord& record) {
  extensionRecords.clear();
  for (const AttributeListEntry& e : listEntries(record)) {
    if (e.type != kData || e.nameLength != 0) continue;
    const bool seen = std::any_of(extensionRecords.begin(), extensionRecords.end(), [&](const ExtensionRecord& o) {
      return o.recordNumber == e.recordNumber && o.startVcn == e.startVcn;
    });
    if (!seen) extensionRecords.push_back({e.recordNumber, e.startVcn});
  }
}

std::optional<std::uint64_t> ntfs::extensionPosition(std::uint64_t recordNumber, const BaseRecord& base) {
  if (recordNumber == base.number) return base.position;
  if (mode != NtfsMode::Deep) {
    if (recordNumber >= entryList.size() || static_cast<std::int64_t>(recordNumber) == orphanIndex) return std::nullopt;
    return entryList[recordNumber].position;
  }
  if (auto it = deepExtensions_.find(recordNumber); it != deepExtensions_.end()) return it->second;
  // Not met yet: an MFT stretch usually holds a file's records near each other, so try
  // where the record would lie if it were contiguous with its base, and trust it only if
  // it says it is that record.
  const auto delta = static_cast<std::int64_t>(recordNumber - base.number);
  std::int64_t offset = 0, guess = 0;
  if (__builtin_mul_overflow(delta, static_cast<std::int64_t>(recordSize_), &offset) ||
      __builtin_add_overflow(static_cast<std::int64_t>(base.position), offset, &guess) || guess < 0)
    return std::nullopt;
  std::vector<std::byte> record;
  if (!readRecord(static_cast<std::uint64_t>(guess), record)) return std::nullopt;
  const RecordHeader h = RecordHeader::decode(record);
  if (!h.isFile() || h.recordNumber != recordNumber) return std::nullopt;
  return static_cast<std::uint64_t>(guess);
}

bool ntfs::piecesElsewhere(const BaseRecord& base) const {
  return std::any_of(extensionRecords.begin(), extensionRecords.end(),
                     [&](const ExtensionRecord& x) { return x.recordNumber != base.number; });
}

void ntfs::gatherExtension(const BaseRecord& base, DataAttributeInfo& data, LoadedRecord& first) {
  const std::optional<std::uint64_t> at = extensionPosition(extensionRecords.front().recordNumber, base);
  first = at ? loadAt(*at) : LoadedRecord{};
  data = dataInfoFrom(first.attributes);
  extensionRuns.clear();
  std::vector<std::byte> record;
  for (const ExtensionRecord& x : extensionRecords) {
    const std::optional<std::uint64_t> p = extensionPosition(x.recordNumber, base);
    if (!p || !readRecord(*p, record)) continue;
    const std::vector<AttributeHeader> attributes = walkAttributes(record, RecordHeader::decode(record).firstAttribute);
    // The piece the list names by its first VCN, so two pieces in one record both count.
    std::vector<MftRun> runs = runsFrom(record, attributes, kData, x.startVcn, true);
    if (runs.empty()) runs = runsFrom(record, attributes, kData, std::nullopt, true);
    extensionRuns.insert(extensionRuns.end(), runs.begin(), runs.end());
  }
  runSpan = totalClusters(extensionRuns);
}

std::vector<FileNameContent> ntfs::extensionNames(const LoadedRecord& record, const BaseRecord& base) {
  std::vector<std::uint64_t> numbers;
  for (const AttributeListEntry& e : listEntries(record))
    if (e.type == kFileName && e.recordNumber != base.number &&
        std::find(numbers.begin(), numbers.end(), e.recordNumber) == numbers.end())
      numbers.push_back(e.recordNumber);
  std::vector<FileNameContent> names;
  std::vector<std::byte> ext;
  for (std::uint64_t n : numbers) {
    const std::optional<std::uint64_t> p = extensionPosition(n, base);
    if (!p || !readRecord(*p, ext)) continue;
    const RecordHeader h = RecordHeader::decode(ext);
    // Only a record that says it belongs to this file.
    if ((h.baseReference & 0x0000FFFFFFFFFFFFULL) != base.number) continue;
    for (const AttributeHeader& a : walkAttributes(ext, h.firstAttribute))
      if (a.type == kFileName && !a.nonResident && a.offset + a.contentOffset < ext.size())
        names.push_back(FileNameContent::decode(a.contentToRecordEnd(ext)));
  }
  return names;
}

}  // namespace quarnel
