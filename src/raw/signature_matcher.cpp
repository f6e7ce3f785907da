#include "raw/signature_matcher.h"

#include <algorithm>
#include <cstring>

namespace quarnel {
namespace {

constexpr std::size_t kBuckets = 65536;

std::uint32_t bucketOf(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0]) | (std::uint32_t{p[1]} << 8); }

}  // namespace

bool slotMatches(const MatchSlot& slot, ByteSpan data, std::size_t pos) {
  if (slot.length < 2 || !fits(data, pos, slot.length)) return false;
  const auto* p = reinterpret_cast<const std::uint8_t*>(data.data()) + pos;
  for (std::size_t i = 0; i < slot.length; ++i)
    if (slot.bytes[i] != kWildcardByte && slot.bytes[i] != p[i]) return false;
  return true;
}

std::size_t findSlot(const MatchSlot& slot, ByteSpan data, std::size_t from, std::size_t to) {
  constexpr std::size_t npos = static_cast<std::size_t>(-1);
  if (slot.length < 2 || data.size() < slot.length) return npos;
  to = std::min(to, data.size() - slot.length + 1);
  if (from >= to) return npos;
  // Look for the first fixed byte with memchr; a slot of wildcards only matches anywhere.
  std::size_t anchor = 0;
  while (anchor < slot.length && slot.bytes[anchor] == kWildcardByte) ++anchor;
  if (anchor == slot.length) return from;
  const auto* base = reinterpret_cast<const std::uint8_t*>(data.data());
  for (std::size_t p = from; p < to;) {
    const void* hit = std::memchr(base + p + anchor, slot.bytes[anchor], to - p);
    if (!hit) return npos;
    p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - base) - anchor;
    if (slotMatches(slot, data, p)) return p;
    ++p;
  }
  return npos;
}

StartMatcher::StartMatcher(std::vector<MatchSlot> slots) : slots_(std::move(slots)) {
  std::vector<std::vector<std::uint32_t>> buckets(kBuckets);
  for (std::uint32_t i = 0; i < slots_.size(); ++i) {
    const MatchSlot& s = slots_[i];
    if (s.length < 2) continue;
    const bool any0 = s.bytes[0] == kWildcardByte, any1 = s.bytes[1] == kWildcardByte;
    for (std::uint32_t b1 = any1 ? 0 : s.bytes[1]; b1 <= (any1 ? 255u : s.bytes[1]); ++b1)
      for (std::uint32_t b0 = any0 ? 0 : s.bytes[0]; b0 <= (any0 ? 255u : s.bytes[0]); ++b0)
        buckets[b0 | (b1 << 8)].push_back(i);
  }
  bucketBegin_.resize(kBuckets + 1);
  for (std::size_t k = 0; k < kBuckets; ++k) {
    bucketBegin_[k] = static_cast<std::uint32_t>(bucketSlots_.size());
    bucketSlots_.insert(bucketSlots_.end(), buckets[k].begin(), buckets[k].end());
  }
  bucketBegin_[kBuckets] = static_cast<std::uint32_t>(bucketSlots_.size());
}

long StartMatcher::firstMatch(ByteSpan data, std::size_t pos) const {
  if (bucketBegin_.empty() || !fits(data, pos, 2)) return -1;
  const std::uint32_t k = bucketOf(reinterpret_cast<const std::uint8_t*>(data.data()) + pos);
  for (std::uint32_t i = bucketBegin_[k]; i < bucketBegin_[k + 1]; ++i)
    if (slotMatches(slots_[bucketSlots_[i]], data, pos)) return static_cast<long>(bucketSlots_[i]);
  return -1;
}

}  // namespace quarnel
