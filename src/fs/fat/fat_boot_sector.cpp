#include "fs/fat/fat_boot_sector.h"

#include <algorithm>

#include "volumes/boot_sectors.h"

namespace quarnel {
namespace {

constexpr std::size_t kOemName = 3;           // 8 bytes
constexpr std::size_t kBytesPerSector = 11;   // u16
constexpr std::size_t kSectorsPerCluster = 13;
constexpr std::size_t kReservedSectors = 14;  // u16
constexpr std::size_t kFatCount = 16;
constexpr std::size_t kRootEntryCount = 17;   // u16, 0 on FAT32
constexpr std::size_t kTotalSectors16 = 19;   // u16
constexpr std::size_t kSectorsPerFat16 = 22;  // u16, 0 on FAT32
constexpr std::size_t kTotalSectors32 = 32;   // u32
constexpr std::size_t kSectorsPerFat32 = 36;  // u32
constexpr std::size_t kRootCluster = 44;      // u32
constexpr std::size_t kBackupBoot = 50;       // u16

constexpr std::uint64_t kFat12MaxClusters = 4084;  // a FAT12 volume has fewer than 4085

}  // namespace

FatBootRecord FatBootRecord::decode(ByteSpan s) {
  FatBootRecord b;
  for (std::size_t i = 0; i < 8; ++i) b.oemName += static_cast<char>(u8(s, kOemName + i));
  b.bytesPerSector = le16(s, kBytesPerSector);
  b.sectorsPerCluster = u8(s, kSectorsPerCluster);
  b.reservedSectors = le16(s, kReservedSectors);
  b.fatCount = u8(s, kFatCount);
  b.rootEntryCount = le16(s, kRootEntryCount);
  b.totalSectors16 = le16(s, kTotalSectors16);
  b.sectorsPerFat16 = le16(s, kSectorsPerFat16);
  b.totalSectors32 = le32(s, kTotalSectors32);
  b.sectorsPerFat32 = le32(s, kSectorsPerFat32);
  b.rootCluster = le32(s, kRootCluster);
  b.backupBootSector = le16(s, kBackupBoot);
  b.parameterBlock = FatBootSector::decode(s).plausible();
  return b;
}

std::uint64_t FatBootRecord::totalSectors() const {
  if (isFat32()) return totalSectors32;
  return totalSectors16 != 0 ? totalSectors16 : totalSectors32;
}

std::optional<FatGeometry> FatBootRecord::geometry() const {
  if (!parameterBlock) return std::nullopt;
  const bool fat32 = isFat32();
  const std::uint64_t perFat = fat32 ? sectorsPerFat32 : sectorsPerFat16;
  if (perFat == 0 || (!fat32 && rootEntryCount == 0)) return std::nullopt;
  const std::uint64_t bps = bytesPerSector;
  const std::uint64_t rootSectors = fat32 ? 0 : (std::uint64_t{rootEntryCount} * 32 + bps - 1) / bps;
  const std::uint64_t rootStart = reservedSectors + std::uint64_t{fatCount} * perFat;
  const std::uint64_t dataStart = rootStart + rootSectors;
  const std::uint64_t total = totalSectors();
  if (total <= dataStart) return std::nullopt;
  const std::uint64_t clusters = (total - dataStart) / sectorsPerCluster;
  if (clusters == 0) return std::nullopt;

  FatGeometry g;
  g.width = fat32 ? FatWidth::Fat32 : clusters <= kFat12MaxClusters ? FatWidth::Fat12 : FatWidth::Fat16;
  g.bytesPerSector = bytesPerSector;
  g.sectorsPerCluster = sectorsPerCluster;
  g.clusterSize = bps * sectorsPerCluster;
  g.fatOffset = reservedSectors * bps;
  g.fatSize = perFat * bps;
  g.fatCount = fatCount;
  g.rootOffset = rootStart * bps;
  g.rootSize = fat32 ? 0 : std::uint64_t{rootEntryCount} * 32;
  g.rootCluster = fat32 ? rootCluster : 0;
  g.dataOffset = dataStart * bps;
  // A FAT shorter than the data region bounds the clusters it can describe.
  const std::uint64_t bits = g.width == FatWidth::Fat12 ? 12 : g.width == FatWidth::Fat16 ? 16 : 32;
  const std::uint64_t entries = g.fatSize * 8 / bits;
  g.clusterLimit = static_cast<std::uint32_t>(std::min<std::uint64_t>({clusters + 2, entries, 0x0FFFFFF7}));
  if (fat32 && !g.validCluster(rootCluster)) return std::nullopt;
  return g;
}

}  // namespace quarnel
