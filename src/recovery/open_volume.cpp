#include "recovery/open_volume.h"

#include "recovery/ext_view.h"
#include "recovery/fat_views.h"
#include "recovery/hfs_view.h"
#include "recovery/ntfs_volume.h"
#include "recovery/entry_store.h"
#include "storage/volume_source.h"

namespace quarnel {
namespace {

// A parsed volume with the reader it owns and the store every consumer reads; they end in
// the reverse order: store, parse, reader.
class SourcedVolume : public ParsedVolume {
 public:
  explicit SourcedVolume(readWriteInterface& disk) : source(disk) {}
  EntryView& view() override { return *store; }
  void releaseJob() override { inner->releaseJob(); }

  VolumeSource source;
  std::unique_ptr<ParsedVolume> inner;
  std::unique_ptr<EntryStore> store;
};

std::unique_ptr<ParsedVolume> parseOn(readWriteInterface& source, const VolumeRecord& record,
                                      const ParseOptions& options, Reporter& reporter,
                                      std::string& error) {
  const std::string kind = record.fileSystem.substr(0, 3);
  if (kind == "NTF") return parseNtfsVolume(source, record, options, reporter, error);
  if (kind == "ext") return parseExtVolume(source, record, options, reporter, error);
  if (kind == "HFS") return parseHfsVolume(source, record, options, reporter, error);
  if (isFatFileSystem(record.fileSystem)) return parseFatVolume(source, record, options, reporter, error);
  error = "no parser reads volumes of type " + record.fileSystem + " (carve them instead)";
  return nullptr;
}

}  // namespace

std::unique_ptr<ParsedVolume> parseVolume(readWriteInterface& disk, const VolumeRecord& record,
                                          const ParseOptions& options, Reporter& reporter,
                                          std::string& error) {
  // Each volume reads through its own source, so volumes of one disk never aim each other.
  auto volume = std::make_unique<SourcedVolume>(disk);
  volume->inner = parseOn(volume->source, record, options, reporter, error);
  if (!volume->inner) return nullptr;
  volume->inner->releaseJob();
  volume->store = EntryStore::build(volume->inner->view());
  return volume;
}

bool listCandidates(readWriteInterface& disk, const VolumeRecord& record, int maximum, Reporter& reporter,
                    CandidateList& out, std::string& error) {
  VolumeSource source(disk);
  if (record.fileSystem.substr(0, 3) == "NTF")
    return listNtfsCandidates(source, record, maximum, reporter, out, error);
  if (isFatFileSystem(record.fileSystem)) return listFatCandidates(source, record, maximum, reporter, out, error);
  error = "volumes of type " + record.fileSystem + " have no candidate search";
  return false;
}

}  // namespace quarnel
