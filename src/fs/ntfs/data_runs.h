// NTFS run lists ("mapping pairs"): where a non-resident attribute's clusters lie.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/bytes.h"

namespace quarnel {

// One decoded data run. Start clusters and counts are 64-bit; a sparse run (no offset
// bytes) has start cluster 0 and keeps the flag, so a real run at cluster 0 ($Boot) is
// not mistaken for a hole.
struct MftRun {
  std::int64_t startCluster = 0;
  std::uint64_t clusterCount = 0;
  bool sparse = false;

  bool operator==(const MftRun&) const = default;
};

struct RunListDecode {
  std::vector<MftRun> runs;
  // The list ended with a terminating header or was damaged beyond reading; false when
  // its bytes ran out first, so the next attribute of the kind may continue it.
  bool terminated = false;
};

// Decodes one run list. A run is kept only while the running total of cluster counts
// stays within span (last VCN - first VCN + 1). Field widths above 8 bytes, a running
// cluster number that overflows or goes below 0 end the list as damaged.
RunListDecode decodeRunList(ByteSpan list, std::uint64_t span);

std::uint64_t totalClusters(const std::vector<MftRun>& runs);

}  // namespace quarnel
