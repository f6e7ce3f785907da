// A whole NTFS parse in the order the browse page's worker runs it, for each of the three
// modes, and the candidate search the advanced mode starts from.
#pragma once

#include <array>
#include <cstdint>

#include "fs/ntfs/ntfs.h"

namespace quarnel {

// The sectors-per-cluster choices offered with the MFT candidates, in the order offered.
inline constexpr std::array<int, 6> kNtfsClusterSectorChoices = {8, 4, 2, 16, 32, 64};
inline constexpr std::int64_t kDefaultMftCandidates = 3;

struct NtfsAdvancedChoice {
  std::int64_t candidate = 0;       // index into mftCandidates
  std::int64_t clusterSectors = 0;  // sectors per cluster; 0 keeps the search's cluster size
};

// attachSource, readBootSector and findMftCandidates, as the advanced-input page runs them
// (a maximum below 1 means 3). Returns the number of candidates in fs.mftCandidates.
std::int64_t searchNtfsCandidates(ntfs& fs, std::int64_t maximum);

// Standard: attachSource, readBootSector, locateMft, collectMftRecords, buildTree.
// Deep: attachSource, readBootSector, deepScan, buildTree.
// Advanced: on an fs searchNtfsCandidates has run on, releaseNames, chooseMftCandidate,
// the cluster size, collectMftRecords, buildTree.
// True when the tree has anything under the volume item.
bool parseNtfs(ntfs& fs, NtfsMode mode, const NtfsAdvancedChoice& choice = {});

}  // namespace quarnel
