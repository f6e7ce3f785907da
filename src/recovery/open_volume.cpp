#include "recovery/open_volume.h"

#include "recovery/ntfs_volume.h"
#include "recovery/ext_view.h"
#include "recovery/hfs_view.h"
#ifdef QUARNEL_UNFINISHED
#include "recovery/fat_views.h"
#endif

namespace quarnel {

std::unique_ptr<ParsedVolume> parseVolume(readWriteInterface& disk, const VolumeRecord& record,
                                          const ParseOptions& options, Reporter& reporter,
                                          TreeSink* tree, std::string& error) {
  const std::string kind = record.fileSystem.substr(0, 3);
  if (kind == "NTF") return parseNtfsVolume(disk, record, options, reporter, tree, error);
  if (kind == "ext") return parseExtVolume(disk, record, options, reporter, tree, error);
  if (kind == "HFS") return parseHfsVolume(disk, record, options, reporter, tree, error);
#ifdef QUARNEL_UNFINISHED
  if (isFatFileSystem(record.fileSystem)) return parseFatVolume(disk, record, options, reporter, tree, error);
#endif
  error = "volumes of type " + record.fileSystem + " cannot be parsed yet";
  return nullptr;
}

bool listCandidates(readWriteInterface& disk, const VolumeRecord& record, int maximum, Reporter& reporter,
                    CandidateList& out, std::string& error) {
  if (record.fileSystem.substr(0, 3) == "NTF")
    return listNtfsCandidates(disk, record, maximum, reporter, out, error);
#ifdef QUARNEL_UNFINISHED
  if (isFatFileSystem(record.fileSystem)) return listFatCandidates(disk, record, maximum, reporter, out, error);
#endif
  error = "volumes of type " + record.fileSystem + " have no candidate search";
  return false;
}

}  // namespace quarnel
