// The GUID partition table: the header in sector 1 and its array of partition entries, or the
// backup copy at the end of the disk when the primary fails its checks.
#include <algorithm>
#include <array>
#include <cerrno>
#include <string>
#include <vector>

#include <zlib.h>

#include "volumes/boot_sectors.h"
#include "platform/text.h"
#include "volumes/partition.h"
#include "volumes/walk_support.h"

namespace quarnel::detail {
namespace {

constexpr std::size_t kHeaderSignature = 0x00;  // "EFI PART"
constexpr std::size_t kHeaderSize = 0x0C;       // u32, bytes the header CRC covers
constexpr std::size_t kHeaderCrc = 0x10;        // u32, CRC-32 of the header with this field 0
constexpr std::size_t kHeaderMyLba = 0x18;      // u64, where this copy of the header lies
constexpr std::size_t kHeaderAlternateLba = 0x20;  // u64, where the other copy lies
constexpr std::size_t kHeaderEntryLba = 0x48;   // u64, first sector of the entry array
constexpr std::size_t kHeaderEntryCount = 0x50;  // u32
constexpr std::size_t kHeaderEntrySize = 0x54;   // u32, bytes per entry
constexpr std::size_t kHeaderArrayCrc = 0x58;    // u32, CRC-32 of count x size entry bytes
constexpr std::uint32_t kMinHeaderSize = 92;

constexpr std::size_t kEntryType = 0x00;      // partition type GUID, 16 bytes
constexpr std::size_t kEntryTypeLength = 16;
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
constexpr std::uint32_t kSkipsSaid = 8;

// The highest sector whose byte offset fits a signed 64-bit position.
constexpr std::uint64_t kMaxLba = INT64_MAX / 512;

constexpr std::string_view kMsReserved = "Microsoft reserved partition";

struct EntryArray {
  std::uint64_t lba = kDefaultEntryLba;
  std::uint32_t count = kDefaultEntryCount;
  std::uint32_t entrySize = kDefaultEntrySize;
  std::uint32_t crc = 0;
};

std::uint32_t crc32Of(ByteSpan bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes lengths as uInt; an entry array is at most 1 MiB and a header one sector.
  return static_cast<std::uint32_t>(
      crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// One copy of the header, read at `lba`, and what is wrong with it.
struct HeaderCheck {
  EntryArray array;
  std::uint64_t alternateLba = 0;
  // The signature is there and the entry array it gives can be read: its entries are worth
  // taking even when a CRC fails and nothing better exists.
  bool usable = false;
  std::string fault;  // empty: every check holds
};

HeaderCheck checkHeader(ByteSpan header, std::uint64_t lba, std::int64_t diskSectors) {
  HeaderCheck h;
  if (!hasText(header, kHeaderSignature, "EFI PART")) {
    h.fault = "has no \"EFI PART\" signature";
    return h;
  }
  EntryArray a{le64(header, kHeaderEntryLba), le32(header, kHeaderEntryCount),
               le32(header, kHeaderEntrySize), le32(header, kHeaderArrayCrc)};
  std::uint64_t bytes = std::uint64_t{a.count} * a.entrySize;
  bool sane = a.lba >= 2 && a.lba <= kMaxLba - kMaxArrayBytes / 512 &&
              a.entrySize >= kMinEntrySize && a.entrySize <= kMaxEntrySize &&
              a.entrySize % 8 == 0 && a.count > 0 && bytes <= kMaxArrayBytes &&
              (diskSectors <= 0 ||
               a.lba * 512 + bytes <= static_cast<std::uint64_t>(diskSectors) * 512);
  if (!sane) {
    h.fault = "gives an unusable partition entry array (" + std::to_string(a.count) + " entries of " +
              std::to_string(a.entrySize) + " bytes at sector " + std::to_string(a.lba) + ")";
    return h;
  }
  h.array = a;
  h.usable = true;
  h.alternateLba = le64(header, kHeaderAlternateLba);
  const std::uint32_t size = le32(header, kHeaderSize);
  if (size < kMinHeaderSize || size > header.size()) {
    h.fault = "gives a header size of " + std::to_string(size) + " bytes";
    return h;
  }
  std::vector<std::byte> copy(header.begin(), header.begin() + size);
  std::fill_n(copy.begin() + kHeaderCrc, 4, std::byte{0});
  if (crc32Of(copy) != le32(header, kHeaderCrc)) {
    h.fault = "fails its CRC";
  } else if (le64(header, kHeaderMyLba) != lba) {
    h.fault = "says it lies at sector " + std::to_string(le64(header, kHeaderMyLba));
  }
  return h;
}

// Reads the header at `lba` and, when it is sound, its entries; `entries` holds them when
// the header is usable at all.
HeaderCheck readCopy(readWriteInterface& source, std::uint64_t lba, ByteSpan headerSector,
                     std::int64_t diskSectors, std::vector<std::byte>& entries) {
  std::array<std::byte, 512> own{};
  if (headerSector.empty()) {
    if (lba > kMaxLba || !source.readAt(static_cast<std::int64_t>(lba * 512), own)) {
      HeaderCheck h;
      h.fault = "cannot be read";
      return h;
    }
    headerSector = own;
  }
  HeaderCheck h = checkHeader(headerSector, lba, diskSectors);
  if (!h.usable) return h;
  entries.assign(std::size_t{h.array.count} * h.array.entrySize, std::byte{0});
  bool read = source.readAt(static_cast<std::int64_t>(h.array.lba * 512), entries);
  if (h.fault.empty() && (!read || crc32Of(entries) != h.array.crc))
    h.fault = read ? "has a partition entry array that fails its CRC" : "has an unreadable partition entry array";
  return h;
}

// The entry array to walk: the primary's when it is sound, else the backup's at the end of
// the disk, else whichever copy is usable, else 128 entries at sector 2. Says which on a
// fallback.
EntryArray locateEntryArray(readWriteInterface& source, ByteSpan headerSector, std::int64_t diskSectors,
                            VolumeReporter& reporter, std::vector<std::byte>& entries) {
  HeaderCheck primary = readCopy(source, 1, headerSector, diskSectors, entries);
  if (primary.fault.empty()) return primary.array;

  std::uint64_t backupLba = diskSectors > 1 ? static_cast<std::uint64_t>(diskSectors - 1) : 0;
  if (primary.usable && primary.alternateLba > 1 && primary.alternateLba <= kMaxLba &&
      (diskSectors <= 0 || primary.alternateLba < static_cast<std::uint64_t>(diskSectors)))
    backupLba = primary.alternateLba;
  std::vector<std::byte> backupEntries;
  HeaderCheck backup;
  if (backupLba > 1) backup = readCopy(source, backupLba, {}, diskSectors, backupEntries);
  const std::string primaryText = "The GPT header at sector 1 " + primary.fault;
  const std::string backupText = "the backup GPT at sector " + std::to_string(backupLba);
  if (backupLba > 1 && backup.fault.empty()) {
    reporter.warning(WarningKind::Damaged, primaryText + "; reading " + backupText + " instead.");
    entries = std::move(backupEntries);
    return backup.array;
  }
  const std::string both = primaryText + ", and " +
                           (backupLba > 1 ? backupText + " " + backup.fault : "there is no backup GPT");
  if (primary.usable) {
    reporter.warning(WarningKind::Damaged, both + "; reading its entries as they stand.");
    return primary.array;
  }
  if (backup.usable) {
    reporter.warning(WarningKind::Damaged, both + "; reading the backup's entries as they stand.");
    entries = std::move(backupEntries);
    return backup.array;
  }
  reporter.warning(WarningKind::Damaged, both + "; reading 128 entries of 128 bytes from sector 2 instead.");
  EntryArray fallback;
  entries.assign(std::size_t{fallback.count} * fallback.entrySize, std::byte{0});
  // Unreadable entries come back as zeros, and a zero entry is an empty slot.
  source.readAt(static_cast<std::int64_t>(fallback.lba * 512), entries);
  return fallback;
}

// Up to the first NUL of the field.
std::string entryName(ByteSpan e) {
  std::size_t units = 0;
  while (units < kEntryNameUnits && le16(e, kEntryName + 2 * units) != 0) ++units;
  return utf16leToUtf8(e.subspan(kEntryName, 2 * units));
}

struct GptEntry {
  bool empty = true;  // an all-zero type GUID: an unused slot
  std::uint64_t firstLba = 0;
  std::uint64_t lastLba = 0;
  std::string name;

  static GptEntry decode(ByteSpan e) {
    GptEntry g;
    for (std::size_t i = 0; i < kEntryTypeLength; ++i) g.empty = g.empty && u8(e, kEntryType + i) == 0;
    g.firstLba = le64(e, kEntryFirstLba);
    g.lastLba = le64(e, kEntryLastLba);
    g.name = entryName(e);
    return g;
  }
  // Why a used slot cannot be a partition (empty when it can).
  std::string fault() const {
    if (firstLba <= 2) return "starts at sector " + std::to_string(firstLba) + ", inside the GPT";
    if (lastLba < firstLba) return "ends at sector " + std::to_string(lastLba) + ", before it starts";
    return {};
  }
};

}  // namespace

std::int32_t walkGpt(readWriteInterface& source, Partition& partition, ByteSpan headerSector) {
  VolumeReporter& reporter = reporterOf(partition);
  std::int64_t diskSectors = source.sizeSectors();
  std::vector<std::byte> entries;
  EntryArray array = locateEntryArray(source, headerSector, diskSectors, reporter, entries);

  int index = 0;
  int ntfsCount = 0;
  std::uint32_t skipped = 0;
  const auto sayMoreSkipped = [&] {
    if (skipped > kSkipsSaid)
      reporter.warning(WarningKind::Damaged,
                       std::to_string(skipped - kSkipsSaid) + " more unusable GPT entries skipped.");
  };
  for (std::uint32_t i = 0; i < array.count; ++i) {
    GptEntry e = GptEntry::decode(ByteSpan(entries).subspan(std::size_t{i} * array.entrySize,
                                                            array.entrySize));
    if (e.empty) continue;
    std::string where = "GPT entry " + std::to_string(i + 1) + " (\"" + e.name + "\")";
    if (std::string why = e.fault(); !why.empty()) {
      // A damaged array read as it stands may hold thousands of such slots.
      if (++skipped <= kSkipsSaid) reporter.warning(WarningKind::Damaged, where + " " + why + "; skipped.");
      continue;
    }
    bool reserved = e.name == kMsReserved;
    std::int64_t first = static_cast<std::int64_t>(std::min(e.firstLba, kMaxLba));
    std::int64_t last = static_cast<std::int64_t>(std::min(e.lastLba, kMaxLba));
    if (!reserved) warnIfPastEnd(reporter, where, first, std::max(first, last), diskSectors);

    std::array<std::byte, 512> sector{};
    if (e.firstLba > kMaxLba || !source.readAt(first * kSectorSize, sector)) {
      sayMoreSkipped();
      return EIO;
    }
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
    if (m.kind != VolumeKind::None && partition.job->shouldStop()) break;
  }
  sayMoreSkipped();
  return 0;
}

}  // namespace quarnel::detail
