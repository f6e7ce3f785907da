#include "storage/file_read_seek.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/test_support.h"

namespace quarnel {
namespace {

class FileReadSeekTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = test::randomBytes(4096 * 512 + 100, 7);
    path_ = dir_.file("disk.img");
    test::writeFile(path_, bytes_);
    ASSERT_TRUE(source_.open(path_));
  }
  test::ScratchDir dir_;
  std::string path_;
  std::vector<std::uint8_t> bytes_;
  FileReadSeek source_;
};

TEST_F(FileReadSeekTest, SizeIsWholeSectorsOfTheFile) {
  EXPECT_EQ(source_.sizeSectors(), 4096);
  EXPECT_EQ(currentDiskSectors.load(), 4096);
}

TEST_F(FileReadSeekTest, ZeroByteReadChangesNothing) {
  std::uint8_t buf[4] = {1, 2, 3, 4};
  EXPECT_TRUE(source_.read(buf, 0));
  EXPECT_EQ(buf[0], 1);
}

TEST_F(FileReadSeekTest, ReadAcrossTheEndDeliversWhatThereIsThenZeros) {
  std::vector<std::uint8_t> buf(1024, 0xAA);
  ASSERT_TRUE(source_.seek(4096 * 512 - 412, 0));
  EXPECT_FALSE(source_.read(buf.data(), 1024));
  EXPECT_EQ(0, std::memcmp(buf.data(), bytes_.data() + 4096 * 512 - 412, 512));
  for (std::size_t i = 512; i < 1024; ++i) ASSERT_EQ(buf[i], 0) << i;
}

TEST_F(FileReadSeekTest, ReadsContinueAndBaseOffsetShiftsEverySeek) {
  source_.baseOffset = 2048 * 512;
  std::vector<std::uint8_t> a(512), b(512);
  ASSERT_TRUE(source_.seek(0, 0));
  ASSERT_TRUE(source_.read(a.data(), 512));
  ASSERT_TRUE(source_.read(b.data(), 512));
  EXPECT_EQ(0, std::memcmp(a.data(), bytes_.data() + 2048 * 512, 512));
  EXPECT_EQ(0, std::memcmp(b.data(), bytes_.data() + 2049 * 512, 512));
}

TEST_F(FileReadSeekTest, OpenFailureSaysInvalidHandle) {
  struct Boxes : Reporter {
    std::vector<std::string> seen;
    void message(std::string_view t) override { seen.emplace_back(t); }
  } boxes;
  FileReadSeek s;
  s.setReporter(&boxes);
  EXPECT_FALSE(s.open(dir_.file("absent.img")));
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0], "invalid handle ...");
  EXPECT_NE(s.lastError().find("absent.img"), std::string::npos);
  EXPECT_TRUE(s.rotateMembers(nullptr));
}

}  // namespace
}  // namespace quarnel
