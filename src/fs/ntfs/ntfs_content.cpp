// A listed entry's content: the $DATA summary, attribute lists and extension records,
// writing the bytes (resident, plain, sparse, compressed), saving to a file, size texts.
#include <algorithm>
#include <charconv>
#include <limits>

#include "fs/ntfs/content_stream.h"
#include "fs/ntfs/lznt1.h"
#include "fs/ntfs/ntfs.h"
#include "platform/output_file.h"
#include "platform/output_paths.h"
#include "platform/text.h"

namespace quarnel {
namespace {

using namespace ntfs_format;

constexpr std::uint64_t kDefaultClusterSize = 4096;
constexpr std::uint16_t kCompressedFlags = 0x0001;
constexpr std::uint16_t kEncryptedFlags = 0x4000;
constexpr std::uint16_t kSparseFlag = 0x8000;
// Compression units are 16 clusters of at most 4 KiB on every NTFS; far larger ones are
// damage, not data.
constexpr std::uint64_t kMaxUnitBytes = 4 * 1048576;

std::uint64_t mulSat(std::uint64_t a, std::uint64_t b) {
  std::uint64_t r = 0;
  return __builtin_mul_overflow(a, b, &r) ? std::numeric_limits<std::uint64_t>::max() : r;
}

// The sparse bit says nothing about how the clusters are stored.
const char* kindTextFor(std::uint16_t flags) {
  switch (flags & ~kSparseFlag) {
    case kCompressedFlags: return "Compressed";
    case kEncryptedFlags: return "Encrypted";
    case 0: return "Normal";
    default: return nullptr;
  }
}

std::uint16_t unitClusters(std::uint16_t compressionUnit) {
  return compressionUnit < 16 ? static_cast<std::uint16_t>(1u << compressionUnit) : 0;
}

bool isBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

std::u16string trimmed(const std::u16string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

}  // namespace

DataAttributeInfo ntfs::dataInfoFrom(const std::vector<AttributeHeader>& attributes) {
  DataAttributeInfo d;
  for (const AttributeHeader& a : attributes) {
    if (a.type != kData || !a.unnamed()) continue;
    d = DataAttributeInfo{};
    d.present = true;
    if (a.nonResident) {
      d.dataOffset = a.runListOffset;
      d.dataLength = a.runListOffset <= a.length ? a.length - a.runListOffset : 0;
      d.compressionUnit = a.compressionUnit;
      d.firstVcn = a.firstVcn;
      d.lastVcn = a.lastVcn;
      d.residency = 'N';
      d.kindText = kindTextFor(a.flags);
      d.allocatedSize = a.allocatedSize;
      d.realSize = a.realSize;
      d.initializedSize = a.initializedSize;
      break;
    }
    d.dataOffset = static_cast<std::uint32_t>(a.offset + a.contentOffset);
    d.dataLength = a.contentLength;
    d.residency = 'R';
  }
  return d;
}

bool ntfs::listMarkFrom(const std::vector<AttributeHeader>& attributes) {
  bool mark = false;
  for (const AttributeHeader& a : attributes) {
    if (a.type == kAttributeList) mark = true;
    if (a.type == kData && a.unnamed()) mark = false;
  }
  return mark;
}

LoadedRecord ntfs::loadAt(std::uint64_t position) {
  LoadedRecord r;
  r.position = position;
  if (!readRecord(position, r.bytes)) {
    r.bytes.clear();
    return r;
  }
  r.header = RecordHeader::decode(r.bytes);
  r.attributes = walkAttributes(r.bytes, r.header.firstAttribute);
  r.attributeListMark = listMarkFrom(r.attributes);
  return r;
}

LoadedRecord ntfs::loadRecord(std::int64_t i) {
  if (!validIndex(i)) return {};
  return loadAt(entryList[i].position);
}

DataAttributeInfo ntfs::dataAttributeInfo(const LoadedRecord& record) const { return dataInfoFrom(record.attributes); }

ClusterStreamer ntfs::streamer() {
  return ClusterStreamer(source_, static_cast<std::uint64_t>(std::max<std::int64_t>(source_.baseOffset, 0)),
                         clusterSize != 0 ? clusterSize : kDefaultClusterSize, readLimit());
}

std::vector<MftRun> ntfs::clusterList(std::uint64_t position) {
  const LoadedRecord r = loadAt(position);
  return runsFrom(r.bytes, r.attributes, kData, std::nullopt, false);
}

std::size_t ntfs::decompressUnit(ByteSpan input, MutableByteSpan output) { return lznt1Decompress(input, output); }

StreamOutcome ntfs::extensionOutcome(const DataAttributeInfo& data, ByteSink& out) {
  const std::uint64_t size = data.realSize;
  if (!data.compressed())
    return streamer().writeClusters(extensionRuns, 0, size, out, data.firstVcn == 0 ? data.validSize() : UINT64_MAX);
  const std::uint16_t u = unitClusters(data.compressionUnit);
  if (u == 0) return streamer().writeClusters(extensionRuns, 0, size, out);
  if (mulSat(u, clusterSize) > kMaxUnitBytes) return StreamOutcome::Failed;
  return streamer().writeUnits(extensionRuns, 0, u, size, out);
}

bool ntfs::writeExtensionData(const DataAttributeInfo& data, ByteSink& out) {
  return extensionOutcome(data, out) == StreamOutcome::Complete;
}

StreamOutcome ntfs::writeResident(const LoadedRecord& record, const DataAttributeInfo& data, ByteSink& out) {
  if (data.dataOffset >= record.bytes.size()) return StreamOutcome::Complete;
  const std::size_t n = std::min<std::size_t>(data.dataLength, record.bytes.size() - data.dataOffset);
  return out.write(ByteSpan(record.bytes).subspan(data.dataOffset, n)) ? StreamOutcome::Complete : StreamOutcome::Failed;
}

StreamOutcome ntfs::writeCompressed(const LoadedRecord& record, const DataAttributeInfo& data, ByteSink& out) {
  const std::vector<MftRun> runs = runsFrom(record.bytes, record.attributes, kData, std::nullopt, true);
  const std::uint64_t span = runSpan;
  const std::uint16_t u = unitClusters(data.compressionUnit);
  if (u == 0) return streamer().writeClusters(runs, span, data.realSize, out);
  if (mulSat(u, clusterSize) > kMaxUnitBytes) return StreamOutcome::Failed;
  return streamer().writeUnits(runs, span, u, data.realSize, out);
}

bool ntfs::spreadOverRecords(std::int64_t i, const LoadedRecord& record, const DataAttributeInfo& data,
                             BaseRecord& base) {
  if (!hasAttribute(record.attributes, kAttributeList)) return false;
  if (!record.attributeListMark && data.residency != 'N') return false;
  readAttributeList(record);
  if (extensionRecords.empty()) return false;
  base = baseOf(i, record.header);
  return record.attributeListMark || piecesElsewhere(base);
}

ntfs::ContentResult ntfs::writeEntry(std::int64_t i, ByteSink& out) {
  const auto result = [](StreamOutcome o) {
    return o == StreamOutcome::Complete ? ContentResult::Written
           : o == StreamOutcome::Partial ? ContentResult::Incomplete
                                         : ContentResult::Failed;
  };
  const LoadedRecord record = loadRecord(i);
  if (!record.header.isFile()) {
    reporter_.warning(WarningKind::Notice, "not a valid entry...");
    return ContentResult::InvalidEntry;
  }
  const DataAttributeInfo data = dataInfoFrom(record.attributes);
  BaseRecord base;
  if (spreadOverRecords(i, record, data, base)) {
    LoadedRecord first;
    DataAttributeInfo firstData;
    gatherExtension(base, firstData, first);
    const StreamOutcome o = firstData.residency == 'R' ? writeResident(first, firstData, out)
                                                       : extensionOutcome(firstData, out);
    extensionRuns.clear();
    return result(o);
  }
  if (!data.present) return ContentResult::Written;
  const NtfsEntryRecord& e = entryList[i];
  if (e.isDirectory()) {
    const std::string name = e.name ? utf16ToUtf8(trimmed(*e.name)) : std::string();
    reporter_.warning(WarningKind::Notice, "This is  " + name + " directory .Please specify file names ");
    return ContentResult::Directory;
  }
  if (data.residency != 'N') return result(writeResident(record, data, out));
  // A stream holds no byte past the clusters its runs number: a size beyond them is damage,
  // and padding it out would write without end.
  DataAttributeInfo bounded = data;
  const std::uint64_t held = mulSat(data.lastVcn + 1, clusterSize);
  const bool clipped = data.firstVcn == 0 && clusterSize != 0 && data.realSize > held;
  if (clipped) {
    bounded.realSize = held;
    bounded.initializedSize = std::min(data.initializedSize, held);
    const std::string name = e.name ? utf16ToUtf8(trimmed(*e.name)) : std::string();
    reporter_.warning(WarningKind::Damaged, name + ": its size of " + std::to_string(data.realSize) +
                                                " bytes is past the " + std::to_string(held) +
                                                " bytes its clusters hold; only those are read");
  }
  const auto partial = [&](StreamOutcome o) { return clipped && o == StreamOutcome::Complete ? StreamOutcome::Partial : o; };
  if (!bounded.compressed()) {
    const std::vector<MftRun> runs = runsFrom(record.bytes, record.attributes, kData, std::nullopt, false);
    // Past the initialised size the clusters hold whatever was there before: zeros, as read.
    return result(partial(streamer().writeClusters(runs, 0, bounded.realSize, out,
                                                   data.firstVcn == 0 ? bounded.validSize() : UINT64_MAX)));
  }
  return result(partial(writeCompressed(record, bounded, out)));
}

bool ntfs::writeContent(std::int64_t i, ByteSink& out) {
  if (!validIndex(i)) return false;
  const ContentResult r = writeEntry(i, out);
  return r == ContentResult::Written || r == ContentResult::Directory;
}

std::string ntfs::saveFile(std::string_view indexText) {
  std::int64_t i = -1;
  const auto [end, ec] = std::from_chars(indexText.data(), indexText.data() + indexText.size(), i);
  if (ec != std::errc{} || end != indexText.data() + indexText.size() || !validIndex(i)) return {};
  const NtfsEntryRecord& e = entryList[i];
  if (!e.name) return {};
  std::string folder = outputPath;
  while (!folder.empty() && (folder.back() == ' ' || folder.back() == '\t' || folder.back() == '\n' || folder.back() == '\r'))
    folder.pop_back();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty()) return {};

  OutputFile file;
  const std::string path = createUniqueFile(folder, utf16ToUtf8(trimmed(*e.name)), file);
  if (path.empty()) return {};
  const ContentResult r = writeEntry(i, file);
  if (r == ContentResult::Failed) {
    if (!file.error().empty()) reporter_.warning(WarningKind::Unreadable, "Exception :  " + file.error() + "   ");
    file.close();
    return path;
  }
  file.close();
  if (r == ContentResult::InvalidEntry) return path;
  const EntryTimes t = entryTimes(i);
  setFileTimes(path, ntfsInstant(t.accessed), ntfsInstant(t.modified));
  return path;
}

ntfs::ContentSize ntfs::contentSize(std::int64_t i) {
  ContentSize s;
  if (!validIndex(i) || i == orphanIndex) return s;
  const NtfsEntryRecord& e = entryList[i];
  std::optional<LoadedRecord> record;
  DataAttributeInfo data;
  bool listMark = false;
  if (e.summary) {
    data = e.summary->data;
    listMark = e.summary->attributeListMark;
  } else {
    record = loadRecord(i);
    data = dataInfoFrom(record->attributes);
    listMark = record->attributeListMark;
  }
  s.real = s.shown = data.residency == 'N' ? data.realSize : data.residency == 'R' ? data.dataLength : 0;
  // With a $DATA of its own the base's first piece carries the sizes.
  if (!listMark) return s;
  if (!record) record = loadRecord(i);
  BaseRecord base;
  if (!spreadOverRecords(i, *record, data, base)) return s;
  LoadedRecord first;
  DataAttributeInfo firstData;
  gatherExtension(base, firstData, first);
  s.shown = mulSat(totalClusters(extensionRuns), clusterSize != 0 ? clusterSize : kDefaultClusterSize);
  s.real = firstData.residency == 'N' ? firstData.realSize : firstData.residency == 'R' ? firstData.dataLength : 0;
  extensionRuns.clear();
  return s;
}

std::string ntfs::sizeText(std::int64_t i) {
  if (!validIndex(i)) return {};
  return ::quarnel::sizeText(contentSize(i).shown);
}

std::uint64_t ntfs::realSize(std::int64_t i) { return contentSize(i).real; }

}  // namespace quarnel
