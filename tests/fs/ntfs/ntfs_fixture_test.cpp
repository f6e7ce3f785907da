// The parser over real volumes made by mkntfs and ntfs-3g, against the ground truth the
// fixture script recorded while writing them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "fs/ntfs/ntfs_parse.h"
#include "fs/ntfs/ntfs_test_support.h"
#include "platform/raw_file.h"
#include "recovery/ntfs_view.h"
#include "storage/file_read_seek_raid.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

struct Listed {
  EntryId id;
  bool folder, deleted;
  std::uint64_t size;
  std::string modified;
};

void walk(const NtfsView& view, EntryId folder, const std::string& path, std::map<std::string, Listed>& out) {
  for (EntryId c : view.children(folder)) {
    const std::string name = view.name(c);
    if (name == "." || name == "..") continue;
    const std::string p = path + "/" + name;
    out.emplace(p, Listed{c, view.isFolder(c), view.deleted(c), view.size(c), isoUtcText(view.modifiedTime(c))});
    if (view.isFolder(c)) walk(view, c, p, out);
  }
}

std::map<std::string, Listed> listing(const NtfsView& view) {
  std::map<std::string, Listed> out;
  walk(view, view.root(), "", out);
  return out;
}

std::string folderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

// One record holds every name of a hard-linked file, so the listing shows one of them.
bool hardLinkListed(const ntfs_test::TruthRow& row, const std::vector<ntfs_test::TruthRow>& truth,
                    const std::map<std::string, Listed>& listed) {
  for (const ntfs_test::TruthRow& other : truth)
    if (other.path != row.path && other.sha256 == row.sha256 && other.modified == row.modified &&
        folderOf(other.path) == folderOf(row.path) && listed.count(other.path))
      return true;
  return false;
}

class NtfsFixture : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (!test::haveFixture(GetParam())) GTEST_SKIP() << GetParam() << " not built";
  }
};

TEST_P(NtfsFixture, ListingMatchesTheGroundTruth) {
  auto p = ntfs_test::parseFixture(GetParam(), NtfsMode::Standard);
  ASSERT_TRUE(p);
  NtfsView view(*p->fs);
  const auto listed = listing(view);
  const auto truth = ntfs_test::readTruth(GetParam());
  ASSERT_FALSE(truth.empty());
  std::set<std::string> truthPaths;
  for (const auto& row : truth) {
    truthPaths.insert(row.path);
    auto it = listed.find(row.path);
    if (it == listed.end()) {
      EXPECT_TRUE(row.kind == 'f' && hardLinkListed(row, truth, listed)) << row.path << " is not listed";
      continue;
    }
    const Listed& l = it->second;
    EXPECT_EQ(l.folder, row.kind == 'd') << row.path;
    EXPECT_EQ(l.deleted, row.deleted) << row.path;
    EXPECT_EQ(l.modified, row.modified) << row.path;
    if (row.kind == 'f') {
      EXPECT_EQ(l.size, row.size) << row.path;
    }
  }
  // Besides the ground truth only the file system's own files show, and an empty
  // ORPHAN_ENTRY: nothing is lost on a sound volume.
  ASSERT_TRUE(listed.count("/ORPHAN_ENTRY"));
  EXPECT_FALSE(view.hasChildren(listed.at("/ORPHAN_ENTRY").id));
  for (const auto& [path, l] : listed) {
    if (truthPaths.count(path) || path == "/ORPHAN_ENTRY") continue;
    const std::string top = path.substr(1, path.find('/', 1) - 1);
    EXPECT_TRUE(top[0] == '$' && top != "$RECYCLE.BIN") << path << " is listed but not in the ground truth";
  }
}

TEST_P(NtfsFixture, EveryLiveFileWritesItsBytes) {
  auto p = ntfs_test::parseFixture(GetParam(), NtfsMode::Standard);
  ASSERT_TRUE(p);
  NtfsView view(*p->fs);
  const auto listed = listing(view);
  for (const auto& row : ntfs_test::readTruth(GetParam())) {
    if (row.kind != 'f' || row.deleted) continue;
    auto it = listed.find(row.path);
    if (it == listed.end()) continue;  // a hard link shown under another name
    ntfs_test::ByteCollector out;
    EXPECT_TRUE(view.writeContent(it->second.id, out)) << row.path;
    EXPECT_EQ(out.bytes.size(), row.size) << row.path;
    EXPECT_EQ(ntfs_test::sha256Hex(out.bytes), row.sha256) << row.path;
  }
}

INSTANTIATE_TEST_SUITE_P(Ntfs, NtfsFixture,
                         testing::Values("ntfs_basic.img", "ntfs_512.img", "ntfs_4k.img", "ntfs_many.img"),
                         [](const testing::TestParamInfo<std::string>& i) {
                           return i.param.substr(0, i.param.find('.'));
                         });

}  // namespace
}  // namespace quarnel

namespace quarnel {
namespace {

using Bytes = std::vector<std::uint8_t>;

bool sameListing(const std::map<std::string, Listed>& a, const std::map<std::string, Listed>& b) {
  if (a.size() != b.size()) return false;
  for (const auto& [path, l] : a) {
    auto it = b.find(path);
    if (it == b.end()) return false;
    const Listed& m = it->second;
    if (l.folder != m.folder || l.deleted != m.deleted || l.size != m.size || l.modified != m.modified) return false;
  }
  return true;
}

Bytes withoutBootSector(const std::string& image) {
  Bytes b = test::readFile(test::fixture(image));
  std::fill(b.begin(), b.begin() + 512, 0);
  return b;
}

TEST(NtfsDamaged, StandardModeFindsTheMftWithoutItsBootSector) {
  for (const char* image : {"ntfs_basic.img", "ntfs_512.img", "ntfs_4k.img"}) {
    if (!test::haveFixture(image)) continue;
    auto intact = ntfs_test::parseFixture(image, NtfsMode::Standard);
    auto damaged = ntfs_test::parseImage(withoutBootSector(image), NtfsMode::Standard);
    const auto& s = damaged->reporter.statuses;
    EXPECT_NE(std::find(s.begin(), s.end(), "boot sector corrupt.Scanning for first mft entry..."), s.end()) << image;
    NtfsView a(*intact->fs), b(*damaged->fs);
    EXPECT_TRUE(sameListing(listing(a), listing(b))) << image;
  }
}

TEST(NtfsDamaged, AdvancedModeListsFromTheChosenCandidate) {
  if (!test::haveFixture("ntfs_basic.img")) GTEST_SKIP();
  auto intact = ntfs_test::parseFixture("ntfs_basic.img", NtfsMode::Standard);
  auto damaged = ntfs_test::parseImage(withoutBootSector("ntfs_basic.img"), NtfsMode::None);
  ASSERT_EQ(searchNtfsCandidates(*damaged->fs, 3), 1);
  EXPECT_EQ(damaged->fs->mftCandidates[0].position, 4u * 4096);
  ASSERT_TRUE(parseNtfs(*damaged->fs, NtfsMode::Advanced, {0, 8}));
  NtfsView a(*intact->fs), b(*damaged->fs);
  EXPECT_TRUE(sameListing(listing(a), listing(b)));
}

TEST(NtfsDamaged, DeepModeFindsTheFilesOfAWipedVolume) {
  if (!test::haveFixture("ntfs_basic.img")) GTEST_SKIP();
  Bytes image = withoutBootSector("ntfs_basic.img");
  // The MFT's first 16 records, the root folder's among them, are gone too.
  std::fill_n(image.begin() + 4 * 4096, 16 * 1024, 0);
  auto p = ntfs_test::parseImage(std::move(image), NtfsMode::Deep);
  NtfsView view(*p->fs);
  std::multimap<std::string, EntryId> byName;
  for (const auto& [path, l] : listing(view)) byName.emplace(path.substr(path.rfind('/') + 1), l.id);
  std::set<std::string> digests;
  for (const auto& [name, id] : byName) {
    if (view.isFolder(id) || view.deleted(id)) continue;
    ntfs_test::ByteCollector out;
    view.writeContent(id, out);
    digests.insert(ntfs_test::sha256Hex(out.bytes));
  }
  for (const auto& row : ntfs_test::readTruth("ntfs_basic.img")) {
    if (row.deleted) continue;
    const std::string name = row.path.substr(row.path.rfind('/') + 1);
    if (row.kind == 'd') {
      EXPECT_TRUE(byName.count(name)) << row.path;
      continue;
    }
    // Hard links show under one of their names; the bytes are there either way.
    EXPECT_TRUE(byName.count(name) || digests.count(row.sha256)) << row.path;
    EXPECT_TRUE(digests.count(row.sha256)) << row.path;
  }
}

// The NTFS volume of disk_mbr.img read through its RAID-5 members, one of them missing.
TEST(NtfsRaid, ADegradedArrayListsAndSavesTheSame) {
  const char* members[] = {"vhd_r5ls_m0.vhd", "vhd_r5ls_m1.vhd", "vhd_r5ls_m2.vhd"};
  for (const char* m : members)
    if (!test::haveFixture(m)) GTEST_SKIP();
  if (!test::haveFixture("disk_mbr.img")) GTEST_SKIP();
  const VolumeRecord volume{"NTFS", "", "0", "16", 2048};
  RawFile disk;
  ASSERT_TRUE(disk.open(test::fixture("disk_mbr.img")));
  auto plain = ntfs_test::parseSource(std::make_unique<FileReadSeek>(std::move(disk)), volume, NtfsMode::Standard);
  auto raid = std::make_unique<FileReadSeekRaid>();
  raid->raidLevel = 5;
  raid->parityLayout = 3;
  raid->stripeSectors = 128;
  raid->vhdMembers = 1;
  raid->memberNames = {test::fixture(members[0]), kMissingDiskName, test::fixture(members[2])};
  raid->memberOffsets = {0, 0, 0};
  ASSERT_TRUE(raid->open("raid"));
  auto degraded = ntfs_test::parseSource(std::move(raid), volume, NtfsMode::Standard);
  NtfsView a(*plain->fs), b(*degraded->fs);
  const auto la = listing(a), lb = listing(b);
  ASSERT_GT(la.size(), 10u);
  EXPECT_TRUE(sameListing(la, lb));
  for (const auto& [path, l] : la) {
    if (l.folder || !lb.count(path)) continue;
    ntfs_test::ByteCollector x, y;
    a.writeContent(l.id, x);
    b.writeContent(lb.at(path).id, y);
    EXPECT_EQ(x.bytes, y.bytes) << path;
  }
}

// Past a stream's initialised size its clusters hold whatever was there before: the content
// is zeros from there on, never the stale bytes. A copy of ntfs_basic with one file's
// initialised size lowered shows it.
TEST(NtfsFixture, PastTheInitialisedSizeIsZeros) {
  if (!test::haveFixture("ntfs_basic.img")) GTEST_SKIP();
  std::vector<std::uint8_t> image = test::readFile(test::fixture("ntfs_basic.img"));
  auto intact = ntfs_test::parseImage(image, NtfsMode::Standard);
  ntfs& fs = *intact->fs;
  auto le = [&](std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int k = bytes - 1; k >= 0; --k) v = (v << 8) | image[at + static_cast<std::size_t>(k)];
    return v;
  };
  constexpr std::uint64_t kValid = 5000;
  std::int64_t chosen = -1;
  std::size_t field = 0;
  std::uint64_t realSize = 0;
  // From record 24 on: the metadata files (the MFT itself among them) are not the point.
  for (std::int64_t i = 24; i < static_cast<std::int64_t>(fs.entryList.size()) && chosen < 0; ++i) {
    const NtfsEntryRecord& e = fs.entryList[static_cast<std::size_t>(i)];
    if (!e.isFile() || !e.inUse() || e.isDirectory() || e.position + 1024 > image.size()) continue;
    const std::size_t base = e.position;
    for (std::size_t at = base + le(base + 0x14, 2); at + 0x40 < base + 1024;) {
      const std::uint64_t type = le(at, 4), length = le(at + 4, 4);
      if (type == 0xFFFFFFFF || length == 0) break;
      const bool plain = image[at + 8] == 1 && image[at + 9] == 0 && le(at + 0x0C, 2) == 0 && le(at + 0x10, 8) == 0;
      const std::size_t where = at + 0x38;
      if (type == 0x80 && plain && le(at + 0x30, 8) >= 3 * kValid && (where % 512) + 8 <= 510) {
        chosen = i;
        field = where;
        realSize = le(at + 0x30, 8);
        break;
      }
      at += length;
    }
  }
  ASSERT_GE(chosen, 0) << "no plain non-resident file in the fixture";
  ntfs_test::ByteCollector whole;
  ASSERT_TRUE(fs.writeContent(chosen, whole));
  ASSERT_EQ(whole.bytes.size(), realSize);

  for (int k = 0; k < 8; ++k) image[field + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(kValid >> (8 * k));
  auto lowered = ntfs_test::parseImage(image, NtfsMode::Standard);
  ntfs_test::ByteCollector cut;
  EXPECT_TRUE(lowered->fs->writeContent(chosen, cut));
  ASSERT_EQ(cut.bytes.size(), realSize);
  EXPECT_EQ(std::mismatch(cut.bytes.begin(), cut.bytes.begin() + kValid, whole.bytes.begin()).first - cut.bytes.begin(),
            static_cast<std::ptrdiff_t>(kValid));
  EXPECT_TRUE(std::all_of(cut.bytes.begin() + kValid, cut.bytes.end(), [](std::byte b) { return b == std::byte{0}; }));
  EXPECT_FALSE(std::all_of(whole.bytes.begin() + kValid, whole.bytes.end(), [](std::byte b) { return b == std::byte{0}; }));
}

}  // namespace
}  // namespace quarnel
