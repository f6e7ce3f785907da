// The whole road on NTFS: a volume made by mkntfs and ntfs-3g, listed and saved through the
// command line, directly and through a RAID-5 with a member missing, against its ground truth.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "support/test_support.h"

namespace quarnel {
namespace {

using Fields = std::vector<std::string>;

// Names that are not shown as the formatter stored them: recycled files show their former
// names.
bool shownElsewhere(const std::string& path) { return path.find("/$R") != std::string::npos; }

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

// ntfs-3g's volume of hard links, a DOS-named file and a deleted file whose folder's record
// was reused: the listing is The Sleuth Kit's, every name of the linked file saved as a copy
// of the same bytes, and the stale file is an orphan, not a child of the new folder.
TEST(NtfsRoadCli, EveryNameOfALinkedFileAndNoFileInAReusedFolder) {
  const std::vector<std::string> volume{"-m", test::fixture("ntfs_links.img"), "--start", "0", "--fs", "ntfs"};
  auto with = [&](std::vector<std::string> cmd) {
    cmd.insert(cmd.end(), volume.begin(), volume.end());
    return cmd;
  };
  test::RunResult ls = test::runQuarnel(with({"ls", "-r", "--format", "tsv"}));
  ASSERT_EQ(ls.status, 0) << ls.err;
  std::set<std::string> listed;
  for (const auto& [path, fields] : test::listingByPath(ls.out))
    if (path.find("/$") == std::string::npos) listed.insert(path);
  std::set<std::string> fls;  // "r/r 69-128-1:<TAB>A/shared.bin", orphans under $OrphanFiles
  std::ifstream in(std::string(QUARNEL_SOURCE_DIR) + "/tests/fixtures/ntfs/ntfs_links.img.fls");
  for (std::string line; std::getline(in, line);) {
    std::string path = "/" + line.substr(line.find('\t') + 1);
    // TSK also names mkntfs's reserved records 16 to 23, which hold no $FILE_NAME, as
    // OrphanFile-N; without a name there is nothing to list them by.
    if (path.find("/OrphanFile-") != std::string::npos) continue;
    if (path.rfind("/$OrphanFiles/", 0) == 0) path = "/ORPHAN_ENTRY/" + path.substr(14);
    else if (path.find("/$") != std::string::npos) continue;
    fls.insert(path);
  }
  fls.insert("/ORPHAN_ENTRY");
  EXPECT_EQ(listed, fls);

  test::ScratchDir dir;
  test::RunResult save = test::runQuarnel(with({"save", "--out", dir.file("out")}));
  ASSERT_EQ(save.status, 0) << save.err;
  const std::string shared = test::sha256File(dir.file("out") + "/A/shared.bin");
  for (const char* link : {"/A/Sub/shared.bin", "/B/other name.bin", "/root-link.bin"}) {
    EXPECT_EQ(test::sha256File(dir.file("out") + link), shared) << link;
    EXPECT_EQ(test::mtimeText(dir.file("out") + link), "2023-04-05T06:07:08Z") << link;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("out") + "/New/stale.txt"));
}

// A record whose sector ends do not all hold its update sequence number is torn: only the
// sectors before the torn one are read, the count is said, and a high share of torn
// records is said to point at the array settings.
TEST(NtfsRoadCli, TornRecordsAreReadUpToTheTornSectorAndCounted) {
  const auto image = test::readFile(test::fixture("ntfs_links.img"));
  auto le = [&](std::size_t at, int n) {
    std::uint64_t v = 0;
    for (int i = n; i-- > 0;) v = v << 8 | image[at + i];
    return v;
  };
  const std::uint64_t cluster = le(0x0B, 2) * le(0x0D, 1);
  const std::uint64_t mft = le(0x30, 8) * cluster;
  auto record = [&](std::uint64_t n) { return mft + n * 1024; };
  struct Case {
    const char* name;
    std::vector<std::size_t> tornAt;  // bytes whose change tears a sector end
    bool notesListed;
    const char* said;
  };
  const Case cases[] = {
      // A/notes.txt is record 71: its names and times sit in the first sector.
      {"second sector", {record(71) + 1022}, true, "1 of "},
      {"first sector", {record(71) + 510}, false, "1 of "},
      {"every record's last sector",
       [&] {
         std::vector<std::size_t> all;
         for (std::uint64_t n = 0; n < 74; ++n) all.push_back(record(n) + 1022);
         return all;
       }(),
       true, "so many point to wrong array settings"},
  };
  for (const auto& c : cases) {
    auto copy = image;
    for (std::size_t at : c.tornAt) copy[at] ^= 0xFF;
    test::ScratchDir dir;
    test::writeFile(dir.file("torn.img"), copy);
    test::RunResult ls =
        test::runQuarnel({"ls", "-r", "--format", "tsv", "-m", dir.file("torn.img"), "--start", "0", "--fs", "ntfs"});
    EXPECT_EQ(test::listingByPath(ls.out).count("/A/notes.txt"), c.notesListed ? 1u : 0u) << c.name;
    EXPECT_NE(ls.err.find("fail their update-sequence check"), std::string::npos) << c.name << ": " << ls.err;
    EXPECT_NE(ls.err.find(c.said), std::string::npos) << c.name << ": " << ls.err;
  }
}

}  // namespace
}  // namespace quarnel
