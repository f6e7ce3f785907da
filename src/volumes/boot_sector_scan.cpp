// The search of the whole disk, or a sector range of it, for the first sectors of volumes.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "storage/rescue_read.h"
#include "volumes/boot_sectors.h"
#include "volumes/partition.h"
#include "volumes/walk_support.h"

namespace quarnel {
namespace {

constexpr std::int64_t kBlockSectors = 2048;     // the scan's logical block, 1 MiB
constexpr std::int64_t kHfsHeaderSectors = 2;    // the volume header lies 1024 bytes in
constexpr std::int64_t kMaxHfsMiB = 20971519;
constexpr std::int64_t kProgressMax = 1000;

// A volume's first sector (or HFS+ header) as the scan sees it.
struct Sighting {
  std::string fileSystem;
  std::string status;          // empty for NTFS, whose text carries a running count
  bool announceAlways = true;  // false: the status is set only when a record is added
  SizeStyle style = SizeStyle::TwoBlanks;
  std::int64_t startSector = 0;
  std::int64_t sizeSectors = 0;
  std::int64_t mib = 0;
  std::int64_t maxMiB = INT64_MAX;  // larger volumes are skipped over but not listed
};

std::int64_t boundedSectors(std::uint64_t v) {
  return static_cast<std::int64_t>(std::min<std::uint64_t>(v, INT64_MAX / kSectorSize));
}

std::optional<Sighting> classify(ByteSpan s, std::int64_t sector) {
  BootSectorMatch m = classifyBootSector(s, NtfsName::Required);
  Sighting v;
  v.startSector = sector;
  v.sizeSectors = boundedSectors(m.sizeSectors);
  v.mib = m.sizeMiB();
  switch (m.kind) {
    case VolumeKind::Ntfs:
      v.fileSystem = "NTFS";
      v.announceAlways = false;
      v.style = SizeStyle::ThreeBlanks;
      return v;
    case VolumeKind::Exfat: v.fileSystem = "FAT64"; v.status = "found FAT 64..."; return v;
    case VolumeKind::Fat32: v.fileSystem = "FAT32"; v.status = "found FAT 32..."; return v;
    case VolumeKind::Fat16: v.fileSystem = "FAT16"; v.status = "found FAT 16..."; return v;
    case VolumeKind::None: break;
  }
  // In sector 0 or 1 an HFS+ header or ext superblock would put its volume before the disk.
  if (sector < kHfsHeaderSectors) return std::nullopt;
  if (ExtSuperblock e = ExtSuperblock::decode(s); e.primary()) {
    v.fileSystem = "extX";
    v.status = "found extx...";
    v.announceAlways = false;
    v.style = SizeStyle::TwoBlanks;
    v.startSector = sector - kHfsHeaderSectors;
    v.sizeSectors = boundedSectors(e.sizeBytes() / kSectorSize);
    v.mib = static_cast<std::int64_t>(e.sizeBytes() >> 20);
    return v;
  }
  HfsPlusHeader h = HfsPlusHeader::decode(s);
  if (!h.plausible()) return std::nullopt;
  v.fileSystem = "HFS+";
  v.status = "found HFS+...";
  v.announceAlways = false;
  v.startSector = sector - kHfsHeaderSectors;
  v.sizeSectors = boundedSectors(h.sizeBytes() / kSectorSize);
  v.mib = static_cast<std::int64_t>(h.sizeBytes() >> 20);
  v.maxMiB = kMaxHfsMiB;
  return v;
}

class Scan {
 public:
  Scan(Partition& partition, readWriteInterface& source)
      : partition_(partition), source_(source), reporter_(detail::reporterOf(partition)) {}
  void run();

 private:
  // Examines the sectors of one block; false when a stop was requested. sectorIndex ends
  // where the next block begins, past the block's end after a skipped volume.
  bool examineBlock(std::int64_t firstSector, ByteSpan block, std::int64_t& sectorIndex);
  void report(const Sighting& v);
  bool stopSeen();

  Partition& partition_;
  readWriteInterface& source_;
  VolumeReporter& reporter_;
  std::int64_t total_ = 0;
  int foundCount_ = 0;
  std::int64_t unreadableBlocks_ = 0;

  void reportUnreadable() {
    if (unreadableBlocks_ == 0) return;
    const bool one = unreadableBlocks_ == 1;
    reporter_.warning(WarningKind::Unreadable,
                      std::to_string(unreadableBlocks_) + (one ? " block" : " blocks") +
                          " of 1 MiB could not be read in full; " + (one ? "its" : "their") +
                          " unreadable sectors were searched as zeros");
  }
  int ntfsCount_ = 0;
};

bool Scan::stopSeen() {
  if (!partition_.job->shouldStop()) return false;
  reporter_.status("Scanned Partitions");
  return true;
}

void Scan::report(const Sighting& v) {
  bool listed = v.mib >= 1 && v.mib <= v.maxMiB;
  if (v.announceAlways || listed)
    reporter_.status(v.status.empty() ? "found NTFS " + std::to_string(++ntfsCount_) + "..."
                                      : v.status);
  if (!listed) return;
  VolumeRecord r;
  r.fileSystem = v.fileSystem;
  r.volumeIndex = std::to_string(foundCount_++);
  r.volumeSizeText = volumeSizeText(v.mib, v.style);
  r.sizeSectors = v.sizeSectors;
  r.startSector = v.startSector;
  detail::appendRecord(partition_, r);
  reporter_.found(r);
}

bool Scan::examineBlock(std::int64_t firstSector, ByteSpan block, std::int64_t& sectorIndex) {
  auto sectors = static_cast<std::int64_t>(block.size()) / kSectorSize;
  for (sectorIndex = 0; sectorIndex < sectors; ++sectorIndex) {
    if (stopSeen()) return false;
    auto s = block.subspan(static_cast<std::size_t>(sectorIndex * kSectorSize), kSectorSize);
    if (auto v = classify(s, firstSector + sectorIndex)) {
      report(*v);
      // A skip past the disk's end ends the scan all the same; bounding it keeps a
      // hostile size from overflowing the position.
      if (partition_.skipVolumeSize && v->mib >= 1)
        sectorIndex += std::min(v->sizeSectors, total_ - firstSector - sectorIndex);
    }
    if (stopSeen()) return false;
  }
  return true;
}

void Scan::run() {
  reporter_.scanRunning(true);
  reporter_.status("Scanning partition.....");
  std::int64_t blockSector = std::max<std::int64_t>(partition_.scanStartSector, 0);
  std::optional<std::int64_t> endSector;
  if (partition_.scanEndSector > 0) endSector = partition_.scanEndSector;
  total_ = source_.sizeSectors() > 0 ? source_.sizeSectors() : currentDiskSectors.load();
  reporter_.progressRange(0, kProgressMax);

  std::vector<std::byte> buffer(static_cast<std::size_t>(kBlockSectors * kSectorSize));
  while (blockSector < total_) {
    // The last block stops at the end of the disk rather than failing there.
    std::int64_t sectors = std::min(kBlockSectors, total_ - blockSector);
    auto block = MutableByteSpan(buffer).first(static_cast<std::size_t>(sectors * kSectorSize));
    // An unreadable stretch is where a degraded array most needs the search to go on: what
    // can be read of the block is kept, and the rest is searched as zeros.
    if (!readRescuing(source_, blockSector * kSectorSize, block, {},
                      [&] { return partition_.job->stopRequested(); }))
      ++unreadableBlocks_;
    if (endSector && *endSector < blockSector) break;
    std::int64_t sectorIndex = 0;
    if (!examineBlock(blockSector, block, sectorIndex)) break;
    blockSector += sectorIndex;
    double share = static_cast<double>(blockSector) / static_cast<double>(total_);
    reporter_.progressPosition(std::clamp<std::int64_t>(std::llround(share * kProgressMax), 0,
                                                        kProgressMax));
  }
  reportUnreadable();
  reporter_.scanRunning(false);
}

}  // namespace

void scanForBootSectors(Partition& partition, readWriteInterface& source) {
  Scan(partition, source).run();
}

}  // namespace quarnel
