// From a volume record to a parsed volume seen through the browsing view: the parser is
// picked by the first three letters of the record's file system, as the recovery-mode
// page picks it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/job.h"
#include "platform/reporter.h"
#include "recovery/entry_view.h"
#include "storage/read_write_interface.h"
#include "volumes/volume_record.h"

namespace quarnel {

enum class RecoveryMode { Standard = 1, Advanced = 2, Deep = 3 };

struct ParseOptions {
  RecoveryMode mode = RecoveryMode::Standard;
  // Advanced mode: which candidate the user picked (from 0) and the cluster size in sectors.
  int candidate = -1;
  std::int64_t clusterSectors = 0;
  int heap = 0;            // exFAT's advanced mode: the cluster-heap candidate picked
  bool formatted = false;  // the formatted-drive flag of the FAT family
  // The job that drives the parse (stop, pause, progress); none: it runs to its end.
  JobControl* job = nullptr;
};

// A parsed volume; the view stays valid as long as the object lives.
class ParsedVolume {
 public:
  virtual ~ParsedVolume() = default;
  virtual EntryView& view() = 0;
  // The parse is over: the parser lets go of the job that drove it, which may end before
  // the volume does.
  virtual void releaseJob() {}
};

// Parses the volume the record names, through a reader of its own (so any number of volumes
// of one disk can be open at once), into the one entry store its view() shows. Null with a
// reason when it cannot be parsed.
std::unique_ptr<ParsedVolume> parseVolume(readWriteInterface& disk, const VolumeRecord& record,
                                          const ParseOptions& options, Reporter& reporter,
                                          std::string& error);

// One line per MFT, FAT or heap candidate of the advanced mode, and the cluster-size
// choices; false with a reason when the kind has no candidate search.
struct CandidateList {
  std::vector<std::string> lines;          // "MFT_ENTRY:0  at byte 3221225472" ...
  std::vector<std::string> clusterChoices;  // in the order they are offered
};
bool listCandidates(readWriteInterface& disk, const VolumeRecord& record, int maximum,
                    Reporter& reporter, CandidateList& out, std::string& error);

}  // namespace quarnel
