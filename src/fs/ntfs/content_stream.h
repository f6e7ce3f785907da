// A file's clusters turned into its bytes, in bounded blocks: plain runs, sparse runs as
// zeros, and compression units decompressed one at a time, so no file is ever held whole.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "fs/ntfs/data_runs.h"
#include "platform/byte_sink.h"
#include "platform/job.h"
#include "storage/extent_stream.h"
#include "storage/read_write_interface.h"

namespace quarnel {

enum class StreamOutcome {
  Complete,
  Partial,  // some clusters could not be reached and were skipped or zero-filled
  Failed,   // the sink refused the bytes, or a stop was requested
};


class ClusterStreamer {
 public:
  // volumeStart: the source offset of the volume; readLimit: bytes readable from there.
  ClusterStreamer(readWriteInterface& source, std::uint64_t volumeStart, std::uint64_t clusterSize,
                  std::uint64_t readLimit, JobControl* job = nullptr);

  // The clusters of runs in order, then sparse clusters up to padTo clusters in all, cut
  // at size bytes, through the one content streamer: clusters that cannot be read, or lie
  // past what the source can read, are zeros in place. Bytes from validSize on (the
  // stream's initialised size) are zeros.
  StreamOutcome writeClusters(const std::vector<MftRun>& runs, std::uint64_t padTo, std::uint64_t size,
                              ByteSink& out, std::uint64_t validSize = UINT64_MAX);

  // Compression units of unitClusters clusters over the same sequence; a trailing partial
  // unit is not written. A unit with no allocated cluster is zeros, one whose last cluster
  // is allocated is stored as it is, any other is LZNT1 over its allocated clusters.
  StreamOutcome writeUnits(const std::vector<MftRun>& runs, std::uint64_t padTo, std::uint64_t unitClusters,
                           std::uint64_t size, ByteSink& out);

 private:
  // Reads count clusters from cluster; the part past the read limit comes back as zeros.
  // False when any of it could not be read.
  bool readClusters(std::uint64_t cluster, std::uint64_t count, MutableByteSpan out);

  readWriteInterface& source_;
  std::uint64_t volumeStart_;
  std::uint64_t clusterSize_;
  std::uint64_t limitClusters_;  // clusters from this one on lie past the read limit
  JobControl* job_;
  std::uint64_t readLimit_;
};

}  // namespace quarnel
