// The FAT-family adapters of the browsing view: what each kind shows and saves, the tree's
// first level, and the command line over a degraded RAID-5.
#include "recovery/fat_views.h"

#include <gtest/gtest.h>

#include "fs/fat/fat_test_support.h"
#include "recovery/save_walk.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

using test::fatImage;
using test::fatRecord;

struct Item {
  TreeItem parent;
  std::string text;
  bool folder, deleted;
  std::int64_t entry;
};

class RecordingTree : public TreeSink {
 public:
  TreeItem insertItem(TreeItem parent, std::string_view text, bool folder, bool deleted, std::int64_t entry) override {
    items.push_back({parent, std::string(text), folder, deleted, entry});
    return static_cast<TreeItem>(items.size());
  }
  void expand(TreeItem item) override { expanded.push_back(item); }
  std::vector<Item> items;
  std::vector<TreeItem> expanded;
};

// The first level of the tree: the root's folders and its files of attribute 0x20 (the
// label and "DUMMY ENTRY" never), deleted ones marked, the volume's item expanded.
TEST(FatViews, TheTreesFirstLevel) {
  auto disk = fatImage("fat_fat32.img");
  if (!disk) GTEST_SKIP();
  RecordingTree tree;
  std::string error;
  auto v = parseFatVolume(*disk, fatRecord("FAT32"), {}, silentReporter(), &tree, error);
  ASSERT_TRUE(v) << error;
  ASSERT_FALSE(tree.items.empty());
  EXPECT_EQ(tree.items[0].parent, 0);
  EXPECT_EQ(tree.items[0].text, "");
  EXPECT_EQ(tree.expanded, std::vector<TreeItem>{1});
  std::set<std::string> folders, files, deleted;
  for (std::size_t i = 1; i < tree.items.size(); ++i) {
    const Item& it = tree.items[i];
    EXPECT_EQ(it.parent, 1);
    EXPECT_EQ(v->view().name(it.entry), it.text);
    (it.folder ? folders : files).insert(it.text);
    if (it.deleted) deleted.insert(it.text);
  }
  EXPECT_EQ(folders, (std::set<std::string>{"$RECYCLE.BIN", "Documents", "Empty Folder", "Many", "Old Stuff", "frag"}));
  EXPECT_TRUE(files.count("readme.txt"));
  EXPECT_FALSE(files.count("QUARNEL_F32"));
  EXPECT_FALSE(files.count("DUMMY ENTRY"));
  EXPECT_EQ(deleted, (std::set<std::string>{"Old Stuff", "deleted file.txt", "\xEF\xBF\xA5" "ELME.TXT"}));
}

// FAT16 saves only folders of attribute 0x10, 0x11 or 0x13 as folders: a hidden one
// (0x12) shows as a folder and is saved as a file.
TEST(FatViews, Fat16SavesHiddenFoldersAsFiles) {
  auto disk = fatImage("fat_fat16.img");
  if (!disk) GTEST_SKIP();
  const std::int64_t slot = disk->find("EMPTYF~1   ");
  ASSERT_GT(slot, 0);
  disk->bytes()[static_cast<std::size_t>(slot) + 11] = 0x12;
  std::string error;
  auto v = parseFatVolume(*disk, fatRecord("FAT16"), {}, silentReporter(), nullptr, error);
  ASSERT_TRUE(v) << error;
  EntryView& view = v->view();
  const EntryId hidden = test::pathsOf(view).at("/Empty Folder");
  EXPECT_TRUE(view.isFolder(hidden));
  EXPECT_FALSE(view.isFolderForSaving(hidden));
  EXPECT_TRUE(view.isFileForSaving(hidden));
  const EntryId documents = test::pathsOf(view).at("/Documents");
  EXPECT_TRUE(view.isFolderForSaving(documents));
}

TEST(FatViews, TextsAreLocalTimesAndAttributeLetters) {
  auto disk = fatImage("fat_fat32.img");
  if (!disk) GTEST_SKIP();
  test::ZoneGuard zone("UTC");
  std::string error;
  auto v = parseFatVolume(*disk, fatRecord("FAT32"), {}, silentReporter(), nullptr, error);
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
