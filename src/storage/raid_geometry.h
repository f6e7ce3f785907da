// Where a sector of the virtual disk lives on the members: a pure function of the array's
// shape, kept apart from all I/O so it can be checked by table.
#pragma once

#include <cstdint>

namespace quarnel {

// RAID-5 parity layouts. P is the parity member of row R, n the member count, D the data
// unit within the row.
enum ParityLayout : std::int32_t {
  kRightAsymmetric = 1,  // P = R mod n,           data D on D (D < P) or D + 1
  kLeftAsymmetric = 2,   // P = n - 1 - (R mod n), data D on D (D < P) or D + 1
  kLeftSymmetric = 3,    // P = n - 1 - (R mod n), data D on (P + 1 + D) mod n
  kRightSymmetric = 4,   // P = R mod n,           data D on (P + 1 + D) mod n
};

struct RaidGeometry {
  std::int32_t level = 0;          // 0 or 5
  std::int32_t members = 1;        // n
  std::int32_t layout = kLeftSymmetric;
  std::int64_t stripeSectors = 128;
};

struct SectorLocation {
  std::int32_t member = 0;
  std::int64_t memberSector = 0;   // counted from the member's data offset
  std::int32_t parityMember = -1;  // RAID-5 only
};

// Requires members >= 1 (>= 3 for RAID-5), stripeSectors >= 1 and virtualSector >= 0.
SectorLocation mapSector(const RaidGeometry& g, std::int64_t virtualSector);

// Data units per row: n for RAID-0, n - 1 for RAID-5.
inline std::int32_t dataMembers(const RaidGeometry& g) {
  return g.level == 5 ? g.members - 1 : g.members;
}

}  // namespace quarnel
