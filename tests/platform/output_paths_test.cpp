#include "platform/output_paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/text.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

TEST(OutputPaths, RecoveredNamesBecomeOneSafeComponent) {
  struct Case { std::string in, out; };
  const Case cases[] = {{"a.txt", "a.txt"}, {"../../etc/passwd", ".._.._etc_passwd"},
                        {".", "_."}, {"..", "_.."}, {"", "_"}, {std::string("a\0b", 3), "a_b"}};
  for (const Case& c : cases) EXPECT_EQ(safeComponent(c.in), c.out);
  std::string longName(300, 'x');
  longName += ".jpg";
  std::string cut = safeComponent(longName);
  EXPECT_EQ(cut.size(), 255u);
  EXPECT_EQ(cut.substr(cut.size() - 4), ".jpg");
  EXPECT_EQ(numberedName("report.txt", 2), "report (2).txt");
  EXPECT_EQ(numberedName("README", 3), "README (3)");
  EXPECT_EQ(numberedName(".profile", 2), ".profile (2)");
}

TEST(OutputPaths, NothingIsOverwritten) {
  test::ScratchDir dir;
  test::writeFile(dir.file("a.txt"), {1});
  OutputFile f1, f2;
  EXPECT_EQ(createUniqueFile(dir.path().string(), "a.txt", f1), dir.file("a (2).txt"));
  EXPECT_EQ(createUniqueFile(dir.path().string(), "a.txt", f2), dir.file("a (3).txt"));
  EXPECT_EQ(test::readFile(dir.file("a.txt")), std::vector<std::uint8_t>{1});

  std::string error;
  EXPECT_EQ(makeUniqueFolder(dir.path().string(), "sub", error), dir.file("sub"));
  EXPECT_EQ(makeUniqueFolder(dir.path().string(), "sub", error), dir.file("sub"));  // reused
  EXPECT_EQ(makeUniqueFolder(dir.path().string(), "a.txt", error), dir.file("a (4).txt"));
  EXPECT_EQ(makeUniqueFolder(dir.path().string(), "..", error), dir.file("_.."));
}

// Many copies of one name take the next numbers in turn (the search goes on where it ended,
// so a damaged folder of thousands of equal names is not quadratic), skip a number already
// taken, and start again from the plain name in a folder made anew.
TEST(OutputPaths, NumberedNamesGoOnWhereTheyEnded) {
  test::ScratchDir dir;
  const std::string out = dir.file("out");
  std::filesystem::create_directory(out);
  test::writeFile(out + "/b (5).txt", {5});
  for (int k = 1; k <= 300; ++k) {
    OutputFile f;
    const std::string want = k == 1 ? out + "/b.txt" : out + "/" + numberedName("b.txt", k < 5 ? k : k + 1);
    ASSERT_EQ(createUniqueFile(out, "b.txt", f), want) << k;
  }
  EXPECT_EQ(test::readFile(out + "/b (5).txt"), std::vector<std::uint8_t>{5});

  std::filesystem::remove_all(out);
  std::filesystem::create_directory(out);
  OutputFile again;
  EXPECT_EQ(createUniqueFile(out, "b.txt", again), out + "/b.txt");
}

TEST(Text, Utf16AndCodePage437) {
  const std::uint8_t le[] = {'A', 0, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8};  // Aé😀, lone high
  EXPECT_EQ(utf16leToUtf8(asBytes(le, sizeof le)), "A\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBD");
  EXPECT_EQ(cp437ToUtf8("\x80\x41\xE1"), "\xC3\x87" "A" "\xC3\x9F");
}

}  // namespace
}  // namespace quarnel
