#include "fs/fat/fat_candidates.h"

#include <algorithm>
#include <cstdio>

namespace quarnel {
namespace {

constexpr std::uint64_t kChunk = 10 * 1024 * 1024;
constexpr std::uint64_t kSector = 512;
constexpr int kDefaultLimit = 3;
constexpr std::uint32_t kFat32Mask = 0x0FFFFFFF;
constexpr std::uint32_t kFat32End = 0x0FFFFFF8;

bool matches(const SectorPatternSearch& search, ByteSpan at) {
  const ByteSpan pattern = asBytes(search.pattern.data(), search.pattern.size());
  if (search.fat32Masked)
    return (le32(at, 0) & kFat32Mask) == (le32(pattern, 0) & kFat32Mask) && (le32(at, 4) & kFat32Mask) >= kFat32End;
  return std::equal(pattern.begin(), pattern.end(), at.begin());
}

}  // namespace

std::vector<std::uint64_t> searchSectorPattern(const VolumeReader& io, const SectorPatternSearch& search,
                                               Reporter& reporter, JobControl& job) {
  std::vector<std::uint64_t> found;
  const auto limit = static_cast<std::size_t>(search.limit > 0 ? search.limit : kDefaultLimit);
  const std::uint64_t size = io.size();
  if (search.progress) reporter.progressRange(0, 1000);
  std::vector<std::byte> chunk(static_cast<std::size_t>(std::min(kChunk, std::max<std::uint64_t>(size, kSector))));
  char text[128];
  for (std::uint64_t at = 0; at < size && found.size() < limit; at += kChunk) {
    if (search.progress)
      reporter.progressPosition(static_cast<std::int64_t>(static_cast<double>(at) / static_cast<double>(size) * 1000));
    io.read(at, chunk);
    if (search.chunkStatus) {
      std::snprintf(text, sizeof text, "Parsing Disk Currently at position %f of the disk of size %f",
                    static_cast<double>(at), static_cast<double>(size));
      reporter.status(text);
    }
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - at));
    for (std::size_t off = 0; off + search.pattern.size() <= n && found.size() < limit; off += kSector) {
      if (!matches(search, ByteSpan(chunk).subspan(off, search.pattern.size()))) continue;
      found.push_back(at + off);
      if (search.foundStatus) {
        std::snprintf(text, sizeof text, "found fat entry  %zu ", found.size());
        reporter.status(text);
      }
    }
    if (job.shouldStop()) break;
  }
  if (search.progress) reporter.progressPosition(1000);
  return found;
}

}  // namespace quarnel
