#include "platform/byte_sink.h"

#include <algorithm>

namespace quarnel {

bool ByteSink::writeHole(std::uint64_t length) {
  static const std::vector<std::byte> zeros(1 << 20);
  while (length > 0) {
    const std::uint64_t n = std::min<std::uint64_t>(length, zeros.size());
    if (!write(ByteSpan(zeros.data(), n))) return false;
    length -= n;
  }
  return true;
}

}  // namespace quarnel
