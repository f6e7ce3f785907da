// The one matcher all definitions are compiled into: slots of up to 10 signature bytes in
// which 0x2A stands for any byte, and an index of the starting slots by the two bytes a
// sector begins with, so a sector costs the same however many definitions there are.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/bytes.h"
#include "raw/signature_record.h"

namespace quarnel {

inline constexpr std::uint8_t kWildcardByte = 0x2A;  // "*"

struct MatchSlot {
  std::uint8_t length = 0;     // 0 and 1 never match
  std::size_t definition = 0;
  std::array<std::uint8_t, kMaxSignatureBytes> bytes{};
};

// Whether slot matches the bytes at pos; all of them must lie inside data.
bool slotMatches(const MatchSlot& slot, ByteSpan data, std::size_t pos);

// First position p in [from, to) at which slot matches, or npos.
std::size_t findSlot(const MatchSlot& slot, ByteSpan data, std::size_t from, std::size_t to);

class StartMatcher {
 public:
  StartMatcher() = default;
  // slots in the order they are tried; the first that matches decides.
  explicit StartMatcher(std::vector<MatchSlot> slots);

  // Index (into the slots given) of the first slot matching at pos, or -1.
  long firstMatch(ByteSpan data, std::size_t pos) const;

 private:
  std::vector<MatchSlot> slots_;
  std::vector<std::uint32_t> bucketBegin_;  // 65537 entries into bucketSlots_
  std::vector<std::uint32_t> bucketSlots_;
};

}  // namespace quarnel
