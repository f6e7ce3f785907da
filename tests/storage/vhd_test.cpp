#include "storage/file_read_seek_vhd.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/test_support.h"

namespace quarnel {
namespace {

void putBe(std::vector<std::uint8_t>& v, std::size_t at, std::uint64_t x, int bytes) {
  for (int i = 0; i < bytes; ++i) v[at + i] = static_cast<std::uint8_t>(x >> (8 * (bytes - 1 - i)));
}

std::vector<std::uint8_t> footer(std::uint64_t size, std::uint32_t type) {
  std::vector<std::uint8_t> f(512, 0);
  std::memcpy(f.data(), "conectix", 8);
  putBe(f, 0x10, type == 2 ? ~0ull : 512, 8);
  putBe(f, 0x30, size, 8);
  putBe(f, 0x3C, type, 4);
  return f;
}

// A dynamic VHD laid out as common tools write it: footer copy, header, table, blocks.
// Block b holds the sector number (as text) of every sector; blocks in `absent` are
// unallocated.
std::vector<std::uint8_t> dynamicVhd(std::uint32_t blocks, std::uint32_t blockBytes,
                                     std::vector<std::uint32_t> absent, std::uint32_t claimed) {
  auto f = footer(std::uint64_t{blocks} * blockBytes, 3);
  std::vector<std::uint8_t> v = f;
  std::vector<std::uint8_t> h(1024, 0);
  std::memcpy(h.data(), "cxsparse", 8);
  putBe(h, 0x10, 1536, 8);
  putBe(h, 0x1C, claimed, 4);
  putBe(h, 0x20, blockBytes, 4);
  v.insert(v.end(), h.begin(), h.end());
  std::size_t table = v.size();
  std::size_t tableBytes = ((blocks * 4 + 511) / 512) * 512;
  v.resize(v.size() + tableBytes, 0xFF);
  const std::uint32_t sectorsPerBlock = blockBytes / 512;
  const std::uint32_t bitmapBytes = ((sectorsPerBlock / 8 + 511) / 512) * 512;
  for (std::uint32_t b = 0; b < blocks; ++b) {
    if (std::find(absent.begin(), absent.end(), b) != absent.end()) continue;
    putBe(v, table + b * 4, v.size() / 512, 4);
    v.resize(v.size() + bitmapBytes, 0xFF);
    for (std::uint32_t s = 0; s < sectorsPerBlock; ++s) {
      std::vector<std::uint8_t> sector(512, 0);
      std::string label = "sector " + std::to_string(b * sectorsPerBlock + s);
      std::memcpy(sector.data(), label.data(), label.size());
      v.insert(v.end(), sector.begin(), sector.end());
    }
  }
  v.insert(v.end(), f.begin(), f.end());
  return v;
}

std::string label(const std::uint8_t* sector) { return reinterpret_cast<const char*>(sector); }

TEST(Vhd, SectorsCrossBlocksAndUnallocatedBlocksReadAsZeros) {
  test::ScratchDir dir;
  test::writeFile(dir.file("a.vhd"), dynamicVhd(4, 2 * 1024 * 1024, {2}, 4));
  FileReadSeekVHD vhd;
  ASSERT_TRUE(vhd.open(dir.file("a.vhd"))) << vhd.lastError();
  EXPECT_EQ(vhd.sizeSectors(), 4 * 4096);
  EXPECT_EQ(currentDiskSectors.load(), 4 * 4096);
  EXPECT_EQ(vhd.blockTable.size(), 4u);

  std::vector<std::uint8_t> buf(1024);
  ASSERT_TRUE(vhd.seek(4095 * 512, 0));
  ASSERT_TRUE(vhd.read(buf.data(), 1024));
  EXPECT_EQ(label(buf.data()), "sector 4095");
  EXPECT_EQ(label(buf.data() + 512), "sector 4096");

  std::vector<std::uint8_t> zeros(3 * 512, 0xAB);
  ASSERT_TRUE(vhd.seek(2 * 4096 * 512, 0));
  EXPECT_EQ(vhd.blockAllocated, 0);
  EXPECT_TRUE(vhd.read(zeros.data(), 3 * 512));
  EXPECT_EQ(zeros, std::vector<std::uint8_t>(3 * 512, 0));
  EXPECT_FALSE(vhd.seek(4 * 4096 * 512, 0));  // past the table
  EXPECT_TRUE(vhd.rotateMembers(nullptr));
}

TEST(Vhd, BlockSizeComesFromTheHeader) {
  test::ScratchDir dir;
  test::writeFile(dir.file("small.vhd"), dynamicVhd(6, 512 * 1024, {}, 6));
  FileReadSeekVHD vhd;
  ASSERT_TRUE(vhd.open(dir.file("small.vhd")));
  EXPECT_EQ(vhd.blockBytes(), 512 * 1024);
  std::vector<std::uint8_t> buf(512);
  ASSERT_TRUE(vhd.readAt(5000 * 512, std::as_writable_bytes(std::span(buf))));
  EXPECT_EQ(label(buf.data()), "sector 5000");
}

TEST(Vhd, AbsurdTableSizeIsBoundedByTheFile) {
  test::ScratchDir dir;
  test::writeFile(dir.file("big.vhd"), dynamicVhd(2, 2 * 1024 * 1024, {}, 0xFFFFFFF0u));
  FileReadSeekVHD vhd;
  ASSERT_TRUE(vhd.open(dir.file("big.vhd")));
  EXPECT_LT(vhd.blockTable.size(), 2u * 1024 * 1024);
  std::vector<std::uint8_t> buf(512);
  ASSERT_TRUE(vhd.readAt(4096 * 512, std::as_writable_bytes(std::span(buf))));
  EXPECT_EQ(label(buf.data()), "sector 4096");
}

TEST(Vhd, FixedVhdReadsAsTheRawImageItHolds) {
  test::ScratchDir dir;
  auto raw = test::randomBytes(64 * 512, 3);
  auto file = raw;
  auto f = footer(raw.size(), 2);
  file.insert(file.end(), f.begin(), f.end());
  test::writeFile(dir.file("fixed.VHD"), file);
  FileReadSeekVHD vhd;
  ASSERT_TRUE(vhd.open(dir.file("fixed.VHD")));
  EXPECT_TRUE(vhd.isFixed());
  EXPECT_EQ(vhd.sizeSectors(), 64);
  std::vector<std::uint8_t> buf(raw.size());
  ASSERT_TRUE(vhd.seek(0, 0));
  ASSERT_TRUE(vhd.read(buf.data(), static_cast<std::uint32_t>(buf.size())));
  EXPECT_EQ(buf, raw);
}

TEST(Vhd, RefusesWhatIsNotAVhd) {
  test::ScratchDir dir;
  test::writeFile(dir.file("disk.img"), dynamicVhd(1, 2 * 1024 * 1024, {}, 1));
  test::writeFile(dir.file("plain.vhd"), test::randomBytes(8192, 4));
  test::writeFile(dir.file("tiny.vhd"), {1, 2, 3});
  struct Boxes : Reporter {
    std::vector<std::string> seen;
    void message(std::string_view t) override { seen.emplace_back(t); }
  } boxes;
  struct Case { std::string name; const char* box; };
  for (const Case& c : {Case{"disk.img", "not a vhd file"}, Case{"plain.vhd", "not a vhd file"},
                        Case{"tiny.vhd", "not a vhd file"}, Case{"absent.vhd", "invalid handle ..."}}) {
    FileReadSeekVHD vhd;
    vhd.setReporter(&boxes);
    boxes.seen.clear();
    EXPECT_FALSE(vhd.open(dir.file(c.name))) << c.name;
    ASSERT_EQ(boxes.seen.size(), 1u) << c.name;
    EXPECT_EQ(boxes.seen[0], c.box) << c.name;
    EXPECT_NE(vhd.lastError().find(c.name), std::string::npos) << vhd.lastError();
  }
  EXPECT_TRUE(hasVhdName("DISK.VHD"));
  EXPECT_TRUE(hasVhdName("abc"));
  EXPECT_FALSE(hasVhdName("disk.img"));
}

}  // namespace
}  // namespace quarnel
