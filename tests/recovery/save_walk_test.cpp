#include "recovery/save_walk.h"

#include "app/save_flow.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "recovery/memory_view.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;

struct Recorder : Reporter {
  std::vector<std::string> statuses, messages, details;
  void status(std::string_view t) override { statuses.emplace_back(t); }
  void message(std::string_view t) override { messages.emplace_back(t); }
  void detail(std::string_view t) override { details.emplace_back(t); }
};

std::set<std::string> treeOf(const fs::path& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    out.insert(fs::relative(e.path(), dir).string() + (e.is_directory() ? "/" : ""));
  return out;
}

TEST(SaveWalk, SelectedFolderContentsWithTimesAndNothingOverwritten) {
  test::MemoryView v;
  EntryId a = v.add(0, "A", true);
  EntryId b = v.add(a, "B", true);
  v.add(b, "c.txt", false, "first");
  v.add(b, "c.txt", false, "second");  // same name in one folder: both kept
  v.add(a, "..", false, "dots");
  v.add(a, "../../escape", false, "up");
  v.add(a, "$BadClus", false, "bad");
  EntryId dot = v.add(a, ".", true);
  v.add(dot, "inside-dot.txt", false, "never");
  v.add(a, "B", true);  // a second folder of the same name merges into the first

  test::ScratchDir out;
  fs::create_directories(out.path() / "B");
  test::writeFile(out.file("B/c.txt"), {'o', 'l', 'd'});
  Recorder r;
  JobControl job;
  SaveResult result;
  const app::SaveQuestion q = app::prepareSave(v, a, out.path().string());
  ASSERT_FALSE(q.refused);
  EXPECT_EQ(q.question, "number of files found inside this folder = 5 .do u want to continue dumping these files..?");
  EXPECT_TRUE(app::runSave(v, a, out.path().string(), r, job, result).ok());
  EXPECT_EQ(r.messages, (std::vector<std::string>{"work done"}));
  EXPECT_EQ(result.files, 5);
  EXPECT_EQ(result.written, 4);  // $BadClus is counted, shown, not written
  EXPECT_EQ(result.skipped, 1);
  EXPECT_EQ(treeOf(out.path()), (std::set<std::string>{"B/", "B/c.txt", "B/c (2).txt", "B/c (3).txt",
                                                       "_..", ".._.._escape"}));
  EXPECT_EQ(test::readFile(out.file("B/c.txt")), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(test::readFile(out.file("B/c (3).txt")), (std::vector<std::uint8_t>{'s', 'e', 'c', 'o', 'n', 'd'}));
  struct stat st {};
  ASSERT_EQ(::stat(out.file("B/c (2).txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1700000000);
  EXPECT_EQ(st.st_atime, 1700000100);
  EXPECT_NE(std::find(r.statuses.begin(), r.statuses.end(), "saving File  " + out.path().string() + "/$BadClus"),
            r.statuses.end());
  EXPECT_NE(std::find(r.details.begin(), r.details.end(), "File size: 0 kb"), r.details.end());
}

TEST(SaveWalk, RefusalsAndStops) {
  test::MemoryView v;
  EntryId a = v.add(0, "A", true);
  EntryId f = v.add(a, "f.txt", false, "x");
  const app::SaveQuestion blank = app::prepareSave(v, a, "");
  EXPECT_TRUE(blank.refused);
  EXPECT_EQ(blank.refusal, "select output folder");
  test::ScratchDir out;
  const app::SaveQuestion file = app::prepareSave(v, f, out.path().string());  // a file: nothing
  EXPECT_TRUE(file.refused);
  EXPECT_TRUE(file.refusal.empty());
  // A job stopped before it starts writes nothing and says so; the next job is fresh.
  Recorder r;
  SaveResult result;
  JobControl stopped;
  stopped.requestStop();
  EXPECT_EQ(app::runSave(v, a, out.path().string(), r, stopped, result).status, JobStatus::Stopped);
  EXPECT_TRUE(fs::is_empty(out.path()));
  EXPECT_EQ(r.messages.back(), "work done");
  JobControl fresh;
  EXPECT_TRUE(app::runSave(v, a, out.path().string(), r, fresh, result).ok());
  EXPECT_EQ(treeOf(out.path()), (std::set<std::string>{"f.txt"}));
}

TEST(SaveWalk, LoopsAndUnreadableFilesEndWell) {
  test::MemoryView v;
  EntryId a = v.add(0, "A", true);
  v.node(a).children.push_back(a);  // a folder inside itself
  EntryId bad = v.add(a, "bad.bin", false, "part");
  v.node(bad).unreadable = true;
  EXPECT_EQ(countFiles(v, a), 1);
  test::ScratchDir out;
  Recorder r;
  JobControl job;
  SaveResult result;
  EXPECT_EQ(saveFolderContents(v, 0, out.path().string(), r, job, result).status, JobStatus::IoError);
  EXPECT_EQ(result.files, 1);
  EXPECT_EQ(result.written, 0);
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_NE(result.failures[0].find("bad.bin"), std::string::npos);
  EXPECT_EQ(treeOf(out.path()), (std::set<std::string>{"A/", "A/A/", "A/bad.bin"}));
}

}  // namespace
}  // namespace quarnel
