#include "fs/ext/ext_content.h"

#include <algorithm>
#include <vector>

namespace quarnel::ext {
namespace {

constexpr std::uint64_t kChunkBytes = 1 << 20;

bool writeZeros(std::uint64_t count, ByteSink& out) {
  static const std::vector<std::byte> zeros(kChunkBytes);
  while (count > 0) {
    const std::uint64_t n = std::min<std::uint64_t>(count, zeros.size());
    if (!out.write(ByteSpan(zeros.data(), n))) return false;
    count -= n;
  }
  return true;
}

}  // namespace

ContentResult writeRuns(const BlockMap& map, std::uint64_t size, std::uint32_t blockSize,
                        BlockReader& reader, ByteSink& out, bool holesToEnd) {
  ContentResult r;
  r.readAll = map.complete;
  if (blockSize == 0) return r;
  const std::uint64_t chunkBlocks = std::max<std::uint64_t>(1, kChunkBytes / blockSize);
  std::vector<std::byte> buf;
  std::uint64_t pos = 0;  // bytes written so far
  for (const BlockRun& run : map.runs) {
    if (pos >= size) break;
    const std::uint64_t start = run.logical * blockSize;
    if (start > pos) {
      if (!writeZeros(std::min(start, size) - pos, out)) return {false, r.readAll};
      pos = std::min(start, size);
    }
    for (std::uint64_t done = 0; done < run.count && pos < size; done += chunkBlocks) {
      const std::uint64_t blocks = std::min(chunkBlocks, run.count - done);
      const std::uint64_t bytes = std::min(blocks * blockSize, size - pos);
      if (run.zeroed) {
        if (!writeZeros(bytes, out)) return {false, r.readAll};
      } else {
        buf.resize(blocks * blockSize);
        if (!reader.readBlocks(run.physical + done, buf)) r.readAll = false;
        if (!out.write(ByteSpan(buf.data(), bytes))) return {false, r.readAll};
      }
      pos += bytes;
    }
  }
  if (holesToEnd && pos < size && !writeZeros(size - pos, out)) r.written = false;
  return r;
}

bool writeInlineContent(const Inode& inode, ByteSink& out) {
  std::uint64_t left = inode.size;
  const std::uint64_t head = std::min<std::uint64_t>(left, kBlockAreaSize);
  if (!out.write(ByteSpan(inode.blockArea.data(), head))) return false;
  left -= head;
  const std::uint64_t tail = std::min<std::uint64_t>(left, inode.inlineTail.size());
  return out.write(ByteSpan(inode.inlineTail.data(), tail));
}

}  // namespace quarnel::ext
