// The allocation table: entry widths, the values that end a chain, and one read per block.
#include <gtest/gtest.h>

#include "fs/fat/fat_table.h"
#include "fs/fat/fat_test_support.h"

namespace quarnel {
namespace {

struct Case {
  const char* what;
  FatWidth width;
  std::vector<std::uint8_t> table;
  std::uint32_t cluster;
  std::uint32_t next;  // 0: the chain ends
};

TEST(FatTable, WhereEachChainGoesAndEnds) {
  const std::vector<std::uint8_t> f12 = {0xF8, 0xFF, 0xFF, 0x03, 0x40, 0x00, 0x05, 0xF0, 0xFF, 0xF7, 0x0F, 0x00};
  const auto le32s = [](std::initializer_list<std::uint32_t> v) {
    std::vector<std::uint8_t> out;
    for (std::uint32_t x : v)
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
    return out;
  };
  const auto le16s = [](std::initializer_list<std::uint16_t> v) {
    std::vector<std::uint8_t> out;
    for (std::uint16_t x : v) {
      out.push_back(static_cast<std::uint8_t>(x));
      out.push_back(static_cast<std::uint8_t>(x >> 8));
    }
    return out;
  };
  const auto f32 = le32s({0x0FFFFFF8, 0x0FFFFFFF, 0xF0000003, 0x0FFFFFF8, 0x0FFFFFF7, 0, 1, 12, 0xFFFFFFFF, 2});
  const auto f16 = le16s({0xFFF8, 0xFFFF, 3, 0xFFF8, 0xFFF7, 12, 0});
  const auto ex = le32s({0xFFFFFFF8, 0xFFFFFFFF, 3, 0xFFFFFFFF, 0xFFFFFFF7, 0x0FFFFFFF});
  const Case cases[] = {
      {"FAT12 even entry", FatWidth::Fat12, f12, 2, 3},
      {"FAT12 odd entry", FatWidth::Fat12, f12, 3, 4},
      {"FAT12 even entry 5", FatWidth::Fat12, f12, 4, 5},
      {"FAT12 end mark 0xFFF", FatWidth::Fat12, f12, 5, 0},
      {"FAT12 bad cluster 0xFF7", FatWidth::Fat12, f12, 6, 0},
      {"FAT32 masked to 28 bits", FatWidth::Fat32, f32, 2, 3},
      {"FAT32 0x0FFFFFF8 ends", FatWidth::Fat32, f32, 3, 0},
      {"FAT32 bad cluster ends", FatWidth::Fat32, f32, 4, 0},
      {"FAT32 free entry ends", FatWidth::Fat32, f32, 5, 0},
      {"FAT32 cluster 1 ends", FatWidth::Fat32, f32, 6, 0},
      {"FAT32 past the volume ends", FatWidth::Fat32, f32, 7, 0},
      {"FAT32 0xFFFFFFFF ends", FatWidth::Fat32, f32, 8, 0},
      {"FAT32 back to cluster 2", FatWidth::Fat32, f32, 9, 2},
      {"FAT32 lookup of cluster 1", FatWidth::Fat32, f32, 1, 0},
      {"FAT32 lookup past the table", FatWidth::Fat32, f32, 40, 0},
      {"FAT16 next", FatWidth::Fat16, f16, 2, 3},
      {"FAT16 0xFFF8 ends", FatWidth::Fat16, f16, 3, 0},
      {"FAT16 bad cluster ends", FatWidth::Fat16, f16, 4, 0},
      {"FAT16 past the volume ends", FatWidth::Fat16, f16, 5, 0},
      {"exFAT next", FatWidth::Exfat, ex, 2, 3},
      {"exFAT end mark", FatWidth::Exfat, ex, 3, 0},
      {"exFAT bad cluster", FatWidth::Exfat, ex, 4, 0},
      {"exFAT is not masked", FatWidth::Exfat, ex, 5, 0},
  };
  for (const Case& c : cases) {
    test::MemoryDisk disk(c.table);
    VolumeReader io(disk, 0, c.table.size());
    FatTable fat(io, 0, c.table.size(), c.width, 10);  // clusters 2 to 9 lie in the volume
    EXPECT_EQ(fat.next(c.cluster), c.next) << c.what;
  }
}

TEST(FatTable, EachBlockIsReadOnce) {
  test::MemoryDisk disk(std::vector<std::uint8_t>(1 << 20));
  VolumeReader io(disk, 0, 1 << 20);
  FatTable fat(io, 0, 1 << 20, FatWidth::Fat32, 1 << 18);
  for (int pass = 0; pass < 3; ++pass)
    for (std::uint32_t c = 2; c < (1 << 18); ++c) fat.next(c);
  EXPECT_EQ(disk.reads, 16);  // 1 MiB in 64 KiB blocks
}

}  // namespace
}  // namespace quarnel
