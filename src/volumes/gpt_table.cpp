// The GUID partition table: the header in sector 1 and its array of partition entries.
#include <algorithm>
#include <array>
#include <cerrno>
#include <string>
#include <vector>

#include "volumes/boot_sectors.h"
#include "platform/text.h"
#include "volumes/partition.h"
#include "volumes/walk_support.h"

namespace quarnel::detail {
namespace {

constexpr std::size_t kHeaderSignature = 0x00;  // "EFI PART"
constexpr std::size_t kHeaderEntryLba = 0x48;   // u64, first sector of the entry array
constexpr std::size_t kHeaderEntryCount = 0x50;  // u32
constexpr std::size_t kHeaderEntrySize = 0x54;   // u32, bytes per entry

constexpr std::size_t kEntryType = 0x00;      // partition type GUID, 16 bytes
constexpr std::size_t kEntryFirstLba = 0x20;  // u64
constexpr std::size_t kEntryLastLba = 0x28;   // u64, inclusive
constexpr std::size_t kEntryName = 0x38;      // 36 UTF-16LE code units
constexpr std::size_t kEntryNameUnits = 36;

constexpr std::uint64_t kDefaultEntryLba = 2;
constexpr std::uint32_t kDefaultEntryCount = 128;
constexpr std::uint32_t kDefaultEntrySize = 128;
constexpr std::uint32_t kMinEntrySize = 128;
constexpr std::uint32_t kMaxEntrySize = 4096;
constexpr std::uint64_t kMaxArrayBytes = 1 << 20;
constexpr std::uint32_t kMaxEntriesTaken = 72;

// The highest sector whose byte offset fits a signed 64-bit position.
constexpr std::uint64_t kMaxLba = INT64_MAX / 512;

constexpr std::string_view kMsReserved = "Microsoft reserved partition";

struct EntryArray {
  std::uint64_t lba = kDefaultEntryLba;
  std::uint32_t count = kDefaultEntryCount;
  std::uint32_t entrySize = kDefaultEntrySize;
};

constexpr const char* kFallback = "; reading 128 entries of 128 bytes from sector 2 instead.";

EntryArray locateEntryArray(ByteSpan header, std::int64_t diskSectors, VolumeReporter& reporter) {
  if (!hasText(header, kHeaderSignature, "EFI PART")) {
    reporter.warning(WarningKind::Damaged, std::string("The GPT header at sector 1 has no \"EFI PART\" signature") +
                     kFallback);
    return {};
  }
  EntryArray a{le64(header, kHeaderEntryLba), le32(header, kHeaderEntryCount),
               le32(header, kHeaderEntrySize)};
  std::uint64_t bytes = std::uint64_t{a.count} * a.entrySize;
  bool sane = a.lba >= 2 && a.lba <= kMaxLba - kMaxArrayBytes / 512 &&
              a.entrySize >= kMinEntrySize && a.entrySize <= kMaxEntrySize &&
              a.entrySize % 8 == 0 && a.count > 0 && bytes <= kMaxArrayBytes &&
              (diskSectors <= 0 ||
               a.lba * 512 + bytes <= static_cast<std::uint64_t>(diskSectors) * 512);
  if (sane) return a;
  reporter.warning(WarningKind::Damaged, "The GPT header at sector 1 gives an unusable partition entry array (" +
                   std::to_string(a.count) + " entries of " + std::to_string(a.entrySize) +
                   " bytes at sector " + std::to_string(a.lba) + ")" + kFallback);
  return {};
}

// Up to the first NUL of the field.
std::string entryName(ByteSpan e) {
  std::size_t units = 0;
  while (units < kEntryNameUnits && le16(e, kEntryName + 2 * units) != 0) ++units;
  return utf16leToUtf8(e.subspan(kEntryName, 2 * units));
}

struct GptEntry {
  std::array<std::uint8_t, 4> typeHead{};
  std::uint64_t firstLba = 0;
  std::uint64_t lastLba = 0;
  std::string name;

  static GptEntry decode(ByteSpan e) {
    GptEntry g;
    for (std::size_t i = 0; i < g.typeHead.size(); ++i) g.typeHead[i] = u8(e, kEntryType + i);
    g.firstLba = le64(e, kEntryFirstLba);
    g.lastLba = le64(e, kEntryLastLba);
    g.name = entryName(e);
    return g;
  }
  // The list ends at the first entry that fails this.
  bool taken() const {
    return firstLba > 2 && std::none_of(typeHead.begin(), typeHead.end(),
                                        [](std::uint8_t b) { return b == 0x30; });
  }
};

}  // namespace

std::int32_t walkGpt(readWriteInterface& source, Partition& partition, ByteSpan headerSector) {
  VolumeReporter& reporter = reporterOf(partition);
  std::int64_t diskSectors = source.sizeSectors();
  EntryArray array = locateEntryArray(headerSector, diskSectors, reporter);
  std::vector<std::byte> entries(std::size_t{array.count} * array.entrySize);
  // Unreadable entries come back as zeros, and a zero entry ends the list.
  source.readAt(static_cast<std::int64_t>(array.lba * 512), entries);

  int index = 0;
  int ntfsCount = 0;
  std::uint32_t limit = std::min(array.count, kMaxEntriesTaken);
  for (std::uint32_t i = 0; i < limit; ++i) {
    GptEntry e = GptEntry::decode(ByteSpan(entries).subspan(std::size_t{i} * array.entrySize,
                                                            array.entrySize));
    if (!e.taken()) break;
    std::string where = "GPT entry " + std::to_string(i + 1) + " (\"" + e.name + "\")";
    bool reserved = e.name == kMsReserved;
    std::int64_t first = static_cast<std::int64_t>(std::min(e.firstLba, kMaxLba));
    std::int64_t last = static_cast<std::int64_t>(std::min(e.lastLba, kMaxLba));
    if (!reserved) warnIfPastEnd(reporter, where, first, std::max(first, last), diskSectors);

    std::array<std::byte, 512> sector{};
    if (e.firstLba > kMaxLba || !source.readAt(first * kSectorSize, sector)) return EIO;
    if (reserved) continue;

    BootSectorMatch m = classifyBootSector(sector, NtfsName::Ignored);
    VolumeRecord r;
    r.startSector = first;
    r.volumeSizeText = volumeSizeText(m.sizeMiB(), SizeStyle::TwoBlanks);
    r.sizeSectors = static_cast<std::int64_t>(std::min<std::uint64_t>(m.sizeSectors, INT64_MAX));
    switch (m.kind) {
      case VolumeKind::Ntfs:
        reporter.status("found NTFS " + std::to_string(++ntfsCount) + "...");
        r.fileSystem = "NTFS";
        r.volumeSizeText = volumeSizeText(m.sizeMiB(), SizeStyle::ThreeBlanks);
        break;
      case VolumeKind::Fat32:
        reporter.status("found FAT 32...");
        r.fileSystem = "FAT32";
        break;
      case VolumeKind::Fat16:
        reporter.status("found FAT 16...");
        r.fileSystem = "FAT16";
        break;
      case VolumeKind::Exfat:
        reporter.status("found FAT 64...");
        r.fileSystem = "FAT64";
        break;
      case VolumeKind::None:
        // An ext superblock names its volume; the GPT name would reach no parser.
        r.fileSystem = isHfsPlusVolume(source, first) ? "HFS+" : isExtVolume(source, first) ? "extX" : e.name;
        r.volumeSizeText = volumeSizeText(last > first ? (last - first) / 2048 : 0, SizeStyle::Bare);
        r.sizeSectors = last > first ? last - first : 0;
        break;
    }
    if (m.kind == VolumeKind::None || m.sizeMiB() >= 1) {
      r.volumeIndex = std::to_string(index++);
      appendRecord(partition, r);
    }
    if (m.kind != VolumeKind::None && partition.job->shouldStop()) return 0;
  }
  return 0;
}

}  // namespace quarnel::detail
