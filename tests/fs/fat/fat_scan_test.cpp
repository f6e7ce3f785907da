// The advanced scan's slot rules, FAT32 and FAT16 each their own.
#include <gtest/gtest.h>

#include <array>

#include "fs/fat/fat_scan.h"

namespace quarnel {
namespace {

using Slot = std::array<std::uint8_t, 32>;

// A live 8.3 entry as mtools writes it: case flags, a 10-ms byte of 0, valid stamps.
Slot slot(const char* name, std::uint8_t attribute, std::uint32_t cluster = 5, std::uint32_t size = 100) {
  Slot s{};
  std::copy_n(name, 11, s.begin());
  s[11] = attribute;
  s[12] = 0x18;
  const std::uint16_t time = (4 << 11) | (5 << 5) | 3, date = (44 << 9) | (2 << 5) | 3;
  for (std::size_t at : {14, 22}) s[at] = time & 0xFF, s[at + 1] = time >> 8;
  for (std::size_t at : {16, 18, 24}) s[at] = date & 0xFF, s[at + 1] = date >> 8;
  s[20] = static_cast<std::uint8_t>(cluster >> 16);
  s[26] = static_cast<std::uint8_t>(cluster);
  s[27] = static_cast<std::uint8_t>(cluster >> 8);
  for (int i = 0; i < 4; ++i) s[28 + i] = static_cast<std::uint8_t>(size >> (8 * i));
  return s;
}

ByteSpan span(const Slot& s) { return asBytes(s.data(), s.size()); }

TEST(FatScan, SlotRules) {
  struct Case {
    const char* what;
    Slot s;
    FatSlotKind fat32, fat16;
  };
  Slot longName{};
  longName[0] = 0x41, longName[1] = 'r', longName[11] = 0x0F;
  Slot badLong = longName;
  badLong[26] = 5;
  Slot badDate = slot("README  TXT", 0x20);
  badDate[24] = 0;  // no day, no month
  Slot badTime = slot("README  TXT", 0x20);
  badTime[23] = 0xC0;  // hour 24
  Slot deletedFolderWithSize = slot("\xE5" "LD        ", 0x10, 0, 77);
  using K = FatSlotKind;
  const Case cases[] = {
      {"file", slot("README  TXT", 0x20), K::File, K::File},
      {"folder", slot("DOCUME~1   ", 0x10, 9, 0), K::Folder, K::Folder},
      {"archive folder", slot("DATA       ", 0x30, 9, 0), K::Folder, K::Folder},
      {"folder 0x13 never", slot("SYSTEM     ", 0x13, 9, 0), K::None, K::None},
      {"label never", slot("QUARNEL    ", 0x08, 0, 0), K::None, K::None},
      {"long name", longName, K::LongName, K::LongName},
      {"long name with a cluster", badLong, K::None, K::None},
      {"empty file: FAT32 wants a size", slot("EMPTY   TXT", 0x20, 5, 0), K::None, K::File},
      {"file 0x26 only in FAT16", slot("HIDDEN  TXT", 0x26), K::None, K::File},
      {"cluster past the volume", slot("BIG     DAT", 0x20, 1000), K::None, K::None},
      {"folder with a size", slot("DOCS       ", 0x10, 9, 5), K::None, K::None},
      {"deleted folder, FAT16 asks only the dates", deletedFolderWithSize, K::None, K::Folder},
      {"no date", badDate, K::None, K::None},
      {"hour 24", badTime, K::None, K::None},
      {"lower-case first byte", slot("readme  txt", 0x20), K::File, K::File},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fat32SlotKind(span(c.s), 100), c.fat32) << c.what;
    EXPECT_EQ(fat16SlotKind(span(c.s), 100), c.fat16) << c.what;
  }
}

TEST(FatScan, TheFirstLabelOrRecycleSlotPlacesClusterTwo) {
  EXPECT_TRUE(fat32DataOffsetSlot(span(slot("QUARNEL_F32", 0x08, 0, 0))));
  EXPECT_TRUE(fat32DataOffsetSlot(span(slot("$RECYCLEBIN", 0x16, 9, 0))));
  EXPECT_FALSE(fat32DataOffsetSlot(span(slot("README  TXT", 0x20))));
  EXPECT_FALSE(fat32DataOffsetSlot(span(slot("QUARNEL_F32", 0x08, 0, 1))));  // a label has no size
}

}  // namespace
}  // namespace quarnel
