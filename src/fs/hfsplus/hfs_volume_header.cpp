#include "fs/hfsplus/hfs_volume_header.h"

namespace quarnel::hfs {
namespace {

constexpr std::size_t kSignature = 0;
constexpr std::size_t kBlockSize = 40;
constexpr std::size_t kTotalBlocks = 44;
constexpr std::size_t kExtentsFork = 192;
constexpr std::size_t kCatalogFork = 272;
constexpr std::size_t kForkSize = 80;

constexpr std::size_t kForkLogicalSize = 0;
constexpr std::size_t kForkTotalBlocks = 12;
constexpr std::size_t kForkExtents = 16;

constexpr std::uint16_t kSignaturePlus = 0x482B;  // "H+"
constexpr std::uint16_t kSignatureX = 0x4858;     // "HX"

}  // namespace

ForkData ForkData::decode(ByteSpan fork) {
  ForkData f;
  f.logicalSize = be64(fork, kForkLogicalSize);
  f.totalBlocks = be32(fork, kForkTotalBlocks);
  for (std::size_t i = 0; i < f.extents.size(); ++i)
    f.extents[i] = {be32(fork, kForkExtents + i * 8), be32(fork, kForkExtents + i * 8 + 4)};
  return f;
}

VolumeHeader VolumeHeader::decode(ByteSpan h) {
  VolumeHeader v;
  v.signature = be16(h, kSignature);
  v.blockSize = be32(h, kBlockSize);
  v.totalBlocks = be32(h, kTotalBlocks);
  if (fits(h, kExtentsFork, kForkSize)) v.extentsFile = ForkData::decode(h.subspan(kExtentsFork, kForkSize));
  if (fits(h, kCatalogFork, kForkSize)) v.catalogFile = ForkData::decode(h.subspan(kCatalogFork, kForkSize));
  return v;
}

bool VolumeHeader::knownSignature() const { return signature == kSignaturePlus || signature == kSignatureX; }

bool validBlockSize(std::uint64_t size) { return size >= 512 && size <= 65536 && (size & (size - 1)) == 0; }

std::vector<Extent> usedExtents(const std::array<Extent, 8>& extents) {
  std::vector<Extent> out;
  for (const Extent& e : extents)
    if (e.start != 0 && e.count != 0) out.push_back(e);
  return out;
}

}  // namespace quarnel::hfs
