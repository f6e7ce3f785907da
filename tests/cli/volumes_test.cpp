// `quarnel volumes` over real disks, through the virtual disk, in its stable tsv format.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace quarnel {
namespace {

const char* const kMbrVolumes =
    "0\tNTFS\t16   MB\t2048\n1\tFAT16\t16   MB\t34816\n2\tFAT64\t16   MB\t67584\n"
    "3\tFAT32\t34   MB\t102400\n4\textX\t16   MB\t174080\n5\textX\t16   MB\t208896\n";

TEST(CliVolumes, TablesThroughADegradedRaid5) {
  test::ScratchDir dir;
  ASSERT_EQ(test::runSplitter({"--level", "5", "--stripe", "128", "--members", "3",
                               test::fixture("disk_mbr.img"), dir.file("m")}), 0);
  test::RunResult r = test::runQuarnel({"volumes", "-l", "5", "-m", dir.file("m0.img"), "-m",
                                        "missing", "-m", dir.file("m2.img"), "--format", "tsv"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kMbrVolumes);
}

TEST(CliVolumes, GptAndScanOfAWipedTable) {
  test::ScratchDir dir;
  auto disk = test::readFile(test::fixture("disk_mbr.img"));
  std::fill(disk.begin(), disk.begin() + 512, 0);
  test::writeFile(dir.file("wiped.img"), disk);
  struct Case { std::vector<std::string> args; const char* out; };
  const Case cases[] = {
      {{"-m", dir.file("wiped.img")}, ""},
      {{"-m", dir.file("wiped.img"), "--scan"},
       "0\tNTFS\t15   MB\t2048\n1\tFAT16\t15  MB\t34816\n2\tFAT64\t16  MB\t67584\n"
       "3\tFAT32\t33  MB\t102400\n4\textX\t16  MB\t174080\n5\textX\t16  MB\t208896\n"},
      {{"-m", dir.file("wiped.img"), "--scan", "--from", "34816", "--to", "40000"},
       "0\tFAT16\t15  MB\t34816\n"},
      {{"-m", test::fixture("disk_gpt.img"), "--gpt"},
       "0\tNTFS\t15   MB\t34816\n1\tFAT32\t33  MB\t67584\n2\tFAT64\t10  MB\t137216\n"
       "3\textX\t7\t157696\n4\tHFS+\t3\t174080\n5\tempty space\t3\t182272\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"volumes", "--format", "tsv"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    test::RunResult r = test::runQuarnel(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.out) << c.args.back();
  }
}

TEST(CliVolumes, ExtendedChainThatLoopsIsReportedAfterTheList) {
  test::ScratchDir dir;
  auto disk = test::readFile(test::fixture("disk_mbr.img"));
  // The last EBR (sector 206848) links back to itself: type 5 at 106496 from the base.
  std::uint8_t* entry = disk.data() + 206848 * 512 + 0x1CE;
  entry[4] = 0x05;
  const std::uint32_t link = 206848 - 100352;
  for (int i = 0; i < 4; ++i) entry[8 + i] = static_cast<std::uint8_t>(link >> (8 * i));
  entry[12] = 1;
  test::writeFile(dir.file("loop.img"), disk);
  test::RunResult r = test::runQuarnel({"volumes", "-m", dir.file("loop.img"), "--format", "tsv"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kMbrVolumes);
  EXPECT_NE(r.err.find("links back to sector 206848"), std::string::npos) << r.err;
}

TEST(CliMembers, KindsSizesAndProbedOffsets) {
  test::ScratchDir dir;
  ASSERT_EQ(test::runSplitter({"--level", "0", "--stripe", "128", "--members", "2", "--offset",
                               "2048", "--privhead", "1985", test::fixture("disk_hole.img"),
                               dir.file("m")}), 0);
  test::RunResult r = test::runQuarnel({"members", "--format", "tsv", "-m", dir.file("m0.img"), "-m",
                                        test::fixture("vhd_r5ls_m1.vhd"), "-m", "missing", "-m",
                                        test::fixture("disk_hole_fixed.vhd")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "0\traw image\t67584\t2048\t" + dir.file("m0.img") + "\n" +
                   "1\tdynamic VHD\t131072\t0\t" + test::fixture("vhd_r5ls_m1.vhd") + "\n" +
                   "2\tmissing\t0\t0\tmissing\n" +
                   "3\tfixed VHD\t131072\t0\t" + test::fixture("disk_hole_fixed.vhd") + "\n");
}

}  // namespace
}  // namespace quarnel
