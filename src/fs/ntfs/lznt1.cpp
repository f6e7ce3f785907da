#include "fs/ntfs/lznt1.h"

#include <algorithm>
#include <cstdint>

namespace quarnel {
namespace {

constexpr std::uint16_t kSizeMask = 0x0FFF;
constexpr std::uint16_t kCompressedFlag = 0x8000;
constexpr std::size_t kChunkBytes = 4096;
constexpr unsigned kMaxLengthShift = 12;

// The split of a 16-bit token between offset and length moves with the position in the
// chunk: the further in, the more offset bits.
unsigned offsetShift(std::size_t produced) {
  unsigned k = 0;
  for (std::size_t q = produced - 1; q > 15 && k < kMaxLengthShift; q >>= 1) ++k;
  return kMaxLengthShift - k;
}

}  // namespace

std::size_t lznt1Decompress(ByteSpan in, MutableByteSpan out) {
  std::fill(out.begin(), out.end(), std::byte{0});
  const std::size_t capacity = out.size();
  std::size_t produced = 0;
  std::size_t at = 0;
  while (at + 1 < in.size()) {
    const std::uint16_t header = le16(in, at);
    const std::size_t size = header & kSizeMask;
    if (size == 0) break;
    const std::size_t end = at + size + 3;
    if (end > in.size()) break;
    std::size_t src = at + 2;
    if (!(header & kCompressedFlag) && size == kSizeMask) {
      const std::size_t n = std::min(kChunkBytes, capacity - produced);
      std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(src), n, out.begin() + static_cast<std::ptrdiff_t>(produced));
      produced += n;
      at = end;
      continue;
    }
    const std::size_t chunkStart = produced;
    while (src < end) {
      const std::uint8_t flags = u8(in, src++);
      for (unsigned bit = 0; bit < 8 && src < end; ++bit) {
        if (!(flags & (1u << bit))) {
          if (produced >= capacity) return produced;
          out[produced++] = in[src++];
          continue;
        }
        if (src + 2 > end) {
          src = end;
          break;
        }
        const std::uint16_t token = le16(in, src);
        src += 2;
        const std::size_t inChunk = produced - chunkStart;
        if (inChunk == 0) return produced;
        const unsigned shift = offsetShift(inChunk);
        const std::size_t offset = (std::size_t{token} >> shift) + 1;
        const std::size_t length = (token & (0xFFFu >> (kMaxLengthShift - shift))) + 3;
        if (offset > inChunk) return produced;
        for (std::size_t n = 0; n < length && produced < capacity; ++n, ++produced)
          out[produced] = out[produced - offset];
      }
    }
    at = end;
  }
  return produced;
}

}  // namespace quarnel
