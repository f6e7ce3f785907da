#include "fs/fat/exfat_scan.h"

#include <algorithm>
#include <cstdio>

#include "fs/fat/exfat_entry_set.h"

namespace quarnel {
namespace {

constexpr std::size_t kChunk = 4 << 20;
// A set that starts near a chunk's end is judged with the bytes after it: a File, a Stream
// and up to 17 name entries.
constexpr std::size_t kLookahead = 1024;
constexpr std::size_t kSlot = 32;

}  // namespace

ExfatScanResult scanExfatSets(const VolumeReader& io, Reporter& reporter, JobControl& job) {
  ExfatScanResult result;
  const std::uint64_t size = io.size();
  reporter.progressRange(0, 1000);
  std::vector<std::byte> chunk(kChunk + kLookahead);
  char text[64];
  for (std::uint64_t at = 0; at < size; at += kChunk) {
    if (job.shouldStop()) break;
    reporter.progressPosition(static_cast<std::int64_t>(static_cast<double>(at) / static_cast<double>(size) * 1000));
    io.read(at, chunk);
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - at));
    const ByteSpan bytes(chunk.data(), static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - at)));
    for (std::size_t off = 0; off + kSlot <= n; off += kSlot) {
      if (!result.rootPosition && exfatLabelEntry(bytes, off)) result.rootPosition = at + off;
      if (!exfatScanSet(bytes, off)) continue;
      result.found.push_back(at + off);
      std::snprintf(text, sizeof text, "found Entry %zu ", result.found.size());
      reporter.status(text);
    }
  }
  reporter.progressPosition(1000);
  return result;
}

}  // namespace quarnel
