#include "app/save_flow.h"

namespace quarnel::app {

SaveQuestion prepareSave(const EntryView& view, EntryId folder, const std::string& outDir) {
  SaveQuestion q;
  if (outDir.empty()) {
    q.refused = true;
    q.refusal = "select output folder";
    return q;
  }
  if (folder == kNoEntry || !view.isFolderForSaving(folder)) {
    q.refused = true;
    return q;
  }
  q.files = countFiles(view, folder);
  q.question = "number of files found inside this folder = " + std::to_string(q.files) +
               " .do u want to continue dumping these files..?";
  return q;
}

JobResult runSave(EntryView& view, EntryId folder, const std::string& outDir, Reporter& reporter,
                  JobControl& job, SaveResult& result) {
  job.beginPhase(0, countFiles(view, folder));
  JobResult r = saveFolderContents(view, folder, outDir, reporter, job, result);
  reporter.finished("work done");
  return r;
}

}  // namespace quarnel::app
