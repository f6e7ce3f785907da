// Binding to the volume, the boot sector, and the walk over the MFT's runs.
#include <algorithm>
#include <cstdio>
#include <limits>

#include "fs/ntfs/ntfs.h"

namespace quarnel {
namespace {

using namespace ntfs_format;

constexpr std::size_t kBootSectorSize = 512;
constexpr std::size_t kOemName = 0x03;            // "NTFS" and four blanks
constexpr std::size_t kBytesPerSector = 0x0B;     // u16
constexpr std::size_t kSectorsPerCluster = 0x0D;  // u8, taken as a plain count
constexpr std::size_t kTotalSectors = 0x28;       // u64
constexpr std::size_t kMftCluster = 0x30;         // u64
constexpr std::size_t kClustersPerRecord = 0x40;  // s8; negative n means 2^-n bytes

constexpr std::uint64_t kDefaultClusterSize = 4096;
constexpr std::uint64_t kMiB = 1048576;
// The MFT is read along its runs in blocks of this size.
constexpr std::uint64_t kMftReadBlock = 4 * kMiB;

std::uint64_t saturatingMul(std::uint64_t a, std::uint64_t b) {
  std::uint64_t r = 0;
  return __builtin_mul_overflow(a, b, &r) ? std::numeric_limits<std::uint64_t>::max() : r;
}

}  // namespace

ntfs::ntfs(readWriteInterface& source, VolumeRecord volume, Reporter& reporter)
    : source_(source), volume_(std::move(volume)), reporter_(reporter) {}

std::uint64_t ntfs::readLimit() const {
  const std::int64_t sectors = source_.sizeSectors();
  if (sectors <= 0) return std::numeric_limits<std::uint64_t>::max();
  const std::int64_t bytes = sectors * kSectorSize - source_.baseOffset;
  return bytes > 0 ? static_cast<std::uint64_t>(bytes) : 0;
}

bool ntfs::readBytes(std::uint64_t position, MutableByteSpan out) {
  const auto base = static_cast<std::uint64_t>(std::max<std::int64_t>(source_.baseOffset, 0));
  if (position > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) - base) {
    std::fill(out.begin(), out.end(), std::byte{0});
    return false;
  }
  return source_.readAt(static_cast<std::int64_t>(base + position), out);
}

bool ntfs::readRecord(std::uint64_t position, std::vector<std::byte>& fixedUp) {
  if (!reachable(position)) return false;
  fixedUp.resize(recordSize_);
  readBytes(position, fixedUp);
  ntfs_format::applyFixup(fixedUp);
  return true;
}

void ntfs::applyFixup(ByteSpan record, std::vector<std::byte>& destination) {
  destination.assign(record.begin(), record.end());
  ntfs_format::applyFixup(destination);
}

std::uint64_t ntfs::bootClusterSize() const {
  return std::uint64_t{le16(bootBuffer_, kBytesPerSector)} * u8(bootBuffer_, kSectorsPerCluster);
}

NtfsEntryRecord ntfs::newEntry(std::uint64_t position, ByteSpan firstBytes) const {
  NtfsEntryRecord e;
  for (std::size_t i = 0; i < e.signature.size(); ++i) e.signature[i] = static_cast<char>(u8(firstBytes, i));
  e.position = position;
  e.index = entryList.size();
  return e;
}

void ntfs::attachSource() {
  source_.baseOffset =
      std::clamp<std::int64_t>(volume_.startSector, 0, std::numeric_limits<std::int64_t>::max() / kSectorSize) * kSectorSize;
}

bool ntfs::readBootSector() {
  bootBuffer_.assign(kBootSectorSize, std::byte{0});
  readBytes(0, bootBuffer_);
  if (hasText(bootBuffer_, kOemName, "NTFS")) {
    // The count is of the volume's own sectors, which are not always 512 bytes.
    const std::uint16_t bps = le16(bootBuffer_, kBytesPerSector);
    const bool usual = bps == 512 || bps == 1024 || bps == 2048 || bps == 4096;
    volumeSize = saturatingMul(le64(bootBuffer_, kTotalSectors), usual ? bps : kSectorSize);
  } else {
    volumeSize = saturatingMul(static_cast<std::uint64_t>(std::max<std::int64_t>(volumeSizeMiB(volume_), 0)), kMiB);
  }

  // Volumes formatted with 4096-byte records say so here; anything else keeps 1024.
  const auto perRecord = static_cast<std::int8_t>(u8(bootBuffer_, kClustersPerRecord));
  std::uint64_t size = 0;
  if (perRecord < 0 && perRecord > -31) size = std::uint64_t{1} << -perRecord;
  if (perRecord > 0) size = saturatingMul(static_cast<std::uint64_t>(perRecord), bootClusterSize());
  recordSizeKnown_ = size == kSmallRecord || size == kLargeRecord;
  recordSize_ = recordSizeKnown_ ? size : kSmallRecord;
  return volumeSize != 0;
}

bool ntfs::locateMft() {
  clusterSize = bootClusterSize();
  if (!hasText(bootBuffer_, kOemName, "NTFS")) {
    clusterSize = kDefaultClusterSize;
    return searchMftRecord();
  }
  mftFound = true;
  mftPosition = saturatingMul(le64(bootBuffer_, kMftCluster), clusterSize);
  if (!reachable(mftPosition)) return true;
  reporter_.status("boot sector is fine.Getting run of mft entry...");
  mftRuns = attributeRuns(mftPosition, kData);
  reporter_.status("Got run...");
  return true;
}

std::vector<MftRun> ntfs::runsFrom(ByteSpan fixedUp, const std::vector<AttributeHeader>& attributes,
                                   std::uint32_t type, std::optional<std::uint64_t> startVcn,
                                   bool continueLists) {
  std::vector<MftRun> out;
  for (const AttributeHeader& a : attributes) {
    if (a.type != type || !a.nonResident) continue;
    // A file's content is its unnamed stream; named ones never stand in for it.
    if (type == kData && !a.unnamed()) continue;
    if (startVcn && a.firstVcn != *startVcn) continue;
    runSpan = a.runSpan();
    RunListDecode d = decodeRunList(a.runList(fixedUp), runSpan);
    out.insert(out.end(), d.runs.begin(), d.runs.end());
    if (d.terminated || !continueLists) break;
  }
  return out;
}

std::vector<MftRun> ntfs::attributeRuns(std::uint64_t position, std::uint32_t type) {
  std::vector<std::byte> record;
  if (!readRecord(position, record)) return {};
  const RecordHeader h = RecordHeader::decode(record);
  return runsFrom(record, walkAttributes(record, h.firstAttribute), type, std::nullopt, true);
}

void ntfs::collectMftRecords() {
  if (!mftFound || stopRequest()) return;
  if (clusterSize == 0) clusterSize = kDefaultClusterSize;
  entryList.clear();

  const std::uint64_t cs = clusterSize;
  const std::uint64_t rs = recordSize_;
  // A record needs whole clusters when clusters are smaller than records.
  const std::uint64_t clusterStep = cs >= rs ? 1 : (rs + cs - 1) / cs;
  recordsPerCluster = cs >= rs ? static_cast<std::uint32_t>(std::min<std::uint64_t>(cs / rs, UINT32_MAX)) : 1;
  // Runs pointing past the volume are skipped like failed seeks; the MFT cannot hold more
  // records than the volume has room for.
  const std::uint64_t limit = std::min(volumeSize != 0 ? volumeSize : readLimit(), readLimit());
  const std::uint64_t maxEntries = limit / rs + 1;
  const std::uint64_t limitClusters = limit / cs + (limit % cs != 0);
  const std::uint64_t blockClusters = std::max<std::uint64_t>(kMftReadBlock / cs / clusterStep, 1) * clusterStep;

  std::vector<std::byte> block;
  for (const MftRun& run : mftRuns) {
    char text[96];
    std::snprintf(text, sizeof text, "parsing %lld cluster of MFT run.", static_cast<long long>(run.startCluster));
    reporter_.status(text);
    if (stopRequest()) break;
    const auto first = static_cast<std::uint64_t>(run.startCluster);
    const std::uint64_t end = std::min(first + std::min(run.clusterCount, UINT64_MAX - first), limitClusters);
    for (std::uint64_t c = first; c < end && entryList.size() < maxEntries; c += blockClusters) {
      const std::uint64_t count = std::min(blockClusters, end - c);
      // The last record of a block may reach into the clusters after it.
      block.assign(count * cs + rs, std::byte{0});
      readBytes(c * cs, block);
      for (std::uint64_t k = 0; k < count && entryList.size() < maxEntries; k += clusterStep)
        for (std::uint32_t r = 0; r < recordsPerCluster; ++r) {
          const std::uint64_t at = k * cs + r * rs;
          entryList.push_back(newEntry((c + k) * cs + r * rs, ByteSpan(block).subspan(at, 4)));
        }
    }
  }
}

}  // namespace quarnel
