// The whole road on NTFS: a volume made by mkntfs and ntfs-3g, listed and saved through the
// command line, directly and through a RAID-5 with a member missing, against its ground truth.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace quarnel {
namespace {

using Fields = std::vector<std::string>;

// Names that are not shown as the formatter stored them: hard links share one record and
// show one name; recycled files show their former names.
bool shownElsewhere(const std::string& path) {
  return path.rfind("/Links/", 0) == 0 || path.find("/$R") != std::string::npos;
}

class NtfsRoad : public ::testing::TestWithParam<bool> {};

TEST_P(NtfsRoad, ListsAndSavesWhatTheFormatterStored) {
  const bool throughRaid = GetParam();
  test::ScratchDir dir;
  std::vector<std::string> volume{"--start", "0", "--fs", "ntfs"};
  std::vector<std::string> array{"-m", test::fixture("ntfs_basic.img")};
  if (throughRaid) {
    ASSERT_EQ(test::runSplitter({"--level", "5", "--layout", "2", "--stripe", "64", "--members", "4",
                                 test::fixture("ntfs_basic.img"), dir.file("m")}), 0);
    array = {"-l", "5", "-p", "2", "-s", "64", "-m", dir.file("m0.img"), "-m", dir.file("m1.img"),
             "-m", "missing", "-m", dir.file("m3.img")};
  }
  auto args = [&](std::vector<std::string> cmd) {
    cmd.insert(cmd.end(), array.begin(), array.end());
    cmd.insert(cmd.end(), volume.begin(), volume.end());
    return cmd;
  };

  test::RunResult ls = test::runQuarnel(args({"ls", "-r", "--format", "tsv"}));
  ASSERT_EQ(ls.status, 0) << ls.err;
  auto listed = test::listingByPath(ls.out);
  int matched = 0;
  for (const Fields& want : test::groundTruth("ntfs/ntfs_basic.img.tsv")) {
    const std::string& path = want[5];
    if (shownElsewhere(path)) continue;
    auto it = listed.find(path);
    ASSERT_NE(it, listed.end()) << path;
    const Fields& got = it->second;
    EXPECT_EQ(got[0], want[0]) << path;
    EXPECT_EQ(got[1], want[1]) << path;
    if (want[0] == "f") {
      EXPECT_EQ(got[2], want[2]) << path;
    }
    EXPECT_EQ(got[3], want[3]) << path;
    ++matched;
  }
  EXPECT_GT(matched, 40);
  EXPECT_NE(listed.find("/$RECYCLE.BIN/S-1-5-21-1004336348-1177238915-682003330-1000/budget 2023.txt"),
            listed.end());

  test::RunResult save = test::runQuarnel(args({"save", "--out", dir.file("out")}));
  ASSERT_EQ(save.status, 0) << save.err;
  for (const Fields& want : test::groundTruth("ntfs/ntfs_basic.img.tsv")) {
    if (want[0] != "f" || shownElsewhere(want[5])) continue;
    const std::string path = dir.file("out") + want[5];
    EXPECT_EQ(test::sha256File(path), want[4]) << want[5];
    EXPECT_EQ(test::mtimeText(path), want[3]) << want[5];
  }
}

INSTANTIATE_TEST_SUITE_P(Ways, NtfsRoad, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ThroughRaid5" : "Direct"; });

TEST(NtfsRoadCli, FindCatAndDryRun) {
  std::vector<std::string> v{"-m", test::fixture("ntfs_basic.img"), "--start", "0", "--fs", "ntfs"};
  auto with = [&](std::vector<std::string> cmd) {
    cmd.insert(cmd.end(), v.begin(), v.end());
    return cmd;
  };
  test::RunResult find = test::runQuarnel(with({"find", "\\.jpg$", "--format", "tsv"}));
  EXPECT_EQ(find.status, 0) << find.err;
  EXPECT_NE(find.out.find("\t/Downloads/photo.jpg\n"), std::string::npos) << find.out;
  EXPECT_NE(find.out.find("\t/deleted-photo.jpg\n"), std::string::npos) << find.out;
  test::RunResult bad = test::runQuarnel(with({"find", "*.jpg"}));
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("such characters are not allowed for search."), std::string::npos);

  test::RunResult cat = test::runQuarnel(with({"cat", "/sizes/one.bin"}));
  EXPECT_EQ(cat.status, 0) << cat.err;
  EXPECT_EQ(cat.out.size(), 1u);
  test::RunResult none = test::runQuarnel(with({"cat", "/no/such"}));
  EXPECT_EQ(none.status, 1);

  test::RunResult dry = test::runQuarnel(with({"save", "--out", "/nonexistent", "--dry-run", "/sizes"}));
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(dry.out, "number of files found = 5\n");
}

}  // namespace
}  // namespace quarnel
