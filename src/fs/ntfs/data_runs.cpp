#include "fs/ntfs/data_runs.h"

#include <limits>

namespace quarnel {
namespace {

constexpr unsigned kMaxFieldBytes = 8;

std::uint64_t unsignedField(ByteSpan s, std::size_t at, unsigned width) {
  std::uint64_t v = 0;
  for (unsigned i = width; i-- > 0;) v = (v << 8) | u8(s, at + i);
  return v;
}

// Sign-extended from the highest byte read.
std::int64_t signedField(ByteSpan s, std::size_t at, unsigned width) {
  std::uint64_t v = unsignedField(s, at, width);
  if (width < kMaxFieldBytes && (v >> (8 * width - 1)) & 1) v |= ~std::uint64_t{0} << (8 * width);
  return static_cast<std::int64_t>(v);
}

}  // namespace

RunListDecode decodeRunList(ByteSpan list, std::uint64_t span) {
  RunListDecode out;
  std::size_t at = 0;
  std::int64_t cluster = 0;
  std::uint64_t total = 0;
  bool overSpan = false;
  while (at < list.size()) {
    const std::uint8_t header = u8(list, at);
    const unsigned lengthBytes = header & 0x0F;
    const unsigned offsetBytes = header >> 4;
    if (lengthBytes == 0) {
      out.terminated = true;
      return out;
    }
    if (lengthBytes > kMaxFieldBytes || offsetBytes > kMaxFieldBytes) {
      out.terminated = true;
      return out;
    }
    if (!fits(list, at + 1, std::size_t{lengthBytes} + offsetBytes)) return out;
    MftRun run;
    run.clusterCount = unsignedField(list, at + 1, lengthBytes);
    if (offsetBytes == 0) {
      run.sparse = true;
    } else {
      const std::int64_t delta = signedField(list, at + 1 + lengthBytes, offsetBytes);
      if (__builtin_add_overflow(cluster, delta, &cluster) || cluster < 0) {
        out.terminated = true;
        return out;
      }
      run.startCluster = cluster;
    }
    // Once past the span, every later run is past it too.
    if (!overSpan && (__builtin_add_overflow(total, run.clusterCount, &total) || total > span))
      overSpan = true;
    if (!overSpan) out.runs.push_back(run);
    at += 1 + lengthBytes + offsetBytes;
  }
  return out;
}

std::uint64_t totalClusters(const std::vector<MftRun>& runs) {
  std::uint64_t total = 0;
  for (const MftRun& r : runs)
    if (__builtin_add_overflow(total, r.clusterCount, &total)) return std::numeric_limits<std::uint64_t>::max();
  return total;
}

}  // namespace quarnel
