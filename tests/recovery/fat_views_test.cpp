// The FAT-family adapters of the browsing view: what each kind shows and saves, the tree's
// first level, and the command line over a degraded RAID-5.
#include "recovery/fat_views.h"

#include <gtest/gtest.h>

#include <set>

#include "fs/fat/fat_test_support.h"
#include "recovery/entry_paths.h"
#include "recovery/open_volume.h"
#include "recovery/save_walk.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

using test::fatImage;
using test::fatRecord;

// The first level of the tree is the store's, as `ls` lists it: the root's folders and files
// (the label and "DUMMY ENTRY" never), deleted ones marked, and a file of attribute 0x21
// (read-only) as well, which the parser's own tree fill used to leave out.
TEST(FatViews, TheTreesFirstLevel) {
  auto disk = fatImage("fat_fat32.img");
  if (!disk) GTEST_SKIP();
  const std::int64_t slot = disk->find("README  TXT");
  ASSERT_GT(slot, 0);
  disk->bytes()[static_cast<std::size_t>(slot) + 11] = 0x21;
  std::string error;
  auto v = parseVolume(*disk, fatRecord("FAT32"), {}, silentReporter(), error);
  ASSERT_TRUE(v) << error;
  EntryView& view = v->view();
  std::set<std::string> folders, files, deleted, listed;
  for (EntryId e : view.children(view.root())) {
    (view.isFolder(e) ? folders : files).insert(view.name(e));
    if (view.deleted(e)) deleted.insert(view.name(e));
  }
  for (const auto& l : listFolder(view, view.root(), "/", false)) listed.insert(l.path.substr(1));
  EXPECT_EQ(folders, (std::set<std::string>{"$RECYCLE.BIN", "Documents", "Empty Folder", "Many", "Old Stuff", "frag"}));
  EXPECT_TRUE(files.count("readme.txt"));
  EXPECT_FALSE(files.count("QUARNEL_F32"));
  EXPECT_FALSE(files.count("DUMMY ENTRY"));
  EXPECT_EQ(deleted, (std::set<std::string>{"Old Stuff", "deleted file.txt", "\xEF\xBF\xA5" "ELME.TXT"}));
  std::set<std::string> shown = folders;
  shown.insert(files.begin(), files.end());
  EXPECT_EQ(shown, listed);
}

// A folder is a folder by its directory bit, whatever else is set: with the read-only and
// archive bits (0x31), hidden (0x12) or read-only, hidden and system (0x17) it lists and saves
// its whole subtree, on FAT16 as on FAT32.
TEST(FatViews, FoldersByTheirDirectoryBit) {
  for (const char* fs : {"FAT16", "FAT32"}) {
    const std::string image = std::string(fs) == "FAT16" ? "fat_fat16.img" : "fat_fat32.img";
    auto plain = fatImage(image);
    if (!plain) GTEST_SKIP();
    std::string error;
    auto original = parseFatVolume(*plain, fatRecord(fs), {}, silentReporter(), error);
    ASSERT_TRUE(original) << error;
    const EntryId docs = findPath(original->view(), "/Documents");
    const auto want = listFolder(original->view(), docs, "/Documents", true);
    ASSERT_GT(want.size(), 1u) << fs;
    for (std::uint8_t attribute : {0x31, 0x12, 0x17}) {
      auto disk = fatImage(image);
      const std::int64_t slot = disk->find("DOCUME~1   ");
      ASSERT_GT(slot, 0) << fs;
      disk->bytes()[static_cast<std::size_t>(slot) + 11] = attribute;
      auto v = parseFatVolume(*disk, fatRecord(fs), {}, silentReporter(), error);
      ASSERT_TRUE(v) << error;
      EntryView& view = v->view();
      const EntryId folder = findPath(view, "/Documents");
      ASSERT_NE(folder, kNoEntry);
      EXPECT_TRUE(view.isFolder(folder)) << fs << " " << int(attribute);
      EXPECT_TRUE(view.isFolderForSaving(folder)) << fs << " " << int(attribute);
      std::vector<std::string> got, expected;
      for (const auto& l : listFolder(view, folder, "/Documents", true)) got.push_back(l.path);
      for (const auto& l : want) expected.push_back(l.path);
      EXPECT_EQ(got, expected) << fs << " " << int(attribute);
      EXPECT_EQ(countFiles(view, folder), countFiles(original->view(), docs)) << fs << " " << int(attribute);
    }
  }
}

TEST(FatViews, TextsAreLocalTimesAndAttributeLetters) {
  auto disk = fatImage("fat_fat32.img");
  if (!disk) GTEST_SKIP();
  test::ZoneGuard zone("UTC");
  std::string error;
  auto v = parseFatVolume(*disk, fatRecord("FAT32"), {}, silentReporter(), error);
  ASSERT_TRUE(v) << error;
  const auto paths = test::pathsOf(v->view());
  const EntryTexts report = v->view().texts(paths.at("/Long File Name Report.txt"));
  EXPECT_EQ(report.modified, "07/14/2019  01:37 PM");
  EXPECT_EQ(report.created, "07/14/2019  01:37 PM");
  EXPECT_EQ(report.accessed, "07/14/2019 ");
  EXPECT_EQ(report.attributes, "-A");
  EXPECT_EQ(v->view().texts(paths.at("/naïve café.txt")).modified, "06/30/2024  12:30 PM");
  EXPECT_EQ(v->view().texts(paths.at("/Documents/Archive/Deep/leaf.bin")).modified, "01/01/1980  12:00 AM");
  EXPECT_EQ(v->view().sizeText(paths.at("/big.dat")), "3.00 MB");
  EXPECT_EQ(v->view().texts(paths.at("/$RECYCLE.BIN")).attributes, "-H-S");
}

// The same volumes through a RAID-5 with one member missing: rebuilt by XOR, listed and
// read as from the disk itself.
TEST(FatViews, ThroughARaid5WithAMemberMissing) {
  for (const char* f : {"disk_mbr.img", "vhd_r5ls_m0.vhd", "vhd_r5ls_m2.vhd"})
    if (!test::haveFixture(f)) GTEST_SKIP();
  const std::vector<std::string> raid = {"-m", test::fixture("vhd_r5ls_m0.vhd"), "-m", "missing",
                                         "-m", test::fixture("vhd_r5ls_m2.vhd"), "-l", "5"};
  const std::vector<std::string> plain = {"-m", test::fixture("disk_mbr.img")};
  struct Part {
    const char* start;
    const char* fs;
  };
  for (const Part& p : {Part{"34816", "fat16"}, Part{"67584", "exfat"}, Part{"102400", "fat32"}}) {
    auto args = [&](const std::vector<std::string>& disk, std::vector<std::string> tail) {
      std::vector<std::string> a = {tail[0]};
      a.insert(a.end(), disk.begin(), disk.end());
      a.insert(a.end(), {"--start", p.start, "--fs", p.fs, "--size", p.fs == std::string("fat32") ? "34" : "16"});
      a.insert(a.end(), tail.begin() + 1, tail.end());
      return a;
    };
    const auto viaRaid = test::runQuarnel(args(raid, {"ls", "-r", "--format", "tsv"}));
    const auto direct = test::runQuarnel(args(plain, {"ls", "-r", "--format", "tsv"}));
    ASSERT_EQ(viaRaid.status, 0) << p.fs << ": " << viaRaid.err;
    EXPECT_EQ(viaRaid.out, direct.out) << p.fs;
    EXPECT_NE(viaRaid.out.find("f\t0\t262144\t2024-02-03T04:05:06Z\t/data/big.dat\n"), std::string::npos) << p.fs;
    const auto catRaid = test::runQuarnel(args(raid, {"cat", "/data/big.dat"}));
    const auto catDirect = test::runQuarnel(args(plain, {"cat", "/data/big.dat"}));
    ASSERT_EQ(catRaid.status, 0) << catRaid.err;
    EXPECT_EQ(catRaid.out.size(), 262144u);
    EXPECT_TRUE(catRaid.out == catDirect.out) << p.fs;
  }
  const auto candidates = test::runQuarnel({"candidates", "-m", test::fixture("disk_mbr.img"), "--start", "102400",
                                            "--fs", "fat32", "--size", "34"});
  EXPECT_EQ(candidates.status, 0) << candidates.err;
  EXPECT_NE(candidates.out.find("FAT32_ENTRY:0  at byte 16384\n"), std::string::npos) << candidates.out;
}

}  // namespace
}  // namespace quarnel
