#include "fs/ntfs/ntfs_records.h"

#include <gtest/gtest.h>

#include "fs/ntfs/ntfs_test_support.h"

namespace quarnel {
namespace {

using namespace ntfs_format;

std::vector<std::byte> bytes(const std::vector<std::uint8_t>& v) {
  std::vector<std::byte> out(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) out[i] = std::byte{v[i]};
  return out;
}

// A record whose sector ends hold 0xEEEE and whose update sequence array holds the words
// 0x1111, 0x2222, ... for sectors 1, 2, ...
std::vector<std::byte> protectedRecord(std::size_t size, std::uint16_t usaOffset, std::uint16_t usaCount) {
  std::vector<std::uint8_t> r(size, 0x5A);
  r[4] = static_cast<std::uint8_t>(usaOffset);
  r[5] = static_cast<std::uint8_t>(usaOffset >> 8);
  r[6] = static_cast<std::uint8_t>(usaCount);
  r[7] = static_cast<std::uint8_t>(usaCount >> 8);
  for (std::size_t k = 1; k <= size / 512; ++k) r[512 * k - 2] = r[512 * k - 1] = 0xEE;
  for (std::size_t k = 1; k < 16 && usaOffset + 2 * k + 1 < size; ++k)
    r[usaOffset + 2 * k] = r[usaOffset + 2 * k + 1] = static_cast<std::uint8_t>(0x11 * k);
  return bytes(r);
}

std::uint16_t wordAt(const std::vector<std::byte>& r, std::size_t at) { return le16(r, at); }

TEST(NtfsRecords, FixupRestoresTheSectorEndsTheArrayHolds) {
  struct Case {
    const char* name;
    std::size_t size;
    std::uint16_t usaOffset, usaCount;
    std::vector<std::uint16_t> expectedEnds;  // the word at the end of each sector
  } cases[] = {
      {"count 3", 1024, 0x30, 3, {0x1111, 0x2222}},
      {"a larger count changes nothing more", 1024, 0x30, 9, {0x1111, 0x2222}},
      {"count 2 leaves the second sector", 1024, 0x30, 2, {0x1111, 0xEEEE}},
      {"4096-byte record, every sector", 4096, 0x30, 9,
       {0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666, 0x7777, 0x8888}},
      {"array past the record", 1024, 1024, 3, {0xEEEE, 0xEEEE}},
  };
  for (const Case& c : cases) {
    std::vector<std::byte> r = protectedRecord(c.size, c.usaOffset, c.usaCount);
    applyFixup(r);
    for (std::size_t k = 0; k < c.expectedEnds.size(); ++k)
      EXPECT_EQ(wordAt(r, 512 * (k + 1) - 2), c.expectedEnds[k]) << c.name << ", sector " << k;
  }
}

TEST(NtfsRecords, AttributeWalkKeepsWhatPrecedesDamage) {
  ntfs_test::RecordBuilder b;
  b.standardInformation(1, 2, 3).fileName(5, u"a.txt");
  std::vector<std::byte> r = bytes(b.build());
  applyFixup(r);
  const RecordHeader h = RecordHeader::decode(r);
  ASSERT_EQ(walkAttributes(r, h.firstAttribute).size(), 2u);

  struct Damage {
    const char* name;
    std::uint32_t length;  // of the second attribute
  } damages[] = {{"length 0", 0}, {"length past the record", 2000}, {"shorter than a header", 8}};
  const std::size_t second = walkAttributes(r, h.firstAttribute)[1].offset;
  for (const Damage& d : damages) {
    std::vector<std::byte> bad = r;
    for (int i = 0; i < 4; ++i) bad[second + 4 + i] = std::byte(static_cast<std::uint8_t>(d.length >> (8 * i)));
    const auto attributes = walkAttributes(bad, h.firstAttribute);
    ASSERT_EQ(attributes.size(), 1u) << d.name;
    EXPECT_EQ(attributes[0].type, kStandardInformation) << d.name;
  }
  // A first-attribute offset past the record walks nothing.
  EXPECT_TRUE(walkAttributes(r, 2000).empty());
}

TEST(NtfsRecords, FileNameFieldsAndTheRecordsEnd) {
  ntfs_test::RecordBuilder b;
  b.fileName(-2, u"\u00e9t\u00e9.txt", 2, 0x10000020);
  std::vector<std::byte> r = bytes(b.build());
  applyFixup(r);
  const AttributeHeader a = walkAttributes(r, RecordHeader::decode(r).firstAttribute)[0];
  FileNameContent fn = FileNameContent::decode(a.contentToRecordEnd(r));
  EXPECT_EQ(fn.parent, -2);  // the 48-bit reference is sign-extended, the sequence dropped
  EXPECT_EQ(fn.name, u"\u00e9t\u00e9.txt");
  EXPECT_TRUE(fn.directory());
  EXPECT_TRUE(fn.dosOnly());
  // The same name cut by the end of the record is not used.
  fn = FileNameContent::decode(a.contentToRecordEnd(r).first(66 + 2 * 7 - 1));
  EXPECT_FALSE(fn.nameFits);
}

TEST(NtfsRecords, AttributeLettersInTheirOrder) {
  EXPECT_EQ(attributeLetters(0x0823), "-R-H-A-C");
  EXPECT_EQ(attributeLetters(0x4A20), "-S-A-C-E");
  EXPECT_EQ(attributeLetters(0x0004), "");
}

}  // namespace
}  // namespace quarnel
