// The browsing view over an HFS+ volume: the root folder's children at the top (in scan
// modes ORPHAN_ENTRY and the files whose parent is the root), names trimmed for saving.
#pragma once

#include <memory>
#include <string>

#include "recovery/open_volume.h"

namespace quarnel {

// Standard mode reads the catalog B-tree; advanced and deep modes scan for its leaf nodes.
std::unique_ptr<ParsedVolume> parseHfsVolume(readWriteInterface& disk, const VolumeRecord& record,
                                             const ParseOptions& options, Reporter& reporter, std::string& error);

}  // namespace quarnel
