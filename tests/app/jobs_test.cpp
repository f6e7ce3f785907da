// Stop and pause reach every long loop through the job the caller owns: real parses of the
// fixtures stopped and paused mid-way, a save and a carve stopped, the request never cleared.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "app/job_runner.h"
#include "app/session.h"
#include "app/volume_choice.h"
#include "raw/carver.h"
#include "raw/default_signatures.h"
#include "recovery/entry_paths.h"
#include "recovery/save_walk.h"
#include "storage/file_read_seek.h"
#include "storage/volume_source.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

using namespace std::chrono_literals;

// Counts the work's status and progress events (or its status lines only) and acts once,
// at the n-th of them.
class Hook : public VolumeReporter {
 public:
  Hook(int n, std::function<void()> act, bool statusOnly = false)
      : n_(n), act_(std::move(act)), statusOnly_(statusOnly) {}
  void status(std::string_view) override { tick(); }
  void progressPosition(std::int64_t) override {
    if (!statusOnly_) tick();
  }
  int events() const { return events_.load(); }
  bool fired() const { return fired_.load(); }

 private:
  void tick() {
    if (++events_ == n_ && act_) {
      act_();
      fired_ = true;
    }
  }
  int n_;
  std::function<void()> act_;
  bool statusOnly_;
  std::atomic<int> events_{0};
  std::atomic<bool> fired_{false};
};

// A fixture image read as it is, counting the reads and acting once, at the n-th: a point in
// the middle of whatever phase the parse is in.
class CountingDisk : public readWriteInterface {
 public:
  explicit CountingDisk(const std::string& path) { ok_ = file_.open(path); }
  bool ok() const { return ok_; }
  void actAt(int n, std::function<void()> act) {
    n_ = n;
    act_ = std::move(act);
    reads_ = 0;
    fired_ = false;
  }
  bool open(const std::string&) override { return ok_; }
  using readWriteInterface::readAt;
  bool readAt(std::int64_t offset, MutableByteSpan out) override {
    if (++reads_ == n_ && act_) {
      act_();
      fired_ = true;
    }
    return file_.readAt(offset, out);
  }
  std::int64_t sizeSectors() const override { return file_.sizeSectors(); }
  int reads() const { return reads_.load(); }
  bool fired() const { return fired_.load(); }

 private:
  FileReadSeek file_;
  bool ok_ = false;
  int n_ = 0;
  std::function<void()> act_;
  std::atomic<int> reads_{0};
  std::atomic<bool> fired_{false};
};

struct Case {
  const char* name;
  const char* image;
  const char* fs;
  const char* mode;
};

std::ostream& operator<<(std::ostream& o, const Case& c) { return o << c.name; }

VolumeRecord wholeImage(const Case& c) {
  VolumeRecord r;
  r.fileSystem = app::fileSystemName(c.fs);
  r.volumeIndex = "0";
  r.startSector = 0;
  r.volumeSizeText = "0";
  return r;
}

struct Parsed {
  std::unique_ptr<ParsedVolume> volume;
  int reads = 0;
  std::size_t entries() const {
    return volume ? listFolder(volume->view(), volume->view().root(), "/", true).size() : 0;
  }
};

Parsed parse(CountingDisk& disk, const Case& c, JobControl& job) {
  ParseOptions p;
  p.mode = std::string(c.mode) == "deep" ? RecoveryMode::Deep : RecoveryMode::Standard;
  p.job = &job;
  VolumeRecord record = wholeImage(c);
  const std::int64_t mib = disk.sizeSectors() / 2048;
  record.volumeSizeText = std::to_string(mib);
  std::string error;
  Parsed r;
  r.volume = parseVolume(disk, record, p, silentReporter(), error);
  r.reads = disk.reads();
  return r;
}

// An uninterrupted parse, for what a stopped or paused one is measured against.
Parsed fullParse(CountingDisk& disk, const Case& c) {
  JobControl job;
  disk.actAt(0, {});
  return parse(disk, c, job);
}

class ParseJobs : public ::testing::TestWithParam<Case> {};

// Stopped half way through its reads, a parse ends soon after with what it found; the
// caller's request still stands afterwards.
TEST_P(ParseJobs, StopMidParseEndsItWithWhatWasFound) {
  CountingDisk disk(test::fixture(GetParam().image));
  if (!disk.ok()) GTEST_SKIP();
  const Parsed full = fullParse(disk, GetParam());
  ASSERT_TRUE(full.volume);
  ASSERT_GE(full.reads, 4) << "too few reads to stop in the middle";

  JobControl job;
  disk.actAt(full.reads / 2, [&] { job.requestStop(); });
  const Parsed stopped = parse(disk, GetParam(), job);
  EXPECT_TRUE(disk.fired());
  EXPECT_LT(stopped.reads, full.reads);
  EXPECT_LE(stopped.entries(), full.entries());
  EXPECT_TRUE(job.stopRequested());
}

// Paused half way through its reads, the worker waits at its next check until resumed, then
// the parse ends exactly as an unpaused one.
TEST_P(ParseJobs, PauseHoldsTheWorkerUntilResume) {
  CountingDisk disk(test::fixture(GetParam().image));
  if (!disk.ok()) GTEST_SKIP();
  const Parsed full = fullParse(disk, GetParam());
  ASSERT_TRUE(full.volume);

  app::JobRunner runner;
  Parsed paused;
  std::atomic<JobControl*> control{nullptr};
  disk.actAt(full.reads / 2, [&] { control.load()->pause(); });
  ASSERT_TRUE(runner.start([&](JobControl& job) {
    control = &job;
    paused = parse(disk, GetParam(), job);
    return paused.volume ? JobResult::done() : JobResult::damaged("not parsed");
  }));
  // Held once the worker reaches its next check point; no time is guessed.
  for (int i = 0; i < 1000 && !runner.waiting(); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(disk.fired());
  ASSERT_TRUE(runner.waiting());
  const int held = disk.reads();
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(disk.reads(), held);
  EXPECT_TRUE(runner.running());
  EXPECT_TRUE(runner.paused());
  runner.resume();
  EXPECT_TRUE(runner.wait().ok());
  EXPECT_EQ(paused.entries(), full.entries());
  EXPECT_EQ(paused.reads, full.reads);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ParseJobs,
                         ::testing::Values(Case{"Ntfs", "ntfs_many.img", "ntfs", "standard"},
                                           Case{"NtfsDeep", "ntfs_many.img", "ntfs", "deep"},
                                           Case{"Fat32", "fat_fat32.img", "fat32", "standard"},
                                           Case{"Fat16", "fat_fat16.img", "fat16", "standard"},
                                           Case{"Exfat", "fat_exfat.img", "exfat", "standard"},
                                           Case{"Ext2", "ext_ext2.img", "ext", "standard"},
                                           Case{"Ext4", "ext_ext4.img", "ext", "standard"},
                                           Case{"Hfs", "hfs_many.img", "hfs+", "standard"},
                                           Case{"HfsDeep", "hfs_many.img", "hfs+", "deep"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The session's parse job keeps the progress in the job, and says Stopped when stopped.
TEST(SessionJobs, ParseJobPublishesProgressAndItsEnd) {
  if (!test::haveFixture("ext_ext4.img")) GTEST_SKIP();
  app::RecoverySession s;
  app::ArraySettings a;
  a.members = {test::fixture("ext_ext4.img")};
  std::string error;
  int status = 0;
  ASSERT_TRUE(s.openArray(a, silentReporter(), error, status)) << error;
  const VolumeRecord record = wholeImage({"Ext4", "ext_ext4.img", "ext", "standard"});
  JobControl job;
  std::unique_ptr<ParsedVolume> volume;
  EXPECT_TRUE(s.parseJob(record, {}, silentReporter(), job, volume).ok());
  ASSERT_TRUE(volume);
  const JobProgress p = job.progress();
  EXPECT_GT(p.phase, 1);
  EXPECT_GT(p.total, 0);
  EXPECT_EQ(p.done, p.total);

  JobControl stopped;
  stopped.requestStop();
  std::unique_ptr<ParsedVolume> none;
  EXPECT_EQ(s.parseJob(record, {}, silentReporter(), stopped, none).status, JobStatus::Stopped);

  std::vector<VolumeRecord> found;
  VolumeReporter quiet;
  app::DiscoverySettings scan;
  scan.scan = true;
  JobControl scanStop;
  scanStop.requestStop();
  EXPECT_EQ(s.scanJob(scan, quiet, scanStop, found).status, JobStatus::Stopped);
  EXPECT_TRUE(found.empty());
}

TEST(SaveJob, StopEndsTheWalkAfterTheFileInHand) {
  CountingDisk disk(test::fixture("ext_ext4.img"));
  if (!disk.ok()) GTEST_SKIP();
  JobControl parseJob;
  const Parsed p = parse(disk, {"Ext4", "ext_ext4.img", "ext", "standard"}, parseJob);
  ASSERT_TRUE(p.volume);
  EntryView& view = p.volume->view();
  const std::int64_t total = countFiles(view, view.root());
  ASSERT_GT(total, 3);
  test::ScratchDir out;
  JobControl job;
  Hook stopper(2, [&] { job.requestStop(); }, true);  // at the second "saving File"
  SaveResult result;
  EXPECT_EQ(saveFolderContents(view, view.root(), out.path().string(), stopper, job, result).status,
            JobStatus::Stopped);
  EXPECT_EQ(result.files, 2);
  EXPECT_EQ(result.written, 2);
}

TEST(CarveJob, StopKeepsTheFilesFoundBeforeIt) {
  if (!test::haveFixture("carve_image.img")) GTEST_SKIP();
  FileReadSeek disk;
  ASSERT_TRUE(disk.open(test::fixture("carve_image.img")));
  const std::int64_t bytes = disk.sizeSectors() * kSectorSize;
  auto run = [&](int stopAt, JobControl& job) {
    myJpg carver;
    carver.addRecords(defaultSignatureRecords());
    carver.job = &job;
    Hook hook(stopAt, [&] { job.requestStop(); });
    NullCarveTreeSink tree;
    VolumeSource source(disk);
    EXPECT_TRUE(carver.carveVolume(source, bytes, hook, tree));
    return carver.foundFiles.size();
  };
  JobControl fullJob, job;
  const std::size_t all = run(0, fullJob);
  ASSERT_GT(all, 1u);
  const std::size_t some = run(3, job);  // a few blocks in
  EXPECT_LT(some, all);
}

}  // namespace
}  // namespace quarnel
