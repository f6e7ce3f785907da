#include "fs/ext/ext_superblock.h"

namespace quarnel::ext {
namespace {

constexpr std::size_t kInodeCount = 0;
constexpr std::size_t kBlockCountLo = 4;
constexpr std::size_t kFirstDataBlock = 20;
constexpr std::size_t kLogBlockSize = 24;
constexpr std::size_t kBlocksPerGroup = 32;
constexpr std::size_t kInodesPerGroup = 40;
constexpr std::size_t kMagic = 56;
constexpr std::size_t kRevision = 76;
constexpr std::size_t kFirstInode = 84;
constexpr std::size_t kInodeSize = 88;
constexpr std::size_t kFeatureCompat = 92;
constexpr std::size_t kFeatureIncompat = 96;
constexpr std::size_t kFeatureRoCompat = 100;
constexpr std::size_t kDescSize = 0xFE;
constexpr std::size_t kBlockCountHi = 0x150;

constexpr std::size_t kDescInodeTableLo = 8;
constexpr std::size_t kDescInodeTableHi = 0x28;

}  // namespace

Superblock Superblock::decode(ByteSpan s) {
  Superblock b;
  b.inodeCount = le32(s, kInodeCount);
  b.blockCount = le32(s, kBlockCountLo);
  b.firstDataBlock = le32(s, kFirstDataBlock);
  b.logBlockSize = le32(s, kLogBlockSize);
  b.blocksPerGroup = le32(s, kBlocksPerGroup);
  b.inodesPerGroup = le32(s, kInodesPerGroup);
  b.magic = le16(s, kMagic);
  b.revision = le32(s, kRevision);
  b.featureCompat = le32(s, kFeatureCompat);
  b.featureIncompat = le32(s, kFeatureIncompat);
  b.featureRoCompat = le32(s, kFeatureRoCompat);
  if (b.revision > 0) {  // revision 0 has fixed 128-byte inodes and no further fields
    b.inodeSize = le16(s, kInodeSize);
    b.firstInode = le32(s, kFirstInode);
  }
  if (b.featureIncompat & kIncompat64Bit) {
    b.descSize = le16(s, kDescSize);
    b.blockCount |= static_cast<std::uint64_t>(le32(s, kBlockCountHi)) << 32;
  }
  return b;
}

bool Superblock::plausible() const {
  if (magic != kSuperblockMagic || logBlockSize > 6) return false;
  if (blocksPerGroup == 0 || blocksPerGroup % 8 != 0 || blocksPerGroup > 8 * blockSize()) return false;
  if (inodesPerGroup == 0 || inodesPerGroup > 8 * blockSize()) return false;
  if (inodeSize < 128 || inodeSize > blockSize() || (inodeSize & (inodeSize - 1)) != 0) return false;
  return blockCount > firstDataBlock;
}

std::uint64_t Superblock::groupCount() const {
  if (blocksPerGroup == 0 || blockCount <= firstDataBlock) return 0;
  return (blockCount - firstDataBlock + blocksPerGroup - 1) / blocksPerGroup;
}

std::uint32_t Superblock::descriptorSize() const {
  if (!(featureIncompat & kIncompat64Bit)) return 32;
  // The 64bit layout needs at least 64 bytes; anything else is a damaged field.
  if (descSize < 64 || descSize > 1024 || (descSize & (descSize - 1)) != 0) return 64;
  return descSize;
}

std::string_view versionMessage(std::uint32_t roCompat) {
  switch (roCompat) {
    case 0: return "ext 2 file System";
    case 3: return "ext 3 file System";
    case 0x7B: return "ext 4 file System";
    default: return {};
  }
}

std::uint64_t inodeTableBlock(ByteSpan descriptors, std::size_t offset, bool is64Bit) {
  std::uint64_t block = le32(descriptors, offset + kDescInodeTableLo);
  if (is64Bit) block |= static_cast<std::uint64_t>(le32(descriptors, offset + kDescInodeTableHi)) << 32;
  return block;
}

}  // namespace quarnel::ext
