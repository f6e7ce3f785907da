// What the command line says and returns when it cannot do what it is asked.
#include <gtest/gtest.h>

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
  std::vector<std::string> args;
  for (const auto& a : c.args)
    args.push_back(a[0] == '@' ? dir.file(a.substr(1)) : a);
  test::RunResult r = test::runQuarnel(args);
  EXPECT_EQ(r.status, c.status) << r.err;
  EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  auto disk = test::readFile(dir.file("disk.img"));
  EXPECT_EQ(disk, test::randomBytes(4096 * 512, 1)) << "a member was changed";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliErrors,
    ::testing::Values(
        ErrorCase{"no_command", {}, 2, "subcommand"},
        ErrorCase{"no_member", {"volumes"}, 2, "--member is required"},
        ErrorCase{"bad_level", {"volumes", "-m", "@disk.img", "-l", "3"}, 2, "--level"},
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
                  "could not be read"}),
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
