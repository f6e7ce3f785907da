// The browsing view over FAT12/16, FAT32 and exFAT volumes, in the standard mode and in
// the advanced mode's candidates, and the candidate lists for `quarnel candidates`.
#pragma once

#include <memory>
#include <string>

#include "recovery/open_volume.h"

namespace quarnel {

// record.fileSystem "FAT32", "FAT16" (also "FAT12", "FAT") or "FAT64" (exFAT). In the
// advanced mode, options.candidate picks the FAT candidate and options.clusterSectors the
// cluster size (exFAT: the exponent; 0: the first choice offered); heapCandidate picks
// exFAT's heap candidate.
std::unique_ptr<ParsedVolume> parseFatVolume(readWriteInterface& disk, const VolumeRecord& record,
                                             const ParseOptions& options, Reporter& reporter, std::string& error);
std::unique_ptr<ParsedVolume> parseFatVolume(readWriteInterface& disk, const VolumeRecord& record,
                                             const ParseOptions& options, int heapCandidate,
                                             Reporter& reporter, std::string& error);

// "FAT32_ENTRY:0  at byte N" (FAT16 "FAT_ENTRY:", exFAT "FAT64_ENTRY:" and
// "HEAP_OFFSET_ENTRY:") lines and the cluster-size choices in the order offered.
bool listFatCandidates(readWriteInterface& disk, const VolumeRecord& record, int maximum,
                       Reporter& reporter, CandidateList& out, std::string& error);

// Whether record.fileSystem names one of the kinds above.
bool isFatFileSystem(const std::string& fileSystem);

}  // namespace quarnel
