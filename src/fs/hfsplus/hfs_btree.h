// HFS+ B-tree nodes: the descriptor every node starts with, the header record of node 0,
// and the record offsets at the node's end, each bounded by the node.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/bytes.h"

namespace quarnel::hfs {

inline constexpr std::int8_t kLeafNode = -1;
inline constexpr std::int8_t kIndexNode = 0;
inline constexpr std::int8_t kHeaderNode = 1;
inline constexpr std::int8_t kMapNode = 2;
inline constexpr std::size_t kNodeDescriptorSize = 14;

struct NodeDescriptor {
  std::uint32_t forwardLink = 0;  // the next node of the same kind and height, 0 at the end
  std::int8_t kind = 0;
  std::uint8_t height = 0;
  std::uint16_t recordCount = 0;

  static NodeDescriptor decode(ByteSpan node);
  bool validKind() const { return kind >= kLeafNode && kind <= kMapNode; }
};

struct HeaderRecord {
  std::uint32_t rootNode = 0;       // 0: an empty tree
  std::uint32_t firstLeafNode = 0;  // the leaves run on from it through their forward links
  std::uint16_t nodeSize = 0;
  std::uint32_t totalNodes = 0;

  // node is node 0; the header record follows its descriptor.
  static HeaderRecord decode(ByteSpan node);
};

// The child node an index record points to: after its key (length first), a 32-bit node
// number. Empty when the record does not hold one inside the node.
std::optional<std::uint32_t> indexRecordChild(ByteSpan node, std::size_t offset, std::size_t end);

// Node sizes taken as real: powers of two from 512 bytes to 32 KiB.
bool validNodeSize(std::uint64_t size);

// One listed node: where it is and which of its record offsets lie inside it.
struct HfsNodeInfo {
  std::uint64_t nodeNumber = 0;  // in the tree's file; in scan mode the block it starts at
  std::uint64_t position = 0;    // byte position on the volume (scan mode)
  std::uint32_t nodeSize = 0;
  std::int8_t kind = 0;
  std::uint8_t height = 0;
  std::uint16_t recordCount = 0;
  std::vector<std::uint16_t> offsets;
};

// The offsets of the node's records that point inside it, past the descriptor and before
// the offset table.
std::vector<std::uint16_t> recordOffsets(ByteSpan node, std::uint16_t recordCount);

// The byte where the record that starts at offset ends: the next record's offset, or
// the start of the offset table.
std::size_t recordEnd(ByteSpan node, const std::vector<std::uint16_t>& offsets, std::size_t k);

// Whether node (at least nodeSize bytes from where a candidate starts) looks like a leaf
// node of nodeSize bytes: kind -1, height not 0, record 0 right after the descriptor.
bool looksLikeLeaf(ByteSpan node, std::size_t nodeSize);

}  // namespace quarnel::hfs
