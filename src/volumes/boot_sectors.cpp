#include "volumes/boot_sectors.h"

#include <algorithm>
#include <array>

#include "volumes/partition.h"

namespace quarnel {
namespace {

constexpr std::size_t kJump0 = 0x00;          // x86 jump over the parameter block
constexpr std::size_t kJump1 = 0x01;
constexpr std::size_t kOemName = 0x03;        // 8 bytes, formatter's name
constexpr std::size_t kBytesPerSector = 0x0B;  // u16
constexpr std::size_t kSectorsPerCluster = 0x0D;
constexpr std::size_t kReservedSectors = 0x0E;  // u16
constexpr std::size_t kFatCount = 0x10;
constexpr std::size_t kTotalSectors16 = 0x13;  // u16, 0 when the 32-bit count holds it
constexpr std::size_t kSectorsPerFat16 = 0x16;  // u16, 0 on FAT32
constexpr std::size_t kTotalSectors32 = 0x20;  // u32
constexpr std::size_t kNtfsTotalSectors = 0x28;  // u64
constexpr std::size_t kExfatVolumeLength = 0x48;  // u64
constexpr std::size_t kBootSignature = 0x1FE;  // 0x55 0xAA

constexpr std::size_t kHfsSignature = 0x00;  // "H+" or "HX", then the u16 version
constexpr std::size_t kHfsBlockSize = 0x28;  // be32
constexpr std::size_t kHfsTotalBlocks = 0x2C;  // be32

constexpr std::size_t kExtBlockCountLow = 0x04;     // u32
constexpr std::size_t kExtLogBlockSize = 0x18;      // u32
constexpr std::size_t kExtBlocksPerGroup = 0x20;    // u32
constexpr std::size_t kExtMagic = 0x38;             // u16, 0xEF53
constexpr std::size_t kExtGroupNumber = 0x5A;       // u16
constexpr std::size_t kExtIncompatFeatures = 0x60;  // u32
constexpr std::size_t kExtBlockCountHigh = 0x150;   // u32, with the 64bit feature
constexpr std::uint32_t kExt64Bit = 0x80;

// FAT and exFAT jumps: "EB 3C 90" (FAT12/16), "EB 58 90" (FAT32), "EB 76 90" (exFAT).
bool fatJump(std::uint8_t b) { return b == 0x3C || b == 0x58 || b == 0x76; }

bool powerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

}  // namespace

NtfsBootSector NtfsBootSector::decode(ByteSpan s) {
  NtfsBootSector b;
  b.jump0 = u8(s, kJump0);
  b.jump1 = u8(s, kJump1);
  b.ntfsName = hasText(s, kOemName, "NTFS");
  b.bytesPerSector = le16(s, kBytesPerSector);
  b.totalSectors = le64(s, kNtfsTotalSectors);
  return b;
}

ExfatBootSector ExfatBootSector::decode(ByteSpan s) {
  ExfatBootSector b;
  b.jump0 = u8(s, kJump0);
  b.jump1 = u8(s, kJump1);
  b.exfatName = hasText(s, kOemName, "EXFA");
  b.volumeLength = le64(s, kExfatVolumeLength);
  return b;
}

bool ExfatBootSector::plausible() const { return jump0 == 0xEB && fatJump(jump1) && exfatName; }

FatBootSector FatBootSector::decode(ByteSpan s) {
  FatBootSector b;
  b.jump0 = u8(s, kJump0);
  b.bytesPerSector = le16(s, kBytesPerSector);
  b.sectorsPerCluster = u8(s, kSectorsPerCluster);
  b.reservedSectors = le16(s, kReservedSectors);
  b.fatCount = u8(s, kFatCount);
  b.totalSectors16 = le16(s, kTotalSectors16);
  b.sectorsPerFat16 = le16(s, kSectorsPerFat16);
  b.totalSectors32 = le32(s, kTotalSectors32);
  b.bootSignature = u8(s, kBootSignature) == 0x55 && u8(s, kBootSignature + 1) == 0xAA;
  return b;
}

bool FatBootSector::plausible() const {
  return (jump0 == 0xEB || jump0 == 0xE9) && bytesPerSector >= 512 && bytesPerSector <= 4096 &&
         powerOfTwo(bytesPerSector) && powerOfTwo(sectorsPerCluster) && reservedSectors >= 1 &&
         (fatCount == 1 || fatCount == 2) && bootSignature;
}

std::uint64_t FatBootSector::totalSectors() const {
  if (isFat32()) return totalSectors32;
  return totalSectors16 != 0 ? totalSectors16 : totalSectors32;
}

HfsPlusHeader HfsPlusHeader::decode(ByteSpan s) {
  HfsPlusHeader h;
  h.signature0 = u8(s, kHfsSignature);
  h.signature1 = u8(s, kHfsSignature + 1);
  h.versionHigh = u8(s, kHfsSignature + 2);
  h.blockSize = be32(s, kHfsBlockSize);
  h.totalBlocks = be32(s, kHfsTotalBlocks);
  return h;
}

bool HfsPlusHeader::plausible() const {
  return signature0 == 'H' && (signature1 == '+' || signature1 == 'X') && versionHigh == 0;
}

ExtSuperblock ExtSuperblock::decode(ByteSpan s) {
  ExtSuperblock e;
  e.magic = le16(s, kExtMagic);
  e.logBlockSize = le32(s, kExtLogBlockSize);
  e.blocksPerGroup = le32(s, kExtBlocksPerGroup);
  e.groupNumber = le16(s, kExtGroupNumber);
  e.blockCount = le32(s, kExtBlockCountLow);
  if (le32(s, kExtIncompatFeatures) & kExt64Bit) e.blockCount |= std::uint64_t{le32(s, kExtBlockCountHigh)} << 32;
  return e;
}

bool ExtSuperblock::plausible() const {
  return magic == 0xEF53 && logBlockSize <= 6 && blocksPerGroup != 0 && blocksPerGroup % 8 == 0;
}

std::uint64_t ExtSuperblock::sizeBytes() const {
  const std::uint64_t block = std::uint64_t{1024} << std::min<std::uint32_t>(logBlockSize, 6);
  return blockCount > UINT64_MAX / block ? UINT64_MAX : blockCount * block;
}

BootSectorMatch classifyBootSector(ByteSpan sector, NtfsName ntfsName) {
  NtfsBootSector ntfs = NtfsBootSector::decode(sector);
  if (ntfs.plausible() && (ntfsName == NtfsName::Ignored || ntfs.ntfsName))
    return {VolumeKind::Ntfs, ntfs.totalSectors};
  // exFAT first: its parameter block is zeroed and must never be read as FAT's.
  ExfatBootSector exfat = ExfatBootSector::decode(sector);
  if (exfat.plausible()) return {VolumeKind::Exfat, exfat.volumeLength};
  FatBootSector fat = FatBootSector::decode(sector);
  if (fat.plausible())
    return {fat.isFat32() ? VolumeKind::Fat32 : VolumeKind::Fat16, fat.totalSectors()};
  return {};
}

namespace {

// One sector at the source's own byte offset; false when it lies outside the source.
bool readSector(readWriteInterface& source, std::int64_t sector, std::array<std::byte, 512>& out) {
  if (sector < 0 || sector > INT64_MAX / kSectorSize) return false;
  return source.readAt(sector * kSectorSize, out);
}

}  // namespace

bool isExfatBootSector(readWriteInterface& source, std::int64_t sector) {
  std::array<std::byte, 512> buf{};
  return readSector(source, sector, buf) && ExfatBootSector::decode(buf).plausible();
}

bool isExtVolume(readWriteInterface& source, std::int64_t startSector) {
  std::array<std::byte, 512> buf{};
  if (startSector < 0 || startSector > INT64_MAX / kSectorSize - 2) return false;
  return readSector(source, startSector + 2, buf) && ExtSuperblock::decode(buf).primary();
}

bool isHfsPlusVolume(readWriteInterface& source, std::int64_t startSector) {
  std::array<std::byte, 512> buf{};
  if (startSector < 0 || startSector > INT64_MAX / kSectorSize - 2) return false;
  return readSector(source, startSector + 2, buf) && HfsPlusHeader::decode(buf).plausible();
}

}  // namespace quarnel
