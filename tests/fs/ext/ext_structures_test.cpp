// The ext structures decoded from bytes built by hand: superblock geometry, directory
// blocks with deleted names in their slack, block maps and extent trees, content with holes.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "fs/ext/ext_block_map.h"
#include "fs/ext/ext_content.h"
#include "fs/ext/ext_directory.h"
#include "fs/ext/ext_inode.h"
#include "fs/ext/ext_superblock.h"

namespace quarnel::ext {
namespace {

using Bytes = std::vector<std::byte>;

void put16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = std::byte(v & 0xFF);
  b[at + 1] = std::byte(v >> 8);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  put16(b, at, static_cast<std::uint16_t>(v));
  put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

struct SuperblockCase {
  std::uint32_t logBlockSize, blocksPerGroup, blockCount, firstDataBlock, incompat;
  std::uint16_t descSize;
  bool plausible;
  std::uint64_t groups;
  std::uint32_t descriptorSize;
};

TEST(ExtSuperblock, GeometryAndPlausibility) {
  const SuperblockCase cases[] = {
      // 4 KiB blocks, 100000 blocks: the 1696 blocks of a fourth, partial group count.
      {2, 32768, 100000, 0, 0x2, 0, true, 4, 32},
      // 1 KiB blocks start counting at block 1: 8193 blocks are one group.
      {0, 8192, 8193, 1, 0x2, 0, true, 1, 32},
      {0, 8192, 12288, 1, 0x2, 0, true, 2, 32},
      // 64bit: the descriptor size field counts; a damaged one falls back to 64.
      {2, 32768, 65536, 0, 0x82, 64, true, 2, 64},
      {2, 32768, 65536, 0, 0x82, 12, true, 2, 64},
      // 64 KiB blocks are the largest; blocks per group must fill whole bitmap bytes.
      {6, 8192, 65536, 0, 0, 0, true, 8, 32},
      {7, 8192, 65536, 0, 0, 0, false, 0, 32},
      {2, 32767, 65536, 0, 0, 0, false, 0, 32},
      {2, 0, 65536, 0, 0, 0, false, 0, 32},
  };
  for (const auto& c : cases) {
    Bytes b(kSuperblockSize);
    put32(b, 0, 1000);
    put32(b, 4, c.blockCount);
    put32(b, 20, c.firstDataBlock);
    put32(b, 24, c.logBlockSize);
    put32(b, 32, c.blocksPerGroup);
    put32(b, 40, 1000);
    put16(b, 56, kSuperblockMagic);
    put32(b, 76, 1);
    put16(b, 88, 256);
    put32(b, 96, c.incompat);
    put16(b, 0xFE, c.descSize);
    const Superblock sb = Superblock::decode(b);
    SCOPED_TRACE(::testing::Message() << "log " << c.logBlockSize << " bpg " << c.blocksPerGroup);
    EXPECT_EQ(sb.plausible(), c.plausible);
    if (!c.plausible) continue;
    EXPECT_EQ(sb.groupCount(), c.groups);
    EXPECT_EQ(sb.descriptorSize(), c.descriptorSize);
    EXPECT_EQ(sb.fileTypeInEntries(), (c.incompat & 2) != 0);
  }
}

TEST(ExtSuperblock, VersionMessagesForExactFeatureSetsOnly) {
  EXPECT_EQ(versionMessage(0), "ext 2 file System");
  EXPECT_EQ(versionMessage(3), "ext 3 file System");
  EXPECT_EQ(versionMessage(0x7B), "ext 4 file System");
  EXPECT_EQ(versionMessage(0x0B), "");
}

TEST(ExtSuperblock, InodeTableBlockTakesItsHighHalfOnlyWith64Bit) {
  Bytes d(64);
  put32(d, 8, 0x1234);
  put32(d, 0x28, 0x1);
  EXPECT_EQ(inodeTableBlock(d, 0, false), 0x1234u);
  EXPECT_EQ(inodeTableBlock(d, 0, true), 0x100001234u);
}

TEST(ExtInode, PermissionLetters) {
  EXPECT_EQ(permissionLetters(0x81A4), "-OR-GR-UW-UR");
  EXPECT_EQ(permissionLetters(0x41ED), "-OE-OR-GE-GR-UE-UW-UR");
}

TEST(ExtInode, TimesUseTheExtraEpochBitsAndNanoseconds) {
  Bytes slot(256);
  put32(slot, 16, 0x80000000u);  // signed: 1901 without the epoch bits
  put16(slot, 128, 32);          // extra fields up to 0xA0
  put32(slot, 0x88, 1 | (500u << 2));
  const Inode n = Inode::decode(slot);
  EXPECT_EQ(n.modified.seconds, -2147483648LL + (1LL << 32));
  EXPECT_EQ(n.modified.nanos, 500);
  const Inode old = Inode::decode(ByteSpan(slot).first(128));
  EXPECT_EQ(old.modified.seconds, -2147483648LL);
}

// A directory block written as mke2fs and a deletion leave it.
struct BlockBuilder {
  Bytes b = Bytes(1024);
  std::size_t entry(std::size_t at, std::uint32_t inode, std::uint16_t recLen, const std::string& name,
                    std::uint8_t type) {
    put32(b, at, inode);
    put16(b, at + 4, recLen);
    b[at + 6] = std::byte(name.size());
    b[at + 7] = std::byte(type);
    for (std::size_t i = 0; i < name.size(); ++i) b[at + 8 + i] = std::byte(name[i]);
    return at + recLen;
  }
};

TEST(ExtDirectory, DeletedNamesBehindLiveEntriesAreFoundAndMarked) {
  BlockBuilder d;
  d.entry(0, 12, 12, ".", 2);
  // ".." absorbed the deleted "gone.txt" (and what the deleted entry had absorbed).
  d.entry(12, 2, 40, "..", 2);
  d.entry(24, 20, 28, "gone.txt", 1);
  d.entry(52, 21, 972, "keep", 1);
  // Behind "keep": a deleted folder, then bytes that only look like a header.
  d.entry(64, 22, 20, "olddir", 2);
  d.entry(84, 0, 16, "noinode", 1);   // its inode number is gone
  d.entry(100, 23, 8, "short", 1);    // too short a record for its name
  d.entry(120, 99999, 16, "far", 1);  // past the inode count
  const auto entries = parseDirectoryBlock(d.b, {true, 1000, true});
  std::vector<std::string> got;
  for (const auto& e : entries) got.push_back(e.name + (e.deleted ? "*" : ""));
  EXPECT_EQ(got, (std::vector<std::string>{".", "..", "gone.txt*", "keep", "olddir*"}));
  EXPECT_EQ(entries[4].inode, 22u);
  EXPECT_EQ(entries[4].fileType, kEntryTypeDirectory);

  const auto live = parseDirectoryBlock(d.b, {true, 1000, false});
  EXPECT_EQ(live.size(), 3u);
}

TEST(ExtDirectory, ChainStopsAtEmptyNamesZeroLengthsAndForeignInodes) {
  BlockBuilder d;
  d.entry(0, 12, 12, ".", 2);
  d.entry(12, 2, 12, "..", 2);
  d.entry(24, 5000, 16, "outside", 1);  // at or past the record count ends the block
  d.entry(40, 14, 984, "never", 1);
  EXPECT_EQ(parseDirectoryBlock(d.b, {true, 1000, true}).size(), 2u);

  BlockBuilder z;
  z.entry(0, 12, 0, "loop", 1);  // a zero record length would never advance
  EXPECT_EQ(parseDirectoryBlock(z.b, {true, 1000, true}).size(), 0u);

  // A metadata_csum tail: name length 0 ends the block.
  BlockBuilder t;
  t.entry(0, 12, 1012, "x", 1);
  t.entry(1012, 0, 12, "", 0xDE);
  EXPECT_EQ(parseDirectoryBlock(t.b, {true, 1000, true}).size(), 1u);

  // Without the file-type feature the name length has two bytes.
  Bytes old(1024);
  put32(old, 0, 11);
  put16(old, 4, 1024);
  put16(old, 6, 3);
  old[8] = std::byte('a'), old[9] = std::byte('b'), old[10] = std::byte('c');
  const auto e = parseDirectoryBlock(old, {false, 1000, true});
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].name, "abc");
  EXPECT_EQ(e[0].fileType, 0);
}

// Blocks held in memory, counting what the mapper reads.
class MemoryBlocks : public BlockReader {
 public:
  explicit MemoryBlocks(std::uint32_t bs) : bs_(bs) {}
  Bytes& block(std::uint64_t n) {
    auto& b = blocks_[n];
    b.resize(bs_);
    return b;
  }
  bool readBlocks(std::uint64_t first, MutableByteSpan out) override {
    bool ok = true;
    for (std::size_t i = 0; i < out.size() / bs_; ++i) {
      ++reads;
      auto it = blocks_.find(first + i);
      if (it == blocks_.end()) {
        std::fill_n(out.begin() + i * bs_, bs_, std::byte{0});
        ok = false;
      } else {
        std::copy(it->second.begin(), it->second.end(), out.begin() + i * bs_);
      }
    }
    return ok;
  }
  int reads = 0;

 private:
  std::uint32_t bs_;
  std::map<std::uint64_t, Bytes> blocks_;
};

Inode blockMapInode(std::initializer_list<std::pair<int, std::uint32_t>> pointers) {
  Inode n;
  n.mode = kModeRegular;
  Bytes area(kBlockAreaSize);
  for (auto [i, p] : pointers) put32(area, i * 4, p);
  std::copy(area.begin(), area.end(), n.blockArea.begin());
  return n;
}

std::vector<std::string> runsOf(const BlockMap& m) {
  std::vector<std::string> out;
  for (const auto& r : m.runs)
    out.push_back(std::to_string(r.logical) + ">" + std::to_string(r.physical) + "x" + std::to_string(r.count) +
                  (r.zeroed ? "z" : ""));
  return out;
}

TEST(ExtBlockMap, ClassicMapKeepsHolesAtTheirOffsets) {
  MemoryBlocks disk(1024);
  // 256 pointers per indirect block: single covers 12..267, double from 268 on.
  put32(disk.block(50), 0, 60);  // logical 12
  put32(disk.block(50), 8, 61);  // logical 14
  put32(disk.block(51), 4, 52);  // double: second pointer block covers 524..779
  put32(disk.block(52), 0, 70);  // logical 524
  Inode n = blockMapInode({{0, 40}, {1, 41}, {3, 43}, {12, 50}, {13, 51}});
  const BlockMap m = mapBlocks(n, {1024, 1000, 600}, disk);
  EXPECT_TRUE(m.complete);
  EXPECT_EQ(runsOf(m), (std::vector<std::string>{"0>40x2", "3>43x1", "12>60x1", "14>61x1", "524>70x1"}));

  // The file's size bounds the walk: nothing past block 2 is read.
  disk.reads = 0;
  EXPECT_EQ(runsOf(mapBlocks(n, {1024, 1000, 2}, disk)), (std::vector<std::string>{"0>40x2"}));
  EXPECT_EQ(disk.reads, 0);

  // A pointer past the volume is left out, and the map says so.
  Inode bad = blockMapInode({{0, 40}, {1, 5000}});
  const BlockMap b = mapBlocks(bad, {1024, 1000, 2}, disk);
  EXPECT_FALSE(b.complete);
  EXPECT_EQ(runsOf(b), (std::vector<std::string>{"0>40x1"}));
}

// An extent header (magic, entries, max, depth) and its entries in a byte buffer.
void extentHeader(Bytes& b, std::size_t at, std::uint16_t entries, std::uint16_t depth) {
  put16(b, at, 0xF30A);
  put16(b, at + 2, entries);
  put16(b, at + 4, 4);
  put16(b, at + 6, depth);
}
void leaf(Bytes& b, std::size_t at, std::uint32_t logical, std::uint16_t length, std::uint64_t start) {
  put32(b, at, logical);
  put16(b, at + 4, length);
  put16(b, at + 6, static_cast<std::uint16_t>(start >> 32));
  put32(b, at + 8, static_cast<std::uint32_t>(start));
}
void index(Bytes& b, std::size_t at, std::uint32_t logical, std::uint64_t child) {
  put32(b, at, logical);
  put32(b, at + 4, static_cast<std::uint32_t>(child));
  put16(b, at + 8, static_cast<std::uint16_t>(child >> 32));
}
Inode extentInode(const Bytes& area) {
  Inode n;
  n.mode = kModeRegular;
  n.flags = kFlagExtents;
  std::copy(area.begin(), area.begin() + kBlockAreaSize, n.blockArea.begin());
  return n;
}

TEST(ExtBlockMap, ExtentTreesOfAnyDepthWithWideStartsAndUninitializedExtents) {
  MemoryBlocks disk(1024);
  Bytes area(kBlockAreaSize);
  extentHeader(area, 0, 2, 2);
  index(area, 12, 0, 100);
  index(area, 24, 50, 101);
  extentHeader(disk.block(100), 0, 1, 1);
  index(disk.block(100), 12, 0, 102);
  extentHeader(disk.block(102), 0, 2, 0);
  leaf(disk.block(102), 12, 0, 3, 200);
  leaf(disk.block(102), 24, 10, 32768 + 2, 300);  // uninitialized: reads as zeros
  extentHeader(disk.block(101), 0, 1, 1);
  index(disk.block(101), 12, 50, 103);
  extentHeader(disk.block(103), 0, 1, 0);
  leaf(disk.block(103), 12, 50, 4, (1ULL << 32) + 7);  // a start above 2^32
  const BlockMap m = mapBlocks(extentInode(area), {1024, (1ULL << 32) + 100, 100}, disk);
  EXPECT_TRUE(m.complete);
  EXPECT_EQ(runsOf(m), (std::vector<std::string>{"0>200x3", "10>300x2z", "50>4294967303x4"}));
}

TEST(ExtBlockMap, HostileTreesEndWithoutLoopingOrReadingTwice) {
  MemoryBlocks disk(1024);
  // A node that names itself, and two index entries naming the same child.
  Bytes area(kBlockAreaSize);
  extentHeader(area, 0, 3, 1);
  index(area, 12, 0, 100);
  index(area, 24, 5, 100);
  index(area, 36, 9, 101);
  extentHeader(disk.block(100), 0, 1, 0);
  leaf(disk.block(100), 12, 0, 1, 400);
  extentHeader(disk.block(101), 0, 1, 1);  // claims depth 1 again: a loop in disguise
  index(disk.block(101), 12, 9, 101);
  const BlockMap loop = mapBlocks(extentInode(area), {1024, 1000, 100}, disk);
  EXPECT_FALSE(loop.complete);
  EXPECT_EQ(runsOf(loop), (std::vector<std::string>{"0>400x1"}));
  EXPECT_EQ(disk.reads, 2);

  Bytes wrong(kBlockAreaSize);
  put16(wrong, 0, 0x1234);
  EXPECT_FALSE(mapBlocks(extentInode(wrong), {1024, 1000, 100}, disk).complete);

  Bytes tooMany(kBlockAreaSize);
  extentHeader(tooMany, 0, 5, 0);  // five entries cannot fit in the inode
  const BlockMap many = mapBlocks(extentInode(tooMany), {1024, 1000, 100}, disk);
  EXPECT_FALSE(many.complete);
  EXPECT_TRUE(many.runs.empty());
}

}  // namespace
}  // namespace quarnel::ext
