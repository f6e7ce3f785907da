// The browsing view over an ext2/3/4 volume: ROOT at the top, children in link order,
// deleted names from directory slack marked, names trimmed for saving.
#pragma once

#include <memory>
#include <string>

#include "recovery/open_volume.h"

namespace quarnel {

std::unique_ptr<ParsedVolume> parseExtVolume(readWriteInterface& disk, const VolumeRecord& record,
                                             const ParseOptions& options, Reporter& reporter, std::string& error);

}  // namespace quarnel
