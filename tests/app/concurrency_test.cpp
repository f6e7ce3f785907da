// Reads from several threads and several volumes at once: one RAID disk read from two
// threads gives the reference bytes, the volumes of one disk open together read exactly as
// each alone, and two threads reading one volume's files agree. Run under ThreadSanitizer by
// `make tsan`.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <thread>

#include "app/session.h"
#include "recovery/entry_paths.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

using test::ShaSink;

using Digests = std::map<std::string, std::string>;  // path → SHA-256 of the content

std::vector<ListedEntry> filesOf(EntryView& v) {
  std::vector<ListedEntry> files;
  for (auto& e : listFolder(v, v.root(), "/", true))
    if (!v.isFolder(e.entry)) files.push_back(std::move(e));
  return files;
}

std::string digest(EntryView& v, EntryId e) {
  ShaSink sha;
  v.writeContent(e, sha);
  return sha.hex();
}

Digests digestsOf(EntryView& v) {
  Digests d;
  for (const auto& f : filesOf(v)) d[f.path] = digest(v, f.entry);
  return d;
}

bool openDisk(app::RecoverySession& s, std::vector<std::string> members, int level = 0) {
  app::ArraySettings a;
  a.members = std::move(members);
  a.level = level;
  std::string error;
  int status = 0;
  return s.openArray(a, silentReporter(), error, status);
}

std::vector<VolumeRecord> parseableVolumes(app::RecoverySession& s) {
  VolumeReporter quiet;
  std::vector<VolumeRecord> out;
  for (const auto& r : app::listVolumes(s.disk(), {}, quiet))
    if (r.fileSystem.rfind("NTF", 0) == 0 || r.fileSystem.rfind("FAT", 0) == 0 || r.fileSystem.rfind("ext", 0) == 0)
      out.push_back(r);
  return out;
}

TEST(Concurrency, TwoThreadsReadOneRaidDiskAsTheReference) {
  if (!test::haveFixture("disk_mbr.img") || !test::haveFixture("vhd_r5ls_m0.vhd")) GTEST_SKIP();
  const std::vector<std::uint8_t> reference = test::readFile(test::fixture("disk_mbr.img"));
  app::RecoverySession s;
  // The third member lost: every third unit is rebuilt from the other two.
  ASSERT_TRUE(openDisk(s, {test::fixture("vhd_r5ls_m0.vhd"), test::fixture("vhd_r5ls_m1.vhd"), "missing"}, 5));
  readWriteInterface& disk = s.disk();
  const std::int64_t sectors = disk.sizeSectors();
  ASSERT_EQ(sectors * kSectorSize, static_cast<std::int64_t>(reference.size()));
  auto reader = [&](unsigned seed, int& wrong) {
    std::mt19937 rng(seed);
    std::vector<std::byte> buf;
    for (int i = 0; i < 300; ++i) {
      const std::int64_t count = 1 + static_cast<std::int64_t>(rng() % 700);
      const std::int64_t first = static_cast<std::int64_t>(rng() % static_cast<unsigned>(sectors - count));
      buf.assign(static_cast<std::size_t>(count * kSectorSize), std::byte{0});
      disk.readAt(first * kSectorSize, buf);
      if (std::memcmp(buf.data(), reference.data() + first * kSectorSize, buf.size()) != 0) ++wrong;
    }
  };
  int wrongA = 0, wrongB = 0;
  std::thread a(reader, 1u, std::ref(wrongA)), b(reader, 2u, std::ref(wrongB));
  a.join();
  b.join();
  EXPECT_EQ(wrongA, 0);
  EXPECT_EQ(wrongB, 0);
}

// Opening a volume never moves another: every volume of the disk open at once, their files
// read in turns, give what each gives alone.
TEST(Concurrency, VolumesOfOneDiskOpenAtOnceReadInterleaved) {
  if (!test::haveFixture("disk_mbr.img")) GTEST_SKIP();
  app::RecoverySession together;
  ASSERT_TRUE(openDisk(together, {test::fixture("disk_mbr.img")}));
  const std::vector<VolumeRecord> records = parseableVolumes(together);
  ASSERT_EQ(records.size(), 6u);

  std::vector<Digests> alone;
  for (const auto& r : records) {
    app::RecoverySession s;
    ASSERT_TRUE(openDisk(s, {test::fixture("disk_mbr.img")}));
    std::string error;
    auto v = s.openVolume(r, {}, silentReporter(), error);
    ASSERT_TRUE(v) << r.fileSystem << ": " << error;
    alone.push_back(digestsOf(v->view()));
    EXPECT_GT(alone.back().size(), 3u) << r.fileSystem;
  }

  std::vector<std::unique_ptr<ParsedVolume>> open;
  std::vector<std::vector<ListedEntry>> files;
  for (const auto& r : records) {
    std::string error;
    open.push_back(together.openVolume(r, {}, silentReporter(), error));
    ASSERT_TRUE(open.back()) << error;
    files.push_back(filesOf(open.back()->view()));
  }
  std::vector<Digests> interleaved(records.size());
  for (std::size_t i = 0, busy = 1; busy; ++i) {
    busy = 0;
    for (std::size_t k = 0; k < open.size(); ++k) {
      if (i >= files[k].size()) continue;
      ++busy;
      interleaved[k][files[k][i].path] = digest(open[k]->view(), files[k][i].entry);
    }
  }
  for (std::size_t k = 0; k < records.size(); ++k) EXPECT_EQ(interleaved[k], alone[k]) << records[k].fileSystem;
}

// Two workers reading one volume's files at once (a save beside the window's preview) agree
// with one reading alone.
TEST(Concurrency, TwoThreadsReadOneVolume) {
  if (!test::haveFixture("disk_mbr.img")) GTEST_SKIP();
  app::RecoverySession s;
  ASSERT_TRUE(openDisk(s, {test::fixture("disk_mbr.img")}));
  for (const auto& r : parseableVolumes(s)) {
    std::string error;
    auto v = s.openVolume(r, {}, silentReporter(), error);
    ASSERT_TRUE(v) << error;
    const Digests alone = digestsOf(v->view());
    Digests a, b;
    std::thread ta([&] { a = digestsOf(v->view()); }), tb([&] { b = digestsOf(v->view()); });
    ta.join();
    tb.join();
    EXPECT_EQ(a, alone) << r.fileSystem;
    EXPECT_EQ(b, alone) << r.fileSystem;
  }
}

}  // namespace
}  // namespace quarnel
