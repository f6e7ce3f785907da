// What the command line says and returns when it cannot do what it is asked.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_support.h"

namespace quarnel {
namespace {

struct ErrorCase {
  const char* name;
  std::vector<std::string> args;  // "@disk" is a small image, "@member" the same image
  int status;
  const char* says;               // part of the one stderr line
};

class CliErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(CliErrors, ClearLineAndExitStatus) {
  const ErrorCase& c = GetParam();
  test::ScratchDir dir;
  test::writeFile(dir.file("disk.img"), test::randomBytes(4096 * 512, 1));
  test::writeFile(dir.file("exists.img"), {1, 2, 3});
  auto full = test::readFile(test::fixture("vhd_r5ls_m0.vhd"));
  full.resize(full.size() / 3);
  test::writeFile(dir.file("cut.vhd"), full);
  // A dynamic VHD's footer turned into a differencing one's (type 4), both copies.
  auto diff = test::readFile(test::fixture("vhd_r5ls_m0.vhd"));
  for (std::size_t at : {std::size_t{0}, diff.size() - 512}) diff[at + 0x3F] = 4;
  test::writeFile(dir.file("diff.vhd"), diff);
  std::vector<std::string> args;
  for (const auto& a : c.args)
    args.push_back(a[0] == '@' ? dir.file(a.substr(1)) : a);
  test::RunResult r = test::runQuarnel(args);
  EXPECT_EQ(r.status, c.status) << r.err;
  EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  // What cannot be done is said in one line (bad usage also gets the argument parser's hint).
  if (c.status == 1) {
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line: " << r.err;
  }
  auto disk = test::readFile(dir.file("disk.img"));
  EXPECT_EQ(disk, test::randomBytes(4096 * 512, 1)) << "a member was changed";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliErrors,
    ::testing::Values(
        ErrorCase{"no_command", {}, 2, "subcommand"},
        ErrorCase{"no_member", {"volumes"}, 2, "--member is required"},
        ErrorCase{"bad_level", {"volumes", "-m", "@disk.img", "-l", "3"}, 2, "--level"},
        ErrorCase{"stripe_zero", {"volumes", "-m", "@disk.img", "-s", "0"}, 2,
                  "a stripe unit is 1 to 65,536 sectors (512 bytes to 32 MiB), not 0"},
        ErrorCase{"stripe_huge", {"volumes", "-m", "@disk.img", "-s", "99999999999999999999"}, 2,
                  "not 99999999999999999999"},
        ErrorCase{"stripe_past_32_mib", {"volumes", "-m", "@disk.img", "-s", "65537"}, 2, "not 65537"},
        ErrorCase{"bad_layout", {"volumes", "-m", "@disk.img", "-p", "diagonal"}, 2, "parity layout"},
        ErrorCase{"offset_count", {"volumes", "-m", "@disk.img", "-m", "@disk.img", "-o", "1"}, 2,
                  "1 offsets for 2 members"},
        ErrorCase{"absent_member", {"volumes", "-m", "@disk.img", "-m", "@absent.img"}, 1,
                  "member 1 (" },
        ErrorCase{"raid5_two", {"volumes", "-l", "5", "-m", "@disk.img", "-m", "@disk.img"}, 1,
                  "at least three members"},
        ErrorCase{"offset_past_end", {"members", "-m", "@disk.img", "-o", "5000"}, 1,
                  "lies past its end"},
        ErrorCase{"export_exists", {"export", "-m", "@disk.img", "--out", "@exists.img"}, 1,
                  "pass --force"},
        ErrorCase{"export_onto_member", {"export", "-m", "@disk.img", "--out", "@disk.img", "--force"}, 1,
                  "it is a member"},
        ErrorCase{"export_past_end", {"export", "-m", "@disk.img", "--from", "4000", "--count", "100",
                                      "--out", "@new.img"}, 1, "past the end"},
        ErrorCase{"not_a_vhd", {"volumes", "-m", "@disk.img", "-m", "@exists.img", "-m", "@x.vhd",
                                "-l", "5"}, 1, "member 2"},
        ErrorCase{"truncated_vhd", {"export", "-m", "@cut.vhd", "--out", "@new.img"}, 1,
                  "could not be read"},
        ErrorCase{"same_member_twice", {"volumes", "-m", "@disk.img", "-m", "@disk.img"}, 1,
                  "members 0 and 1 are the same device or file"},
        ErrorCase{"not_ntfs", {"ls", "-m", "@disk.img", "--start", "0", "--fs", "ntfs"}, 1,
                  "no NTFS boot sector at sector 0, and no MFT record found"},
        ErrorCase{"differencing_vhd", {"volumes", "-m", "@diff.vhd"}, 1,
                  "a differencing VHD needs its parent; merge it first with qemu-img convert"},
        ErrorCase{"not_ext", {"ls", "-m", "@disk.img", "--start", "0", "--fs", "ext"}, 1,
                  "no ext superblock at sector 0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliHelp, EveryCommandExplainsItself) {
  for (const char* cmd : {"members", "volumes", "export", "drives"}) {
    test::RunResult r = test::runQuarnel({cmd, "--help"});
    EXPECT_EQ(r.status, 0) << cmd;
    EXPECT_NE(r.out.find("Usage"), std::string::npos) << cmd;
  }
}

}  // namespace
}  // namespace quarnel
