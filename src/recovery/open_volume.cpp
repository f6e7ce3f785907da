#include "recovery/open_volume.h"

#include "recovery/ext_view.h"
#include "recovery/fat_views.h"
#include "recovery/hfs_view.h"
#include "recovery/ntfs_volume.h"

namespace quarnel {

std::unique_ptr<ParsedVolume> parseVolume(readWriteInterface& disk, const VolumeRecord& record,
                                          const ParseOptions& options, Reporter& reporter,
                                          TreeSink* tree, std::string& error) {
  const std::string kind = record.fileSystem.substr(0, 3);
  if (kind == "NTF") return parseNtfsVolume(disk, record, options, reporter, tree, error);
  if (kind == "ext") return parseExtVolume(disk, record, options, reporter, tree, error);
  if (kind == "HFS") return parseHfsVolume(disk, record, options, reporter, tree, error);
  if (isFatFileSystem(record.fileSystem)) return parseFatVolume(disk, record, options, reporter, tree, error);
  error = "no parser reads volumes of type " + record.fileSystem + " (carve them instead)";
  return nullptr;
}

bool listCandidates(readWriteInterface& disk, const VolumeRecord& record, int maximum, Reporter& reporter,
                    CandidateList& out, std::string& error) {
  if (record.fileSystem.substr(0, 3) == "NTF")
    return listNtfsCandidates(disk, record, maximum, reporter, out, error);
  if (isFatFileSystem(record.fileSystem)) return listFatCandidates(disk, record, maximum, reporter, out, error);
  error = "volumes of type " + record.fileSystem + " have no candidate search";
  return false;
}

}  // namespace quarnel
