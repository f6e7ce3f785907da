#include "fs/fat/exfat_boot_sector.h"

#include <algorithm>

namespace quarnel {
namespace {

constexpr std::size_t kName = 3;               // "EXFAT   "
constexpr std::size_t kVolumeLength = 72;      // u64, sectors
constexpr std::size_t kFatOffset = 80;         // u32, sectors
constexpr std::size_t kFatLength = 84;         // u32, sectors
constexpr std::size_t kHeapOffset = 88;        // u32, sectors
constexpr std::size_t kClusterCount = 92;      // u32
constexpr std::size_t kRootCluster = 96;       // u32
constexpr std::size_t kBytesPerSectorShift = 108;
constexpr std::size_t kSectorsPerClusterShift = 109;

// exFAT allows 512- to 4096-byte sectors and clusters of up to 32 MiB.
constexpr int kMinSectorShift = 9;
constexpr int kMaxSectorShift = 12;
constexpr int kMaxClusterShift = 25;

}  // namespace

ExfatBootRecord ExfatBootRecord::decode(ByteSpan s) {
  ExfatBootRecord b;
  b.exfatName = hasText(s, kName, "EXFAT");
  b.volumeLength = le64(s, kVolumeLength);
  b.fatOffset = le32(s, kFatOffset);
  b.fatLength = le32(s, kFatLength);
  b.heapOffset = le32(s, kHeapOffset);
  b.clusterCount = le32(s, kClusterCount);
  b.rootCluster = le32(s, kRootCluster);
  b.bytesPerSectorShift = u8(s, kBytesPerSectorShift);
  b.sectorsPerClusterShift = u8(s, kSectorsPerClusterShift);
  return b;
}

std::optional<FatGeometry> ExfatBootRecord::geometry() const {
  if (!exfatName || bytesPerSectorShift < kMinSectorShift || bytesPerSectorShift > kMaxSectorShift ||
      bytesPerSectorShift + sectorsPerClusterShift > kMaxClusterShift)
    return std::nullopt;
  if (fatOffset == 0 || fatLength == 0 || heapOffset < fatOffset + std::uint64_t{fatLength} ||
      clusterCount == 0 || clusterCount > 0xFFFFFFF5u)
    return std::nullopt;
  FatGeometry g;
  g.width = FatWidth::Exfat;
  g.bytesPerSector = 1u << bytesPerSectorShift;
  g.sectorsPerCluster = 1u << sectorsPerClusterShift;
  g.clusterSize = std::uint64_t{g.bytesPerSector} * g.sectorsPerCluster;
  g.fatOffset = std::uint64_t{fatOffset} * g.bytesPerSector;
  g.fatSize = std::uint64_t{fatLength} * g.bytesPerSector;
  g.dataOffset = std::uint64_t{heapOffset} * g.bytesPerSector;
  g.clusterLimit = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(std::uint64_t{clusterCount} + 2, g.fatSize / 4));
  g.rootCluster = rootCluster;
  if (!g.validCluster(rootCluster)) return std::nullopt;
  return g;
}

}  // namespace quarnel
