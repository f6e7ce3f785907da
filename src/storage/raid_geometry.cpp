#include "storage/raid_geometry.h"

namespace quarnel {

SectorLocation mapSector(const RaidGeometry& g, std::int64_t virtualSector) {
  const std::int64_t n = g.members;
  const std::int64_t s = g.stripeSectors;
  const std::int64_t k = virtualSector / s;
  const std::int64_t w = virtualSector % s;
  SectorLocation loc;
  if (g.level != 5) {
    loc.member = static_cast<std::int32_t>(k % n);
    loc.memberSector = (k / n) * s + w;
    return loc;
  }
  const std::int64_t row = k / (n - 1);
  const std::int64_t d = k % (n - 1);
  std::int64_t p = 0;
  std::int64_t m = 0;
  switch (g.layout) {
    case kRightAsymmetric: p = row % n; m = d < p ? d : d + 1; break;
    case kLeftAsymmetric: p = n - 1 - row % n; m = d < p ? d : d + 1; break;
    case kRightSymmetric: p = row % n; m = (p + 1 + d) % n; break;
    case kLeftSymmetric:
    default: p = n - 1 - row % n; m = (p + 1 + d) % n; break;
  }
  loc.member = static_cast<std::int32_t>(m);
  loc.parityMember = static_cast<std::int32_t>(p);
  loc.memberSector = row * s + w;
  return loc;
}

}  // namespace quarnel
