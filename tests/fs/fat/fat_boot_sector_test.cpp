// Boot sectors: trusted by their parameter block whatever the OEM name, FAT12/16/32 told
// apart as the formatters do, exFAT's geometry from its shifts.
#include <gtest/gtest.h>

#include "fs/fat/exfat_boot_sector.h"
#include "fs/fat/fat16_class.h"
#include "fs/fat/fat32_class.h"
#include "fs/fat/fat_boot_sector.h"
#include "fs/fat/fat_test_support.h"

namespace quarnel {
namespace {

std::vector<std::uint8_t> bootOf(const std::string& image, std::uint64_t sector = 0) {
  auto disk = test::fatImage(image);
  if (!disk) return {};
  return {disk->bytes().begin() + static_cast<std::ptrdiff_t>(sector * 512),
          disk->bytes().begin() + static_cast<std::ptrdiff_t>(sector * 512 + 512)};
}

ByteSpan span(const std::vector<std::uint8_t>& v) { return asBytes(v.data(), v.size()); }

TEST(FatBootSector, AnyOemNameWithAPlausibleParameterBlock) {
  std::vector<std::uint8_t> f32 = bootOf("fat_fat32.img");
  std::vector<std::uint8_t> f16 = bootOf("fat_fat16.img");
  if (f32.empty() || f16.empty()) GTEST_SKIP();
  for (const char* oem : {"mkfs.fat", "MSWIN4.1", "MSDOS5.0", "EASTMAN ", "        "}) {
    std::copy_n(oem, 8, f32.begin() + 3);
    std::copy_n(oem, 8, f16.begin() + 3);
    const auto g32 = FatBootRecord::decode(span(f32)).geometry();
    const auto g16 = FatBootRecord::decode(span(f16)).geometry();
    ASSERT_TRUE(g32 && g16) << oem;
    EXPECT_EQ(g32->width, FatWidth::Fat32) << oem;
    EXPECT_EQ(g16->width, FatWidth::Fat16) << oem;
  }
}

TEST(FatBootSector, GeometryOfTheFixtures) {
  const auto b32 = bootOf("fat_fat32.img"), b16 = bootOf("fat_fat16.img"), b12 = bootOf("fat_fat12.img");
  if (b32.empty() || b16.empty() || b12.empty()) GTEST_SKIP();
  // As fsstat reads them: FAT32 reserved 32, 2 x 536 sectors of FAT, 512-byte clusters;
  // FAT16 reserved 4, 2 x 32, a 512-entry root region, 2 KiB clusters.
  const auto g32 = FatBootRecord::decode(span(b32)).geometry();
  ASSERT_TRUE(g32);
  EXPECT_EQ(g32->fatOffset, 32u * 512);
  EXPECT_EQ(g32->dataOffset, (32u + 2 * 536) * 512);
  EXPECT_EQ(g32->clusterSize, 512u);
  EXPECT_EQ(g32->rootCluster, 2u);
  const auto g16 = FatBootRecord::decode(span(b16)).geometry();
  ASSERT_TRUE(g16);
  EXPECT_EQ(g16->rootOffset, (4u + 2 * 32) * 512);
  EXPECT_EQ(g16->rootSize, 512u * 32);
  EXPECT_EQ(g16->dataOffset, g16->rootOffset + g16->rootSize);
  EXPECT_EQ(g16->clusterSize, 2048u);
  // Fewer than 4085 clusters make FAT12 whatever the type text says.
  const auto g12 = FatBootRecord::decode(span(b12)).geometry();
  ASSERT_TRUE(g12);
  EXPECT_EQ(g12->width, FatWidth::Fat12);
  EXPECT_LT(g12->clusterLimit, 4085u + 2);
}

TEST(FatBootSector, ImplausibleParameterBlocksAreRejected) {
  const auto good = bootOf("fat_fat16.img");
  if (good.empty()) GTEST_SKIP();
  struct Patch {
    const char* what;
    std::size_t at;
    std::vector<std::uint8_t> bytes;
  };
  const Patch patches[] = {
      {"no jump", 0, {0x00}},
      {"sector size 0", 11, {0x00, 0x00}},
      {"sector size 520", 11, {0x08, 0x02}},
      {"3 sectors per cluster", 13, {3}},
      {"no reserved sector", 14, {0, 0}},
      {"no FAT", 16, {0}},
      {"no sectors per FAT (FAT16 fields otherwise)", 22, {0, 0}},
      {"fewer sectors than the FATs take", 19, {0x10, 0x00}},
      {"no signature", 510, {0, 0}},
  };
  for (const Patch& p : patches) {
    auto s = good;
    std::copy(p.bytes.begin(), p.bytes.end(), s.begin() + static_cast<std::ptrdiff_t>(p.at));
    EXPECT_FALSE(FatBootRecord::decode(span(s)).geometry()) << p.what;
  }
  EXPECT_FALSE(FatBootRecord::decode(span(std::vector<std::uint8_t>(512))).geometry());
}

TEST(FatBootSector, EachParserTakesItsOwnKindOnly) {
  auto f32 = test::fatImage("fat_fat32.img"), f16 = test::fatImage("fat_fat16.img"), f12 = test::fatImage("fat_fat12.img");
  if (!f32 || !f16 || !f12) GTEST_SKIP();
  const auto accepts32 = [](test::MemoryDisk& d) {
    Fat32Class p;
    p.attachSource(d, 0);
    p.setVolumeSize(d.bytes().size());
    return p.checkBootSector();
  };
  const auto accepts16 = [](test::MemoryDisk& d) {
    Fat16Class p;
    p.attachSource(d, 0);
    p.setVolumeSize(d.bytes().size());
    return p.checkBootSector();
  };
  EXPECT_TRUE(accepts32(*f32));
  EXPECT_FALSE(accepts16(*f32));
  EXPECT_TRUE(accepts16(*f16));
  EXPECT_FALSE(accepts32(*f16));
  EXPECT_TRUE(accepts16(*f12));
}

TEST(ExFatBootSector, ClusterSizeFromTheShiftsAndBadShiftsRejected) {
  auto boot = bootOf("fat_exfat.img");
  if (boot.empty()) GTEST_SKIP();
  const auto g = ExfatBootRecord::decode(span(boot)).geometry();
  ASSERT_TRUE(g);
  EXPECT_EQ(boot[108], 9);
  EXPECT_EQ(boot[109], 3);
  EXPECT_EQ(g->clusterSize, 4096u);
  EXPECT_EQ(g->fatOffset, 2048u * 512);
  EXPECT_EQ(g->dataOffset, 4096u * 512);
  // The backup at sector 12 says the same.
  const auto backup = ExfatBootRecord::decode(span(bootOf("fat_exfat.img", kExfatBackupBootSector))).geometry();
  ASSERT_TRUE(backup);
  EXPECT_EQ(backup->dataOffset, g->dataOffset);

  struct Patch {
    const char* what;
    std::size_t at;
    std::uint8_t value;
  };
  for (const Patch& p : {Patch{"name", 3, 'X'}, Patch{"8-byte sectors", 108, 3}, Patch{"64 KiB sectors", 108, 16},
                         Patch{"clusters of 2^26 bytes", 109, 17}, Patch{"root cluster 0", 96, 0}}) {
    auto s = boot;
    s[p.at] = p.value;
    if (p.at == 96) s[97] = s[98] = s[99] = 0;
    EXPECT_FALSE(ExfatBootRecord::decode(span(s)).geometry()) << p.what;
  }
}

}  // namespace
}  // namespace quarnel
