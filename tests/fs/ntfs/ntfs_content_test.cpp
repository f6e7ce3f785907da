// Writing an entry's content: resident, plain and sparse runs, compression units,
// attribute lists and extension records, streams, and saving into a folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "fs/ntfs/ntfs_test_support.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

using ntfs_test::RecordBuilder;
using ntfs_test::VolumeBuilder;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kCluster = 4096;

Bytes pattern(std::uint8_t tag, std::size_t n = kCluster) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(tag ^ (i * 131 >> 3));
  return b;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes firstBytes(const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)); }

// A volume whose data clusters 100 to 199 each hold pattern(cluster number).
VolumeBuilder volume() {
  VolumeBuilder v(1 << 20, 8, 4, 64);
  v.standardRecords();
  for (std::uint64_t c = 100; c < 200; ++c) v.cluster(c, pattern(static_cast<std::uint8_t>(c)));
  return v;
}

RecordBuilder named(const std::u16string& name, std::int64_t parent = 5) {
  RecordBuilder r;
  r.standardInformation(1, 2, 3).fileName(parent, name);
  return r;
}

Bytes contentOf(ntfs& fs, std::int64_t i, bool* complete = nullptr) {
  ntfs_test::ByteCollector out;
  const bool ok = fs.writeContent(i, out);
  if (complete) *complete = ok;
  Bytes b(out.bytes.size());
  for (std::size_t k = 0; k < b.size(); ++k) b[k] = static_cast<std::uint8_t>(out.bytes[k]);
  return b;
}

TEST(NtfsContent, ResidentComesFromTheFixedUpRecord) {
  VolumeBuilder v = volume();
  const Bytes data = pattern(0x77, 700);  // crosses the first sector's end at record offset 510
  v.record(20, named(u"r.bin").residentData(data).build());
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
  EXPECT_EQ(contentOf(*p->fs, 20), data);
  EXPECT_EQ(p->fs->realSize(20), 700u);
}

TEST(NtfsContent, RunsGiveClustersHolesAndTheRealSize) {
  VolumeBuilder v = volume();
  v.record(20, named(u"5000.bin").nonResidentData(ntfs_test::runList({{2, 100}}), 1, 5000).build());
  v.record(21, named(u"holes.bin").nonResidentData(ntfs_test::runList({{1, 102}, {2, 0}, {1, 103}}), 3, 4 * kCluster, 0x8000).build());
  v.record(22, named(u"lost.bin").nonResidentData(ntfs_test::runList({{1, 104}, {1, 1 << 30}, {1, 105}}), 2, 3 * kCluster).build());
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
  ntfs& fs = *p->fs;
  EXPECT_EQ(contentOf(fs, 20), concat({pattern(100), firstBytes(pattern(101), 904)}));
  // A hole is zeros, never cluster 0 (the boot sector).
  EXPECT_EQ(contentOf(fs, 21), concat({pattern(102), Bytes(2 * kCluster, 0), pattern(103)}));
  // A cluster past the volume is zeros in place: the clusters after it never shift.
  bool complete = true;
  EXPECT_EQ(contentOf(fs, 22, &complete), concat({pattern(104), Bytes(kCluster, 0), pattern(105)}));
  EXPECT_FALSE(complete);
}

// A damaged size past the clusters the runs number (plain, or compressed without a run) is
// read up to those clusters and reported incomplete, never padded out.
TEST(NtfsContent, ASizePastTheClustersIsNotPaddedOut) {
  VolumeBuilder v = volume();
  v.record(20, named(u"huge.bin").nonResidentData(ntfs_test::runList({{1, 100}}), 0, 1ull << 62).build());
  v.record(21, named(u"packed.bin").nonResidentData({}, 0, 7'900'000'000'000'000'000ull, 0x0001, 4).build());
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
  bool complete = true;
  EXPECT_EQ(contentOf(*p->fs, 20, &complete), pattern(100));
  EXPECT_FALSE(complete);
  complete = true;
  EXPECT_LE(contentOf(*p->fs, 21, &complete).size(), kCluster);
  EXPECT_FALSE(complete);
}

TEST(NtfsContent, CompressionUnitsByTheirAllocatedClusters) {
  VolumeBuilder v = volume();
  Bytes packed = ntfs_test::repeatedChunks({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p'});
  packed.resize(kCluster, 0);
  v.cluster(110, packed);
  for (std::uint64_t c = 111; c < 115; ++c) v.cluster(c, Bytes(kCluster, 0));
  // Unit 0: 5 clusters then 11 holes, compressed. Unit 1: 16 clusters, stored. Unit 2: a hole.
  const Bytes runs = ntfs_test::runList({{5, 110}, {11, 0}, {16, 120}, {16, 0}});
  const std::uint64_t size = 3 * 65536 - 100;
  v.record(20, named(u"c.bin").nonResidentData(runs, 47, size, 0x0001, 4).build());
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);

  Bytes expected;
  for (char c = 'a'; c <= 'p'; ++c) expected.insert(expected.end(), 4096, static_cast<std::uint8_t>(c));
  for (std::uint64_t c = 120; c < 136; ++c) {
    const Bytes b = pattern(static_cast<std::uint8_t>(c));
    expected.insert(expected.end(), b.begin(), b.end());
  }
  expected.resize(size, 0);
  EXPECT_EQ(contentOf(*p->fs, 20), expected);
}

TEST(NtfsContent, DamagedCompressionUnits) {
  VolumeBuilder v = volume();
  const Bytes runs = ntfs_test::runList({{2, 100}});
  v.record(20, named(u"unit 0").nonResidentData(runs, 1, 6000, 0x0001, 0).build());
  v.record(21, named(u"unit 2^20").nonResidentData(runs, 1, 6000, 0x0001, 20).build());
  v.record(22, named(u"unit 2^12").nonResidentData(runs, 1, 6000, 0x0001, 12).build());
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
  const Bytes stored = concat({pattern(100), firstBytes(pattern(101), 6000 - 4096)});
  // One-cluster units are all stored; a unit count that does not fit 16 bits means no
  // units at all; both give the clusters as they are.
  EXPECT_EQ(contentOf(*p->fs, 20), stored);
  EXPECT_EQ(contentOf(*p->fs, 21), stored);
  // A unit of 16 MiB is damage: nothing is allocated for it.
  bool complete = true;
  EXPECT_TRUE(contentOf(*p->fs, 22, &complete).empty());
  EXPECT_FALSE(complete);
}

TEST(NtfsContent, AttributeListGathersPiecesFromExtensionRecords) {
  VolumeBuilder v = volume();
  const std::uint64_t size = 4 * kCluster - 10;
  // Base 30 holds no $DATA: two pieces in extension records 31 and 32.
  v.record(30, RecordBuilder()
                   .standardInformation(1, 2, 3)
                   .attributeList({{0x10, 30}, {0x30, 30}, {0x80, 31, 0}, {0x80, 32, 2}})
                   .fileName(5, u"spread.bin")
                   .build());
  v.record(31, RecordBuilder().base(30).nonResidentData(ntfs_test::runList({{2, 140}}), 1, size).build());
  v.record(32, RecordBuilder().base(30).nonResidentData(ntfs_test::runList({{2, 150}}), 3, 0, 0, 0, u"", 2).build());
  // Base 33 holds the first piece itself and names the second.
  v.record(33, RecordBuilder()
                   .standardInformation(1, 2, 3)
                   .attributeList({{0x10, 33}, {0x30, 33}, {0x80, 33, 0}, {0x80, 34, 1}})
                   .fileName(5, u"split.bin")
                   .nonResidentData(ntfs_test::runList({{1, 160}}), 0, 2 * kCluster)
                   .build());
  v.record(34, RecordBuilder().base(33).nonResidentData(ntfs_test::runList({{1, 170}}), 1, 0, 0, 0, u"", 1).build());
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
  ntfs& fs = *p->fs;
  EXPECT_EQ(contentOf(fs, 30), firstBytes(concat({pattern(140), pattern(141), pattern(150), pattern(151)}), size));
  EXPECT_EQ(fs.realSize(30), size);
  EXPECT_EQ(fs.sizeText(30), "16.00 KB");  // the clusters the pieces hold
  EXPECT_EQ(contentOf(fs, 33), concat({pattern(160), pattern(170)}));
}

TEST(NtfsContent, NamedStreamsNeverStandInForTheContent) {
  VolumeBuilder v = volume();
  v.record(20, named(u"download.txt")
                   .residentData({'h', 'e', 'l', 'l', 'o'})
                   .nonResidentData(ntfs_test::runList({{1, 100}}), 0, 100, 0, 0, u"Zone.Identifier")
                   .build());
  // Its unnamed $DATA went to an extension record; a named stream stayed in the base.
  v.record(21, RecordBuilder()
                   .standardInformation(1, 2, 3)
                   .attributeList({{0x30, 21}, {0x80, 22}, {0x80, 21, 0, u"Zone.Identifier"}})
                   .fileName(5, u"moved.txt")
                   .residentData({'z', 'o', 'n', 'e'}, u"Zone.Identifier")
                   .build());
  v.record(22, RecordBuilder().base(21).nonResidentData(ntfs_test::runList({{1, 101}}), 0, 100).build());
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
  EXPECT_EQ(contentOf(*p->fs, 20), (Bytes{'h', 'e', 'l', 'l', 'o'}));
  EXPECT_EQ(contentOf(*p->fs, 21), firstBytes(pattern(101), 100));
  EXPECT_EQ(p->fs->realSize(21), 100u);
}

TEST(NtfsContent, SaveFileNamesTheFileAndSetsItsTimes) {
  const std::uint64_t modified = 133520000000000000ULL;  // 2024-02-03
  const std::uint64_t accessed = 133530000000000000ULL;
  VolumeBuilder v = volume();
  v.record(20, RecordBuilder().standardInformation(1, modified, accessed).fileName(5, u"  report.txt ").residentData({'a', 'b', 'c'}).build());
  v.record(21, RecordBuilder(3).fileName(5, u"folder", 1, 0x10000000).residentData({'x'}).build());
  Bytes notFile = named(u"baad.txt").residentData({'y'}).build();
  std::copy_n("BAAD", 4, notFile.begin());
  v.record(22, notFile);
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
  ntfs& fs = *p->fs;
  test::ScratchDir dir;
  fs.outputPath = dir.path().string() + "/";

  const std::string first = fs.saveFile("20");
  EXPECT_EQ(first, dir.file("report.txt"));
  struct stat st {};
  ASSERT_EQ(::stat(first.c_str(), &st), 0);  // before reading it moves the access time
  EXPECT_EQ(st.st_mtim.tv_sec, ntfsInstant(modified).seconds);
  EXPECT_EQ(st.st_atim.tv_sec, ntfsInstant(accessed).seconds);
  EXPECT_EQ(test::readFile(first), (Bytes{'a', 'b', 'c'}));
  // Nothing is overwritten.
  EXPECT_EQ(fs.saveFile("20"), dir.file("report (2).txt"));

  EXPECT_EQ(fs.saveFile("21"), dir.file("folder"));
  EXPECT_EQ(p->reporter.messages.back(), "This is  folder directory .Please specify file names ");
  EXPECT_EQ(fs.saveFile("22"), dir.file("baad.txt"));
  EXPECT_EQ(p->reporter.messages.back(), "not a valid entry...");
  EXPECT_TRUE(test::readFile(dir.file("baad.txt")).empty());
  // An unnamed slot, or no entry at all: nothing is created.
  EXPECT_EQ(fs.saveFile("40"), "");
  EXPECT_EQ(fs.saveFile("x"), "");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 4);
}

}  // namespace
}  // namespace quarnel
