#include "recovery/save_walk.h"

#include <cstdio>
#include <set>

#include "platform/output_paths.h"

namespace quarnel {
namespace {

std::int64_t countIn(const EntryView& view, EntryId folder, std::set<EntryId>& seen) {
  if (!seen.insert(folder).second) return 0;
  std::int64_t n = 0;
  for (EntryId child : view.children(folder)) {
    if (view.isFolderForSaving(child)) {
      if (view.descendWhenSaving(child)) n += countIn(view, child, seen);
    } else if (view.isFileForSaving(child)) {
      ++n;
    }
  }
  return n;
}

void walk(EntryView& view, EntryId folder, const std::string& dir, Reporter& reporter,
          JobControl& job, SaveResult& result, std::set<EntryId>& seen) {
  if (!seen.insert(folder).second) return;  // a folder linked twice is saved once
  for (EntryId child : view.children(folder)) {
    if (job.shouldStop()) return;
    job.setDone(result.files);
    reporter.progressPosition(result.files);
    if (view.isFolderForSaving(child)) {
      if (!view.descendWhenSaving(child)) continue;
      std::string name = view.savedName(child);
      std::string sub = dir;
      if (!name.empty()) {
        std::string error;
        sub = makeFolder(dir, name, error);
        if (sub.empty()) {
          result.failures.push_back(error);
          continue;
        }
      }
      walk(view, child, sub, reporter, job, result, seen);
    } else if (view.isFileForSaving(child)) {
      ++result.files;
      reporter.status("saving File  " + dir + "/" + safeComponent(view.savedName(child)));
      char label[64];
      std::snprintf(label, sizeof label, "File size: %lld kb",
                    static_cast<long long>(view.size(child) / 1024));
      reporter.detail(label);
      if (view.writeWhenSaving(child)) {
        std::string error;
        bool saved = !quickDump(view, child, dir, error).empty();
        if (error.empty() && saved) ++result.written;
        else result.failures.push_back(error);
      } else {
        ++result.skipped;
      }
      reporter.detail("");
    }
  }
}

// Passes content to the file and notes what could not be read.
class NotingSink : public ByteSink {
 public:
  explicit NotingSink(ByteSink& out) : out_(out) {}
  bool write(ByteSpan data) override { return out_.write(data); }
  bool writeHole(std::uint64_t length) override { return out_.writeHole(length); }
  void unreadable(std::uint64_t offset, std::uint64_t length) override {
    if (bytes_ == 0) first_ = offset;
    bytes_ += length;
  }
  std::string text() const {
    return std::to_string(bytes_) + " bytes from byte " + std::to_string(first_) +
           " on could not be read and were saved as zeros";
  }
  std::uint64_t bytes() const { return bytes_; }

 private:
  ByteSink& out_;
  std::uint64_t bytes_ = 0, first_ = 0;
};

}  // namespace

std::int64_t countFiles(const EntryView& view, EntryId folder) {
  std::set<EntryId> seen;
  return countIn(view, folder, seen);
}

JobResult saveFolderContents(EntryView& view, EntryId folder, const std::string& outDir,
                             Reporter& reporter, JobControl& job, SaveResult& result) {
  std::set<EntryId> seen;
  walk(view, folder, outDir, reporter, job, result, seen);
  job.setDone(result.files);
  if (job.stopRequested()) return JobResult::stopped();
  if (!result.failures.empty())
    return JobResult::ioError(std::to_string(result.failures.size()) + " of " + std::to_string(result.files) +
                              " files could not be saved in full");
  return JobResult::done();
}

std::string makeFolder(const std::string& dir, const std::string& name, std::string& error) {
  return makeUniqueFolder(dir, name, error);
}

std::string quickDump(EntryView& view, EntryId file, const std::string& dir, std::string& error) {
  OutputFile out;
  std::string path = createUniqueFile(dir, view.savedName(file), out);
  if (path.empty()) {
    error = "cannot create a file for " + view.name(file) + " in " + dir + ": " + out.error();
    return {};
  }
  NotingSink noting(out);
  const bool read = view.writeContent(file, noting);
  const bool closed = out.close();
  setFileTimes(path, view.accessedTime(file), view.modifiedTime(file));
  if (!closed) {
    error = out.error();
    return {};
  }
  if (noting.bytes() != 0) error = path + ": " + noting.text();
  else if (!read) error = path + ": some of the content could not be read";
  return path;
}

}  // namespace quarnel
