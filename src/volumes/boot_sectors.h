// The first sectors that name a volume's file system: NTFS, FAT and exFAT boot sectors and
// the HFS+ volume header. Both the partition-table walk and the boot-sector scan decide
// through these, so the two agree on what a volume looks like.
#pragma once

#include <cstdint>

#include "platform/bytes.h"

namespace quarnel {

struct NtfsBootSector {
  std::uint8_t jump0 = 0;
  std::uint8_t jump1 = 0;
  bool ntfsName = false;  // "NTFS" at bytes 3..6
  std::uint16_t bytesPerSector = 0;
  std::uint64_t totalSectors = 0;

  static NtfsBootSector decode(ByteSpan sector);
  // The partition tables trust the jump and sector size; the scan also wants the name.
  bool plausible() const { return jump0 == 0xEB && jump1 == 0x52 && bytesPerSector == 512; }
};

struct ExfatBootSector {
  std::uint8_t jump0 = 0;
  std::uint8_t jump1 = 0;
  bool exfatName = false;  // "EXFA" at bytes 3..6
  std::uint64_t volumeLength = 0;

  static ExfatBootSector decode(ByteSpan sector);
  bool plausible() const;
};

// A FAT12/16/32 boot sector, judged by its BIOS parameter block alone: formatters write
// whatever OEM name they like.
struct FatBootSector {
  std::uint8_t jump0 = 0;
  std::uint16_t bytesPerSector = 0;
  std::uint8_t sectorsPerCluster = 0;
  std::uint16_t reservedSectors = 0;
  std::uint8_t fatCount = 0;
  std::uint16_t totalSectors16 = 0;
  std::uint16_t sectorsPerFat16 = 0;
  std::uint32_t totalSectors32 = 0;
  bool bootSignature = false;  // 0x55 0xAA at bytes 510..511

  static FatBootSector decode(ByteSpan sector);
  bool plausible() const;
  // FAT32 keeps its FAT size elsewhere and leaves the 16-bit field 0.
  bool isFat32() const { return sectorsPerFat16 == 0; }
  std::uint64_t totalSectors() const;
};

// The HFS+ or HFSX volume header, 1024 bytes into its volume. Big-endian.
struct HfsPlusHeader {
  std::uint8_t signature0 = 0;
  std::uint8_t signature1 = 0;
  std::uint8_t versionHigh = 0;
  std::uint32_t blockSize = 0;
  std::uint32_t totalBlocks = 0;

  static HfsPlusHeader decode(ByteSpan sector);
  bool plausible() const;
  std::uint64_t sizeBytes() const { return std::uint64_t{blockSize} * totalBlocks; }
};

// The first 512 bytes of an ext2/3/4 superblock, 1024 bytes into its volume. Little-endian.
struct ExtSuperblock {
  std::uint16_t magic = 0;
  std::uint32_t logBlockSize = 0;  // block size = 1024 << this
  std::uint32_t blocksPerGroup = 0;
  std::uint16_t groupNumber = 0;   // 0 in the primary; backups name their group
  std::uint64_t blockCount = 0;    // with the high half when the 64bit feature is set

  static ExtSuperblock decode(ByteSpan sector);
  bool plausible() const;
  // The primary superblock of a volume, not a group's backup copy.
  bool primary() const { return plausible() && groupNumber == 0; }
  std::uint64_t sizeBytes() const;
};

enum class VolumeKind { None, Ntfs, Exfat, Fat32, Fat16 };

struct BootSectorMatch {
  VolumeKind kind = VolumeKind::None;
  std::uint64_t sizeSectors = 0;  // in 512-byte sectors, as the boot sector claims

  // Size in MiB, rounded down; the same as bytes / 1048576 without overflowing.
  std::int64_t sizeMiB() const { return static_cast<std::int64_t>(sizeSectors / 2048); }
};

enum class NtfsName { Ignored, Required };

// Classifies a volume's first sector, trying NTFS, exFAT, then FAT.
BootSectorMatch classifyBootSector(ByteSpan sector, NtfsName ntfsName);

}  // namespace quarnel
