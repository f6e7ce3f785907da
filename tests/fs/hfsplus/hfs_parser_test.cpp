// HFSP over small volumes built byte by byte: two blocks per catalog node, a catalog in two
// extents, extents-overflow records, hostile records and nodes, and the leaf-node scan.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "fs/hfsplus/hfs_btree.h"
#include "fs/hfsplus/hfs_catalog.h"
#include "fs/hfsplus/hfsp.h"
#include "support/test_support.h"
#include "volumes/volume_test_support.h"

namespace quarnel {
namespace {

using Bytes = std::vector<std::byte>;

void be(Bytes& b, std::size_t at, std::uint64_t v, int width) {
  for (int i = 0; i < width; ++i) b[at + i] = std::byte((v >> (8 * (width - 1 - i))) & 0xFF);
}

// A B-tree node under construction: records appended, offsets kept at the end.
struct Node {
  Bytes b;
  std::vector<std::uint16_t> offsets;
  std::size_t next = 14;
  Node(std::size_t size, std::int8_t kind, std::uint8_t height) : b(size) {
    b[8] = std::byte(static_cast<std::uint8_t>(kind));
    b[9] = std::byte(height);
  }
  void add(const Bytes& record) {
    offsets.push_back(static_cast<std::uint16_t>(next));
    std::copy(record.begin(), record.end(), b.begin() + next);
    next += record.size();
  }
  Bytes done(std::vector<std::uint16_t> extraOffsets = {}) {
    auto all = offsets;
    all.insert(all.end(), extraOffsets.begin(), extraOffsets.end());
    be(b, 10, all.size(), 2);
    for (std::size_t k = 0; k < all.size(); ++k) be(b, b.size() - 2 * (k + 1), all[k], 2);
    be(b, b.size() - 2 * (all.size() + 1), next, 2);  // free space
    return b;
  }
};

Bytes headerNode(std::size_t nodeSize, std::uint32_t totalNodes, std::uint32_t root = 0) {
  Node n(nodeSize, 1, 0);
  Bytes header(106);
  be(header, 2, root, 4);
  be(header, 10, root, 4);  // a tree of one leaf: it is the first leaf too
  be(header, 18, nodeSize, 2);
  be(header, 22, totalNodes, 4);
  n.add(header);
  n.add(Bytes(128));
  n.add(Bytes(nodeSize - 256 - 14 - 8));
  return n.done();
}

Bytes catalogKey(std::uint32_t parent, const std::u16string& name, std::size_t nameLength) {
  Bytes k(8 + 2 * name.size());
  be(k, 0, 6 + 2 * nameLength, 2);
  be(k, 2, parent, 4);
  be(k, 6, nameLength, 2);
  for (std::size_t i = 0; i < name.size(); ++i) be(k, 8 + 2 * i, name[i], 2);
  return k;
}

Bytes folderRecord(std::uint32_t parent, const std::u16string& name, std::uint32_t id) {
  Bytes r = catalogKey(parent, name, name.size());
  Bytes data(88);
  be(data, 0, 1, 2);
  be(data, 8, id, 4);
  be(data, 16, 3786912000u, 4);  // 2024-01-01 00:00:00 UTC
  r.insert(r.end(), data.begin(), data.end());
  return r;
}

struct Ext {
  std::uint32_t start, count;
};

Bytes fileRecord(std::uint32_t parent, const std::u16string& name, std::uint32_t id, std::uint64_t size,
                 std::uint32_t totalBlocks, const std::vector<Ext>& extents, std::size_t nameLength = 0) {
  Bytes r = catalogKey(parent, name, nameLength ? nameLength : name.size());
  Bytes data(248);
  be(data, 0, 2, 2);
  be(data, 8, id, 4);
  be(data, 12, 3786912000u, 4);
  be(data, 16, 3786912000u + 60, 4);
  be(data, 20, 3786912000u + 120, 4);
  be(data, 24, 3786912000u + 180, 4);
  be(data, 42, 0x81A4, 2);
  be(data, 88, size, 8);
  be(data, 100, totalBlocks, 4);
  for (std::size_t i = 0; i < extents.size(); ++i) {
    be(data, 104 + 8 * i, extents[i].start, 4);
    be(data, 108 + 8 * i, extents[i].count, 4);
  }
  r.insert(r.end(), data.begin(), data.end());
  return r;
}

Bytes overflowRecord(std::uint32_t fileId, std::uint32_t startBlock, const std::vector<Ext>& extents) {
  Bytes r(12 + 64);
  be(r, 0, 10, 2);
  be(r, 4, fileId, 4);
  be(r, 8, startBlock, 4);
  for (std::size_t i = 0; i < extents.size(); ++i) {
    be(r, 12 + 8 * i, extents[i].start, 4);
    be(r, 16 + 8 * i, extents[i].count, 4);
  }
  return r;
}

constexpr std::size_t kBlock = 4096;
constexpr std::size_t kCatalogNode = 8192;  // two blocks per node
constexpr std::uint32_t kExtentsStart = 8;
constexpr std::uint32_t kCatalogFirst = 10, kCatalogSecond = 41;  // 10 blocks, then 6 at an odd block
constexpr std::uint32_t kDataStart = 100;

// 8 catalog nodes: the header, and a leaf as node 7 (fork blocks 14-15: volume block 45).
Bytes buildVolume(bool wideBlocks = true) {
  Bytes v(256 * kBlock);
  Bytes vh(512);
  vh[0] = std::byte('H'), vh[1] = std::byte('+');
  be(vh, 40, wideBlocks ? kBlock : 0, 4);
  be(vh, 44, 256, 4);
  be(vh, 192, 2 * kBlock, 8);
  be(vh, 192 + 12, 2, 4);
  be(vh, 192 + 16, kExtentsStart, 4);
  be(vh, 192 + 20, 2, 4);
  be(vh, 272, 16 * kBlock, 8);
  be(vh, 272 + 12, 16, 4);
  be(vh, 272 + 16, kCatalogFirst, 4);
  be(vh, 272 + 20, 10, 4);
  be(vh, 272 + 24, kCatalogSecond, 4);
  be(vh, 272 + 28, 6, 4);
  std::copy(vh.begin(), vh.end(), v.begin() + 1024);
  auto place = [&](std::uint64_t block, const Bytes& b) { std::copy(b.begin(), b.end(), v.begin() + block * kBlock); };

  place(kExtentsStart, headerNode(kBlock, 2, 1));
  Node ov(kBlock, -1, 1);
  ov.add(overflowRecord(20, 8, {{130, 1}, {129, 1}}));  // the order of the record, not of the blocks
  ov.add(overflowRecord(21, 1, {{0, 0}}));               // adds nothing: must not loop
  Bytes resource = overflowRecord(22, 0, {{150, 1}});
  resource[2] = std::byte{0xFF};                          // a resource fork's record is not data
  ov.add(resource);
  place(kExtentsStart + 1, ov.done());

  place(kCatalogFirst, headerNode(kCatalogNode, 8, 7));
  Node leaf(kCatalogNode, -1, 1);
  leaf.add(folderRecord(1, u"vol", 2));
  std::vector<Ext> eight;
  for (std::uint32_t i = 0; i < 8; ++i) eight.push_back({kDataStart + 2 * i, 1});  // every other block
  leaf.add(fileRecord(2, u"frag.bin", 20, 10 * kBlock - 100, 10, eight));
  leaf.add(fileRecord(2, u"loop.bin", 21, 5 * kBlock, 5, {{140, 1}}));
  leaf.add(folderRecord(2, u"sub", 22));
  leaf.add(fileRecord(22, u"inner.txt", 23, 5, 1, {{141, 1}}));
  leaf.add(fileRecord(2, u"dup", 20, 1, 1, {{142, 1}}));                      // second CNID 20
  leaf.add(fileRecord(2, u"long", 24, 1, 1, {{142, 1}}, 256));               // 256 units
  leaf.add(fileRecord(2, u"empty", 25, 0, 0, {}));
  place(kCatalogSecond + 4, leaf.done({0xFFF0}));  // one offset points outside the node

  for (std::uint32_t i = 0; i < 48; ++i) {
    Bytes data(kBlock, std::byte('A' + i % 26));
    data[0] = std::byte(i);
    place(kDataStart + i, data);
  }
  return v;
}

struct Parsed {
  test::ScratchDir dir;
  FileReadSeek disk;
  test::RecordingReporter reporter;
  std::unique_ptr<HFSP> hfs;
  bool ok = false;
};

std::unique_ptr<Parsed> parse(const Bytes& image, bool scan, std::int64_t mib = 1) {
  auto p = std::make_unique<Parsed>();
  const std::string path = p->dir.file("hfs.img");
  test::writeFile(path, std::vector<std::uint8_t>(reinterpret_cast<const std::uint8_t*>(image.data()),
                                                  reinterpret_cast<const std::uint8_t*>(image.data()) + image.size()));
  RawFile f;
  EXPECT_TRUE(f.open(path));
  p->disk = FileReadSeek(std::move(f));
  VolumeRecord r;
  r.fileSystem = "HFS+";
  r.volumeSizeText = volumeSizeText(mib, SizeStyle::Bare);
  p->hfs = std::make_unique<HFSP>(p->disk, r, p->reporter);
  std::string error;
  p->ok = p->hfs->parse(scan, error);
  return p;
}

class Collect : public ByteSink {
 public:
  bool write(ByteSpan d) override {
    bytes.insert(bytes.end(), d.begin(), d.end());
    return true;
  }
  Bytes bytes;
};

std::vector<std::string> names(const HFSP& h, const std::vector<std::uint32_t>& ids) {
  std::vector<std::string> out;
  for (auto id : ids) out.push_back(h.find(id)->name);
  return out;
}

TEST(HfsParser, CatalogInTwoExtentsWithTwoBlocksPerNode) {
  auto p = parse(buildVolume(), false);
  ASSERT_TRUE(p->ok);
  const HFSP& h = *p->hfs;
  EXPECT_EQ(p->reporter.statuses.back(), "Work Done.");
  // The first record of CNID 20 is kept; 256 units and the outside offset are skipped.
  EXPECT_EQ(names(h, h.topLevel()), (std::vector<std::string>{"frag.bin", "loop.bin", "sub", "empty"}));
  EXPECT_EQ(h.find(22)->firstChild, 23);
  EXPECT_EQ(h.find(24), nullptr);
  EXPECT_EQ(h.catalogNodes().back().nodeNumber, 7u);
}

TEST(HfsParser, OverflowExtentsFollowInRecordOrderAndLoopsEnd) {
  auto p = parse(buildVolume(), false);
  ASSERT_TRUE(p->ok);
  Collect frag;
  EXPECT_TRUE(p->hfs->saveFile(*p->hfs->find(20), frag));
  ASSERT_EQ(frag.bytes.size(), 10 * kBlock - 100);
  const int expected[] = {0, 2, 4, 6, 8, 10, 12, 14, 30, 29};  // data block index of each file block
  for (int i = 0; i < 10; ++i) EXPECT_EQ(static_cast<int>(frag.bytes[i * kBlock]), expected[i]) << i;

  Collect loop;
  EXPECT_FALSE(p->hfs->saveFile(*p->hfs->find(21), loop));
  EXPECT_EQ(loop.bytes.size(), kBlock);  // the blocks found so far

  Collect empty;
  EXPECT_TRUE(p->hfs->saveFile(*p->hfs->find(25), empty));
  EXPECT_TRUE(empty.bytes.empty());
}

TEST(HfsParser, TimesAndTexts) {
  auto p = parse(buildVolume(), false);
  ASSERT_TRUE(p->ok);
  const HfsEntryRecord& e = *p->hfs->find(23);
  const HfsTimes t = p->hfs->recordTimes(e);
  EXPECT_EQ(isoUtcText(t.created), "2024-01-01T00:00:00Z");
  EXPECT_EQ(isoUtcText(t.written), "2024-01-01T00:02:00Z");  // attribute modification date
  EXPECT_EQ(isoUtcText(t.accessed), "2024-01-01T00:03:00Z");
  EXPECT_EQ(p->hfs->entryTimeTexts(e)[3], "-Owner:W-Owner:R-OR-GR");
  EXPECT_EQ(hfs::hfsPermissionLetters(0x41ED), "-Owner:X-Owner:W-Owner:R-OX-OR-GX-GR");
  EXPECT_EQ(p->hfs->sizeText(e), "5 Bytes");
}

TEST(HfsParser, ScanFindsTheLeafAtAnOddBlockAndHangsEntriesUnderOrphan) {
  auto p = parse(buildVolume(), true);
  ASSERT_TRUE(p->ok);
  const HFSP& h = *p->hfs;
  ASSERT_EQ(h.catalogNodes().size(), 1u);
  EXPECT_EQ(h.catalogNodes()[0].nodeNumber, kCatalogSecond + 4);
  ASSERT_EQ(h.orphanId(), 26u);
  // Folders at ORPHAN_ENTRY's head, the files after each folder under it.
  std::vector<std::string> top = names(h, h.topLevel());
  EXPECT_EQ(top, (std::vector<std::string>{"frag.bin", "loop.bin", "empty", "ORPHAN_ENTRY"}));
  std::vector<std::uint32_t> orphan;
  for (std::int64_t k = h.find(26)->firstChild; k > 0; k = h.find(k)->nextSibling)
    orphan.push_back(static_cast<std::uint32_t>(k));
  EXPECT_EQ(names(h, orphan), (std::vector<std::string>{"sub", "vol"}));
  Collect frag;
  EXPECT_TRUE(p->hfs->saveFile(*h.find(20), frag));
  EXPECT_EQ(frag.bytes.size(), 10 * kBlock - 100);
}

TEST(HfsParser, WithoutAVolumeHeaderTheScanInfersTheBlockSize) {
  Bytes v = buildVolume();
  std::fill(v.begin() + 1024, v.begin() + 1536, std::byte{0});
  std::fill(v.begin() + kCatalogFirst * kBlock, v.begin() + kCatalogFirst * kBlock + kCatalogNode, std::byte{0});
  auto standard = parse(v, false);
  EXPECT_FALSE(standard->ok);
  EXPECT_EQ(standard->reporter.statuses.back(), "Work Aborted....");
  auto p = parse(v, true);
  ASSERT_TRUE(p->ok);
  EXPECT_EQ(p->hfs->blockSize(), kBlock);
  Collect inner;
  EXPECT_TRUE(p->hfs->saveFile(*p->hfs->find(23), inner));
  EXPECT_EQ(inner.bytes.size(), 5u);
  EXPECT_EQ(static_cast<int>(inner.bytes[0]), 41);
}

TEST(HfsParser, ScanOfAVolumeSmallerThanABlockAborts) {
  Bytes head = buildVolume();
  head.resize(kBlock / 2);  // the disk ends inside the first block
  auto p = parse(head, true, 0);
  EXPECT_FALSE(p->ok);
  const auto& s = p->reporter.statuses;
  EXPECT_NE(std::find(s.begin(), s.end(), "BlockSize not valid .Aborting.."), s.end());
  EXPECT_EQ(s.back(), "Work Aborted....");
}

TEST(HfsBtree, OffsetsOutsideTheNodeAndCountsBeyondItAreDropped) {
  Bytes node(512);
  be(node, 510, 14, 2);
  be(node, 508, 600, 2);   // past the node
  be(node, 506, 4, 2);     // inside the descriptor
  be(node, 504, 505, 2);   // inside the offset table
  EXPECT_EQ(hfs::recordOffsets(node, 4), (std::vector<std::uint16_t>{14}));
  EXPECT_LE(hfs::recordOffsets(node, 60000).size(), (512u - 14) / 2);
}

TEST(HfsCatalog, RecordsThatDoNotDecode) {
  struct Case {
    Bytes record;
    bool decodes;
  } cases[] = {
      {folderRecord(2, u"ok", 30), true},
      {fileRecord(2, u"x", 31, 1, 1, {{5, 1}}, 256), false},  // 256 units
      {fileRecord(2, u"", 32, 1, 1, {{5, 1}}), false},        // no name
      {fileRecord(2, u"ab", 33, 1, 1, {{5, 1}}, 1), false},   // key length disagrees with the name
  };
  for (auto& c : cases) {
    Bytes node(1024);
    std::copy(c.record.begin(), c.record.end(), node.begin() + 14);
    hfs::CatalogRecord r;
    EXPECT_EQ(hfs::decodeCatalogRecord(node, 14, 14 + c.record.size(), r), c.decodes);
    // Cut short by the next record, even a good one fails.
    EXPECT_FALSE(hfs::decodeCatalogRecord(node, 14, 14 + c.record.size() - 1, r));
  }
  Bytes thread = folderRecord(2, u"t", 34);
  be(thread, 8 + 2, 3, 2);  // type 3: a thread record
  Bytes node(1024);
  std::copy(thread.begin(), thread.end(), node.begin() + 14);
  hfs::CatalogRecord r;
  EXPECT_FALSE(hfs::decodeCatalogRecord(node, 14, 14 + thread.size(), r));
  EXPECT_FALSE(hfs::instantFromHfs(0).valid);
}

}  // namespace
}  // namespace quarnel
