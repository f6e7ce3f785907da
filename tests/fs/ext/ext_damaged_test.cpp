// ext2Class on damaged copies of real volumes: a wiped primary superblock, absurd counts,
// descriptors past the volume, a broken extent header. The rest still lists and saves.
#include <gtest/gtest.h>

#include "fs/ext/ext2_class.h"
#include "platform/raw_file.h"
#include "storage/file_read_seek.h"
#include "support/test_support.h"
#include "volumes/volume_test_support.h"

namespace quarnel {
namespace {

using Image = std::vector<std::uint8_t>;

void put32(Image& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

class Count : public ByteSink {
 public:
  bool write(ByteSpan d) override {
    bytes += d.size();
    return true;
  }
  std::uint64_t bytes = 0;
};

struct Parsed {
  test::ScratchDir dir;
  FileReadSeek disk;
  test::RecordingReporter reporter;
  std::unique_ptr<ext2Class> ext;
  bool ok = false;

  // Named records under ROOT and below, by path.
  std::map<std::string, const ExtEntryRecord*> paths() const {
    std::map<std::string, const ExtEntryRecord*> out;
    std::set<ExtKey> seen;
    std::vector<std::pair<ExtKey, std::string>> stack{{kExtRootKey, ""}};
    while (!stack.empty()) {
      auto [key, path] = stack.back();
      stack.pop_back();
      if (!seen.insert(key).second) continue;
      for (ExtKey k = ext->find(key)->firstChild; k > 0;) {
        const ExtEntryRecord* r = ext->find(k);
        if (!r) break;
        out[path + "/" + r->name] = r;
        if (r->name != ".") stack.push_back({k, path + "/" + r->name});
        k = r->nextSibling;
      }
    }
    return out;
  }
};

std::unique_ptr<Parsed> parse(const Image& image, std::int64_t mib) {
  auto p = std::make_unique<Parsed>();
  const std::string path = p->dir.file("ext.img");
  test::writeFile(path, image);
  RawFile f;
  EXPECT_TRUE(f.open(path));
  p->disk = FileReadSeek(std::move(f));
  VolumeRecord r;
  r.fileSystem = "extX";
  r.volumeSizeText = volumeSizeText(mib, SizeStyle::ThreeBlanks);
  p->ext = std::make_unique<ext2Class>(p->disk, r, p->reporter);
  std::string error;
  p->ok = p->ext->parse(error);
  return p;
}

TEST(ExtDamaged, WipedPrimarySuperblockIsFoundInItsBackup) {
  Image image = test::readFile(test::fixture("ext_ext2.img"));
  auto good = parse(image, 12);
  ASSERT_TRUE(good->ok);
  EXPECT_EQ(good->reporter.messages, (std::vector<std::string>{"ext 3 file System"}));
  image[1024 + 56] = 0;
  image[1024 + 57] = 0;
  auto backup = parse(image, 12);
  ASSERT_TRUE(backup->ok);
  EXPECT_EQ(backup->ext->superblockPosition(), 8193u * 1024);  // group 1's copy
  auto a = good->paths(), b = backup->paths();
  ASSERT_EQ(a.size(), b.size());
  for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib) EXPECT_EQ(ia->first, ib->first);
  EXPECT_TRUE(b.count("/many/file-39.txt")) << "inodes of the partial last group";
}

TEST(ExtDamaged, AbsurdCountsAreBoundedByTheVolume) {
  Image image = test::readFile(test::fixture("ext_ext4.img"));
  put32(image, 1024 + 0, 0xFFFFFFFF);      // inode count
  put32(image, 1024 + 4, 0xFFFFFFFF);      // block count, low
  put32(image, 1024 + 0x150, 0xFFFF);      // and high
  auto p = parse(image, 24);
  ASSERT_TRUE(p->ok);
  EXPECT_LE(p->ext->recordCount(), 24u * 1048576 / 256);
  EXPECT_TRUE(p->paths().count("/readme.txt"));

  // Nothing at all: no superblock anywhere.
  EXPECT_FALSE(parse(Image(1 << 20), 1)->ok);
}

TEST(ExtDamaged, DescriptorPastTheVolumeLosesOnlyItsGroup) {
  Image image = test::readFile(test::fixture("ext_ext2.img"));
  // Group 1's inode table (descriptors from byte 2048, 32 bytes each) points far away.
  put32(image, 2048 + 32 + 8, 0x7FFFFFF0);
  auto p = parse(image, 12);
  ASSERT_TRUE(p->ok);
  auto paths = p->paths();
  EXPECT_TRUE(paths.count("/readme.txt"));
  EXPECT_EQ(p->ext->recordCount(), 96u) << "the lost group keeps its place";
  // Its inodes are named still, but hold nothing.
  ASSERT_TRUE(paths.count("/many/file-39.txt"));
  EXPECT_EQ(paths["/many/file-39.txt"]->size, 0u);
}

TEST(ExtDamaged, BrokenExtentHeaderFailsThatFileAlone) {
  Image image = test::readFile(test::fixture("ext_ext4.img"));
  auto good = parse(image, 24);
  ASSERT_TRUE(good->ok);
  const ExtEntryRecord* big = good->paths().at("/data/big.dat");
  const std::uint64_t at = big->inodeTableBlock * 4096 + std::uint64_t{big->indexInGroup} * 256 + 40;
  ASSERT_EQ(image[at] | image[at + 1] << 8, 0xF30A);
  image[at] = 0x0B;
  auto p = parse(image, 24);
  ASSERT_TRUE(p->ok);
  auto paths = p->paths();
  Count bad, fine;
  EXPECT_FALSE(p->ext->saveFile(*paths.at("/data/big.dat"), bad));
  EXPECT_TRUE(p->ext->saveFile(*paths.at("/data/odd-size.bin"), fine));
  EXPECT_EQ(fine.bytes, 777u);
}

}  // namespace
}  // namespace quarnel
