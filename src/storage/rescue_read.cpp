#include "storage/rescue_read.h"

#include <algorithm>

namespace quarnel {
namespace {

constexpr std::size_t kPiece = 64 * 1024;

}  // namespace

bool readRescuing(readWriteInterface& source, std::int64_t offset, MutableByteSpan out,
                  const std::function<void(std::size_t, std::size_t)>& bad, const std::function<bool()>& stop) {
  if (source.readAt(offset, out)) return true;
  std::size_t badStart = 0, badLength = 0;
  auto lost = [&](std::size_t at, std::size_t n) {
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(at), out.begin() + static_cast<std::ptrdiff_t>(at + n),
              std::byte{0});
    if (badLength != 0 && badStart + badLength == at) {
      badLength += n;
      return;
    }
    if (badLength != 0 && bad) bad(badStart, badLength);
    badStart = at;
    badLength = n;
  };
  for (std::size_t p = 0; p < out.size(); p += kPiece) {
    const std::size_t pieceLength = std::min(kPiece, out.size() - p);
    if (source.readAt(offset + static_cast<std::int64_t>(p), out.subspan(p, pieceLength))) continue;
    for (std::size_t s = p; s < p + pieceLength; s += kSectorSize) {
      if (stop && stop()) break;
      const std::size_t n = std::min<std::size_t>(kSectorSize, p + pieceLength - s);
      if (!source.readAt(offset + static_cast<std::int64_t>(s), out.subspan(s, n))) lost(s, n);
    }
  }
  if (badLength != 0 && bad) bad(badStart, badLength);
  return false;
}

}  // namespace quarnel
