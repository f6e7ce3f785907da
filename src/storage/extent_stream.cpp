#include "storage/extent_stream.h"

#include <algorithm>

namespace quarnel {
namespace {

constexpr std::uint64_t kBatchBytes = 4 << 20;

// Where [at, at + n) lies inside the readable part of the volume, without wrapping.
bool inside(const VolumeBytes& v, std::uint64_t at, std::uint64_t n) {
  return at < v.limit && n <= v.limit - at && v.start <= static_cast<std::uint64_t>(INT64_MAX) - at &&
         n <= static_cast<std::uint64_t>(INT64_MAX) - v.start - at;
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

  // The unreadable part of a failed batch, found sector by sector so the rest is kept.
  void rescue(std::uint64_t at, MutableByteSpan data) {
    std::uint64_t badStart = 0, badLength = 0;
    auto flushBad = [&] {
      if (badLength == 0) return;
      out.unreadable(badStart, badLength);
      report.unreadable += badLength;
      badLength = 0;
    };
    for (std::size_t s = 0; s < data.size(); s += kSectorSize) {
      const std::size_t n = std::min<std::size_t>(kSectorSize, data.size() - s);
      const bool wraps = at > UINT64_MAX - s;
      const std::uint64_t where = at + s;
      bool ok = !wraps && inside(volume, where, n) &&
                volume.source->readAt(static_cast<std::int64_t>(volume.start + where), data.subspan(s, n));
      if (!ok) std::fill(data.begin() + static_cast<std::ptrdiff_t>(s),
                         data.begin() + static_cast<std::ptrdiff_t>(s + n), std::byte{0});
      if (ok) {
        flushBad();
      } else {
        if (badLength == 0) badStart = pos + s;
        badLength += n;
      }
    }
    flushBad();
  }

  bool data(std::uint64_t physical, std::uint64_t length) {
    while (length > 0) {
      if (stop()) return false;
      const std::uint64_t n = std::min(length, kBatchBytes);
      buffer.resize(static_cast<std::size_t>(n));
      if (!inside(volume, physical, n) ||
          !volume.source->readAt(static_cast<std::int64_t>(volume.start + physical), buffer))
        rescue(physical, buffer);
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
