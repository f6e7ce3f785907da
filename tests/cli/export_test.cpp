// The virtual disk end to end: members cut from a real disk by the tests' own splitter (or
// made by qemu-img), assembled by `quarnel export`, must give back that disk byte for byte.
#include <gtest/gtest.h>

#include <fstream>

#include "support/test_support.h"

namespace quarnel {
namespace {

constexpr std::int64_t kDiskSectors = 262144;  // disk_mbr.img

bool sameBytes(const std::string& a, const std::string& b, std::string& where) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  std::vector<char> ba(1 << 20), bb(1 << 20);
  for (std::int64_t at = 0;; at += static_cast<std::int64_t>(ba.size())) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount()) { where = "length differs"; return false; }
    if (fa.gcount() == 0) return true;
    for (std::streamsize i = 0; i < fa.gcount(); ++i)
      if (ba[static_cast<std::size_t>(i)] != bb[static_cast<std::size_t>(i)]) {
        where = "byte " + std::to_string(at + i);
        return false;
      }
  }
}

struct SplitCase {
  const char* name;
  std::vector<std::string> split;  // splitter options
  std::vector<std::string> array;  // quarnel ARRAY options besides -m
  int members;
  int missing;                     // member left out, -1 for none
};

class ExportSplitArray : public ::testing::TestWithParam<SplitCase> {};

TEST_P(ExportSplitArray, GivesBackTheDiskItWasCutFrom) {
  const SplitCase& c = GetParam();
  test::ScratchDir dir;
  std::vector<std::string> split = c.split;
  split.insert(split.end(), {"--members", std::to_string(c.members), test::fixture("disk_mbr.img"),
                             dir.file("m")});
  ASSERT_EQ(test::runSplitter(split), 0);
  std::vector<std::string> args{"export", "--out", dir.file("disk.img"), "--count",
                                std::to_string(kDiskSectors)};
  for (int i = 0; i < c.members; ++i) {
    args.push_back("-m");
    args.push_back(i == c.missing ? "missing" : dir.file("m" + std::to_string(i) + ".img"));
  }
  args.insert(args.end(), c.array.begin(), c.array.end());
  test::RunResult r = test::runQuarnel(args);
  ASSERT_EQ(r.status, 0) << r.err;
  std::string where;
  EXPECT_TRUE(sameBytes(dir.file("disk.img"), test::fixture("disk_mbr.img"), where)) << where;
}

INSTANTIATE_TEST_SUITE_P(
    Arrays, ExportSplitArray,
    ::testing::Values(
        SplitCase{"raid0", {"--level", "0", "--stripe", "64"}, {"-s", "64"}, 3, -1},
        SplitCase{"raid0_offsets", {"--level", "0", "--stripe", "128", "--offset", "7,100,9"},
                  {"-o", "7,100,9"}, 3, -1},
        SplitCase{"raid5_ra", {"--level", "5", "--layout", "1", "--stripe", "128"},
                  {"-l", "5", "-p", "right-asymmetric"}, 3, -1},
        SplitCase{"raid5_la_missing0", {"--level", "5", "--layout", "2", "--stripe", "32"},
                  {"-l", "5", "-p", "2", "-s", "32"}, 4, 0},
        SplitCase{"raid5_ls_missing2", {"--level", "5", "--layout", "3", "--stripe", "128"},
                  {"-l", "5"}, 3, 2},
        SplitCase{"raid5_rs_missing1_offsets",
                  {"--level", "5", "--layout", "4", "--stripe", "16", "--offset", "2048"},
                  {"-l", "5", "-p", "right-symmetric", "-s", "16", "-o", "2048,2048,2048,2048,2048"}, 5, 1},
        // The offset comes from the dynamic-disk header (1985, rounded up to the stripe).
        SplitCase{"raid5_privhead", {"--level", "5", "--stripe", "128", "--offset", "2048",
                                     "--privhead", "1985"},
                  {"-l", "5"}, 3, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExportVhd, DynamicVhdMembersWithAndWithoutAMissingOne) {
  test::ScratchDir dir;
  for (int missing = -1; missing < 3; ++missing) {
    std::vector<std::string> args{"export", "-l", "5", "--out", dir.file("disk.img"), "--force",
                                  "--count", std::to_string(kDiskSectors)};
    for (int i = 0; i < 3; ++i) {
      args.push_back("-m");
      args.push_back(i == missing ? "missing" : test::fixture("vhd_r5ls_m" + std::to_string(i) + ".vhd"));
    }
    test::RunResult r = test::runQuarnel(args);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string where;
    EXPECT_TRUE(sameBytes(dir.file("disk.img"), test::fixture("disk_mbr.img"), where))
        << "missing " << missing << ": " << where;
  }
}

TEST(ExportVhd, FixedVhdIsTheRawDisk) {
  test::ScratchDir dir;
  test::RunResult r = test::runQuarnel({"export", "-m", test::fixture("disk_hole_fixed.vhd"), "--out",
                                        dir.file("disk.img")});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string where;
  EXPECT_TRUE(sameBytes(dir.file("disk.img"), test::fixture("disk_hole.img"), where)) << where;
}

TEST(ExportRange, FromAndCountCutTheDisk) {
  test::ScratchDir dir;
  test::RunResult r = test::runQuarnel({"export", "-m", test::fixture("disk_hole.img"), "--from", "2048",
                                        "--count", "3", "--out", dir.file("part.img")});
  ASSERT_EQ(r.status, 0) << r.err;
  auto part = test::readFile(dir.file("part.img"));
  auto disk = test::readFile(test::fixture("disk_hole.img"));
  ASSERT_EQ(part.size(), 3u * 512);
  EXPECT_TRUE(std::equal(part.begin(), part.end(), disk.begin() + 2048 * 512));
}

}  // namespace
}  // namespace quarnel
