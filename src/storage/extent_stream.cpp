#include "storage/extent_stream.h"

#include <algorithm>

#include "storage/rescue_read.h"

namespace quarnel {
namespace {

constexpr std::uint64_t kBatchBytes = 4 << 20;

// How much of [at, at + n) lies inside the readable part of the volume, without wrapping.
std::uint64_t readablePart(const VolumeBytes& v, std::uint64_t at, std::uint64_t n) {
  if (at >= v.limit || v.start > static_cast<std::uint64_t>(INT64_MAX) - at) return 0;
  return std::min({n, v.limit - at, static_cast<std::uint64_t>(INT64_MAX) - v.start - at});
}

struct Writer {
  const VolumeBytes& volume;
  ByteSink& out;
  JobControl* job;
  ContentReport report;
  std::uint64_t pos = 0;  // file bytes handed to the sink so far
  std::vector<std::byte> buffer;

  bool stop() {
    if (job && job->shouldStop()) {
      report.stopped = true;
      report.written = false;
    }
    return !report.written;
  }

  bool hole(std::uint64_t length) {
    if (length == 0) return true;
    if (!out.writeHole(length)) report.written = false;
    pos += length;
    return report.written;
  }

  void lost(std::uint64_t at, std::uint64_t length) {
    out.unreadable(at, length);
    report.unreadable += length;
  }

  bool data(std::uint64_t physical, std::uint64_t length) {
    while (length > 0) {
      if (stop()) return false;
      const std::uint64_t n = std::min(length, kBatchBytes);
      buffer.resize(static_cast<std::size_t>(n));
      // What lies past the volume is unreadable without a read; a failed read keeps what it can.
      const auto readable = static_cast<std::size_t>(readablePart(volume, physical, n));
      std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(readable), buffer.end(), std::byte{0});
      if (readable > 0)
        readRescuing(*volume.source, static_cast<std::int64_t>(volume.start + physical),
                     MutableByteSpan(buffer).first(readable),
                     [&](std::size_t at, std::size_t length) { lost(pos + at, length); });
      if (readable < n) lost(pos + readable, n - readable);
      if (!out.write(buffer)) {
        report.written = false;
        return false;
      }
      pos += n;
      physical = physical > UINT64_MAX - n ? UINT64_MAX : physical + n;  // past any volume: unreadable
      length -= n;
    }
    return true;
  }
};

}  // namespace

void ContentMap::add(std::uint64_t logical, std::uint64_t length, std::uint64_t physical, bool hole) {
  if (length == 0) return;
  if (!extents.empty()) {
    ContentExtent& last = extents.back();
    if (last.hole == hole && last.logical + last.length == logical &&
        (hole || last.physical + last.length == physical)) {
      last.length += length;
      return;
    }
  }
  extents.push_back({logical, length, physical, hole});
}

ContentReport streamContent(const VolumeBytes& volume, const ContentMap& map, ByteSink& out, JobControl* job) {
  Writer w{volume, out, job, {}, map.start, {}};
  const std::uint64_t valid = std::min(map.validSize, map.size);
  for (const ContentExtent& e : map.extents) {
    if (w.pos >= map.size) break;
    if (e.logical <= w.pos && w.pos - e.logical >= e.length) continue;  // overlaps an earlier one: the first wins
    if (e.logical > w.pos && !w.hole(std::min(e.logical, map.size) - w.pos)) return w.report;
    if (w.pos >= map.size) break;
    const std::uint64_t skip = w.pos - e.logical;
    std::uint64_t length = std::min(e.length - skip, map.size - w.pos);
    if (e.hole) {
      if (!w.hole(length)) return w.report;
      continue;
    }
    // Only the initialised part is read; the rest of the extent is zeros.
    const std::uint64_t readable = w.pos < valid ? std::min(length, valid - w.pos) : 0;
    if (readable > 0 && !w.data(e.physical + skip, readable)) return w.report;
    if (!w.hole(length - readable)) return w.report;
  }
  if (w.pos < map.size) w.hole(map.size - w.pos);
  return w.report;
}

}  // namespace quarnel
