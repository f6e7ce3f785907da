// The advanced mode: the candidate searches and their choices, and the lists built from
// the scan on wiped, quick-formatted and intact volumes.
#include <gtest/gtest.h>

#include "app/candidate_texts.h"

#include "fs/fat/fat16_class.h"
#include "fs/fat/fat_candidate_workers.h"
#include "fs/fat/fat_test_support.h"
#include "recovery/fat_views.h"

namespace quarnel {
namespace {

using test::fatImage;
using test::fatRecord;

std::string join(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& s : v) out += (out.empty() ? "" : " ") + s;
  return out;
}

struct Messages : Reporter {
  std::vector<std::string> texts, statuses;
  void message(std::string_view t) override { texts.emplace_back(t); }
  void status(std::string_view t) override { statuses.emplace_back(t); }
};

TEST(FatAdvanced, CandidatesAndClusterSizeChoices) {
  auto f32 = fatImage("fat_fat32.img"), f16 = fatImage("fat_fat16.img"), ex = fatImage("fat_exfat.img");
  if (!f32 || !f16 || !ex) GTEST_SKIP();
  Messages r;
  {
    Fat32Class p;
    Fat32CandidateWorker worker(p);
    const auto& got = worker.run(*f32, fatRecord("FAT32", 0, 34), 0, r);
    // Both FAT copies; mkfs.fat's entry 1 is 0x0FFFFFFF, found in its 28 bits.
    EXPECT_EQ(got.candidatePositions, (std::vector<std::uint64_t>{32 * 512, (32 + 536) * 512}));
    EXPECT_EQ(join(got.candidateItems), "FAT32_ENTRY:0 FAT32_ENTRY:1");
    EXPECT_EQ(join(got.clusterChoices), "2 4 16 32 64 8");  // one sector per cluster is odd: not offered
    EXPECT_EQ(app::candidateMessage(app::FatKind::Fat32, got),
              "Number of FAT32-ENTRY found = 2 . Please select the choice from combo box and click Next button to proceed.");
    EXPECT_EQ(app::candidateStatus(app::FatKind::Fat32, got), "Parsing done.Click Next to continue.");
  }
  {
    f32->bytes()[13] = 8;
    Fat32Class p;
    EXPECT_EQ(join(Fat32CandidateWorker(p).run(*f32, fatRecord("FAT32", 0, 34), 1, r).clusterChoices), "8 2 4 16 32 64 8");
  }
  {
    Fat16Class p;
    Fat16CandidateWorker worker(p);
    const auto& got = worker.run(*f16, fatRecord("FAT16", 0, 16), 5, r);
    EXPECT_EQ(got.candidatePositions, (std::vector<std::uint64_t>{4 * 512, 36 * 512}));
    EXPECT_EQ(join(got.candidateItems), "FAT_ENTRY:0 FAT_ENTRY:1");
    EXPECT_EQ(join(got.clusterChoices), "4 4 8 16 2 32 64 128");
    EXPECT_EQ(app::candidateLabel(app::FatKind::Fat16), "Total fat16 Entries Found:");
    EXPECT_EQ(app::candidateMessage(app::FatKind::Fat16, got),
              "Number of FAT-ENTRY found = 2 . Please select the choice from combo box and click Next button to proceed.");
  }
  {
    Fat64Class p;
    Fat64CandidateWorker worker(p);
    const auto& got = worker.run(*ex, fatRecord("FAT64", 0, 16), 3, r);
    EXPECT_EQ(join(got.candidateItems), "FAT64_ENTRY:0");
    EXPECT_EQ(got.candidatePositions.front(), 2048u * 512);
    EXPECT_EQ(got.heapPositions.front(), 4096u * 512);  // the boot sector's heap comes first
    EXPECT_EQ(got.heapItems.front(), "HEAP_OFFSET_ENTRY:0");
    EXPECT_EQ(join(got.clusterChoices), "3 8 9 10 11");
    EXPECT_EQ(app::candidateMessage(app::FatKind::Exfat, got),
              "Number of FAT64-ENTRY found = 1 and Number of HeapOffset-ENTRY found =  " +
                  std::to_string(got.heapPositions.size()) +
                  "  . Please select the choice from ( Entry and Heap ) Combobox and click Parse button to proceed.");
  }
  test::MemoryDisk blank(std::vector<std::uint8_t>(1 << 20));
  Fat32Class p;
  Fat32CandidateWorker blankWorker(p);
  const auto& none = blankWorker.run(blank, fatRecord("FAT32"), 3, r);
  EXPECT_TRUE(none.candidateItems.empty());
  EXPECT_EQ(app::candidateMessage(app::FatKind::Fat32, none), "NO FAT  FAT32-ENTRY found ..");
  EXPECT_TRUE(app::candidateStatus(app::FatKind::Fat32, none).empty());
}

// With no limit given, a search stops after 3 candidates.
TEST(FatAdvanced, ASearchStopsAtItsLimit) {
  std::vector<std::uint8_t> bytes(64 * 512);
  for (int i = 0; i < 10; ++i) std::copy_n("\xF8\xFF\xFF\xFF", 4, bytes.begin() + 512 * (3 * i + 1));
  test::MemoryDisk disk(bytes);
  Fat16Class p;
  p.attachSource(disk, 0);
  p.setVolumeSize(bytes.size());
  EXPECT_EQ(p.findFatCandidates(0).size(), 3u);
  EXPECT_EQ(p.findFatCandidates(7).size(), 7u);
}

// Without a boot sector, FAT16's root region follows two copies of the FAT: measured by the
// next candidate when there is one, else estimated from the volume's cluster count.
TEST(FatAdvanced, Fat16RootRegionWithoutABootSector) {
  test::MemoryDisk disk;
  Fat16Class p;
  p.attachSource(disk, 0);
  p.setVolumeSize(512000000ull);  // 1,000,000 clusters of one sector
  p.setUserGeometry(1);
  p.setFatOffset(4096);
  EXPECT_EQ(p.geometry().rootOffset, 4004864u);  // 4096 + 2 x 2,000,384
  p.candidates() = {4096, 4096 + 1999872};  // a copy of 3906 sectors
  p.setFatOffset(4096);
  EXPECT_EQ(p.geometry().rootOffset, 4096u + 2 * 1999872);
  EXPECT_EQ(p.geometry().dataOffset, p.geometry().rootOffset + 16384);
}

class FatAdvancedListing : public ::testing::Test {
 protected:
  std::unique_ptr<ParsedVolume> advanced(test::MemoryDisk& disk, const char* fs, int candidate, int clusterSectors,
                                         bool formatted = false, int heap = 0) {
    ParseOptions o;
    o.mode = RecoveryMode::Advanced;
    o.candidate = candidate;
    o.clusterSectors = clusterSectors;
    o.formatted = formatted;
    std::string error;
    auto v = parseFatVolume(disk, fatRecord(fs), o, heap, silentReporter(), error);
    EXPECT_TRUE(v) << error;
    return v;
  }
  // The entry whose path ends with tail, wherever the scan put it.
  static EntryId find(const EntryView& view, const std::string& tail) {
    for (const auto& [path, e] : test::pathsOf(view))
      if (path.size() >= tail.size() && path.compare(path.size() - tail.size(), tail.size(), tail) == 0) return e;
    return kNoEntry;
  }
  void expectContent(ParsedVolume& v, const std::string& tail, const std::string& sha) {
    const EntryId e = find(v.view(), tail);
    ASSERT_NE(e, kNoEntry) << tail;
    EXPECT_EQ(test::contentSha(v.view(), e), sha) << tail;
  }
  test::ZoneGuard utc_;
};

constexpr const char* kLeaf32 = "b46337d1bb32ee43fe803e0d434e20e7f4d4a661c73149786d9184b86a7a782a";
constexpr const char* kBig32 = "627924e54401b931229863545b3c236ff63c6fb48ef789d9816a3c6fb3a81a9d";

TEST_F(FatAdvancedListing, Fat32WithItsBootSectorWiped) {
  auto disk = fatImage("fat_fat32.img");
  if (!disk) GTEST_SKIP();
  disk->zero(0, 512);  // the backup at sector 6 still places the data region
  auto v = advanced(*disk, "FAT32", 0, 1);
  ASSERT_TRUE(v);
  const auto paths = test::pathsOf(v->view());
  EXPECT_TRUE(paths.count("/$RECYCLE.BIN/report 2023.txt"));  // the root's first cluster, restored names
  EXPECT_TRUE(paths.count("/ORPHAN ENTRY/Documents/Archive/Deep/leaf.bin"));
  EXPECT_EQ(v->view().children(paths.at("/ORPHAN ENTRY/Many")).size(), 120u);
  expectContent(*v, "/Documents/Archive/Deep/leaf.bin", kLeaf32);
  expectContent(*v, "/big.dat", kBig32);
  expectContent(*v, "/frag/fragmented.bin", "8167816e3181b981f1ebff462e5bb78b52c0d8bc452f3c000e7ad745ca0559ab");

  disk->zero(6 * 512, 512);  // and the backup: the volume label in cluster 2 places it
  auto again = advanced(*disk, "FAT32", 0, 1);
  ASSERT_TRUE(again);
  expectContent(*again, "/Documents/Archive/Deep/leaf.bin", kLeaf32);
}

TEST_F(FatAdvancedListing, Fat32FormattedOverItsData) {
  auto disk = fatImage("fat_fat32_formatted.img");
  if (!disk) GTEST_SKIP();
  std::string error;
  auto standard = parseFatVolume(*disk, fatRecord("FAT32"), {}, silentReporter(), error);
  ASSERT_TRUE(standard) << error;
  EXPECT_TRUE(standard->view().children(0).empty());  // the new root is empty

  auto v = advanced(*disk, "FAT32", 0, 1, true);
  ASSERT_TRUE(v);
  expectContent(*v, "/ORPHAN ENTRY/Documents/Archive/Deep/leaf.bin", kLeaf32);
  expectContent(*v, "/ORPHAN ENTRY/big.dat", kBig32);
  EXPECT_NE(find(v->view(), "/Old Stuff/Sub/\xEF\xBF\xA5HOTO.JPG"), kNoEntry);
  // Chains are not followed: the folder of 30 clusters is read from its first one, the
  // rest of its entries are found on their own.
  std::size_t many = 0;
  for (const auto& [path, e] : test::pathsOf(v->view())) {
    const std::string name = v->view().name(e);
    many += name.rfind("entry ", 0) == 0 || name.rfind("ENTR", 0) == 0;
  }
  EXPECT_EQ(many, 120u);
}

TEST_F(FatAdvancedListing, Fat16WithItsBootSectorWiped) {
  auto disk = fatImage("fat_fat16.img");
  if (!disk) GTEST_SKIP();
  disk->zero(0, 512);
  auto v = advanced(*disk, "FAT16", 0, 4);
  ASSERT_TRUE(v);
  const auto paths = test::pathsOf(v->view());
  // The root region lies after the two FAT copies the search found: its entries stay at
  // the root.
  EXPECT_TRUE(paths.count("/Long File Name Report.txt"));
  EXPECT_TRUE(paths.count("/Old Stuff/Sub/\xEF\xBF\xA5HOTO.JPG"));
  EXPECT_EQ(v->view().children(paths.at("/Many")).size(), 220u);
  for (const auto& t : test::fatTruth("fat_fat16.img"))
    if (t.path == "/Documents/Archive/Deep/leaf.bin" || t.path == "/frag/fragmented.bin" || t.path == "/big.dat")
      expectContent(*v, t.path, t.sha256);
}

TEST_F(FatAdvancedListing, ExfatWithItsBootSectorWiped) {
  auto disk = fatImage("fat_exfat.img");
  if (!disk) GTEST_SKIP();
  disk->zero(0, 512);
  auto v = advanced(*disk, "FAT64", 0, 3);
  ASSERT_TRUE(v);
  const auto paths = test::pathsOf(v->view());
  EXPECT_TRUE(paths.count("/$RECYCLE.BIN/holiday photo.jpg"));
  EXPECT_TRUE(paths.count("/Old Stuff/Sub/PHOTO.JPG"));
  EXPECT_EQ(v->view().children(paths.at("/grown folder")).size(), 45u);
  for (const auto& t : test::fatTruth("fat_exfat.img"))
    if (t.path == "/Documents/Archive/Deep/leaf.bin" || t.path == "/frag/fragmented.bin" || t.path == "/big.dat" ||
        t.path == "/deleted file.txt")
      expectContent(*v, t.path, t.sha256);

  // No heap candidate at the index chosen: no list.
  ParseOptions o;
  o.mode = RecoveryMode::Advanced;
  o.candidate = 0;
  o.clusterSectors = 3;
  std::string error;
  EXPECT_FALSE(parseFatVolume(*disk, fatRecord("FAT64"), o, 9, silentReporter(), error));
}

}  // namespace
}  // namespace quarnel
