// carve and signatures end to end: the fixture volume with real files planted in it, carved
// with the shipped FileSetting.txt and with a file made by `signatures add`.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "support/test_support.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;

struct Planted {
  std::int64_t offset, length;
  std::string file, expect;  // exact, start or none
};

std::vector<Planted> groundTruth() {
  std::ifstream in(std::string(QUARNEL_SOURCE_DIR) + "/tests/fixtures/carve/carve_image.tsv");
  std::vector<Planted> rows;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream f(line);
    Planted p;
    std::string sha;
    f >> p.offset >> p.length >> sha >> p.file >> p.expect;
    rows.push_back(p);
  }
  return rows;
}

struct Printed {
  std::string name, category;
  std::int64_t start = 0, length = 0;
  std::string path;
};

// Find lines (five fields) by start, and the summary lines.
void parseCarve(const std::string& out, std::map<std::int64_t, Printed>& finds, std::vector<std::string>& summary) {
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::istringstream cells(line);
    for (std::string c; std::getline(cells, c, '\t');) f.push_back(c);
    if (f.size() == 5)
      finds[std::stoll(f[2])] = {f[0], f[1], std::stoll(f[2]), std::stoll(f[3]), f[4]};
    else
      summary.push_back(line);
  }
}

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& image, std::int64_t at, std::int64_t n) {
  return {image.begin() + at, image.begin() + at + n};
}

std::string extensionOf(const std::string& file) { return file.substr(file.rfind('.') + 1); }

TEST(CarveCli, ShippedDefinitionsGiveBackEveryPlantedFile) {
  ASSERT_TRUE(fs::exists(fs::path(QUARNEL_BINARY).parent_path() / "FileSetting.txt"));
  test::ScratchDir dir;
  const std::string image = test::fixture("carve_image.img");
  test::RunResult r = test::runQuarnel({"carve", "-m", image, "--start", "0", "--fs", "raw", "--out", dir.file("out")});
  ASSERT_EQ(r.status, 0) << r.err;
  std::map<std::int64_t, Printed> finds;
  std::vector<std::string> summary;
  parseCarve(r.out, finds, summary);
  const auto bytes = test::readFile(image);

  std::map<std::string, int> perCategory;
  std::size_t expected = 0;
  for (const Planted& p : groundTruth()) {
    SCOPED_TRACE(p.file + " at " + std::to_string(p.offset));
    auto it = finds.find(p.offset);
    if (p.expect == "none") {
      EXPECT_EQ(it, finds.end());
      continue;
    }
    ++expected;
    ASSERT_NE(it, finds.end());
    const Printed& f = it->second;
    const std::string ext = extensionOf(p.file);
    EXPECT_EQ(f.length, p.length);
    EXPECT_EQ(test::readFile(f.path), slice(bytes, p.offset, p.length));
    EXPECT_EQ(f.path, dir.file("out") + "/" + f.category + "/" + std::to_string(p.offset) + "." + ext);
    // Named where the find was made: the ending signature, or the start for a size field.
    const std::map<std::string, std::int64_t> endLength{{"jpg", 2}, {"png", 8}, {"pdf", 6}, {"zip", 4}, {"bmp", -1}};
    const std::int64_t at = endLength.at(ext) < 0 ? p.offset : p.offset + p.length - endLength.at(ext);
    EXPECT_EQ(f.name, std::to_string(at) + " ." + ext);
    const std::map<std::string, std::string> category{
        {"jpg", "Images"}, {"png", "Images"}, {"bmp", "Images"}, {"pdf", "Documents"}, {"zip", "Archives"}};
    EXPECT_EQ(f.category, category.at(ext));
    ++perCategory[f.category];
  }
  EXPECT_EQ(finds.size(), expected) << r.out;
  for (const auto& [cat, n] : perCategory)
    EXPECT_NE(std::find(summary.begin(), summary.end(), cat + " (" + std::to_string(n) + ")"), summary.end())
        << cat << "\n" << r.out;
}

TEST(CarveCli, SignaturesAddedByHandCarveOnTheirOwn) {
  test::ScratchDir dir;
  const std::string sig = dir.file("mine.sig");
  test::RunResult add = test::runQuarnel({"signatures", "add", sig, "--ext", "jpg", "--start", "0xFF,0xD8,0xFF",
                                          "--end", "0xFF,0xD9", "--approx", "1000000", "--category", "Photos"});
  ASSERT_EQ(add.status, 0) << add.err;
  EXPECT_NE(add.out.find("everything initialized well....."), std::string::npos);
  ASSERT_EQ(test::runQuarnel({"signatures", "add", sig, "--ext", "mpeg4", "--start", "0,0,1,BA", "--size-offset", "0"}).status, 0);
  test::RunResult list = test::runQuarnel({"signatures", "list", sig});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("\n0\tjpg\tFF,D8,FF\tFF,D9\t-1\t0\t0\t0\t1000000\t0\tPhotos\n"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("\n1\tmpeg\t00,00,01,BA\t\t-1\t"), std::string::npos) << list.out;

  test::RunResult r = test::runQuarnel({"carve", "-m", test::fixture("carve_image.img"), "--start", "0", "--fs", "raw",
                                        "--size", "16", "--no-default", "--signatures", sig, "--out", dir.file("out")});
  ASSERT_EQ(r.status, 0) << r.err;
  std::map<std::int64_t, Printed> finds;
  std::vector<std::string> summary;
  parseCarve(r.out, finds, summary);
  std::size_t jpgs = 0;
  for (const Planted& p : groundTruth())
    if (p.expect == "exact" && extensionOf(p.file) == "jpg") {
      ++jpgs;
      ASSERT_TRUE(finds.count(p.offset)) << p.offset;
      EXPECT_EQ(finds[p.offset].length, p.length);
    }
  EXPECT_EQ(finds.size(), jpgs);
  EXPECT_EQ(summary, (std::vector<std::string>{"Photos (" + std::to_string(jpgs) + ")", " (0)"}));
}

struct CarveError {
  const char* name;
  std::vector<std::string> args;  // "@x" is a file in the scratch folder
  int status;
  const char* says;
};

class CarveCliErrors : public ::testing::TestWithParam<CarveError> {};

TEST_P(CarveCliErrors, OneLineAndTheStatus) {
  const CarveError& c = GetParam();
  test::ScratchDir dir;
  test::writeFile(dir.file("small.img"), test::randomBytes(512 * 1024, 3));
  test::writeFile(dir.file("disk.img"), test::randomBytes(2 * 1048576, 4));
  test::writeFile(dir.file("bad.sig"), std::vector<std::uint8_t>(200, 7));
  std::vector<std::string> args;
  for (const auto& a : c.args) args.push_back(a[0] == '@' ? dir.file(a.substr(1)) : a);
  test::RunResult r = test::runQuarnel(args);
  EXPECT_EQ(r.status, c.status) << r.err;
  // The message leads; a usage error may add the help hint behind it.
  const std::string first = r.err.substr(0, r.err.find('\n'));
  EXPECT_NE(first.find(c.says), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CarveCliErrors,
    ::testing::Values(
        CarveError{"no_out", {"carve", "-m", "@disk.img", "--start", "0", "--fs", "raw"}, 2, "--out is required"},
        CarveError{"no_volume", {"carve", "-m", "@disk.img", "--out", "@o"}, 2, "name a volume"},
        CarveError{"no_definitions", {"carve", "-m", "@disk.img", "--start", "0", "--fs", "raw", "--out", "@o",
                                      "--no-default"}, 1, "no signature definitions"},
        CarveError{"bad_signatures", {"carve", "-m", "@disk.img", "--start", "0", "--fs", "raw", "--out", "@o",
                                      "--signatures", "@bad.sig"}, 1, "bad.sig: not a valid file.."},
        CarveError{"absent_signatures", {"carve", "-m", "@disk.img", "--start", "0", "--fs", "raw", "--out", "@o",
                                         "--signatures", "@none.sig"}, 1, "none.sig: can not open file"},
        CarveError{"zero_size", {"carve", "-m", "@small.img", "--start", "0", "--fs", "raw", "--out", "@o"}, 1,
                   "zero size volume.."},
        CarveError{"out_is_a_file", {"carve", "-m", "@disk.img", "--start", "0", "--fs", "raw", "--out", "@disk.img"},
                   1, "as the output folder"},
        CarveError{"empty_extension", {"signatures", "add", "@new.sig", "--ext", "", "--start", "FF"}, 2,
                   "extention length is zero.."},
        CarveError{"no_signature_bytes", {"signatures", "add", "@new.sig", "--ext", "x", "--start", ","}, 2,
                   "signature length is zero.."},
        CarveError{"eleven_bytes", {"signatures", "add", "@new.sig", "--ext", "x", "--start", "1,2,3,4,5,6,7,8,9,A,B"},
                   2, "at most 10 bytes"},
        CarveError{"add_to_an_image", {"signatures", "add", "@disk.img", "--ext", "x", "--start", "1,2"}, 1,
                   "not a valid file.."},
        CarveError{"list_absent", {"signatures", "list", "@none.sig"}, 1, "can not open file"},
        CarveError{"defaults_exist", {"signatures", "defaults", "@bad.sig"}, 1, "pass --force"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CarveCli, EveryCommandExplainsItself) {
  for (std::vector<std::string> cmd : {std::vector<std::string>{"carve"}, {"signatures"}, {"signatures", "add"},
                                       {"signatures", "list"}, {"signatures", "defaults"}}) {
    cmd.push_back("--help");
    test::RunResult r = test::runQuarnel(cmd);
    EXPECT_EQ(r.status, 0) << cmd[0];
    EXPECT_NE(r.out.find("Usage"), std::string::npos) << cmd[0];
  }
}

}  // namespace
}  // namespace quarnel
