// The master boot record's four entries and the chain of extended boot records behind an
// extended entry.
#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
#include <set>
#include <string>

#include "volumes/boot_sectors.h"
#include "volumes/partition.h"
#include "volumes/walk_support.h"

namespace quarnel::detail {
namespace {

constexpr std::size_t kEntryTable = 0x1BE;  // four 16-byte entries
constexpr std::size_t kEntryLength = 16;
constexpr std::size_t kEntryCount = 4;
constexpr std::size_t kEntryType = 4;
constexpr std::size_t kEntryLba = 8;       // u32, first sector
constexpr std::size_t kEntrySectors = 12;  // u32, sector count
constexpr int kMaxEbrs = 50;
constexpr std::size_t kEntryBootFlag = 0;

// Why sector 0 is no partition table (empty when it is one): no 0x55AA signature, an entry
// no partitioning tool writes (a boot flag other than 0x00 and 0x80), or entries that all
// start past the disk. Boot code read as entries is what this catches; on a short image
// some entries may lie past its end and the table stays a table.
std::string notATable(ByteSpan mbr, std::int64_t diskSectors) {
  if (u8(mbr, 510) != 0x55 || u8(mbr, 511) != 0xAA) return "no 0x55AA signature";
  std::string past;
  bool inside = false;
  for (std::size_t i = 0; i < kEntryCount; ++i) {
    const std::size_t at = kEntryTable + i * kEntryLength;
    if (u8(mbr, at + kEntryType) == 0) continue;
    const std::uint8_t flag = u8(mbr, at + kEntryBootFlag);
    if (flag != 0x00 && flag != 0x80) return "entry " + std::to_string(i + 1) + " has boot flag " + std::to_string(flag);
    if (diskSectors > 0 && le32(mbr, at + kEntryLba) >= diskSectors) {
      if (past.empty()) past = "entry " + std::to_string(i + 1) + " starts past the end of the disk";
    } else {
      inside = true;
    }
  }
  return inside ? std::string() : past;
}

bool anyEntry(ByteSpan mbr) {
  for (std::size_t i = 0; i < kEntryCount; ++i)
    if (u8(mbr, kEntryTable + i * kEntryLength + kEntryType) != 0) return true;
  return false;
}

struct MbrEntry {
  std::uint8_t type = 0;
  std::uint32_t lba = 0;
  std::uint32_t sectors = 0;

  static MbrEntry decode(ByteSpan sector, std::size_t index) {
    std::size_t at = kEntryTable + index * kEntryLength;
    return {u8(sector, at + kEntryType), le32(sector, at + kEntryLba),
            le32(sector, at + kEntrySectors)};
  }
  bool isExtended() const { return type == 0x05 || type == 0x0F; }
};

enum class Table { Mbr, Ebr };

struct Named {
  std::string fileSystem;
  std::string status;  // empty: the status line is left alone
};

// The file system an entry's type names, and the status text the two tables give it.
Named nameEntry(readWriteInterface& source, Table table, std::uint8_t type,
                std::int64_t startSector, int& ntfsCount) {
  bool mbr = table == Table::Mbr;
  switch (type) {
    case 0x01: return {"FAT12", ""};
    case 0x04: case 0x06: case 0x0E: return {"FAT16", "found FAT 16..."};
    case 0x07:
      if (isExfatBootSector(source, startSector)) return {"FAT64", "found FAT64..."};
      if (!mbr) return {"NTFS", "found NTFS..."};
      return {"NTFS", "found NTFS " + std::to_string(++ntfsCount) + "..."};
    case 0x0B: case 0x0C: return {"FAT32", "found FAT 32..."};
    case 0x42: return {"NTFS", mbr ? "NTFS..." : "found UNKNOWN..."};
    case 0x83: return {"extX", mbr ? "found ext2..." : "found extx..."};
    default: return {"Unknown", "found UNKNOWN..."};
  }
}

struct Walk {
  readWriteInterface& source;
  Partition& partition;
  VolumeReporter& reporter;
  std::int64_t diskSectors;
  int index = 0;  // volumeIndex, running on from the primaries into the chain
  int ntfsCount = 0;

  void add(Table table, const MbrEntry& e, std::int64_t start, std::string_view where) {
    Named named = nameEntry(source, table, e.type, start, ntfsCount);
    if (!named.status.empty()) reporter.status(named.status);
    if (e.sectors > 0) warnIfPastEnd(reporter, where, start, start + e.sectors - 1, diskSectors);
    VolumeRecord r;
    r.fileSystem = named.fileSystem;
    r.volumeIndex = std::to_string(index++);
    r.volumeSizeText = volumeSizeText(e.sectors / 2048, SizeStyle::ThreeBlanks);
    r.sizeSectors = e.sectors;
    r.startSector = start;
    appendRecord(partition, r);
  }

  bool readSector(std::int64_t sector, std::array<std::byte, 512>& out) {
    return source.readAt(sector * kSectorSize, out);
  }

  std::int32_t chain(std::int64_t base);
};

std::string ebrEntryName(std::int64_t ebr, std::size_t i) {
  return "entry " + std::to_string(i + 1) + " of the extended boot record at sector " +
         std::to_string(ebr);
}

std::int32_t Walk::chain(std::int64_t base) {
  std::set<std::int64_t> visited;
  std::int64_t current = base;
  std::int64_t linkOffset = 0;  // where the current EBR lies, counted from the base
  if (diskSectors > 0 && base >= diskSectors) {
    reporter.warning(WarningKind::Damaged, "The extended partition at sector " + std::to_string(base) +
                     " lies past the end of the disk (" + std::to_string(diskSectors) +
                     " sectors); its logical volumes cannot be read.");
    return 0;
  }
  for (int read = 1;; ++read) {
    visited.insert(current);
    std::array<std::byte, 512> ebr{};
    if (!readSector(current, ebr)) return EIO;
    std::optional<std::uint32_t> link;
    for (std::size_t i = 0; i < kEntryCount && !link; ++i) {
      MbrEntry e = MbrEntry::decode(ebr, i);
      if (e.type == 0) continue;
      if (e.isExtended()) link = e.lba;
      else add(Table::Ebr, e, base + linkOffset + e.lba, ebrEntryName(current, i));
    }
    if (!link) return 0;
    std::int64_t next = base + *link;
    std::string from = "The extended boot record at sector " + std::to_string(current);
    if (read == kMaxEbrs) {
      reporter.warning(WarningKind::Damaged, from + " links to a further one at sector " + std::to_string(next) +
                       ", but chains are cut after " + std::to_string(kMaxEbrs) +
                       " extended boot records.");
      return 0;
    }
    if (visited.count(next)) {
      reporter.warning(WarningKind::Damaged, from + " links back to sector " + std::to_string(next) +
                       ", which was read already; the chain ends there.");
      return 0;
    }
    if (diskSectors > 0 && next >= diskSectors) {
      reporter.warning(WarningKind::Damaged, from + " links to sector " + std::to_string(next) +
                       ", past the end of the disk (" + std::to_string(diskSectors) +
                       " sectors); the chain ends there.");
      return 0;
    }
    current = next;
    linkOffset = *link;
  }
}

}  // namespace

namespace {

bool bareVolume(readWriteInterface& source, Partition& partition, ByteSpan sector0, VolumeReporter& reporter) {
  const BootSectorMatch m = classifyBootSector(sector0, NtfsName::Ignored);
  VolumeRecord r;
  r.volumeIndex = "0";
  r.startSector = 0;
  switch (m.kind) {
    case VolumeKind::Ntfs: r.fileSystem = "NTFS"; break;
    case VolumeKind::Fat32: r.fileSystem = "FAT32"; break;
    case VolumeKind::Fat16: r.fileSystem = "FAT16"; break;
    case VolumeKind::Exfat: r.fileSystem = "FAT64"; break;
    case VolumeKind::None:
      r.fileSystem = isHfsPlusVolume(source, 0) ? "HFS+" : isExtVolume(source, 0) ? "extX" : "";
      break;
  }
  if (r.fileSystem.empty()) return false;
  const std::int64_t disk = source.sizeSectors();
  r.sizeSectors = m.kind != VolumeKind::None ? static_cast<std::int64_t>(std::min<std::uint64_t>(m.sizeSectors, INT64_MAX))
                                             : disk;
  r.volumeSizeText = volumeSizeText(r.sizeSectors / 2048, m.kind == VolumeKind::Ntfs ? SizeStyle::ThreeBlanks
                                                                                       : SizeStyle::TwoBlanks);
  reporter.warning(WarningKind::Notice, "no partition table; a volume starts at sector 0 (" +
                                            std::string(r.fileSystem == "FAT64" ? "exFAT" : r.fileSystem == "extX" ? "ext" : r.fileSystem) + ")");
  appendRecord(partition, r);
  return true;
}

}  // namespace

std::int32_t walkMbr(readWriteInterface& source, Partition& partition) {
  Walk walk{source, partition, reporterOf(partition), source.sizeSectors()};
  std::array<std::byte, 512> mbr{};
  if (!walk.readSector(0, mbr)) return EIO;
  // A volume without a partition table: a disk formatted whole, or one volume's image. A
  // sector 0 with no entries at all (wiped) says nothing; one whose entries are not a table's
  // says why.
  if (!anyEntry(mbr)) {
    bareVolume(source, partition, mbr, walk.reporter);
    return 0;
  }
  if (const std::string why = notATable(mbr, walk.diskSectors); !why.empty()) {
    if (!bareVolume(source, partition, mbr, walk.reporter))
      walk.reporter.warning(WarningKind::Damaged, "sector 0 holds no partition table (" + why + ")");
    return 0;
  }
  for (std::size_t i = 0; i < kEntryCount; ++i) {
    MbrEntry e = MbrEntry::decode(mbr, i);
    // An empty slot is a hole, not the end: entries after it still count.
    if (e.type == 0) continue;
    // Primary entries after the extended one are volumes too: read them after its chain.
    if (e.isExtended()) {
      if (std::int32_t rc = walk.chain(e.lba); rc != 0) return rc;
      continue;
    }
    walk.add(Table::Mbr, e, e.lba, "partition table entry " + std::to_string(i + 1));
  }
  return 0;
}

}  // namespace quarnel::detail
