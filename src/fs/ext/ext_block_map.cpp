#include "fs/ext/ext_block_map.h"

#include <algorithm>
#include <set>

namespace quarnel::ext {
namespace {

constexpr int kDirectBlocks = 12;
constexpr std::size_t kSingleIndirect = 12 * 4;

constexpr std::uint16_t kExtentMagic = 0xF30A;
constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kEntrySize = 12;
constexpr std::size_t kHeaderMagic = 0;
constexpr std::size_t kHeaderEntries = 2;
constexpr std::size_t kHeaderDepth = 6;
constexpr std::uint16_t kMaxDepth = 5;
// An extent longer than this is uninitialized; its length is the excess.
constexpr std::uint16_t kInitializedMax = 32768;
// A bound on index nodes read for one file: far more than any real tree holds.
constexpr std::size_t kMaxTreeNodes = 1 << 20;

class Mapper {
 public:
  Mapper(const MapLimits& limits, BlockReader& reader) : limits_(limits), reader_(reader) {}

  void add(std::uint64_t logical, std::uint64_t physical, std::uint64_t count, bool zeroed) {
    if (logical >= limits_.fileBlocks || count == 0) return;
    count = std::min(count, limits_.fileBlocks - logical);
    if (physical == 0 || physical >= limits_.volumeBlocks || count > limits_.volumeBlocks - physical) {
      map_.complete = false;
      return;
    }
    BlockRun& last = map_.runs.empty() ? dummy_ : map_.runs.back();
    if (!map_.runs.empty() && !zeroed && !last.zeroed && last.logical + last.count == logical &&
        last.physical + last.count == physical) {
      last.count += count;
      return;
    }
    map_.runs.push_back({logical, physical, count, zeroed});
  }

  // Block map: a pointer at level 0 is a data block, above that a block of pointers.
  void indirect(std::uint64_t block, int level, std::uint64_t& logical) {
    const std::uint64_t perBlock = limits_.blockSize / 4;
    std::uint64_t span = 1;
    for (int i = 0; i < level; ++i) span *= perBlock;
    if (logical >= limits_.fileBlocks) return;
    if (block == 0) {  // a hole as wide as everything below the pointer
      logical += span;
      return;
    }
    if (level == 0) {
      add(logical, block, 1, false);
      ++logical;
      return;
    }
    if (block >= limits_.volumeBlocks) {
      map_.complete = false;
      logical += span;
      return;
    }
    std::vector<std::byte> buf(limits_.blockSize);
    if (!reader_.readBlocks(block, buf)) {
      map_.complete = false;
      logical += span;
      return;
    }
    const std::uint64_t child = span / perBlock;
    for (std::uint64_t i = 0; i < perBlock && logical < limits_.fileBlocks; ++i) {
      const std::uint32_t p = le32(buf, i * 4);
      if (p == 0) logical += child;
      else indirect(p, level - 1, logical);
    }
  }

  void blockMap(const Inode& inode) {
    std::uint64_t logical = 0;
    for (int i = 0; i < kDirectBlocks; ++i) indirect(le32(inode.blockArea, i * 4), 0, logical);
    for (int level = 1; level <= 3; ++level)
      indirect(le32(inode.blockArea, kSingleIndirect + (level - 1) * 4), level, logical);
  }

  void extentNode(ByteSpan node, int expectedDepth) {
    const std::uint16_t magic = le16(node, kHeaderMagic);
    const std::uint16_t entries = le16(node, kHeaderEntries);
    const std::uint16_t depth = le16(node, kHeaderDepth);
    if (magic != kExtentMagic || depth > kMaxDepth || (expectedDepth >= 0 && depth != expectedDepth) ||
        kHeaderSize + std::size_t{entries} * kEntrySize > node.size()) {
      map_.complete = false;
      return;
    }
    for (std::size_t i = 0; i < entries; ++i) {
      const std::size_t at = kHeaderSize + i * kEntrySize;
      const std::uint64_t logical = le32(node, at);
      if (depth == 0) {
        std::uint16_t length = le16(node, at + 4);
        const bool zeroed = length > kInitializedMax;
        if (zeroed) length -= kInitializedMax;
        const std::uint64_t start = le32(node, at + 8) | static_cast<std::uint64_t>(le16(node, at + 6)) << 32;
        add(logical, start, length, zeroed);
        continue;
      }
      const std::uint64_t child = le32(node, at + 4) | static_cast<std::uint64_t>(le16(node, at + 8)) << 32;
      if (logical >= limits_.fileBlocks) break;
      if (child == 0 || child >= limits_.volumeBlocks || visited_.size() >= kMaxTreeNodes ||
          !visited_.insert(child).second) {
        map_.complete = false;
        continue;
      }
      std::vector<std::byte> buf(limits_.blockSize);
      if (!reader_.readBlocks(child, buf)) {
        map_.complete = false;
        continue;
      }
      extentNode(buf, depth - 1);
    }
  }

  BlockMap finish() {
    auto& r = map_.runs;
    std::stable_sort(r.begin(), r.end(), [](const BlockRun& a, const BlockRun& b) { return a.logical < b.logical; });
    // Overlapping extents are hostile: the first one met for a block keeps it.
    std::vector<BlockRun> kept;
    std::uint64_t next = 0;
    for (BlockRun run : r) {
      if (run.logical + run.count <= next) continue;
      if (run.logical < next) {
        const std::uint64_t cut = next - run.logical;
        run.logical += cut;
        run.physical += cut;
        run.count -= cut;
      }
      next = run.logical + run.count;
      kept.push_back(run);
    }
    r = std::move(kept);
    return std::move(map_);
  }

 private:
  MapLimits limits_;
  BlockReader& reader_;
  BlockMap map_;
  BlockRun dummy_;
  std::set<std::uint64_t> visited_;
};

}  // namespace

BlockMap mapBlocks(const Inode& inode, const MapLimits& limits, BlockReader& reader) {
  Mapper m(limits, reader);
  if (inode.hasInlineData() || inode.isFastSymlink()) return m.finish();
  if (inode.usesExtents()) m.extentNode(inode.blockArea, -1);
  else m.blockMap(inode);
  return m.finish();
}

}  // namespace quarnel::ext
