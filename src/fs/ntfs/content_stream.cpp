#include "fs/ntfs/content_stream.h"

#include <algorithm>
#include <limits>

#include "fs/ntfs/lznt1.h"

namespace quarnel {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

std::uint64_t mulSat(std::uint64_t a, std::uint64_t b) {
  std::uint64_t r = 0;
  return __builtin_mul_overflow(a, b, &r) ? kMax : r;
}

std::uint64_t addSat(std::uint64_t a, std::uint64_t b) {
  std::uint64_t r = 0;
  return __builtin_add_overflow(a, b, &r) ? kMax : r;
}

// The runs followed by one sparse run that pads them to padTo clusters.
std::vector<MftRun> padded(const std::vector<MftRun>& runs, std::uint64_t padTo) {
  std::vector<MftRun> all = runs;
  const std::uint64_t total = totalClusters(runs);
  if (padTo > total) all.push_back({0, padTo - total, true});
  return all;
}

}  // namespace

ClusterStreamer::ClusterStreamer(readWriteInterface& source, std::uint64_t volumeStart, std::uint64_t clusterSize,
                                 std::uint64_t readLimit, JobControl* job)
    : source_(source),
      volumeStart_(volumeStart),
      clusterSize_(std::max<std::uint64_t>(clusterSize, 1)),
      limitClusters_(readLimit / clusterSize_ + (readLimit % clusterSize_ != 0)),
      job_(job),
      // Whole clusters: one that starts inside the limit is read to its end.
      readLimit_(mulSat(limitClusters_, clusterSize_)) {}

bool ClusterStreamer::readClusters(std::uint64_t cluster, std::uint64_t count, MutableByteSpan out) {
  std::fill(out.begin(), out.end(), std::byte{0});
  if (cluster >= limitClusters_) return false;
  const std::uint64_t reachable = std::min(count, limitClusters_ - cluster);
  const std::uint64_t offset = addSat(volumeStart_, mulSat(cluster, clusterSize_));
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return false;
  const bool ok = source_.readAt(static_cast<std::int64_t>(offset), out.first(reachable * clusterSize_));
  return ok && reachable == count;
}

StreamOutcome ClusterStreamer::writeClusters(const std::vector<MftRun>& runs, std::uint64_t padTo, std::uint64_t size,
                                             ByteSink& out, std::uint64_t validSize) {
  ContentMap map;
  map.size = size;
  map.validSize = validSize;
  std::uint64_t logical = 0;
  for (const MftRun& run : padded(runs, padTo)) {
    if (logical >= size) break;
    const std::uint64_t bytes = mulSat(run.clusterCount, clusterSize_);
    const std::uint64_t physical = run.sparse ? 0 : mulSat(static_cast<std::uint64_t>(run.startCluster), clusterSize_);
    map.add(logical, std::min(bytes, size - logical), physical, run.sparse);
    logical = addSat(logical, bytes);
  }
  const ContentReport r = streamContent({&source_, volumeStart_, readLimit_}, map, out, job_);
  if (!r.written) return StreamOutcome::Failed;
  // Runs that end before the size (extension records lost) leave the rest unknown: zeros
  // in place, said to be unread.
  if (logical < size) out.unreadable(logical, size - logical);
  return r.unreadable != 0 || logical < size ? StreamOutcome::Partial : StreamOutcome::Complete;
}

StreamOutcome ClusterStreamer::writeUnits(const std::vector<MftRun>& runs, std::uint64_t padTo,
                                          std::uint64_t unitClusters, std::uint64_t size, ByteSink& out) {
  const std::vector<MftRun> all = padded(runs, padTo);
  const std::uint64_t units = totalClusters(all) / unitClusters;
  const std::uint64_t unitBytes = unitClusters * clusterSize_;
  std::vector<std::byte> packed(unitBytes), unpacked(unitBytes);
  bool partial = false;
  std::uint64_t remaining = size;
  std::size_t run = 0;
  std::uint64_t inRun = 0;  // clusters of all[run] already taken
  for (std::uint64_t k = 0; k < units && remaining > 0; ++k) {
    if (job_ && job_->shouldStop()) return StreamOutcome::Failed;
    std::fill(packed.begin(), packed.end(), std::byte{0});
    std::uint64_t filled = 0, allocated = 0;
    bool unitPartial = false;
    while (filled < unitClusters && run < all.size()) {
      const MftRun& r = all[run];
      const std::uint64_t n = std::min(unitClusters - filled, r.clusterCount - inRun);
      if (!r.sparse && n > 0) {
        const std::uint64_t first = static_cast<std::uint64_t>(r.startCluster) + inRun;
        if (!readClusters(first, n, MutableByteSpan(packed).subspan(filled * clusterSize_, n * clusterSize_)))
          unitPartial = true;
        allocated = filled + n;
      }
      filled += n;
      inRun += n;
      if (inRun == r.clusterCount) {
        ++run;
        inRun = 0;
      }
    }
    ByteSpan bytes;
    if (allocated == 0) {
      std::fill(unpacked.begin(), unpacked.end(), std::byte{0});
      bytes = unpacked;
    } else if (allocated == unitClusters) {
      bytes = packed;
    } else {
      const std::size_t produced = lznt1Decompress(ByteSpan(packed).first(allocated * clusterSize_), unpacked);
      bytes = ByteSpan(unpacked).first(produced);
    }
    const std::uint64_t n = std::min<std::uint64_t>(bytes.size(), remaining);
    if (!out.write(bytes.first(n))) return StreamOutcome::Failed;
    // A unit is decoded whole, so the whole unit is what could not be read in full.
    if (unitPartial) {
      partial = true;
      out.unreadable(size - remaining, n);
    }
    remaining -= n;
  }
  return partial ? StreamOutcome::Partial : StreamOutcome::Complete;
}

}  // namespace quarnel
