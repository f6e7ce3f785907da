// The whole road on the FAT family, ext and HFS+: volumes made by the real formatters, listed
// and saved through the command line against their ground truth, directly and through a
// RAID-5 with a member missing.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_support.h"

namespace quarnel {
namespace {

using Fields = std::vector<std::string>;

// Where save puts an entry: ext and HFS+ save names without their leading and trailing blanks.
std::string savedPath(const std::string& path) {
  std::string out;
  std::size_t start = 1;
  while (start <= path.size()) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    std::string c = path.substr(start, slash - start);
    const auto first = c.find_first_not_of(" \t");
    c = first == std::string::npos ? "" : c.substr(first, c.find_last_not_of(" \t") - first + 1);
    out += "/" + c;
    start = slash + 1;
  }
  return out;
}

struct Road {
  const char* name;
  const char* image;
  const char* fs;
  const char* truth;
  bool throughRaid;
};

class FsRoad : public ::testing::TestWithParam<Road> {};

TEST_P(FsRoad, ListsAndSavesWhatTheToolsStored) {
  const Road& r = GetParam();
  test::ScratchDir dir;
  std::vector<std::string> array{"-m", test::fixture(r.image)};
  if (r.throughRaid) {
    ASSERT_EQ(test::runSplitter({"--level", "5", "--layout", "2", "--stripe", "64", "--members", "4",
                                 test::fixture(r.image), dir.file("m")}), 0);
    array = {"-l", "5", "-p", "2", "-s", "64", "-m", dir.file("m0.img"), "-m", dir.file("m1.img"),
             "-m", "missing", "-m", dir.file("m3.img")};
  }
  auto args = [&](std::vector<std::string> cmd) {
    cmd.insert(cmd.end(), array.begin(), array.end());
    for (const char* a : {"--start", "0", "--fs", r.fs}) cmd.emplace_back(a);
    return cmd;
  };

  test::RunResult ls = test::runQuarnel(args({"ls", "-r", "--format", "tsv"}));
  ASSERT_EQ(ls.status, 0) << ls.err;
  const auto listed = test::listingByPath(ls.out);
  const auto truth = test::groundTruth(r.truth);
  ASSERT_GT(truth.size(), 10u);
  for (const Fields& want : truth) {
    const std::string& path = want[5];
    auto it = listed.find(path);
    ASSERT_NE(it, listed.end()) << path;
    const Fields& got = it->second;
    EXPECT_EQ(got[0], want[0]) << path;
    EXPECT_EQ(got[1], want[1]) << path;  // the deleted mark
    if (want[0] == "f") {
      EXPECT_EQ(got[2], want[2]) << path;
    }
    EXPECT_EQ(got[3], want[3]) << path;
  }

  test::RunResult save = test::runQuarnel(args({"save", "--out", dir.file("out")}));
  ASSERT_EQ(save.status, 0) << save.err;
  for (const Fields& want : truth) {
    if (want[0] != "f" || want[4] == "-") continue;  // content unknown: clusters reused
    const std::string path = dir.file("out") + savedPath(want[5]);
    EXPECT_EQ(test::sha256File(path), want[4]) << want[5];
    EXPECT_EQ(test::mtimeText(path), want[3]) << want[5];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ways, FsRoad,
    ::testing::Values(Road{"Fat32", "fat_fat32.img", "fat32", "fat/fat_fat32.img.tsv", false},
                      Road{"Fat32ThroughRaid5", "fat_fat32.img", "fat32", "fat/fat_fat32.img.tsv", true},
                      Road{"Fat16", "fat_fat16.img", "fat16", "fat/fat_fat16.img.tsv", false},
                      Road{"Fat12", "fat_fat12.img", "fat16", "fat/fat_fat12.img.tsv", false},
                      Road{"Exfat", "fat_exfat.img", "exfat", "fat/fat_exfat.img.tsv", false},
                      Road{"Ext2", "ext_ext2.img", "ext", "ext/ext2.tsv", false},
                      Road{"Ext3", "ext_ext3.img", "ext", "ext/ext3.tsv", false},
                      Road{"Ext4", "ext_ext4.img", "ext", "ext/ext4.tsv", false},
                      Road{"Ext4ThroughRaid5", "ext_ext4.img", "ext", "ext/ext4.tsv", true},
                      Road{"Hfs", "hfs_many.img", "hfs+", "hfs/many.tsv", false},
                      Road{"HfsThroughRaid5", "hfs_many.img", "hfs+", "hfs/many.tsv", true}),
    [](const auto& info) { return std::string(info.param.name); });

// exFAT without its boot sector: the heap picked places the content.
TEST(FsRoadCli, ExfatAdvancedModeReadsFromTheHeapPicked) {
  test::ScratchDir dir;
  auto image = test::readFile(test::fixture("fat_exfat.img"));
  std::fill(image.begin(), image.begin() + 512, 0);
  test::writeFile(dir.file("wiped.img"), image);
  auto cat = [&](const char* heap) {
    return test::runQuarnel({"cat", "-m", dir.file("wiped.img"), "--start", "0", "--fs", "exfat", "--mode",
                             "advanced", "--candidate", "0", "--cluster-sectors", "3", "--heap", heap, "/big.dat"});
  };
  test::ScratchDir out;
  test::RunResult right = cat("0");
  ASSERT_EQ(right.status, 0) << right.err;
  test::writeFile(out.file("big.dat"), std::vector<std::uint8_t>(right.out.begin(), right.out.end()));
  EXPECT_EQ(test::sha256File(out.file("big.dat")), "6e8dce37d27f361be1ffb7a67a800200c2b309652f173f704bdf78aa4807a18c");
  test::RunResult wrong = cat("1");
  ASSERT_EQ(wrong.status, 0) << wrong.err;
  EXPECT_NE(wrong.out, right.out);
  test::RunResult none = cat("5");
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("no heap candidate at the selected index"), std::string::npos) << none.err;
}

}  // namespace
}  // namespace quarnel
