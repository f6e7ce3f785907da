#include "volumes/boot_sectors.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "volumes/volume_test_support.h"

namespace quarnel {
namespace {

using test::FatBpb;
using test::Sector;

ByteSpan bytesOf(const Sector& s) { return asBytes(s.data(), s.size()); }

FatBpb fat16(std::uint16_t total) {
  FatBpb b;
  b.totalSectors16 = total;
  b.sectorsPerFat16 = 32;
  return b;
}

template <typename F>
Sector fatWith(F change) {
  FatBpb b = fat16(32768);
  change(b);
  return test::fatBootSector(b);
}

struct ClassifyCase {
  const char* name;
  Sector sector;
  VolumeKind kind;
  std::uint64_t sizeSectors;
};

TEST(BootSectorClassify, KindAndSizeFromTheFirstSector) {
  const ClassifyCase cases[] = {
      {"ntfs", test::ntfsBootSector(409600), VolumeKind::Ntfs, 409600},
      {"exfat", test::exfatBootSector(65536), VolumeKind::Exfat, 65536},
      {"fat32 by mkfs.fat", test::fat32BootSector(69632), VolumeKind::Fat32, 69632},
      {"fat16 by Windows", fatWith([](FatBpb& b) { b.oem = "MSWIN4.1"; }), VolumeKind::Fat16, 32768},
      {"fat16 any FAT size", fatWith([](FatBpb& b) { b.sectorsPerFat16 = 250; }), VolumeKind::Fat16, 32768},
      {"fat16 total in 32 bits",
       fatWith([](FatBpb& b) { b.totalSectors16 = 0; b.totalSectors32 = 100000; }), VolumeKind::Fat16, 100000},
      // Read as signed, these two counts would be negative and the volumes lost.
      {"fat16 of 20 MiB", test::fatBootSector(fat16(40960)), VolumeKind::Fat16, 40960},
      {"fat32 over 1 TiB", test::fat32BootSector(0xF0000000), VolumeKind::Fat32, 0xF0000000},
      {"fat near jump", fatWith([](FatBpb& b) { b.jump0 = 0xE9; b.jump1 = 0x00; }), VolumeKind::Fat16, 32768},
      {"fat 4096-byte sectors", fatWith([](FatBpb& b) { b.bytesPerSector = 4096; }), VolumeKind::Fat16, 32768},
      {"no jump", fatWith([](FatBpb& b) { b.jump0 = 0x00; }), VolumeKind::None, 0},
      {"256-byte sectors", fatWith([](FatBpb& b) { b.bytesPerSector = 256; }), VolumeKind::None, 0},
      {"768-byte sectors", fatWith([](FatBpb& b) { b.bytesPerSector = 768; }), VolumeKind::None, 0},
      {"8192-byte sectors", fatWith([](FatBpb& b) { b.bytesPerSector = 8192; }), VolumeKind::None, 0},
      {"no sectors per cluster", fatWith([](FatBpb& b) { b.sectorsPerCluster = 0; }), VolumeKind::None, 0},
      {"3 sectors per cluster", fatWith([](FatBpb& b) { b.sectorsPerCluster = 3; }), VolumeKind::None, 0},
      {"no reserved sectors", fatWith([](FatBpb& b) { b.reservedSectors = 0; }), VolumeKind::None, 0},
      {"no FAT", fatWith([](FatBpb& b) { b.fatCount = 0; }), VolumeKind::None, 0},
      {"three FATs", fatWith([](FatBpb& b) { b.fatCount = 3; }), VolumeKind::None, 0},
      {"no 55 AA", fatWith([](FatBpb& b) { b.bootSignature = false; }), VolumeKind::None, 0},
      {"zeros", Sector{}, VolumeKind::None, 0},
  };
  for (const auto& c : cases) {
    BootSectorMatch m = classifyBootSector(bytesOf(c.sector), NtfsName::Required);
    EXPECT_EQ(m.kind, c.kind) << c.name;
    EXPECT_EQ(m.sizeSectors, c.sizeSectors) << c.name;
  }
}

TEST(BootSectorClassify, NtfsNameMattersOnlyWhenRequired) {
  Sector s = test::ntfsBootSector(409600);
  test::putText(s, 3, "MSWIN4.1");
  EXPECT_EQ(classifyBootSector(bytesOf(s), NtfsName::Ignored).kind, VolumeKind::Ntfs);
  EXPECT_EQ(classifyBootSector(bytesOf(s), NtfsName::Required).kind, VolumeKind::None);

  Sector large = test::ntfsBootSector(409600);
  test::putLe16(large, 0x0B, 4096);
  EXPECT_EQ(classifyBootSector(bytesOf(large), NtfsName::Ignored).kind, VolumeKind::None);
}

TEST(BootSectorClassify, SizeInMiBRoundsDownWithoutOverflow) {
  EXPECT_EQ((BootSectorMatch{VolumeKind::Ntfs, 409599}).sizeMiB(), 199);
  EXPECT_EQ((BootSectorMatch{VolumeKind::Ntfs, 2047}).sizeMiB(), 0);
  EXPECT_EQ((BootSectorMatch{VolumeKind::Ntfs, UINT64_MAX}).sizeMiB(), 9007199254740991);
}

TEST(BootSectorProbe, ExfatAndHfsPlusOnASource) {
  test::ScratchDir dir;
  test::SyntheticDisk disk(1000);
  disk.put(100, test::exfatBootSector(4096));
  Sector wrongJump = test::exfatBootSector(4096);
  wrongJump[1] = 0x90;
  disk.put(110, wrongJump);
  disk.put(120, test::ntfsBootSector(4096));
  disk.put(202, test::hfsPlusHeader(4096, 1000));
  disk.put(302, test::hfsPlusHeader(4096, 1000, 'X'));
  Sector badVersion = test::hfsPlusHeader(4096, 1000);
  badVersion[2] = 1;
  disk.put(402, badVersion);
  disk.put(999, test::hfsPlusHeader(4096, 1000));
  FileReadSeek src = disk.open(dir.file("disk.img"));

  EXPECT_TRUE(isExfatBootSector(src, 100));
  EXPECT_FALSE(isExfatBootSector(src, 110));
  EXPECT_FALSE(isExfatBootSector(src, 120));
  EXPECT_FALSE(isExfatBootSector(src, 1000));
  EXPECT_FALSE(isExfatBootSector(src, -1));
  EXPECT_FALSE(isExfatBootSector(src, INT64_MAX));

  EXPECT_TRUE(isHfsPlusVolume(src, 200));
  EXPECT_TRUE(isHfsPlusVolume(src, 300));
  EXPECT_FALSE(isHfsPlusVolume(src, 400));
  EXPECT_FALSE(isHfsPlusVolume(src, 202));
  EXPECT_TRUE(isHfsPlusVolume(src, 997));
  EXPECT_FALSE(isHfsPlusVolume(src, 998));
  EXPECT_FALSE(isHfsPlusVolume(src, INT64_MAX));
}

}  // namespace
}  // namespace quarnel
