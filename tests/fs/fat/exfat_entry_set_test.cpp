// exFAT entry sets and time stamps.
#include <gtest/gtest.h>

#include <vector>

#include "fs/fat/exfat_entry_set.h"
#include "fs/fat/exfat_time.h"
#include "fs/fat/fat_test_support.h"

namespace quarnel {
namespace {

// A File entry, its Stream entry and the name entries for name.
std::vector<std::uint8_t> entrySet(const std::u16string& name, std::uint8_t file = kExfatFile,
                                   std::uint8_t stream = kExfatStream, std::uint8_t nameType = kExfatName) {
  const std::size_t names = (name.size() + 14) / 15;
  std::vector<std::uint8_t> b(32 * (2 + names));
  b[0] = file;
  b[1] = static_cast<std::uint8_t>(1 + names);
  b[4] = 0x20;
  b[32] = stream;
  b[33] = 0x03;
  b[35] = static_cast<std::uint8_t>(name.size());
  b[32 + 8] = 100;   // valid data length
  b[32 + 20] = 7;    // first cluster
  b[32 + 24] = 100;  // data length
  for (std::size_t n = 0; n < names; ++n) {
    b[64 + 32 * n] = nameType;
    for (std::size_t i = 0; i < 15 && n * 15 + i < name.size(); ++i) {
      const char16_t c = name[n * 15 + i];
      b[64 + 32 * n + 2 + 2 * i] = static_cast<std::uint8_t>(c);
      b[64 + 32 * n + 3 + 2 * i] = static_cast<std::uint8_t>(c >> 8);
    }
  }
  return b;
}

ByteSpan span(const std::vector<std::uint8_t>& v) { return asBytes(v.data(), v.size()); }

TEST(ExFatEntrySet, NamesAndFieldsOfLiveAndDeletedSets) {
  ExFatEntryRecord r;
  const auto live = entrySet(u"twenty characters!!!");
  EXPECT_EQ(readExfatEntrySet(span(live), 0, r), 4u);  // File, Stream, two names
  EXPECT_EQ(r.name, "twenty characters!!!");
  EXPECT_EQ(r.validDataLength, 100u);
  EXPECT_EQ(r.firstCluster, 7u);
  EXPECT_TRUE(r.contiguous());
  EXPECT_FALSE(r.deleted());

  ExFatEntryRecord d;
  const auto dead = entrySet(u"gone.txt", kExfatFileDeleted, kExfatStreamDeleted, kExfatNameDeleted);
  readExfatEntrySet(span(dead), 0, d);
  EXPECT_EQ(d.name, "gone.txt");
  EXPECT_TRUE(d.deleted());

  // A name length shorter than the pieces cuts the name; a set at the end of its buffer
  // stops there.
  auto cut = entrySet(u"abcdef");
  cut[35] = 3;
  ExFatEntryRecord c;
  readExfatEntrySet(span(cut), 0, c);
  EXPECT_EQ(c.name, "abc");
  ExFatEntryRecord e;
  EXPECT_EQ(readExfatEntrySet(span(live).first(32), 0, e), 1u);
}

TEST(ExFatEntrySet, TheScanWantsWholeSetsWithTheirReservedFieldsZero) {
  EXPECT_TRUE(exfatScanSet(span(entrySet(u"file.txt")), 0));
  EXPECT_TRUE(exfatScanSet(span(entrySet(u"deleted.txt", 0x05, 0x40, 0x41)), 0));
  struct Patch {
    const char* what;
    std::size_t at;
    std::uint8_t value;
  };
  for (const Patch& p : {Patch{"attribute 0x00", 4, 0x00}, Patch{"reserved file byte", 27, 1},
                         Patch{"no stream", 32, 0x85}, Patch{"stream flags 2", 33, 0x02},
                         Patch{"reserved stream byte", 34, 1}, Patch{"name flags 4", 65, 4},
                         Patch{"a name entry short", 35, 16}}) {
    auto s = entrySet(u"file.txt");
    s[p.at] = p.value;
    EXPECT_FALSE(exfatScanSet(span(s), 0)) << p.what;
  }
}

TEST(ExFatTime, StampsWithAndWithoutTheirUtcOffset) {
  test::ZoneGuard zone("EST5EDT");  // the machine's zone counts only without a valid offset
  // 2024-02-03 04:05:30: two-second count 15.
  const std::uint32_t stamp = ((2024u - 1980) << 25) | (2u << 21) | (3u << 16) | (4u << 11) | (5u << 5) | 15u;
  EXPECT_EQ(isoUtcText(exfatInstant(stamp, 0, 0x80)), "2024-02-03T04:05:30Z");
  EXPECT_EQ(isoUtcText(exfatInstant(stamp, 0, 0x80 | 4)), "2024-02-03T03:05:30Z");            // UTC+1:00
  EXPECT_EQ(isoUtcText(exfatInstant(stamp, 0, 0x80 | (128 - 20))), "2024-02-03T09:05:30Z");   // UTC-5:00
  EXPECT_EQ(isoUtcText(exfatInstant(stamp, 0, 0)), "2024-02-03T09:05:30Z");                   // local (EST)
  const Instant tenths = exfatInstant(stamp, 150, 0x80);
  EXPECT_EQ(isoUtcText(tenths), "2024-02-03T04:05:31Z");
  EXPECT_EQ(tenths.nanos, 500000000);
  EXPECT_FALSE(exfatInstant(0, 0, 0x80).valid);
  EXPECT_FALSE(exfatInstant(0, 0, 0).valid);
}

}  // namespace
}  // namespace quarnel
