// An NTFS volume parsed in one of the three modes and seen through its browsing view.
#pragma once

#include <memory>
#include <string>

#include "recovery/open_volume.h"

namespace quarnel {

std::unique_ptr<ParsedVolume> parseNtfsVolume(readWriteInterface& disk, const VolumeRecord& record,
                                              const ParseOptions& options, Reporter& reporter, std::string& error);

// "MFT_ENTRY:%d" lines with each candidate's position, and the cluster-size choices.
bool listNtfsCandidates(readWriteInterface& disk, const VolumeRecord& record, int maximum,
                        Reporter& reporter, CandidateList& out, std::string& error);

}  // namespace quarnel
