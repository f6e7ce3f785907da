#include "recovery/open_volume.h"

namespace quarnel {

std::unique_ptr<ParsedVolume> parseVolume(readWriteInterface&, const VolumeRecord& record,
                                          const ParseOptions&, Reporter&, TreeSink*,
                                          std::string& error) {
  error = "volumes of type " + record.fileSystem + " cannot be parsed yet";
  return nullptr;
}

bool listCandidates(readWriteInterface&, const VolumeRecord& record, int, Reporter&,
                    CandidateList&, std::string& error) {
  error = "volumes of type " + record.fileSystem + " have no candidate search";
  return false;
}

}  // namespace quarnel
