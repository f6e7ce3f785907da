// The Save button in two steps the page drives: first the count and the question, then, on
// Yes, the save as a job. The engine's walk never waits for a person.
#pragma once

#include <cstdint>
#include <string>

#include "platform/job.h"
#include "recovery/entry_view.h"
#include "recovery/save_walk.h"

namespace quarnel::app {

struct SaveQuestion {
  bool refused = false;  // nothing to ask: the refusal says why (may be empty: nothing to save)
  std::string refusal;   // "select output folder"
  std::int64_t files = 0;
  std::string question;  // "number of files found inside this folder = N .do u want ..."
};

SaveQuestion prepareSave(const EntryView& view, EntryId folder, const std::string& outDir);

// Saves the folder's contents into outDir; says "work done" through reporter when the walk
// ran to its end or was stopped.
JobResult runSave(EntryView& view, EntryId folder, const std::string& outDir, Reporter& reporter,
                  JobControl& job, SaveResult& result);

}  // namespace quarnel::app
