#include "storage/disk_export.h"

#include <algorithm>
#include <vector>

#include "storage/rescue_read.h"

namespace quarnel {
namespace {
constexpr std::int64_t kChunkSectors = 8192;  // 4 MiB
}

ExportResult exportSectors(readWriteInterface& source, std::int64_t firstSector,
                           std::int64_t count, OutputFile& out, Reporter& reporter,
                           JobControl* job) {
  ExportResult result;
  std::vector<std::byte> buf(static_cast<std::size_t>(std::min(count, kChunkSectors) * kSectorSize));
  reporter.progressRange(0, count);
  for (std::int64_t done = 0; done < count;) {
    if (job && job->shouldStop()) {
      result.stopped = true;
      result.error = "stopped";
      out.close();
      return result;
    }
    std::int64_t n = std::min(kChunkSectors, count - done);
    MutableByteSpan chunk(buf.data(), static_cast<std::size_t>(n * kSectorSize));
    // The unreadable sectors are found so the rest of the chunk is kept.
    readRescuing(source, (firstSector + done) * kSectorSize, chunk, [&](std::size_t at, std::size_t length) {
      if (result.firstUnreadSector < 0) {
        result.firstUnreadSector = firstSector + done + static_cast<std::int64_t>(at) / kSectorSize;
        result.error = source.lastError();
      }
      result.unreadSectors += static_cast<std::int64_t>(length) / kSectorSize;
    });
    if (!out.write(chunk)) {
      result.error = out.error();
      return result;
    }
    done += n;
    reporter.progressPosition(done);
  }
  if (!out.close()) {
    result.error = out.error();
    return result;
  }
  result.written = true;
  return result;
}

}  // namespace quarnel
