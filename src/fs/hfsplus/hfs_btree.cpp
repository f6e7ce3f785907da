#include "fs/hfsplus/hfs_btree.h"

#include <algorithm>

namespace quarnel::hfs {
namespace {

constexpr std::size_t kForwardLink = 0;
constexpr std::size_t kKind = 8;
constexpr std::size_t kHeight = 9;
constexpr std::size_t kRecordCount = 10;
constexpr std::size_t kHeaderRecord = kNodeDescriptorSize;
constexpr std::size_t kHeaderRootNode = 2;
constexpr std::size_t kHeaderFirstLeaf = 10;
constexpr std::size_t kHeaderNodeSize = 18;
constexpr std::size_t kHeaderTotalNodes = 22;

}  // namespace

NodeDescriptor NodeDescriptor::decode(ByteSpan node) {
  NodeDescriptor d;
  d.forwardLink = be32(node, kForwardLink);
  d.kind = static_cast<std::int8_t>(u8(node, kKind));
  d.height = u8(node, kHeight);
  d.recordCount = be16(node, kRecordCount);
  return d;
}

HeaderRecord HeaderRecord::decode(ByteSpan node) {
  HeaderRecord h;
  h.rootNode = be32(node, kHeaderRecord + kHeaderRootNode);
  h.firstLeafNode = be32(node, kHeaderRecord + kHeaderFirstLeaf);
  h.nodeSize = be16(node, kHeaderRecord + kHeaderNodeSize);
  h.totalNodes = be32(node, kHeaderRecord + kHeaderTotalNodes);
  return h;
}

std::optional<std::uint32_t> indexRecordChild(ByteSpan node, std::size_t offset, std::size_t end) {
  if (!fits(node, offset, 2)) return std::nullopt;
  const std::size_t child = offset + 2 + be16(node, offset);
  if (child + 4 > end || !fits(node, child, 4)) return std::nullopt;
  return be32(node, child);
}

bool validNodeSize(std::uint64_t size) { return size >= 512 && size <= 32768 && (size & (size - 1)) == 0; }

std::vector<std::uint16_t> recordOffsets(ByteSpan node, std::uint16_t recordCount) {
  std::vector<std::uint16_t> out;
  if (node.size() < kNodeDescriptorSize + 2) return out;
  // The table cannot reach back into the descriptor.
  const std::size_t maxRecords = (node.size() - kNodeDescriptorSize) / 2;
  const std::size_t count = std::min<std::size_t>(recordCount, maxRecords);
  const std::size_t tableStart = node.size() - 2 * count;
  for (std::size_t k = 0; k < count; ++k) {
    const std::uint16_t off = be16(node, node.size() - 2 * (k + 1));
    if (off >= kNodeDescriptorSize && off < tableStart) out.push_back(off);
  }
  return out;
}

std::size_t recordEnd(ByteSpan node, const std::vector<std::uint16_t>& offsets, std::size_t k) {
  const std::size_t tableStart = node.size() >= 2 * offsets.size() ? node.size() - 2 * offsets.size() : 0;
  std::size_t end = tableStart;
  // Records need not be in offset order in a damaged node: the nearest one above bounds it.
  for (std::uint16_t o : offsets)
    if (o > offsets[k] && o < end) end = o;
  return end;
}

bool looksLikeLeaf(ByteSpan node, std::size_t nodeSize) {
  if (!fits(node, 0, nodeSize) || nodeSize < kNodeDescriptorSize + 2) return false;
  return static_cast<std::int8_t>(u8(node, kKind)) == kLeafNode && u8(node, kHeight) != 0 &&
         be16(node, nodeSize - 2) == kNodeDescriptorSize;
}

}  // namespace quarnel::hfs
