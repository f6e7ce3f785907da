// The boot sector, the walk over the MFT's runs, and the searches for the MFT's own record.
#include <gtest/gtest.h>

#include "fs/ntfs/ntfs_parse.h"
#include "fs/ntfs/ntfs_test_support.h"

namespace quarnel {
namespace {

using ntfs_test::RecordBuilder;
using ntfs_test::VolumeBuilder;

std::unique_ptr<ntfs_test::Parsed> opened(std::vector<std::uint8_t> image) {
  auto p = ntfs_test::parseImage(std::move(image), NtfsMode::None);
  p->fs->attachSource();
  p->fs->readBootSector();
  return p;
}

std::vector<std::uint8_t> mftRecord(const std::vector<std::uint8_t>& runs, std::uint64_t lastVcn) {
  return RecordBuilder().standardInformation(1, 2, 3).fileName(5, u"$MFT").nonResidentData(runs, lastVcn, 0).build();
}

TEST(NtfsMft, BootSectorPlacesTheMft) {
  VolumeBuilder v(1 << 20);
  v.image()[0x0D] = 8;
  for (int i = 0; i < 8; ++i) v.image()[0x30 + i] = static_cast<std::uint8_t>(786432ULL >> (8 * i));
  auto p = opened(v.build());
  EXPECT_EQ(p->fs->volumeSize, (1u << 20) - 512);
  EXPECT_TRUE(p->fs->locateMft());
  EXPECT_EQ(p->fs->clusterSize, 4096u);
  EXPECT_EQ(p->fs->mftPosition, 3221225472u);
  EXPECT_TRUE(p->fs->mftFound);
  EXPECT_TRUE(p->fs->mftRuns.empty());  // past the end of this small volume
}

TEST(NtfsMft, RecordSizeFromTheBootSector) {
  const struct {
    std::uint8_t field;
    std::size_t size;
  } cases[] = {{0xF6, 1024}, {0xF4, 4096}, {0x01, 4096}, {0x02, 1024}, {0x00, 1024}, {0xE0, 1024}, {0xF3, 1024}};
  for (const auto& c : cases) {
    VolumeBuilder v(1 << 20);
    v.image()[0x40] = c.field;
    EXPECT_EQ(opened(v.build())->fs->recordSize(), c.size) << int{c.field};
  }
}

TEST(NtfsMft, SmallClustersHoldHalfARecord) {
  // 512-byte clusters: a 16-cluster run and a 3-cluster run.
  VolumeBuilder v(1 << 20, 1, 64, 8);
  v.standardRecords();
  v.record(0, mftRecord(ntfs_test::runList({{16, 64}, {3, 200}}), 18));
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
  std::vector<std::uint64_t> positions;
  for (const auto& e : p->fs->entryList) positions.push_back(e.position);
  positions.pop_back();  // ORPHAN_ENTRY
  std::vector<std::uint64_t> expected;
  for (std::uint64_t k = 0; k < 8; ++k) expected.push_back(64 * 512 + 1024 * k);
  expected.push_back(200 * 512);
  expected.push_back(202 * 512);
  EXPECT_EQ(positions, expected);
  EXPECT_EQ(p->fs->recordsPerCluster, 1u);
  EXPECT_EQ(p->fs->topLevelEntries().size(), 5u);  // $MFTMirr ... $AttrDef, ORPHAN_ENTRY
}

TEST(NtfsMft, RunsPastTheVolumeAreSkipped) {
  VolumeBuilder v(1 << 20);
  v.standardRecords();
  v.record(0, mftRecord(ntfs_test::runList({{16, 4}, {std::uint64_t{1} << 40, std::int64_t{1} << 41}}), (std::uint64_t{1} << 40) + 15));
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
  EXPECT_EQ(p->fs->entryList.size(), 64u + 1);
  EXPECT_EQ(p->fs->topLevelEntries().size(), 5u);
}

// 21 MiB with the MFT's first record at the start of the second 10 MiB chunk.
std::vector<std::uint8_t> mftInSecondChunk() {
  VolumeBuilder v(21 << 20, 8, 2560, 16);
  v.standardRecords();
  std::vector<std::uint8_t> image = v.build();
  std::fill(image.begin(), image.begin() + 512, 0);
  return image;
}

TEST(NtfsMft, DamagedBootSectorSearchesForTheMftsRecord) {
  auto p = ntfs_test::parseImage(mftInSecondChunk(), NtfsMode::Standard);
  const auto& ev = p->reporter.events;
  const auto found = std::find(ev.begin(), ev.end(), "S:found mft entry.getting its run ...");
  ASSERT_NE(found, ev.end());
  EXPECT_NE(std::find(ev.begin(), found, "S:boot sector corrupt.Scanning for first mft entry..."), found);
  // Progress is shown for every hundredth chunk only: chunk 0 here.
  std::vector<std::string> positions;
  std::copy_if(ev.begin(), found, std::back_inserter(positions), [](const std::string& e) { return e[0] == 'P'; });
  EXPECT_EQ(positions, std::vector<std::string>{"P:0"});

  EXPECT_TRUE(p->fs->mftFound);
  EXPECT_EQ(p->fs->clusterSize, 4096u);
  EXPECT_EQ(p->fs->entryList.size(), 16u + 1);  // the search's own records are gone
  EXPECT_EQ(p->fs->topLevelEntries().size(), 5u);
}

TEST(NtfsMft, CandidatesAreMftRecordsWithBootSevenRecordsOn) {
  VolumeBuilder v(4 << 20, 8, 4, 16);
  v.standardRecords();
  v.record(6, RecordBuilder().fileName(5, u"$Bitmap").build());
  v.record(7, RecordBuilder().fileName(5, u"$Boot").build());
  std::vector<std::uint8_t> image = v.build();
  // A second copy of the first records, the way a mirror or an old format leaves them...
  std::copy_n(image.begin() + 4 * 4096, 8 * 1024, image.begin() + 600 * 4096);
  // ...a record named $MFTMirr seven before a $Boot, which is no candidate...
  VolumeBuilder w(1 << 20);
  w.record(0, RecordBuilder().fileName(5, u"$MFTMirr").build());
  w.record(7, RecordBuilder().fileName(5, u"$Boot").build());
  std::copy_n(w.image().begin() + 4 * 4096, 8 * 1024, image.begin() + 700 * 4096);
  // ...and a record header the searches do not trust.
  std::vector<std::uint8_t> odd = RecordBuilder().fileName(5, u"odd").build();
  odd[4] = 0x00;
  odd[5] = 0x02;  // update sequence at 512
  std::copy(odd.begin(), odd.end(), image.begin() + 800 * 4096);
  std::fill(image.begin(), image.begin() + 512, 0);

  auto p = opened(std::move(image));
  ntfs& fs = *p->fs;
  EXPECT_EQ(fs.findMftCandidates(3), 2);
  ASSERT_EQ(fs.mftCandidates.size(), 2u);
  EXPECT_EQ(fs.mftCandidates[0].position, 4u * 4096);
  EXPECT_EQ(fs.mftCandidates[1].position, 600u * 4096);
  for (const auto& e : fs.entryList) EXPECT_NE(e.position, 800u * 4096);

  EXPECT_TRUE(fs.chooseMftCandidate(1));
  EXPECT_EQ(fs.mftRuns, (std::vector<MftRun>{{4, 4, false}}));
  EXPECT_FALSE(fs.chooseMftCandidate(2));
  EXPECT_FALSE(fs.mftFound);
}

TEST(NtfsMft, AdvancedModeParsesTheChosenCandidate) {
  VolumeBuilder v(1 << 20, 2, 20, 16);  // 1024-byte clusters
  v.standardRecords();
  v.record(6, RecordBuilder().fileName(5, u"$Bitmap").build());
  v.record(7, RecordBuilder().fileName(5, u"$Boot").build());
  v.record(9, RecordBuilder().standardInformation(1, 2, 3).fileName(5, u"kept.txt").build());
  std::vector<std::uint8_t> image = v.build();
  std::fill(image.begin(), image.begin() + 512, 0);
  auto p = ntfs_test::parseImage(std::move(image), NtfsMode::None);
  ASSERT_EQ(searchNtfsCandidates(*p->fs, 0), 1);
  EXPECT_TRUE(parseNtfs(*p->fs, NtfsMode::Advanced, {0, 2}));
  EXPECT_EQ(p->fs->clusterSize, 1024u);
  const auto top = p->fs->topLevelEntries();
  ASSERT_GE(top.size(), 2u);
  EXPECT_EQ(*p->fs->entryList[top[top.size() - 2]].name, u"kept.txt");
}

TEST(NtfsMft, StopRequests) {
  VolumeBuilder v(1 << 20);
  v.standardRecords();
  v.record(6, RecordBuilder().fileName(5, u"$Bitmap").build());
  v.record(7, RecordBuilder().fileName(5, u"$Boot").build());
  auto p = opened(v.build());
  ntfs& fs = *p->fs;
  // The candidate search stops and leaves the request standing: the caller owns it.
  JobControl stopped;
  stopped.requestStop();
  fs.setJob(&stopped);
  EXPECT_EQ(fs.findMftCandidates(3), 0);
  EXPECT_TRUE(stopped.stopRequested());
  JobControl running;
  fs.setJob(&running);
  EXPECT_EQ(fs.findMftCandidates(3), 1);

  fs.entryList.clear();
  ASSERT_TRUE(fs.locateMft());
  fs.setJob(&stopped);
  fs.collectMftRecords();
  EXPECT_TRUE(fs.entryList.empty());
  fs.setJob(&running);
  fs.collectMftRecords();
  EXPECT_EQ(fs.entryList.size(), 64u);
  // A stopped tree build still adds ORPHAN_ENTRY and fills what it can: nothing, here.
  fs.setJob(&stopped);
  fs.buildTree();
  EXPECT_EQ(fs.entryList.size(), 65u);
  EXPECT_FALSE(fs.entryList[5].name);
  EXPECT_TRUE(fs.topLevelEntries().empty());
}

}  // namespace
}  // namespace quarnel
