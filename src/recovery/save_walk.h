// Saving recovered folders and files under an output folder: the count, the confirmation,
// the depth-first walk in link order, and the one-file quick dump.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/job.h"
#include "platform/reporter.h"
#include "recovery/entry_view.h"

namespace quarnel {

// Files under folder, by the folder and file tests for saving (every folder counted once).
std::int64_t countFiles(const EntryView& view, EntryId folder);

struct SaveResult {
  std::int64_t files = 0;    // counted and handled, as the walk's counter
  std::int64_t written = 0;  // files whose content was written in full
  std::int64_t skipped = 0;  // counted but never written by design (NTFS "$BadClus")
  std::vector<std::string> failures;  // one line per file or folder that could not be saved
};

// Writes the contents of folder (not the folder itself) into outDir, depth first in link
// order, until the job is stopped. Names are made safe and nothing is overwritten. Progress
// is the count of files handled (of the total the caller set from countFiles). The caller
// counts and asks before it calls: nothing in here waits for a person.
JobResult saveFolderContents(EntryView& view, EntryId folder, const std::string& outDir,
                             Reporter& reporter, JobControl& job, SaveResult& result);

// The folder a saved folder's contents go into: dir/name made safe; an existing folder of
// that name is used again, a file of that name gets a numbered folder beside it.
std::string makeFolder(const std::string& dir, const std::string& name, std::string& error);

// The quick dump: writes one file into dir as its own name (made unique). Returns the path written, or
// empty with why in error.
std::string quickDump(EntryView& view, EntryId file, const std::string& dir, std::string& error);

}  // namespace quarnel
