// The standard mode on images that mkfs.fat with mtools and mkfs.exfat with exfat-fuse
// wrote: every entry the tools stored (and every one they deleted) with its path, size,
// time and content, as the ground truth beside each image records it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "fs/fat/fat16_class.h"
#include "fs/fat/fat32_class.h"
#include "fs/fat/fat64_class.h"
#include "fs/fat/fat_test_support.h"
#include "recovery/fat_views.h"
#include "recovery/save_walk.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

using test::fatImage;
using test::fatRecord;
using test::fatTruth;

struct Image {
  const char* name;
  const char* fileSystem;
};

constexpr Image kImages[] = {
    {"fat_fat12.img", "FAT16"},
    {"fat_fat16.img", "FAT16"},
    {"fat_fat32.img", "FAT32"},
    {"fat_exfat.img", "FAT64"},
};

class FatVolumes : public ::testing::TestWithParam<Image> {
 protected:
  void SetUp() override {
    disk_ = fatImage(GetParam().name);
    if (!disk_) GTEST_SKIP() << GetParam().name << " missing";
    std::string error;
    volume_ = parseFatVolume(*disk_, fatRecord(GetParam().fileSystem), {}, silentReporter(), error);
    ASSERT_TRUE(volume_) << error;
  }

  test::ZoneGuard utc_;
  std::unique_ptr<test::MemoryDisk> disk_;
  std::unique_ptr<ParsedVolume> volume_;
};

TEST_P(FatVolumes, ListingIsTheGroundTruth) {
  std::set<std::string> want;
  for (const auto& t : fatTruth(GetParam().name))
    want.insert(test::listingLine(t.kind, t.deleted, t.size, t.modified, t.path));
  ASSERT_FALSE(want.empty());
  const std::set<std::string> got = test::listing(volume_->view());
  for (const auto& line : want) EXPECT_TRUE(got.count(line)) << "missing: " << line;
  for (const auto& line : got) EXPECT_TRUE(want.count(line)) << "not in the truth: " << line;
}

// Live files (fragmented ones included) along their chains, deleted ones from the
// consecutive clusters their freed chains left, $R files under their former names.
TEST_P(FatVolumes, ContentIsTheGroundTruth) {
  EntryView& view = volume_->view();
  const auto paths = test::pathsOf(view);
  int checked = 0;
  for (const auto& t : fatTruth(GetParam().name)) {
    if (t.kind != 'f' || t.sha256 == "-") continue;
    auto it = paths.find(t.path);
    ASSERT_NE(it, paths.end()) << t.path;
    bool complete = false;
    EXPECT_EQ(test::contentSha(view, it->second, &complete), t.sha256) << t.path;
    EXPECT_TRUE(complete) << t.path;
    ++checked;
  }
  EXPECT_GT(checked, 20);
}

TEST_P(FatVolumes, SavedFilesKeepTheirTimes) {
  test::ScratchDir out;
  SaveResult result;
  JobControl stop;
  saveFolderContents(volume_->view(), volume_->view().root(), out.path().string(), silentReporter(), stop, result);
  EXPECT_TRUE(result.failures.empty()) << result.failures.front();
  for (const auto& t : fatTruth(GetParam().name)) {
    if (t.kind != 'f' || t.sha256 == "-") continue;
    const std::string path = out.path().string() + t.path;
    struct stat st{};
    ASSERT_EQ(stat(path.c_str(), &st), 0) << t.path;
    EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), t.size) << t.path;
    EXPECT_EQ(isoUtcText(instantFromUnix(st.st_mtim.tv_sec)), t.modified) << t.path;
  }
}

INSTANTIATE_TEST_SUITE_P(Images, FatVolumes, ::testing::ValuesIn(kImages),
                         [](const auto& info) { return std::string(info.param.name).substr(4, 5); });

// The fixtures hold what the parsers must get right beyond a one-cluster folder: a FAT32
// root of several clusters, a folder of more than 20, exFAT folders of both kinds, a
// FAT16 volume named by Windows' formatter.
TEST(FatFixtures, CoverTheCasesTheyAreMeantFor) {
  auto f32 = fatImage("fat_fat32.img");
  auto f16 = fatImage("fat_fat16.img");
  auto ex = fatImage("fat_exfat.img");
  if (!f32 || !f16 || !ex) GTEST_SKIP();

  Fat32Class p32;
  p32.attachSource(*f32, 0);
  p32.setVolumeSize(f32->bytes().size());
  ASSERT_TRUE(p32.checkBootSector());
  EXPECT_GE(p32.countRootClusters(), 3u);
  ASSERT_TRUE(p32.readRootDirectory());
  const auto& records = p32.collectRootEntries();
  const auto many = std::find_if(records.begin(), records.end(), [](const auto& r) { return r.name == "Many"; });
  ASSERT_NE(many, records.end());
  std::uint32_t clusters = 1;
  for (std::uint32_t c = many->firstCluster(); p32.nextCluster(c) != 0x0FFFFFFF; c = p32.nextCluster(c)) ++clusters;
  EXPECT_GT(clusters, 20u);

  Fat16Class p16;
  p16.attachSource(*f16, 0);
  p16.setVolumeSize(f16->bytes().size());
  ASSERT_TRUE(p16.checkBootSector());
  EXPECT_EQ(p16.bootRecord().oemName, "MSDOS5.0");

  Fat64Class p64;
  p64.attachSource(*ex, 0);
  p64.setVolumeSize(ex->bytes().size());
  ASSERT_TRUE(p64.checkBootSector());
  EXPECT_EQ(p64.geometry().clusterSize, 4096u);
  ASSERT_TRUE(p64.readRootCluster());
  const auto& sets = p64.collectRootEntries();
  bool chained = false, contiguous = false;
  for (const auto& r : sets)
    if (isExfatFolderAttribute(r.attributes) && r.self != 0) {
      if (r.name == "grown folder") chained = !r.contiguous();
      if (r.name == "Documents") contiguous = r.contiguous();
    }
  EXPECT_TRUE(chained);
  EXPECT_TRUE(contiguous);
}

// The kind comes from the volume record; the boot sector decides whether it fits.
TEST(FatVolumesRejected, ABootSectorOfAnotherKind) {
  struct Case {
    const char* image;
    const char* fileSystem;
    const char* error;
  };
  const Case cases[] = {
      {"fat_fat16.img", "FAT32", "Selected Drive is not in Fat32 Format"},
      {"fat_fat32.img", "FAT16", "Selected Drive is not in Fat16 Format"},
      {"fat_fat32.img", "FAT64", "Selected Drive is not in exFat Format"},
      {"fat_exfat.img", "FAT32", "Selected Drive is not in Fat32 Format"},
  };
  for (const Case& c : cases) {
    auto disk = fatImage(c.image);
    if (!disk) GTEST_SKIP();
    std::string error;
    EXPECT_FALSE(parseFatVolume(*disk, fatRecord(c.fileSystem), {}, silentReporter(), error));
    EXPECT_EQ(error, c.error) << c.image << " as " << c.fileSystem;
  }
}

// The volumes of a partitioned disk, each at its own start.
TEST(FatVolumesOnADisk, EachFatVolumeOfTheMbrDisk) {
  if (!test::haveFixture("disk_mbr.img")) GTEST_SKIP();
  test::ZoneGuard utc;
  test::MemoryDisk disk(test::readFile(test::fixture("disk_mbr.img")));
  struct Part {
    const char* fileSystem;
    std::int64_t start;
    std::int64_t mib;
  };
  for (const Part& p : {Part{"FAT16", 34816, 16}, Part{"FAT64", 67584, 16}, Part{"FAT32", 102400, 34}}) {
    std::string error;
    auto v = parseFatVolume(disk, fatRecord(p.fileSystem, p.start, p.mib), {}, silentReporter(), error);
    ASSERT_TRUE(v) << p.fileSystem << ": " << error;
    const std::set<std::string> got = test::listing(v->view());
    for (const auto& line : {test::listingLine('f', false, 262144, "2024-02-03T04:05:06Z", "/data/big.dat"),
                             test::listingLine('f', false, 4219, "2024-02-03T04:05:06Z", "/Documents/Archive/Deep/leaf.bin"),
                             test::listingLine('f', false, 0, "2024-02-03T04:05:06Z", "/empty.txt"),
                             test::listingLine('d', false, 0, "2024-02-03T04:05:06Z", "/Empty Folder")})
      EXPECT_TRUE(got.count(line)) << p.fileSystem << ": " << line;
    EXPECT_EQ(got.size(), 12u) << p.fileSystem;  // seven files, five folders
  }
}

}  // namespace
}  // namespace quarnel
