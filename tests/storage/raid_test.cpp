#include "storage/file_read_seek_raid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "support/test_support.h"

namespace quarnel {
namespace {

// The per-sector algorithm of the virtual disk, as plainly as it can be written: map each
// sector on its own, read it from its member, or (RAID-5) XOR the same sector of every
// present member when its member is missing; a RAID-0 has nothing to rebuild from, so a
// missing member's sectors are zeros. Members are byte vectors; empty means missing.
struct ReferenceArray {
  std::vector<std::vector<std::uint8_t>> members;
  std::vector<std::int64_t> offsets;
  int level = 0, layout = 3;
  std::int64_t stripe = 128;

  std::vector<std::uint8_t> sector(std::int64_t v) const {
    const std::int64_t n = static_cast<std::int64_t>(members.size());
    std::int64_t k = v / stripe, w = v % stripe, m = k % n, ms = (k / n) * stripe + w;
    if (level == 5) {
      std::int64_t r = k / (n - 1), d = k % (n - 1), p = 0;
      if (layout == 1 || layout == 4) p = r % n; else p = n - 1 - r % n;
      if (layout == 1 || layout == 2) m = d < p ? d : d + 1; else m = (p + 1 + d) % n;
      ms = r * stripe + w;
    }
    std::vector<std::uint8_t> out(512, 0);
    auto at = [&](std::size_t i) -> const std::uint8_t* {
      std::int64_t b = (offsets[i] + ms) * 512;
      return members[i].data() + b;
    };
    if (!members[static_cast<std::size_t>(m)].empty()) {
      std::memcpy(out.data(), at(static_cast<std::size_t>(m)), 512);
    } else if (level == 5) {
      for (std::size_t i = 0; i < members.size(); ++i)
        if (!members[i].empty())
          for (int j = 0; j < 512; ++j) out[j] ^= at(i)[j];
    }
    return out;
  }
};

struct ArrayCase {
  int level, layout, members;
  std::int64_t stripe;
  std::vector<int> missing;
  bool offsets;
};

class RaidAgainstReference : public ::testing::TestWithParam<ArrayCase> {};

TEST_P(RaidAgainstReference, RandomReadsDeliverTheSameBytes) {
  const ArrayCase& c = GetParam();
  test::ScratchDir dir;
  ReferenceArray ref;
  ref.level = c.level;
  ref.layout = c.layout;
  ref.stripe = c.stripe;
  FileReadSeekRaid raid;
  raid.raidLevel = c.level;
  raid.parityLayout = c.layout;
  raid.stripeSectors = c.stripe;
  const std::int64_t rows = 40;
  for (int i = 0; i < c.members; ++i) {
    std::int64_t off = c.offsets ? 3 + 5 * i : 0;
    auto bytes = test::randomBytes(static_cast<std::size_t>((off + rows * c.stripe) * 512), 100 + i);
    bool gone = std::find(c.missing.begin(), c.missing.end(), i) != c.missing.end();
    std::string path = dir.file("m" + std::to_string(i));
    test::writeFile(path, bytes);
    raid.memberNames.push_back(gone ? "missing disk" : path);
    raid.memberOffsets.push_back(off);
    ref.members.push_back(gone ? std::vector<std::uint8_t>{} : bytes);
    ref.offsets.push_back(off);
  }
  ASSERT_TRUE(raid.open("raid Hard disk..")) << raid.lastError();
  const std::int64_t data = c.level == 5 ? c.members - 1 : c.members;
  ASSERT_EQ(raid.sizeSectors(), rows * c.stripe * data);

  std::mt19937 rng(c.members * 31 + c.layout);
  const std::int64_t total = raid.sizeSectors();
  for (int trial = 0; trial < 60; ++trial) {
    std::int64_t first = std::uniform_int_distribution<std::int64_t>(0, total - 1)(rng);
    std::int64_t count = std::uniform_int_distribution<std::int64_t>(1, std::min<std::int64_t>(
        total - first, 4 * c.stripe * c.members))(rng);
    if (trial == 0) { first = 0; count = total; }  // one read of the whole disk
    std::vector<std::uint8_t> got(static_cast<std::size_t>(count * 512));
    ASSERT_TRUE(raid.seek(first * 512, 0));
    const bool read = raid.read(got.data(), static_cast<std::uint32_t>(got.size()));
    // A RAID-0's lost units are zeros and the read says so; anything else reads in full.
    if (c.level == 5 || c.missing.empty()) {
      ASSERT_TRUE(read) << raid.lastError();
    }
    for (std::int64_t s = 0; s < count; ++s) {
      auto want = ref.sector(first + s);
      ASSERT_EQ(0, std::memcmp(got.data() + s * 512, want.data(), 512))
          << "virtual sector " << first + s << " (read of " << count << " from " << first << ")";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Arrays, RaidAgainstReference,
    ::testing::Values(ArrayCase{0, 0, 1, 128, {}, false}, ArrayCase{0, 0, 2, 8, {}, true},
                      ArrayCase{0, 0, 4, 16, {}, true}, ArrayCase{0, 0, 3, 1, {1}, false},
                      ArrayCase{5, 1, 3, 8, {}, true}, ArrayCase{5, 2, 4, 8, {}, false},
                      ArrayCase{5, 3, 4, 16, {}, true}, ArrayCase{5, 4, 5, 8, {}, true},
                      ArrayCase{5, 1, 4, 8, {0}, true}, ArrayCase{5, 2, 3, 16, {2}, false},
                      ArrayCase{5, 3, 3, 128, {1}, true}, ArrayCase{5, 4, 4, 8, {3}, true},
                      ArrayCase{0, 0, 4, 8, {0, 2}, true}));

// Members with real parity: the rebuilt member equals the one that was removed.
TEST(Raid, MissingMemberIsRebuiltFromParity) {
  test::ScratchDir dir;
  const std::int64_t s = 8, rows = 16, n = 4;
  std::vector<std::vector<std::uint8_t>> m(n, std::vector<std::uint8_t>(rows * s * 512));
  for (std::int64_t i = 0; i < n - 1; ++i) m[i] = test::randomBytes(m[i].size(), 9 + i);
  for (std::size_t b = 0; b < m[0].size(); ++b) m[n - 1][b] = m[0][b] ^ m[1][b] ^ m[2][b];
  FileReadSeekRaid raid;
  raid.raidLevel = 5;
  raid.stripeSectors = s;
  for (std::int64_t i = 0; i < n; ++i) {
    test::writeFile(dir.file("m" + std::to_string(i)), m[i]);
    raid.memberNames.push_back(dir.file("m" + std::to_string(i)));
  }
  ASSERT_TRUE(raid.open(""));
  std::vector<std::uint8_t> healthy(raid.sizeSectors() * 512), rebuilt(healthy.size());
  ASSERT_TRUE(raid.readAt(0, std::as_writable_bytes(std::span(healthy))));
  raid.memberNames[2] = kMissingDiskName;
  ASSERT_TRUE(raid.open(""));
  ASSERT_TRUE(raid.readAt(0, std::as_writable_bytes(std::span(rebuilt))));
  EXPECT_EQ(healthy, rebuilt);
}

class RaidEdges : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 4; ++i) {
      bytes_.push_back(test::randomBytes(1024 * 512, 50 + i));
      test::writeFile(dir_.file("m" + std::to_string(i)), bytes_.back());
      raid_.memberNames.push_back(dir_.file("m" + std::to_string(i)));
    }
    raid_.raidLevel = 0;
  }
  test::ScratchDir dir_;
  std::vector<std::vector<std::uint8_t>> bytes_;
  FileReadSeekRaid raid_;
};

TEST_F(RaidEdges, ReadAcrossAStripeBoundaryContinuesOnTheNextMember) {
  ASSERT_TRUE(raid_.open(""));
  std::vector<std::uint8_t> buf(4096);
  ASSERT_TRUE(raid_.seek((128 - 2) * 512, 0));
  ASSERT_TRUE(raid_.read(buf.data(), 4096));
  EXPECT_EQ(0, std::memcmp(buf.data(), bytes_[0].data() + 126 * 512, 1024));
  EXPECT_EQ(0, std::memcmp(buf.data() + 1024, bytes_[1].data(), 3072));
  EXPECT_EQ(raid_.position, 126 * 512 + 4096);
}

TEST_F(RaidEdges, PartialSectorsAreNotRead) {
  ASSERT_TRUE(raid_.open(""));
  std::vector<std::uint8_t> buf(700, 0xEE);
  ASSERT_TRUE(raid_.seek(0, 0));
  EXPECT_TRUE(raid_.read(buf.data(), 700));
  EXPECT_EQ(0, std::memcmp(buf.data(), bytes_[0].data(), 512));
  EXPECT_EQ(buf[512], 0xEE);
  EXPECT_EQ(buf[699], 0xEE);
  EXPECT_FALSE(raid_.read(buf.data(), 511));
}

TEST_F(RaidEdges, BaseOffsetSelectsTheVolume) {
  ASSERT_TRUE(raid_.open(""));
  raid_.baseOffset = 2048 * 512;
  std::vector<std::uint8_t> buf(512);
  ASSERT_TRUE(raid_.seek(0, 0));
  ASSERT_TRUE(raid_.read(buf.data(), 512));
  EXPECT_EQ(0, std::memcmp(buf.data(), bytes_[0].data() + 512 * 512, 512));  // member 0, sector 512
}

TEST_F(RaidEdges, RotateMovesTheFirstMemberToTheEnd) {
  std::vector<std::string> names = raid_.memberNames;
  raid_.memberOffsets = {1, 2, 3, 4};
  ASSERT_TRUE(raid_.open(""));
  std::string window;
  ASSERT_TRUE(raid_.rotateMembers(&window));
  EXPECT_EQ(window, names[1]);
  EXPECT_EQ(raid_.memberNames, (std::vector<std::string>{names[1], names[2], names[3], names[0]}));
  EXPECT_EQ(raid_.memberOffsets, (std::vector<std::int64_t>{1, 2, 3, 4}));
  FileReadSeekRaid one;
  one.memberNames = {names[0]};
  EXPECT_FALSE(one.rotateMembers(&window));
}

TEST_F(RaidEdges, SizeComesFromTheShortestMemberInWholeStripes) {
  auto shorter = test::randomBytes(700 * 512, 1);
  test::writeFile(dir_.file("m2"), shorter);
  raid_.memberOffsets = {0, 0, 10, 0};
  ASSERT_TRUE(raid_.open(""));
  EXPECT_EQ(raid_.sizeSectors(), 4 * (690 / 128 * 128));
  EXPECT_EQ(currentDiskSectors.load(), raid_.sizeSectors());
  ASSERT_EQ(raid_.warnings().size(), 1u);
  EXPECT_NE(raid_.warnings()[0].find("member 2"), std::string::npos);
}

TEST_F(RaidEdges, RefusedConfigurations) {
  struct Case { int level; std::vector<std::int64_t> offsets; int keep; const char* says; };
  const Case cases[] = {
      {5, {}, 2, "at least three members"},
      {0, {0, 5000, 0, 0}, 4, "member 1"},
      {7, {}, 4, "RAID level 7"},
  };
  for (const Case& c : cases) {
    FileReadSeekRaid r;
    r.raidLevel = c.level;
    r.memberNames.assign(raid_.memberNames.begin(), raid_.memberNames.begin() + c.keep);
    r.memberOffsets = c.offsets;
    EXPECT_FALSE(r.open(""));
    EXPECT_NE(r.lastError().find(c.says), std::string::npos) << r.lastError();
    std::uint8_t buf[512];
    EXPECT_FALSE(r.seek(0, 0));
    EXPECT_FALSE(r.read(buf, 512));
  }
  // Two lost members of a RAID-5 cannot be rebuilt; one member given twice is a mistake.
  FileReadSeekRaid twoGone;
  twoGone.raidLevel = 5;
  twoGone.memberNames = {raid_.memberNames[0], "missing disk", raid_.memberNames[2], kMissingDiskName};
  EXPECT_FALSE(twoGone.open(""));
  EXPECT_EQ(twoGone.lastError(), "RAID-5 can rebuild one missing member; 2 are missing");
  FileReadSeekRaid twice;
  twice.raidLevel = 0;
  twice.memberNames = {raid_.memberNames[0], raid_.memberNames[1], dir_.path().string() + "/./m0"};
  EXPECT_FALSE(twice.open(""));
  EXPECT_NE(twice.lastError().find("members 0 and 2 are the same device or file"), std::string::npos)
      << twice.lastError();
  FileReadSeekRaid raid0;
  raid0.raidLevel = 0;
  raid0.memberNames = {raid_.memberNames[0], "missing disk"};
  ASSERT_TRUE(raid0.open(""));
  ASSERT_EQ(raid0.warnings().size(), 1u);
  EXPECT_NE(raid0.warnings()[0].find("read as zeros"), std::string::npos);
  std::vector<std::byte> unit(512, std::byte{1});
  EXPECT_TRUE(raid0.readAt(0, unit));  // member 0's first unit
  EXPECT_FALSE(raid0.readAt(128 * 512, unit));  // member 1's
  EXPECT_EQ(unit, std::vector<std::byte>(512, std::byte{0}));
  EXPECT_NE(raid0.lastError().find("member 1 is missing"), std::string::npos);
  FileReadSeekRaid absent;
  absent.raidLevel = 0;
  absent.memberNames = {raid_.memberNames[0], dir_.file("nope")};
  EXPECT_FALSE(absent.open(""));
  EXPECT_NE(absent.lastError().find("member 1"), std::string::npos);
  EXPECT_TRUE(absent.members.empty());
}

TEST_F(RaidEdges, OnlyMissingMembersReadAsZerosAndFail) {
  FileReadSeekRaid r;
  r.raidLevel = 0;
  r.memberNames = {"MISSING DISK", "Missing Disk"};
  ASSERT_TRUE(r.open(""));
  EXPECT_EQ(r.sizeSectors(), 0);
  EXPECT_FALSE(r.seek(0, 0));
  std::vector<std::uint8_t> buf(1024, 0x55);
  EXPECT_FALSE(r.read(buf.data(), 1024));
  EXPECT_EQ(buf, std::vector<std::uint8_t>(1024, 0));
}

TEST_F(RaidEdges, PrivateHeaderGivesOffsetAndSize) {
  struct Case { std::uint64_t start, size; std::int64_t want; };
  for (Case c : {Case{1985, 900, 2048}, Case{2048, 0, 2048}, Case{63, 777, 128}}) {
    std::vector<std::uint8_t> member(2048 * 512, 0);
    std::memcpy(member.data() + 6 * 512, "PRIVHEAD", 8);
    for (int i = 0; i < 8; ++i) {
      member[6 * 512 + 0x11B + i] = static_cast<std::uint8_t>(c.start >> (56 - 8 * i));
      member[6 * 512 + 0x123 + i] = static_cast<std::uint8_t>(c.size >> (56 - 8 * i));
    }
    test::writeFile(dir_.file("ldm"), member);
    FileReadSeekRaid r;
    EXPECT_EQ(r.probeMemberOffset(dir_.file("ldm")), c.want);
    EXPECT_EQ(r.memberDataSectors, static_cast<std::int64_t>(c.size));
  }
  FileReadSeekRaid r;
  EXPECT_EQ(r.probeMemberOffset(raid_.memberNames[0]), 0);
  EXPECT_EQ(r.probeMemberOffset("MISSING DISK"), 0);
  EXPECT_EQ(r.probeMemberOffset(dir_.file("nope")), 0);
  EXPECT_EQ(r.memberDataSectors, 0);
}

}  // namespace
}  // namespace quarnel
